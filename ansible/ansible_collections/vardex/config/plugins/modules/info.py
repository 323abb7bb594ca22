#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 the varDex Configuration Manager developers. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: info
short_description: Read a varDex's identity and settings
version_added: "0.1.0"
description:
  - Identifies a varDex (country, model, hardware and firmware versions) and reads every setting,
    through C(vardexctl identify --json) and C(vardexctl read --json). Nothing is written, so it
    runs in check mode as well.
author:
  - varDex Configuration Manager developers (@vardex-config)
options:
  port:
    description:
      - The device's port, a path such as C(/dev/ttyUSB0) or a network port such as
        C(rfc2217://host:port). Left out, vardexctl searches for the device.
    type: str
  names:
    description:
      - How the settings are keyed, by the record's member names or by readable names.
    type: str
    choices: [member, readable]
    default: member
  vardexctl:
    description:
      - The path of the vardexctl program. By default it is found on the PATH.
    type: path
  timeout:
    description:
      - The most seconds each of the two reads may take; 0 sets no bound beyond vardexctl's own.
    type: int
    default: 600
notes:
  - Check mode is supported; the module never changes anything.
requirements:
  - vardexctl, from the varDex Configuration Manager package, on the managed host
'''

EXAMPLES = r'''
- name: What the device is and holds
  vardex.config.info:
    port: /dev/ttyUSB0
    names: readable
  register: vardex

- name: Its firmware
  ansible.builtin.debug:
    msg: "{{ vardex.identity.m_wFirmwareVersion }}"
'''

RETURN = r'''
identity:
  description: The device as vardexctl identify reports it.
  returned: always
  type: dict
  sample: {"device": "varDex", "m_strCountry": "Germany", "m_wFirmwareVersion": 771}
settings:
  description: Every setting, as vardexctl read --json prints it; a setting the variant lacks is null.
  returned: always
  type: dict
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vardex.config.plugins.module_utils import vardexctl


def main():
    argument_spec = dict(names=dict(type='str', choices=['member', 'readable'], default='member'))
    argument_spec.update(vardexctl.COMMON_ARGS)
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)

    identity = vardexctl.run_json(module, ['identify'] + vardexctl.port_args(module) + ['--json'])
    read = ['read'] + vardexctl.port_args(module) + ['--json']
    if module.params['names'] == 'readable':
        read += ['--names', 'readable']
    settings = vardexctl.run_json(module, read)
    if module.params['names'] == 'readable' and isinstance(identity, dict):
        # The identity under the same names as the settings.
        fields = vardexctl.Fields(vardexctl.schema(module))
        identity = dict((fields.readable.get(key, key), value) for key, value in identity.items())
    module.exit_json(changed=False, identity=identity, settings=settings)


if __name__ == '__main__':
    main()
