# -*- coding: utf-8 -*-
# Copyright: 2026 the varDex Configuration Manager developers. All rights reserved.
"""The settings module run from the controller, which keeps the backup the
module read (backup: true) in a file of its own, as network configuration
modules do."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

from ansible_collections.vardex.config.plugins.module_utils.backup_file import keep_backup
from ansible.plugins.action import ActionBase


class ActionModule(ActionBase):

    def run(self, tmp=None, task_vars=None):
        task_vars = task_vars or {}
        result = super(ActionModule, self).run(tmp, task_vars)
        result.update(self._execute_module(module_name='vardex.config.settings',
                                           module_args=self._task.args, task_vars=task_vars))
        backup = result.pop('__backup__', None)
        if backup is not None:
            try:
                result.update(keep_backup(backup, self._task.args.get('backup_options') or {},
                                          task_vars, self._loader.get_basedir()))
            except (IOError, OSError, ValueError) as error:
                result['failed'] = True
                result['msg'] = 'the backup could not be kept on the controller: %s' % error
        return result
