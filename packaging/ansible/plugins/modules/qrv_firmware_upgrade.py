#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright (c) 2026 the QRV FirmwareUpgrade developers. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: qrv_firmware_upgrade
short_description: Upgrade the firmware of the QRV cameras on the managed host's LAN
description:
  - Runs C(qrv-firmware-upgrade-cli batch) on the managed host (a site's PC on the cameras' LAN) and returns
    one record per camera from the batch's JSON report.
  - The cameras come from discovery (the default), from addresses, or from camera lists on the managed host.
  - The password reaches the program through a private temporary file (mode 0600, removed afterwards), never
    through its command line or its environment, and never appears in the module's output.
  - In check mode the program's C(--dry-run) runs instead; it sends no configuration save, no upload and no
    restore to any camera, and the records say what would happen.
version_added: "1.30.0"
author:
  - VEXA
options:
  user:
    description: The administrator account's name, the same on every camera of the batch.
    type: str
    default: admin
  password:
    description: The administrator's password. Keep it in an Ansible vault.
    type: str
    required: true
  cameras:
    description:
      - Addresses (C(a.b.c.d) or C(a.b.c.d:port)) of the cameras to upgrade; each is asked what it is first.
      - With neither I(cameras) nor I(camera_lists), the cameras that answer the discovery broadcast.
    type: list
    elements: str
    default: []
  camera_lists:
    description: Camera list files on the managed host (one address a line), added to I(cameras).
    type: list
    elements: path
    default: []
  discovery_seconds:
    description: Length of the discovery window.
    type: float
    default: 10
  settings:
    description:
      - C(retain) saves each camera's settings before and restores them after (the saved file deleted),
        C(backup) keeps the saved file too, C(discard) lets the new firmware start from its defaults.
    type: str
    choices: [discard, retain, backup]
    default: retain
  parallel:
    description: How many cameras' jobs run at once (1..256); one save or upload at a time whatever the number.
    type: int
    default: 2
  skip_current:
    description: Leave out the cameras that already run the carried version.
    type: bool
    default: false
  allow_failed:
    description: Do not fail the host when a camera failed (or in check mode would be refused).
    type: bool
    default: false
  report:
    description: Also keep the batch's JSON report at this path on the managed host.
    type: path
  executable:
    description: The program; a name is looked up on the PATH.
    type: str
    default: qrv-firmware-upgrade-cli
  time_scale:
    description: Scale every pause and time-out of the program (for the simulated cameras of a test or demo only).
    type: float
notes:
  - A batch holds at most 256 cameras, and discovery does not pass a router; run the module on a host in each LAN.
  - Supports check mode.
seealso:
  - module: vexa.qrv.qrv_cameras
  - module: vexa.qrv.fleet_report
'''

EXAMPLES = r'''
- name: Upgrade every camera the site's PC finds, keeping their settings
  vexa.qrv.qrv_firmware_upgrade:
    password: "{{ qrv_password }}"
    settings: retain
    skip_current: true
  register: upgrade

- name: Upgrade the cameras of a list, four at a time, and keep the saved settings
  vexa.qrv.qrv_firmware_upgrade:
    user: admin
    password: "{{ qrv_password }}"
    camera_lists: [/etc/qrv/cameras.txt]
    settings: backup
    parallel: 4
'''

RETURN = r'''
records:
  description: One record per camera, as the program's JSON report holds it.
  returned: when the program wrote its report
  type: list
  elements: dict
  sample:
    - address: 192.168.0.10
      port: 80
      model: QRV-K7
      serial: "100501"
      version_before: "1.20"
      version_after: "1.30"
      result: QRV-K7(192.168.0.10) Completed successfully.
      upgraded: true
      settings: retain
      config: restored, deleted
report:
  description: The whole JSON report (header and records), for vexa.qrv.fleet_report.
  returned: when the program wrote its report
  type: dict
dry_run:
  description: Whether the program ran its dry run (check mode).
  returned: always
  type: bool
upgraded:
  description: How many cameras came back on the carried version (in check mode, how many would be upgraded).
  returned: always
  type: int
