#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 the varDex Configuration Manager developers. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: facts
short_description: Gather what a varDex is as facts
version_added: "0.2.0"
description:
  - Identifies the varDex through C(vardexctl identify --json) and sets C(ansible_facts.vardex) to
    its country variant, model, hardware and firmware versions, firmware CRC and port.
  - Nothing is written to the device.
author:
  - varDex Configuration Manager developers (@vardex-config)
extends_documentation_fragment:
  - vardex.config.common
attributes:
  check_mode:
    support: full
    description: Reads only; runs the same in check mode.
  diff_mode:
    support: none
    description: Changes nothing, so has no difference to show.
  facts:
    support: full
    description: Sets C(ansible_facts.vardex).
'''

EXAMPLES = r'''
- name: What the device on the first USB line is
  vardex.config.facts:
    port: /dev/ttyACM0

- name: Upgrade only devices of an older firmware
  ansible.builtin.debug:
    msg: "{{ ansible_facts.vardex.firmware }}"
  when: ansible_facts.vardex.firmware is version('2.10', '<')
'''

RETURN = r'''
ansible_facts:
  description: The facts gathered.
  returned: always
  type: dict
  contains:
    vardex:
      description: The device.
      returned: always
      type: dict
      sample: {"country": "Germany", "model": "1.2", "hardware": "3.0", "firmware": "2.10",
               "crc": "5A3C", "port": "/dev/ttyUSB0", "usb": false}
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vardex.config.plugins.module_utils import vardexctl


def version(word):
    """A version word as the device and the window show it: major.minor."""
    if not isinstance(word, int) or isinstance(word, bool):
        return None
    return '%d.%d' % (word >> 8, word & 0xff)


def facts(identity, port):
    crc = identity.get('m_strCrc')
    if isinstance(crc, str) and crc.upper().startswith('CRC:'):
        crc = crc[4:].strip()
    return dict(
        country=identity.get('m_strCountry'),
        model=version(identity.get('m_wModelVersion')),
        hardware=version(identity.get('m_wHardwareVersion')),
        firmware=version(identity.get('m_wFirmwareVersion')),
        crc=crc,
        port=port or identity.get('device'),
        usb=bool(identity.get('m_bUsbConnection')),
    )


def main():
    module = AnsibleModule(argument_spec=dict(vardexctl.COMMON_ARGS), supports_check_mode=True)
    identity = vardexctl.run_json(module, ['identify'] + vardexctl.port_args(module) + ['--json'])
    if not isinstance(identity, dict):
        module.fail_json(msg='vardexctl identify printed no device')
    module.exit_json(changed=False,
                     ansible_facts=dict(vardex=facts(identity, module.params.get('port'))))


if __name__ == '__main__':
    main()
