#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 the varDex Configuration Manager developers. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: upgrade
short_description: Replace a varDex's firmware
version_added: "0.2.0"
description:
  - Sends a firmware image to the varDex through C(vardexctl upgrade), which keeps a backup of the
    settings first, waits for the device to come back and reads every setting again.
  - With C(version), the device's firmware is compared first (C(vardexctl identify --json)), and a
    device that already runs it is left alone, so a second run changes nothing. Without it, the
    image is always sent, since an image's version is known only to the device.
  - One upgrade of a port at a time on a host; a second one for the same port fails at once.
  - The task fails with vardexctl's reason when vardexctl does not judge the upgrade done.
author:
  - varDex Configuration Manager developers (@vardex-config)
extends_documentation_fragment:
  - vardex.config.common
attributes:
  check_mode:
    support: full
    description: Reports whether the device's firmware differs from C(version); nothing is sent.
  diff_mode:
    support: full
    description: The firmware version before and after.
options:
  image:
    description:
      - The firmware image, a file on the managed host.
    type: path
    required: true
  version:
    description:
      - The firmware version the image installs, as the device reports it (C(2.11)). A device that
        runs it already is not upgraded.
    type: str
'''

EXAMPLES = r'''
- name: Firmware 2.11 on every bench device, once
  vardex.config.upgrade:
    port: /dev/ttyUSB0
    image: /srv/firmware/vardex-2.11.img
    version: "2.11"
'''

RETURN = r'''
firmware:
  description: The device's firmware version before and after (after equals before when unchanged).
  returned: always
  type: dict
  sample: {"before": "2.10", "after": "2.11"}
diff:
  description: The firmware version before and after, in diff mode.
  returned: when diff mode is on
  type: dict
'''

import errno
import fcntl
import hashlib
import os
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vardex.config.plugins.module_utils import vardexctl


def firmware(module):
    identity = vardexctl.run_json(module, ['identify'] + vardexctl.port_args(module) + ['--json'])
    word = identity.get('m_wFirmwareVersion') if isinstance(identity, dict) else None
    if not isinstance(word, int) or isinstance(word, bool):
        module.fail_json(msg='vardexctl identify reported no firmware version')
    return '%d.%d' % (word >> 8, word & 0xff)


def same_version(running, wanted):
    """'2.10' and 'V2.10' and '2.10.0' alike; numbers compared as numbers."""
    def parts(text):
        text = text.strip().lstrip('vV')
        numbers = []
        for part in text.split('.'):
            try:
                numbers.append(int(part))
            except ValueError:
                return None
        while len(numbers) > 2 and numbers[-1] == 0:
            numbers.pop()
        return numbers
    return parts(running) is not None and parts(running) == parts(wanted)


def port_lock(module):
    """Held for the upgrade: a second upgrade of the same port on this host
    fails at once instead of meeting the first on the line."""
    key = module.params.get('port') or 'the only varDex'
    name = 'vardex-upgrade-%s.lock' % hashlib.sha256(key.encode('utf-8')).hexdigest()[:16]
    directory = os.environ.get('XDG_RUNTIME_DIR') or tempfile.gettempdir()
    handle = os.open(os.path.join(directory, name), os.O_RDWR | os.O_CREAT, 0o600)
    try:
        fcntl.flock(handle, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except (IOError, OSError) as error:
        os.close(handle)
        if error.errno in (errno.EAGAIN, errno.EACCES):
            module.fail_json(msg='another upgrade of %s runs on this host' % key)
        raise
    return handle


def main():
    argument_spec = dict(image=dict(type='path', required=True), version=dict(type='str'))
    argument_spec.update(vardexctl.COMMON_ARGS)
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)
    image = module.params['image']
    if not os.path.isfile(image):
        module.fail_json(msg='no firmware image at %s' % image)

    lock = port_lock(module)
    try:
        before = firmware(module)
        wanted = module.params['version']
        result = dict(changed=wanted is None or not same_version(before, wanted),
                      firmware=dict(before=before, after=before))
        if result['changed'] and not module.check_mode:
            vardexctl.run(module, ['upgrade'] + vardexctl.port_args(module) + ['--yes', image])
            result['firmware']['after'] = firmware(module)
            if wanted is not None and not same_version(result['firmware']['after'], wanted):
                module.fail_json(msg='the device runs firmware %s after the upgrade, not %s'
                                 % (result['firmware']['after'], wanted), **result)
        elif result['changed']:
            result['firmware']['after'] = wanted
        if module._diff:
            result['diff'] = dict(before=dict(firmware=before),
                                  after=dict(firmware=result['firmware']['after']))
    finally:
        os.close(lock)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
