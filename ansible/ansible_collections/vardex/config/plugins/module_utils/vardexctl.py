# -*- coding: utf-8 -*-
# Copyright: 2026 the varDex Configuration Manager developers. All rights reserved.
"""Running vardexctl for the collection's modules: one place for the program's
path, the time bound and the way a failure fails the task."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json

# What coreutils' timeout returns when the bound ran out.
TIMED_OUT = 124
# After the polite signal, vardexctl stops after the command in progress and
# puts the device back in order; this is how long that may take before it is
# killed.
GRACE_SECONDS = 30

COMMON_ARGS = dict(
    port=dict(type='str'),
    vardexctl=dict(type='path'),
    timeout=dict(type='int', default=600),
)


def port_args(module):
    port = module.params.get('port')
    return ['--port', port] if port else []


def run_unchecked(module, args, data=None):
    """Runs vardexctl with args; returns (rc, stdout, stderr, command, failure),
    failure being None for exit status 0, else what the task should say."""
    program = module.params.get('vardexctl') or module.get_bin_path('vardexctl', required=True)
    timeout = module.params.get('timeout')
    command = [program] + args
    if timeout and timeout > 0:
        command = [module.get_bin_path('timeout', required=True), '--signal=TERM',
                   '--kill-after=%d' % GRACE_SECONDS, str(timeout)] + command
    # No terminal: a question vardexctl would ask is answered by end of input.
    rc, out, err = module.run_command(command, data=data, binary_data=data is None,
                                      environ_update={'LC_ALL': 'C.UTF-8'})
    failure = None
    if rc == TIMED_OUT and timeout:
        failure = 'vardexctl did not finish within %d s' % timeout
    elif rc != 0:
        failure = err.strip().splitlines()[-1] if err.strip() else 'vardexctl failed'
    return rc, out, err, command, failure


def run(module, args, data=None):
    """Runs vardexctl with args and returns its standard output. Any failure
    fails the task with vardexctl's own message and exit status."""
    rc, out, err, command, failure = run_unchecked(module, args, data)
    if failure:
        module.fail_json(msg=failure, rc=rc, stdout=out, stderr=err, cmd=command)
    return out


def run_json(module, args):
    """run() for a command that prints one JSON object."""
    out = run(module, args)
    try:
        return json.loads(out)
    except ValueError as error:
        module.fail_json(msg='vardexctl printed no JSON object: %s' % error, stdout=out)
    return None
