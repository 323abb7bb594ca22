#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 the varDex Configuration Manager developers. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: restore
short_description: Write a varDex's backed-up settings back
version_added: "0.2.0"
description:
  - Brings a varDex back to the settings of a backup, through C(vardexctl apply --json) as
    M(vardex.config.settings) does; only the fields that differ are written, each verified.
  - The backup is a file on the controller (C(src), as M(vardex.config.settings) keeps one with
    C(backup=true)), or one of the backups vardexctl keeps on the managed host before every write
    (C(backup), numbered as C(vardexctl backups) lists them, 1 the newest).
  - Any failure of vardexctl fails the task with vardexctl's reason.
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
    description: The fields that change, before and after.
options:
  src:
    description:
      - A backup file on the controller (the settings as C(vardexctl read --json) prints them).
    type: path
  backup:
    description:
      - The number of one of vardexctl's own backups on the managed host, 1 the newest.
    type: int
  content:
    description:
      - The backup's settings as text. The collection's action plugin fills this in from C(src);
        a playbook gives C(src) instead.
    type: str
  store_profile:
    description:
      - The stored profile (0 to 3) that keeps the settings written, or C(none) for the active
        settings only. Left out, the profile the device loads at power-up.
    type: raw
notes:
  - Exactly one of C(src) and C(backup) is given.
'''

EXAMPLES = r'''
- name: Keep the settings before a change
  vardex.config.settings:
    port: /dev/ttyUSB0
    settings:
      port1.call_waiting: 0
    backup: true
    backup_options:
      dir_path: /srv/vardex-backups
      filename: bench1.json
  register: changed

- name: And bring them back
  vardex.config.restore:
    port: /dev/ttyUSB0
    src: /srv/vardex-backups/bench1.json

- name: The settings before the last write made on the managed host
  vardex.config.restore:
    port: /dev/ttyUSB0
    backup: 1
'''

RETURN = r'''
changed:
  description: Whether any field differed from the backup (and, out of check mode, was written).
  returned: always
  type: bool
changes:
  description: Each field that differs, with the device's value before and the backup's after.
  returned: always
  type: dict
fields:
  description: What became of each value written, as in M(vardex.config.settings).
  returned: when a write was made
  type: list
  elements: dict
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


def kept_backup(module, number):
    """The path of vardexctl's backup number on this host."""
    listed = vardexctl.run_json(module, ['backups', '--json'])
    for entry in listed if isinstance(listed, list) else []:
        if isinstance(entry, dict) and entry.get('number') == number and entry.get('file'):
            return entry['file']
    module.fail_json(msg='vardexctl keeps no backup %d on this host (vardexctl backups lists them)'
                     % number)
    return None


def main():
    argument_spec = dict(
        src=dict(type='path'),
        backup=dict(type='int'),
        # The file's settings, as the action plugin reads them on the controller.
        content=dict(type='str', no_log=False),
    )
    argument_spec.update(vardexctl.STORE_ARGS)
    argument_spec.update(vardexctl.COMMON_ARGS)
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True,
                           required_one_of=[('content', 'backup')],
                           mutually_exclusive=[('content', 'backup')])
    if module.params['backup'] is not None:
        result = vardexctl.apply(module, kept_backup(module, module.params['backup']))
    else:
        try:
            json.loads(module.params['content'])
        except ValueError as error:
            source = module.params['src'] or 'the backup'
            module.fail_json(msg='%s holds no settings: %s' % (source, error))
        handle, path = tempfile.mkstemp(prefix='vardex-restore-', suffix='.json')
        try:
            with os.fdopen(handle, 'w') as settings_file:
                settings_file.write(module.params['content'])
            result = vardexctl.apply(module, path)
        finally:
            os.unlink(path)
    if result.get('failed'):
        module.fail_json(**result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
