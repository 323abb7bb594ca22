#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 the varDex Configuration Manager developers. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: settings
short_description: Bring a varDex's settings to a desired state
version_added: "0.1.0"
description:
  - Reads every setting of a varDex, writes only the fields of C(settings) whose values differ, and
    verifies each value written by reading it back, through C(vardexctl apply --json).
  - Idempotent. In check mode no setting is sent to the device; the changes that would be made are
    reported. In diff mode the fields that change are shown before and after.
  - Before a write, vardexctl keeps a backup of the settings it read (C(vardexctl backups) lists
    them, C(vardexctl restore) writes one back).
  - Any failure of vardexctl fails the task with vardexctl's message and exit status. A write that
    failed part way (a device that went away, a time bound that ran out) still reports
    C(changed) when any field reached the device, with each field's outcome in C(fields).
author:
  - varDex Configuration Manager developers (@vardex-config)
extends_documentation_fragment:
  - vardex.config.common
attributes:
  check_mode:
    support: full
    description: Nothing is sent to the device; the changes that would be made are reported.
  diff_mode:
    support: full
    description: The fields that change, before and after, by the names the playbook used.
  platform:
    support: full
    platforms: posix
    description: Runs on the managed host that has the device.
options:
  settings:
    description:
      - Field to value, for any subset of the device's fields. A field is named by its readable
        name (C(port1.call_waiting)) or the record's member name (C(m_bCallWaiting1));
        C(vardexctl --list-fields) lists both.
      - Each value is converted to its field's type as C(vardexctl schema) gives it, so values from
        templates, the inventory or C(-e) (which arrive as text) are taken as the numbers they
        spell; C(yes), C(no), C(true) and C(false) set a flag. A value that does not convert fails
        the task, naming the field by its readable name and its limits.
      - Values are then checked by vardexctl, with the rules of the device's variant, before
        anything is sent.
      - C(changes), C(diff) and C(fields) name each field as it is named here.
    type: dict
    default: {}
  store_profile:
    description:
      - The stored profile (0 to 3) that keeps the settings written.
      - Left out, the settings are stored in the profile the device loads at power-up, which is
        what opening its port brings back, so the next run finds them (a device that starts with
        its factory defaults needs a profile given here).
      - C(none) changes only the active settings; the next opening of the port resets them, and
        the next run writes them again.
    type: raw
  power_up_profile:
    description:
      - The profile the device loads at power-up, 0 to 3, or 4 for the factory defaults.
    type: int
    choices: [0, 1, 2, 3, 4]
'''

EXAMPLES = r'''
- name: Call waiting on both analog ports, stored in the profile loaded at power-up
  vardex.config.settings:
    port: /dev/ttyUSB0
    settings:
      port1.call_waiting: 1
      port2.call_waiting: 1

- name: The same settings on a device behind a port server, seen before they are sent
  vardex.config.settings:
    port: rfc2217://portserver.example:7001
    settings:
      m_bCallWaiting1: 1
  check_mode: true
  diff: true
'''

RETURN = r'''
changed:
  description: Whether any field differed from the desired state (and, out of check mode, was written).
  returned: always
  type: bool
changes:
  description: Each field that differs, with the device's value before and the desired value after.
  returned: always
  type: dict
  sample: {"m_bCallWaiting1": {"before": 0, "after": 1}}
fields:
  description:
    - What became of each value written, as vardexctl reports it, also when the write failed
      part way. C(fate) is C(applied), C(refused) (C(held) is what the device holds),
      C(unknown) (sent, not confirmed), C(not sent) or C(active, not stored).
  returned: when a write was made
  type: list
  elements: dict
  sample: [{"name": "m_bCallWaiting1", "readable": "port1.call_waiting", "before": 0,
            "wanted": 1, "held": 1, "fate": "applied", "why": null}]
stored:
  description: Whether the device confirmed storing the settings in C(profile).
  returned: when a write was made
  type: bool
profile:
  description: The profile the settings were to be stored in; null for none.
  returned: when a write was made
  type: int
