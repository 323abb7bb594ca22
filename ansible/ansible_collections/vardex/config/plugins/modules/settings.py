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
  backup:
    description:
      - Keep the device's settings, as read before any change, in a file on the controller.
      - By default the file is C(backup/HOST_vardex.DATE@TIME.json) in the playbook's folder;
        C(backup_options) chooses another. M(vardex.config.restore) writes such a file back.
      - This is besides the backup vardexctl keeps on the managed host before every write.
    type: bool
    default: false
  backup_options:
    description:
      - Where the controller keeps the backup when C(backup) is true.
    type: dict
    suboptions:
      dir_path:
        description:
          - The folder, made when missing. By default C(backup) in the playbook's folder.
        type: path
      filename:
        description:
          - The file's name. By default C(HOST_vardex.DATE@TIME.json).
        type: str
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
backup_path:
  description: The backup kept on the controller.
  returned: when backup is true
  type: str
  sample: /home/ops/site/backup/bench1_vardex.2026-12-11@10:20:30.json
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


def main():
    argument_spec = dict(
        settings=dict(type='dict', default={}),
        power_up_profile=dict(type='int', choices=[0, 1, 2, 3, 4]),
        backup=dict(type='bool', default=False),
        backup_options=dict(type='dict', options=dict(dir_path=dict(type='path'),
                                                      filename=dict(type='str'))),
    )
    argument_spec.update(vardexctl.STORE_ARGS)
    argument_spec.update(vardexctl.COMMON_ARGS)
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)

    fields = vardexctl.Fields(vardexctl.schema(module))
    wanted = desired_state(module, fields)
    # The settings as they were, for the controller to keep (the action plugin
    # writes them there); read before anything is sent.
    before = vardexctl.run(module, ['read'] + vardexctl.port_args(module) + ['--json']) \
        if module.params['backup'] else None
    used = set(vardexctl.Fields.split(name)[0] for name in wanted)
    handle, path = tempfile.mkstemp(prefix='vardex-settings-', suffix='.json')
    try:
        with os.fdopen(handle, 'w') as settings_file:
            json.dump(wanted, settings_file)
        result = vardexctl.apply(module, path, rename=lambda name: fields.as_named(name, used))
    finally:
        os.unlink(path)
    if before is not None:
        result['__backup__'] = before
    if result.get('failed'):
        module.fail_json(**result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
