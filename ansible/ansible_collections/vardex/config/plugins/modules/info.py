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
    through C(vardexctl read --identity --json), one opening of the port. Nothing is written, so
    it runs in check mode as well.
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
options:
  names:
    description:
      - How the settings are keyed, by the record's member names or by readable names.
    type: str
    choices: [member, readable]
    default: member
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

    # One opening of the port for both: identifying the device again would
    # cost its set-up and settle delays a second time.
    read = ['read'] + vardexctl.port_args(module) + ['--identity', '--json']
    if module.params['names'] == 'readable':
        read += ['--names', 'readable']
    both = vardexctl.run_json(module, read)
    if not isinstance(both, dict) or 'identity' not in both or 'settings' not in both:
        module.fail_json(msg='vardexctl read --identity printed no identity and settings')
    identity, settings = both['identity'], both['settings']
    if module.params['names'] == 'readable' and isinstance(identity, dict):
        # The identity under the same names as the settings.
        fields = vardexctl.Fields(vardexctl.schema(module))
        identity = dict((fields.readable.get(key, key), value) for key, value in identity.items())
    module.exit_json(changed=False, identity=identity, settings=settings)


if __name__ == '__main__':
    main()
