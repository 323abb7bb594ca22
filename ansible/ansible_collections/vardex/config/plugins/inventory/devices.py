# -*- coding: utf-8 -*-
# Copyright: 2026 the varDex Configuration Manager developers. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
name: devices
short_description: The varDex devices that vardexctl finds on the hosts given
version_added: "0.2.0"
description:
  - Runs C(vardexctl identify --all --json) on each host given (here, or through a command such as
    C(ssh HOST)) and adds every varDex that answered as an inventory host named C(HOST_PORT), with
    C(vardex_port) and C(ansible_host) set, so that the collection's modules find it.
  - Groups the devices by host (C(vardex_host_HOST)), country variant (C(vardex_country_COUNTRY))
    and firmware (C(vardex_firmware_2_10)), all under C(vardex).
  - A host where vardexctl fails or finds nothing adds no device; a warning says why.
  - The configuration file's name ends in C(vardex.yml) or C(vardex.yaml).
author:
  - varDex Configuration Manager developers (@vardex-config)
options:
  plugin:
    description: The name of this plugin, to be sure the file is meant for it.
    type: str
    required: true
    choices: ['vardex.config.devices']
  hosts:
    description:
      - The hosts to search. C(name) is the inventory name of the managed host; C(command) the
        words that run a program there (left out for C(localhost), which runs vardexctl here).
    type: list
    elements: dict
    required: true
  vardexctl:
    description: The vardexctl program on the hosts.
    type: str
    default: vardexctl
  environment:
    description: Variables for vardexctl, such as C(VARDEX_PORTS), the ports it searches.
    type: dict
    default: {}
  timeout:
    description: The most seconds the search of one host may take.
    type: int
    default: 120
'''

EXAMPLES = r'''
# bench.vardex.yml
plugin: vardex.config.devices
hosts:
  - name: localhost
  - name: bench1
    command: [ssh, bench1]
environment:
  VARDEX_PORTS: /dev/ttyUSB0:/dev/ttyUSB1
'''

import json
import re
import subprocess

from ansible.errors import AnsibleParserError
from ansible.plugins.inventory import BaseInventoryPlugin


def group_word(text):
    """A text as a group name takes it: letters, digits and underscores."""
    return re.sub(r'[^0-9A-Za-z_]+', '_', str(text)).strip('_').lower() or 'unknown'


def version(word):
    if not isinstance(word, int) or isinstance(word, bool):
        return None
    return '%d.%d' % (word >> 8, word & 0xff)


def found_devices(output):
    """The devices of vardexctl identify --all --json: one object a line; those
    whose status is 0 answered."""
    devices = []
    for line in output.splitlines():
        try:
            device = json.loads(line)
        except ValueError:
            continue
        if isinstance(device, dict) and device.get('status') == 0 and device.get('port'):
            devices.append(device)
    return devices


class InventoryModule(BaseInventoryPlugin):

    NAME = 'vardex.config.devices'

    def verify_file(self, path):
        return super(InventoryModule, self).verify_file(path) and \
            path.endswith(('vardex.yml', 'vardex.yaml'))

    def parse(self, inventory, loader, path, cache=True):
        super(InventoryModule, self).parse(inventory, loader, path, cache)
        self._read_config_data(path)
        self.inventory.add_group('vardex')
        for host in self.get_option('hosts'):
            if not isinstance(host, dict) or not host.get('name'):
                raise AnsibleParserError('%s: each of hosts needs a name' % path)
            for device in self._search(host):
                self._add(host['name'], device)

    def _search(self, host):
        command = list(host.get('command') or [])
        if not command and host['name'] not in ('localhost', '127.0.0.1'):
            raise AnsibleParserError('host %s needs a command that runs programs there' % host['name'])
        environment = ['%s=%s' % (k, v) for k, v in sorted(self.get_option('environment').items())]
        words = command + (['env'] + environment if environment else []) + \
            [self.get_option('vardexctl'), 'identify', '--all', '--json']
        try:
            done = subprocess.run(words, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, timeout=self.get_option('timeout'),
                                  check=False)
        except (OSError, subprocess.TimeoutExpired) as error:
            self.display.warning('no varDex searched on %s: %s' % (host['name'], error))
            return []
        devices = found_devices(done.stdout.decode('utf-8', 'replace'))
        if not devices:
            self.display.warning('vardexctl found no varDex on %s' % host['name'])
        return devices

    def _add(self, managed, device):
        name = '%s_%s' % (managed, group_word(device['port']))
        self.inventory.add_host(name, group='vardex')
        self.inventory.set_variable(name, 'vardex_port', device['port'])
        self.inventory.set_variable(name, 'ansible_host', managed)
        if managed in ('localhost', '127.0.0.1'):
            self.inventory.set_variable(name, 'ansible_connection', 'local')
        country = device.get('m_strCountry')
        firmware = version(device.get('m_wFirmwareVersion'))
        self.inventory.set_variable(name, 'vardex_country', country)
        self.inventory.set_variable(name, 'vardex_firmware', firmware)
        for group in ('vardex_host_' + group_word(managed), 'vardex_country_' + group_word(country),
                      'vardex_firmware_' + group_word(firmware)):
            self.inventory.add_group(group)
            self.inventory.add_child('vardex', group)
            self.inventory.add_host(name, group=group)
