# -*- coding: utf-8 -*-
# Copyright: 2026 the varDex Configuration Manager developers. All rights reserved.
"""Where the controller keeps a device's settings read before a change: by
default backup/HOST_vardex.DATE@TIME.json beside the playbook."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os
import tempfile
import time


def backup_name(host, now):
    return '%s_vardex.%s.json' % (host, time.strftime('%Y-%m-%d@%H:%M:%S', now))


def keep_backup(content, options, task_vars, basedir):
    """Writes content (the settings as vardexctl read --json prints them) and
    returns what the task reports of it."""
    now = time.localtime()
    host = task_vars.get('inventory_hostname', 'localhost')
    directory = options.get('dir_path') or os.path.join(basedir, 'backup')
    filename = options.get('filename') or backup_name(host, now)
    if os.path.basename(filename) != filename:
        raise ValueError('backup_options.filename names a file, not a path: %r' % filename)
    json.loads(content)  # only settings are kept: anything else is an error of the module
    if not os.path.isdir(directory):
        os.makedirs(directory)
    path = os.path.abspath(os.path.join(directory, filename))
    # Whole or not at all: a file cut short would restore half the settings.
    handle, temporary = tempfile.mkstemp(dir=directory, prefix='.' + filename, suffix='.tmp')
    try:
        with os.fdopen(handle, 'w') as backup:
            backup.write(content)
        os.rename(temporary, path)
    except Exception:
        os.unlink(temporary)
        raise
    return dict(backup_path=path, filename=filename, date=time.strftime('%Y-%m-%d', now),
                time=time.strftime('%H:%M:%S', now))
