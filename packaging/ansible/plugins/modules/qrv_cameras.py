#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright (c) 2026 the QRV FirmwareUpgrade developers. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: qrv_cameras
short_description: The QRV cameras the managed host finds on its LAN, as facts
description:
  - Runs C(qrv-firmware-upgrade-cli discover --json) on the managed host and sets the fact C(qrv_cameras),
    one entry per camera that answered the broadcast, with its model, version and address.
  - Only listens for answers; nothing on any camera changes. No account is needed.
version_added: "1.30.0"
author:
  - VEXA
options:
  seconds:
    description: Length of the discovery window.
    type: float
    default: 10
  interface:
    description: Broadcast on this network interface only (default every interface).
    type: str
  executable:
    description: The program; a name is looked up on the PATH.
    type: str
    default: qrv-firmware-upgrade-cli
notes:
  - Supports check mode (it changes nothing either way).
seealso:
  - module: vexa.qrv.qrv_firmware_upgrade
'''

EXAMPLES = r'''
- name: Find the site's cameras
  vexa.qrv.qrv_cameras:
    seconds: 5

- name: Name the cameras that still run an old version
  ansible.builtin.debug:
    msg: "{{ ansible_facts.qrv_cameras | rejectattr('version', 'equalto', '1.30') | map(attribute='address') }}"
'''

RETURN = r'''
ansible_facts:
  description: The facts set.
  returned: always
  type: dict
  contains:
    qrv_cameras:
      description: One entry per camera found.
      type: list
      elements: dict
      sample:
        - address: 192.168.0.10
          ip: 192.168.0.10
          port: 80
          model: QRV-K7
          version: "1.20"
          serial: "100501"
          mac: 08:00:23:00:05:01
          dhcp: false
          interface: eth0
'''

import json

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vexa.qrv.plugins.module_utils.qrv_cli import find_executable


def parse_cameras(text):
    """The cameras of `discover --json`: a JSON array, one camera a line. Discovery may print a line of its
    own before it (such as "Error : sendto" for a network it could not send on); the array starts at the
    first line that begins with '['."""
    lines = text.splitlines()
    start = next((i for i, line in enumerate(lines) if line.startswith('[')), len(lines))
    cameras = json.loads('\n'.join(lines[start:])) if start < len(lines) else []
    for camera in cameras:
        port = camera.get('port', 80)
        camera['address'] = camera.get('ip', '') + ('' if port == 80 else ':%s' % port)
    return cameras


def main():
    module = AnsibleModule(
        argument_spec=dict(
            seconds=dict(type='float', default=10),
            interface=dict(type='str'),
            executable=dict(type='str', default='qrv-firmware-upgrade-cli'),
        ),
        supports_check_mode=True,
    )
    program = find_executable(module, module.params['executable'])
    args = [program, 'discover', '--json', '--seconds', '%g' % module.params['seconds']]
    if module.params['interface']:
        args += ['--interface', module.params['interface']]
    rc, out, err = module.run_command(args)
    if rc != 0:
        module.fail_json(msg='qrv-firmware-upgrade-cli discover ended with exit code %d' % rc, rc=rc,
                         stderr=err)
    try:
        cameras = parse_cameras(out)
    except ValueError as e:
        module.fail_json(msg='discover --json printed no JSON: %s' % e, rc=rc, stdout=out)
    notes = [line for line in out.splitlines() if line.startswith('Error')]
    module.exit_json(changed=False, ansible_facts=dict(qrv_cameras=cameras), warnings=notes)


if __name__ == '__main__':
    main()
