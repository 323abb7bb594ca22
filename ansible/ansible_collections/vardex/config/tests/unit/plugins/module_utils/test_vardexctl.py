# -*- coding: utf-8 -*-
# Copyright: 2026 the varDex Configuration Manager developers. All rights reserved.
"""The conversion of a playbook's values to the fields' types, against
vardexctl's own schema (its path in VARDEX_SCHEMA), and the failure message."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os

import pytest

from ansible_collections.vardex.config.plugins.module_utils import vardexctl


@pytest.fixture(scope='module')
def fields():
    with open(os.environ['VARDEX_SCHEMA']) as schema_file:
        return vardexctl.Fields(json.load(schema_file))


@pytest.mark.parametrize('given, wanted', [
    ('60', 60), (' 60 ', 60), (60, 60), (60.0, 60), ('6e1', 60), ('1e2', 100)])
def test_numbers_from_templates_take_the_field_type(fields, given, wanted):
    assert fields.convert('telephony.flash_duration', given) == (wanted, None)


@pytest.mark.parametrize('given, wanted', [
    ('yes', 1), ('No', 0), ('true', 1), ('False', 0), (True, 1), (False, 0), ('1', 1)])
def test_flags_take_yes_and_no(fields, given, wanted):
    assert fields.convert('m_bCallWaiting1', given) == (wanted, None)


@pytest.mark.parametrize('name, given', [
    ('telephony.flash_duration', '101'), ('telephony.flash_duration', '6.5'),
    ('m_nFlashDuration', 'sixty'), ('port1.call_waiting', 2), ('x25.tei', [9])])
def test_what_does_not_convert_is_refused_by_the_readable_name(fields, name, given):
    value, why = fields.convert(name, given)
    assert value is None
    assert why.startswith(fields.shown(name) + ': ')
    assert '.' in why.split(':')[0], 'readable, not a member name'


def test_texts_and_elements_follow_their_array(fields):
    assert fields.convert('telephony.phone_msn', [4711, '', '', '', '', '']) == \
        (['4711', '', '', '', '', ''], None)
    assert fields.convert('m_strPhoneMsn[2]', 4711) == ('4711', None)
    assert fields.convert('telephony.modem_llc[1][2]', '7') == (7, None)
    assert fields.shown('m_byModemLlc[1][2]') == 'telephony.modem_llc[1][2]'


def test_reported_names_come_back_as_the_playbook_wrote_them(fields):
    assert all(fields.member[readable] == member for member, readable in fields.readable.items())
    used = set(['port1.call_waiting', 'm_nX25Tei', 'telephony.phone_msn'])
    assert fields.as_named('m_bCallWaiting1', used) == 'port1.call_waiting'
    assert fields.as_named('m_nX25Tei', used) == 'm_nX25Tei'
    assert fields.as_named('m_strPhoneMsn[0]', used) == 'telephony.phone_msn[0]'
    assert fields.as_named('m_bClip', used) == 'm_bClip'


def test_the_failure_is_the_json_error_or_the_last_line_that_is_no_bar():
    assert vardexctl.failure_text('{"error": "no varDex on /dev/ttyS9", "status": 1}', '') == \
        'no varDex on /dev/ttyS9'
    assert vardexctl.failure_text('', 'vardexctl apply: x.tei: out of range\n[####....] 3/9\n') == \
        'vardexctl apply: x.tei: out of range'
    assert vardexctl.failure_text('', '') == 'vardexctl failed'
