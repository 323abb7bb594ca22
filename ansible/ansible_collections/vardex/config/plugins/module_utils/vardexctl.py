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

# The option both modules that write take: where the settings are stored.
STORE_ARGS = dict(store_profile=dict(type='raw'))

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
        failure = failure_text(out, err)
    return rc, out, err, command, failure


def failure_text(out, err):
    """What went wrong, as vardexctl says it: the "error" of the JSON object a
    --json command prints when it fails, else the last line of its standard
    error that is not a progress bar."""
    try:
        report = json.loads(out)
    except ValueError:
        report = None
    if isinstance(report, dict) and isinstance(report.get('error'), str) and report['error']:
        return report['error']
    lines = [line.strip() for line in err.replace('\r', '\n').splitlines()]
    lines = [line for line in lines if line and not line.startswith('[')]
    return lines[-1] if lines else 'vardexctl failed'


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


def schema(module):
    """vardexctl's JSON Schema of a settings file: every field under both of
    its names, with its type and limits."""
    return run_json(module, ['schema'])


TRUE_WORDS = ('yes', 'true', 'on')
FALSE_WORDS = ('no', 'false', 'off')


class Fields(object):
    """The fields of the settings file as the schema describes them: each
    name's type, its other name, and the conversion of a value as a playbook
    gives it (numbers as text from a template, yes/no for a flag) to that type."""

    def __init__(self, schema_doc):
        self.defs = schema_doc.get('$defs', {})
        self.refs = dict((name, prop.get('$ref', '').split('/')[-1])
                         for name, prop in schema_doc.get('properties', {}).items())
        self.readable = {}
        for rule in schema_doc.get('allOf', []):
            names = rule.get('not', {}).get('required', [])
            if len(names) == 2:
                self.readable[names[0]] = names[1]
        self.member = dict((readable, member) for member, readable in self.readable.items())

    @staticmethod
    def split(name):
        """'port1.msn[2]' -> ('port1.msn', '[2]')."""
        at = name.find('[')
        return (name, '') if at < 0 else (name[:at], name[at:])

    def shown(self, name):
        """The readable name of a field (with its indexes) for a message."""
        base, index = self.split(name)
        return self.readable.get(base, base) + index

    def kind(self, name):
        """The schema of a field's value (or of the element its indexes name);
        None for a name the schema does not know."""
        base, index = self.split(name)
        definition = self.defs.get(self.refs.get(base, ''))
        if definition is None:
            return None
        kinds = [k for k in definition.get('anyOf', [definition]) if k.get('type') != 'null']
        kind = kinds[0] if kinds else {}
        depth = index.count('[')
        while depth > 0:
            kind = kind.get('items', {})
            depth -= 1
        return kind

    def convert(self, name, value):
        """(value as the field's type, None) or (None, why it does not convert)."""
        kind = self.kind(name)
        if kind is None or value is None:
            return value, None
        return self._convert(self.shown(name), kind, value)

    def _convert(self, shown, kind, value):
        what = kind.get('type')
        if what == 'array':
            if not isinstance(value, (list, tuple)):
                return None, '%s: expected a list, not %r' % (shown, value)
            converted = []
            for position, item in enumerate(value):
                item, why = self._convert('%s[%d]' % (shown, position), kind.get('items', {}), item)
                if why:
                    return None, why
                converted.append(item)
            return converted, None
        if what == 'string':
            if isinstance(value, bool) or not isinstance(value, (str, int)):
                return None, '%s: expected a text, not %r' % (shown, value)
            return str(value), None
        if what == 'integer':
            number = self._whole(value)
            low, high = kind.get('minimum'), kind.get('maximum')
            if number is None or (low is not None and number < low) or \
                    (high is not None and number > high):
                limits = '' if low is None or high is None else ' %d..%d' % (low, high)
                flag = ' (or yes/no)' if (low, high) == (0, 1) else ''
                return None, '%s: expected a whole number%s%s, not %r' % (shown, limits, flag, value)
            return number, None
        return value, None

    @staticmethod
    def _whole(value):
        if isinstance(value, bool):
            return int(value)
        if isinstance(value, int):
            return value
        if isinstance(value, float):
            return int(value) if value.is_integer() else None
        if isinstance(value, str):
            text = value.strip().lower()
            if text in TRUE_WORDS:
                return 1
            if text in FALSE_WORDS:
                return 0
            try:
                number = float(text) if ('.' in text or 'e' in text) else int(text, 10)
            except ValueError:
                return None
            if isinstance(number, float):
                return int(number) if number.is_integer() else None
            return number
        return None

    def as_named(self, name, used):
        """A name vardexctl reported (member or readable, with indexes) under
        the form of it the playbook used: used holds the base names of the
        playbook's settings."""
        base, index = self.split(name)
        for candidate in (base, self.readable.get(base), self.member.get(base)):
            if candidate in used:
                return candidate + index
        return name


def store_args(module):
    """vardexctl's words for store_profile: a profile 0..3, none, or the
    power-up profile when left out."""
    store = module.params['store_profile']
    if store is None:
        return []
    if str(store).strip().lower() == 'none':
        return ['--no-store']
    if str(store).strip() in ('0', '1', '2', '3'):
        return ['--store', str(store).strip()]
    module.fail_json(msg='store_profile takes a profile 0 to 3 or none, not %r' % (store,))
    return []


def parse_report(out):
    """vardexctl apply's JSON report, or None when it printed none."""
    try:
        report = json.loads(out)
    except ValueError:
        return None
    if not isinstance(report, dict) or not isinstance(report.get('changed'), bool) \
            or not isinstance(report.get('changes', {}), dict):
        return None
    return report


def apply(module, path, rename=None):
    """vardexctl apply of the settings file at path (in check mode: what it
    would change), as the task's result; rename gives a reported field name as
    the playbook wrote it. The result has failed set when the write failed, and
    then still says what reached the device."""
    args = ['apply'] + port_args(module) + [path, '--json'] + store_args(module)
    if module.check_mode:
        args.append('--check')
    rc, out, err, command, failure = run_unchecked(module, args)
    report = parse_report(out)
    rename = rename or (lambda name: name)
    if report is not None:
        report['changes'] = dict((rename(name), change)
                                 for name, change in report.get('changes', {}).items())
        if isinstance(report.get('fields'), list):
            report['fields'] = [dict(f, name=rename(f.get('name', ''))) if isinstance(f, dict) else f
                                for f in report['fields']]
    written = dict((key, report[key]) for key in ('fields', 'stored', 'profile', 'backup')
                   if report is not None and key in report)
    if failure:
        # What reached the device is told even when the write did not finish.
        return dict(failed=True, msg=failure, rc=rc, stdout=out, stderr=err, cmd=command,
                    changed=bool(report and report['changed']),
                    changes=(report or {}).get('changes', {}), **written)
    if report is None:
        return dict(failed=True, msg='vardexctl printed an unexpected report', stdout=out)
    changes = report.get('changes', {})
    result = dict(changed=report['changed'], changes=changes, **written)
    if module._diff:
        result['diff'] = dict(
            before=dict((field, change.get('before')) for field, change in changes.items()),
            after=dict((field, change.get('after')) for field, change in changes.items()))
    return result