failed_cameras:
  description: The addresses of the cameras that failed (in check mode, that would be refused).
  returned: always
  type: list
  elements: str
rc:
  description: The program's exit code (0 all good, 1 some camera failed, 2 usage, 130 interrupted).
  returned: always
  type: int
stdout_lines:
  description: What the program printed (its progress, the upgrade log, the dry run's lines).
  returned: always
  type: list
  elements: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vexa.qrv.plugins.module_utils.qrv_cli import (
    PrivateFolder, find_executable, output_lines, read_report)


def batch_arguments(params, password_file, report_file, dry_run):
    """The program's command line; the password is only named by its file."""
    args = ['batch'] + list(params['cameras'])
    for camera_list in params['camera_lists']:
        args += ['--list', camera_list]
    args += ['--user', params['user'], '--password-file', password_file, '--yes',
             '--report', report_file, '--parallel', str(params['parallel'])]
    if params['settings'] == 'retain':
        args.append('--retain')
    elif params['settings'] == 'backup':
        args.append('--backup')
    if not params['cameras'] and not params['camera_lists']:
        args += ['--seconds', '%g' % params['discovery_seconds']]
    if params['skip_current']:
        args.append('--skip-current')
    if dry_run:
        args.append('--dry-run')
    if params.get('time_scale'):
        args += ['--time-scale', '%g' % params['time_scale']]
    return args


def summarize(records, dry_run):
    """How many cameras were (or would be) upgraded, and the addresses that failed."""
    if dry_run:
        upgraded = [r for r in records if r.get('would') == 'upgrade']
        failed = [r for r in records if r.get('would') == 'refuse']
    else:
        upgraded = [r for r in records if r.get('upgraded')]
        failed = [r for r in records if not r.get('upgraded') and not is_skipped_current(r)]
    return len(upgraded), [address_of(r) for r in failed]


def is_skipped_current(record):
    """A camera left alone because it already ran the carried version."""
    return record.get('finished') and not record.get('started') and ': already ' in record.get('result', '')


def address_of(record):
    port = record.get('port', 80)
    return record.get('address', '') + ('' if port == 80 else ':%s' % port)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            user=dict(type='str', default='admin'),
            password=dict(type='str', required=True, no_log=True),
            cameras=dict(type='list', elements='str', default=[]),
            camera_lists=dict(type='list', elements='path', default=[]),
            discovery_seconds=dict(type='float', default=10),
            settings=dict(type='str', choices=['discard', 'retain', 'backup'], default='retain'),
            parallel=dict(type='int', default=2),
            skip_current=dict(type='bool', default=False),
            allow_failed=dict(type='bool', default=False),
            report=dict(type='path'),
            executable=dict(type='str', default='qrv-firmware-upgrade-cli'),
            time_scale=dict(type='float'),
        ),
        supports_check_mode=True,
    )
    params = module.params
    if not 1 <= params['parallel'] <= 256:
        module.fail_json(msg='parallel must be from 1 to 256')
    program = find_executable(module, params['executable'])
    dry_run = module.check_mode

    with PrivateFolder() as folder:
        password_file = folder.write_secret('password', params['password'])
        report_file = folder.file('report.json')
        rc, out, err = module.run_command([program] + batch_arguments(params, password_file, report_file, dry_run))
        report = read_report(report_file)
        if report is not None and params['report']:
            module.atomic_move(report_file, params['report'])

    records = report.get('records', []) if report else []
    upgraded, failed = summarize(records, dry_run)
    result = dict(
        changed=upgraded > 0,
        rc=rc,
        dry_run=dry_run,
        upgraded=upgraded,
        failed_cameras=failed,
        stdout_lines=output_lines(out),
        stderr_lines=output_lines(err),
    )
    if report is not None:
        result['records'] = records
        result['report'] = report
    if report is None or rc not in (0, 1):
        module.fail_json(msg='qrv-firmware-upgrade-cli batch ended with exit code %d' % rc, **result)
    if rc == 1 and not params['allow_failed']:
        what = 'would be refused' if dry_run else 'failed'
        module.fail_json(msg='%d camera(s) %s: %s' % (len(failed), what, ', '.join(failed) or 'see stdout_lines'),
                         **result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
