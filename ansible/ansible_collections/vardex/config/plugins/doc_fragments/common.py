# -*- coding: utf-8 -*-
# Copyright: 2026 the varDex Configuration Manager developers. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type


class ModuleDocFragment(object):
    # The options every module of the collection shares: which device, which
    # vardexctl and how long the job may take. module_defaults sets them once
    # for the group vardex.config.vardex.
    DOCUMENTATION = r'''
options:
  port:
    description:
      - The device's port, a path such as C(/dev/ttyUSB0) or a network port such as
        C(rfc2217://host:port).
      - Left out, vardexctl searches the machine's serial ports and USB modem lines; it must then
        find exactly one varDex.
    type: str
  vardexctl:
    description:
      - The path of the vardexctl program. By default it is found on the PATH.
    type: path
  timeout:
    description:
      - The most seconds the whole job may take. When they run out vardexctl is asked to stop after
        the command in progress, and the task fails. 0 sets no bound beyond vardexctl's own.
    type: int
    default: 600
attributes:
  platform:
    support: full
    platforms: posix
    description: Runs on the managed host that has the device.
notes:
  - The user running the module needs access to the port (on Debian, membership of C(dialout)).
requirements:
  - vardexctl, from the varDex Configuration Manager package, on the managed host
'''
