# -*- coding: utf-8 -*-
# Copyright: 2026 the varDex Configuration Manager developers. All rights reserved.
"""The restore module run from the controller: a backup file named by src is
read there and handed to the module on the managed host."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

from ansible.errors import AnsibleError
from ansible.plugins.action import ActionBase


class ActionModule(ActionBase):

    def run(self, tmp=None, task_vars=None):
        task_vars = task_vars or {}
        result = super(ActionModule, self).run(tmp, task_vars)
        args = dict(self._task.args)
        if args.get('src') is not None and args.get('backup') is not None:
            return dict(result, failed=True, msg='restore takes src or backup, not both')
        if args.get('src') is not None:
            try:
                path = self._find_needle('files', args['src'])
                with open(path, 'r') as backup:
                    args['content'] = backup.read()
            except (AnsibleError, IOError, OSError) as error:
                return dict(result, failed=True, msg='cannot read the backup %s: %s' % (args['src'], error))
        result.update(self._execute_module(module_name='vardex.config.restore', module_args=args,
                                           task_vars=task_vars))
        return result