backup:
  description: The backup vardexctl kept of the settings before the write, on the managed host.
  returned: when a write was made
  type: str
diff:
  description: The fields that change, before and after, in diff mode.
  returned: when diff mode is on
  type: dict
'''

import json
import os
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vardex.config.plugins.module_utils import vardexctl

POWER_UP_FIELD = 'm_nPowerUpProfile'


def desired_state(module, fields):
    """The playbook's settings converted to each field's type (a template
    hands numbers over as text); fails the task naming every value that does
    not convert."""
    wanted = {}
    refused = []
    for name, value in (module.params['settings'] or {}).items():
        converted, why = fields.convert(name, value)
        if why:
            refused.append(why)
        wanted[name] = converted
    if refused:
        module.fail_json(msg='; '.join(refused))
    if module.params['power_up_profile'] is not None:
        wanted[POWER_UP_FIELD] = module.params['power_up_profile']
    return wanted


def renamed(report, fields, used):
    """The report's field names as the playbook wrote them."""
    changes = dict((fields.as_named(name, used), change)
                   for name, change in report.get('changes', {}).items())
    report = dict(report, changes=changes)
    if isinstance(report.get('fields'), list):
        report['fields'] = [dict(f, name=fields.as_named(f.get('name', ''), used))
                            if isinstance(f, dict) else f for f in report['fields']]
    return report


def store_args(module):
    """vardexctl's words for store_profile: a profile 0..3, none, or the
    power-up profile when left out."""
    store = module.params['store_profile']
    if store is None:
        return []
    if str(store).strip().lower() == 'none':
        return ['--no-store']
    if str(store).strip() in ('0', '1', '2', '3'):
        return ['--store', str(store).strip()]
    module.fail_json(msg='store_profile takes a profile 0 to 3 or none, not %r' % (store,))
    return []


def parse_report(out):
    """vardexctl's JSON report, or None when it printed none."""
    try:
        report = json.loads(out)
    except ValueError:
        return None
    if not isinstance(report, dict) or not isinstance(report.get('changed'), bool) \
            or not isinstance(report.get('changes', {}), dict):
        return None
    return report


def main():
    argument_spec = dict(
        settings=dict(type='dict', default={}),
        store_profile=dict(type='raw'),
        power_up_profile=dict(type='int', choices=[0, 1, 2, 3, 4]),
    )
    argument_spec.update(vardexctl.COMMON_ARGS)
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)

    fields = vardexctl.Fields(vardexctl.schema(module))
    wanted = desired_state(module, fields)
    used = set(vardexctl.Fields.split(name)[0] for name in wanted)
    handle, path = tempfile.mkstemp(prefix='vardex-settings-', suffix='.json')
    try:
        with os.fdopen(handle, 'w') as settings_file:
            json.dump(wanted, settings_file)
        args = ['apply'] + vardexctl.port_args(module) + [path, '--json'] + store_args(module)
        if module.check_mode:
            args.append('--check')
        rc, out, err, command, failure = vardexctl.run_unchecked(module, args)
    finally:
        os.unlink(path)

    report = parse_report(out)
    if report is not None:
        report = renamed(report, fields, used)
    written = dict((key, report[key]) for key in ('fields', 'stored', 'profile', 'backup')
                   if report is not None and key in report)
    if failure:
        # What reached the device is told even when the write did not finish.
        module.fail_json(msg=(report or {}).get('error') or failure, rc=rc, stdout=out,
                         stderr=err, cmd=command, changed=bool(report and report['changed']),
                         changes=(report or {}).get('changes', {}), **written)
    if report is None:
        module.fail_json(msg='vardexctl printed an unexpected report', stdout=out)
    changes = report.get('changes', {})
    result = dict(changed=report['changed'], changes=changes, **written)
    if module._diff:
        result['diff'] = dict(
            before=dict((field, change.get('before')) for field, change in changes.items()),
            after=dict((field, change.get('after')) for field, change in changes.items()))
    module.exit_json(**result)


if __name__ == '__main__':
    main()
