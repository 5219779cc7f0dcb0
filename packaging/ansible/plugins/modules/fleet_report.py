#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright (c) 2026 the QRV FirmwareUpgrade developers. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: fleet_report
short_description: Merge the sites' batch reports into one JSON and one CSV file
description:
  - Reads every site's JSON report (C(SITE.json), as the role C(vexa.qrv.firmware_upgrade) writes it on the
    control machine) from a folder and writes one JSON file and one CSV file holding every camera of every
    site, each record with a C(site) field or column first.
  - Run it on the control machine, in a play on C(localhost).
version_added: "1.30.0"
author:
  - VEXA
options:
  src:
    description: The folder of the sites' reports, one C(SITE.json) per site.
    type: path
    required: true
  json:
    description: The merged JSON file to write.
    type: path
    required: true
  csv:
    description: The merged CSV file to write.
    type: path
    required: true
notes:
  - Supports check mode (it then writes nothing and says whether it would).
  - A report that is not one of the program's (no C(format) 1, no records) fails the task and names the file.
seealso:
  - module: vexa.qrv.qrv_firmware_upgrade
'''

EXAMPLES = r'''
- name: One report for the whole fleet
  vexa.qrv.fleet_report:
    src: "{{ playbook_dir }}/qrv-reports"
    json: "{{ playbook_dir }}/fleet-report.json"
    csv: "{{ playbook_dir }}/fleet-report.csv"
'''

RETURN = r'''
sites:
  description: The sites merged, in the order of their names, with their report's header.
  returned: always
  type: list
  elements: dict
  sample:
    - site: site-a
      program_version: 1.30.0
      batch_time: "2026-12-07T11:12:13+01:00"
      carried_version: "1.30"
      dry_run: false
      cameras: 3
records:
  description: How many camera records the merged report holds.
  returned: always
  type: int
upgraded:
  description: How many cameras were upgraded, over every site.
  returned: always
  type: int
'''

import csv
import io
import json
import os

from ansible.module_utils.basic import AnsibleModule

# The columns of a batch report's CSV, in order; a dry run's adds the last two.
REPORT_COLUMNS = ['address', 'port', 'mac', 'model', 'serial', 'version_before', 'version_after', 'stage',
                  'status', 'result', 'finished', 'upgraded', 'settings', 'config_file', 'config', 'started',
                  'ended']
DRY_RUN_COLUMNS = ['would', 'image']
HEADER_FIELDS = ['program_version', 'batch_time', 'carried_version']


class ReportError(Exception):
    pass


def read_site_reports(folder):
    """{site: report} of every SITE.json in `folder`."""
    reports = {}
    for name in sorted(os.listdir(folder)):
        if not name.endswith('.json'):
            continue
        path = os.path.join(folder, name)
        try:
            with open(path, 'r') as f:
                report = json.load(f)
        except (IOError, OSError, ValueError) as e:
            raise ReportError('%s: %s' % (path, e))
        if not isinstance(report, dict) or report.get('format') != 1 or not isinstance(report.get('records'), list):
            raise ReportError('%s: not a batch report of format 1' % path)
        reports[name[:-len('.json')]] = report
    return reports


def merge_reports(reports):
    """The merged report of {site: report}: a header per site and every record with its site first."""
    merged = {'format': 1, 'sites': [], 'records': []}
    for site in sorted(reports):
        report = reports[site]
        header = {'site': site}
        for field in HEADER_FIELDS:
            header[field] = report.get(field, '')
        header['dry_run'] = bool(report.get('dry_run', False))
        header['cameras'] = len(report['records'])
        merged['sites'].append(header)
        for record in report['records']:
            row = {'site': site}
            row.update(record)
            merged['records'].append(row)
    return merged


def csv_text(merged):
    """The merged records as CSV: site first, then the report's columns (a dry run's two when any site has them)."""
    columns = ['site'] + REPORT_COLUMNS
    if any(site['dry_run'] for site in merged['sites']):
        columns += DRY_RUN_COLUMNS
    out = io.StringIO()
    writer = csv.writer(out, lineterminator='\r\n')
    writer.writerow(columns)
    for record in merged['records']:
        writer.writerow([cell(record.get(column, '')) for column in columns])
    return out.getvalue()


def cell(value):
    """As the program's CSV writes a value: booleans as true/false, and text a spreadsheet would run as a
    formula made inert with a leading quote."""
    if isinstance(value, bool):
        return 'true' if value else 'false'
    text = '%s' % value
    if text and text[0] in "=+-@\t\r'":
        return "'" + text
    return text


def write_file(module, path, text):
    """Writes `text` under a temporary name beside `path` and moves it into place; whether it changed."""
    try:
        with open(path, 'r', newline='') as f:
            if f.read() == text:
                return False
    except (IOError, OSError):
        pass
    if module.check_mode:
        return True
    folder = os.path.dirname(os.path.abspath(path))
    if not os.path.isdir(folder):
        os.makedirs(folder, 0o700)
    temporary = path + '.part'
    with open(temporary, 'w', newline='') as f:
        f.write(text)
    os.chmod(temporary, 0o600)
    module.atomic_move(temporary, path)
    return True


def main():
    module = AnsibleModule(
        argument_spec=dict(
            src=dict(type='path', required=True),
            json=dict(type='path', required=True),
            csv=dict(type='path', required=True),
        ),
        supports_check_mode=True,
    )
    params = module.params
    if not os.path.isdir(params['src']):
        module.fail_json(msg='%s is no folder of site reports' % params['src'])
    try:
        merged = merge_reports(read_site_reports(params['src']))
    except ReportError as e:
        module.fail_json(msg='cannot merge the reports: %s' % e)
    changed = write_file(module, params['json'], json.dumps(merged, indent=1) + '\n')
    changed = write_file(module, params['csv'], csv_text(merged)) or changed
    module.exit_json(changed=changed, sites=merged['sites'], records=len(merged['records']),
                     upgraded=sum(1 for r in merged['records'] if r.get('upgraded')))


if __name__ == '__main__':
    main()
