# The collection's Python without Ansible running it: the merge of the sites'
# reports (fleet_report), the command line the upgrade module gives the
# program and how it reads the records back, and the documentation blocks
# every module must carry. Run by ctest (ansible_collection_tests).
import csv
import importlib.util
import io
import json
import os
import sys
import tempfile
import types
import unittest

import yaml

HERE = os.path.dirname(os.path.abspath(__file__))
COLLECTION = os.path.dirname(HERE)
MODULES = os.path.join(COLLECTION, 'plugins', 'modules')


def load_collection_package():
    """Makes ansible_collections.vexa.qrv importable from the source tree."""
    names = ['ansible_collections', 'ansible_collections.vexa', 'ansible_collections.vexa.qrv',
             'ansible_collections.vexa.qrv.plugins', 'ansible_collections.vexa.qrv.plugins.module_utils']
    for name in names:
        if name not in sys.modules:
            package = types.ModuleType(name)
            package.__path__ = []
            sys.modules[name] = package
    sys.modules['ansible_collections.vexa.qrv.plugins.module_utils'].__path__ = [
        os.path.join(COLLECTION, 'plugins', 'module_utils')]


def load_module(name):
    load_collection_package()
    spec = importlib.util.spec_from_file_location(name, os.path.join(MODULES, name + '.py'))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


fleet_report = load_module('fleet_report')
qrv_firmware_upgrade = load_module('qrv_firmware_upgrade')


def record(address, upgraded, result, **more):
    r = {'address': address, 'port': 80, 'mac': '', 'model': 'QRV-K7', 'serial': '1', 'version_before': '1.20',
         'version_after': '1.30' if upgraded else '', 'stage': 9 if upgraded else 10, 'status': '',
         'result': result, 'finished': True, 'upgraded': upgraded, 'settings': 'retain', 'config_file': '',
         'config': 'none', 'started': '2026-12-07T11:12:13+01:00', 'ended': '2026-12-07T11:13:13+01:00'}
    r.update(more)
    return r


def report(records, dry_run=False):
    r = {'format': 1, 'program_version': '1.30.0', 'batch_time': '2026-12-07T11:12:00+01:00',
         'carried_version': '1.30'}
    if dry_run:
        r['dry_run'] = True
    r['records'] = records
    return r


class FleetReportMerge(unittest.TestCase):
    def write_sites(self, folder, sites):
        for site, content in sites.items():
            with open(os.path.join(folder, site + '.json'), 'w') as f:
                f.write(content if isinstance(content, str) else json.dumps(content))

    def test_every_record_of_every_site_with_its_site_in_json_and_csv(self):
        with tempfile.TemporaryDirectory() as folder:
            self.write_sites(folder, {
                'site-b': report([record('127.0.0.2', True, 'QRV-K7(127.0.0.2) Completed successfully.'),
                                  record('127.0.0.3', False, '=HYPERLINK("x"), a "quoted" text')]),
                'site-a': report([record('127.0.0.2', True, 'done', mac='08:00:23:00:05:01')]),
            })
            with open(os.path.join(folder, 'notes.txt'), 'w') as f:
                f.write('not a report')
            merged = fleet_report.merge_reports(fleet_report.read_site_reports(folder))

        self.assertEqual([s['site'] for s in merged['sites']], ['site-a', 'site-b'])
        self.assertEqual(merged['sites'][1]['cameras'], 2)
        self.assertEqual(merged['sites'][0]['carried_version'], '1.30')
        self.assertEqual([(r['site'], r['address'], r['upgraded']) for r in merged['records']],
                         [('site-a', '127.0.0.2', True), ('site-b', '127.0.0.2', True),
                          ('site-b', '127.0.0.3', False)])
        # The same camera address at two sites stays two cameras.
        self.assertEqual(merged['records'][0]['mac'], '08:00:23:00:05:01')

        text = fleet_report.csv_text(merged)
        rows = list(csv.reader(io.StringIO(text, newline='')))
        self.assertEqual(rows[0], ['site'] + fleet_report.REPORT_COLUMNS)
        self.assertEqual(len(rows), 4)
        by_column = [dict(zip(rows[0], row)) for row in rows[1:]]
        self.assertEqual(by_column[2]['site'], 'site-b')
        self.assertEqual(by_column[2]['upgraded'], 'false')
        self.assertEqual(by_column[1]['upgraded'], 'true')
        # A camera's text never runs as a spreadsheet formula, and survives its quotes and commas.
        self.assertEqual(by_column[2]['result'], '\'=HYPERLINK("x"), a "quoted" text')
        self.assertTrue(text.endswith('\r\n'))

    def test_a_dry_run_site_adds_its_columns_and_is_marked(self):
        merged = fleet_report.merge_reports({
            'site-a': report([record('127.0.0.2', False, 'would upgrade 127.0.0.2: 1.20 -> 1.30', would='upgrade',
                                     image=1)], dry_run=True),
            'site-b': report([]),
        })
        self.assertEqual([s['dry_run'] for s in merged['sites']], [True, False])
        rows = list(csv.DictReader(io.StringIO(fleet_report.csv_text(merged), newline='')))
        self.assertEqual(len(rows), 1)
        self.assertEqual((rows[0]['would'], rows[0]['image']), ('upgrade', '1'))

    def test_a_file_that_is_no_report_is_named(self):
        for content in ['{"format": 2, "records": []}', 'not json', '[1, 2]', '{"format": 1}']:
            with tempfile.TemporaryDirectory() as folder:
                self.write_sites(folder, {'site-x': content})
                with self.assertRaises(fleet_report.ReportError) as raised:
                    fleet_report.read_site_reports(folder)
                self.assertIn('site-x.json', str(raised.exception), content)


class UpgradeModule(unittest.TestCase):
    PARAMS = {'user': 'admin', 'cameras': [], 'camera_lists': [], 'discovery_seconds': 0.5, 'settings': 'retain',
              'parallel': 3, 'skip_current': True, 'time_scale': None}

    def test_the_password_is_only_named_by_its_file(self):
        args = qrv_firmware_upgrade.batch_arguments(dict(self.PARAMS, password='s3cret'), '/tmp/p/password',
                                                    '/tmp/p/report.json', dry_run=True)
        self.assertNotIn('s3cret', ' '.join(args))
        self.assertEqual(args[:1], ['batch'])
        for pair in [['--password-file', '/tmp/p/password'], ['--report', '/tmp/p/report.json'],
                     ['--parallel', '3'], ['--seconds', '0.5']]:
            self.assertIn(pair, [args[i:i + 2] for i in range(len(args))])
        for flag in ['--retain', '--skip-current', '--dry-run', '--yes']:
            self.assertIn(flag, args)

    def test_cameras_and_lists_replace_discovery_and_settings_map_to_their_flags(self):
        params = dict(self.PARAMS, cameras=['10.0.0.5', '10.0.0.6:8080'], camera_lists=['/etc/qrv/a.txt'],
                      settings='backup', skip_current=False, time_scale=0.01)
        args = qrv_firmware_upgrade.batch_arguments(params, 'pw', 'r.json', dry_run=False)
        self.assertEqual(args[1:3], ['10.0.0.5', '10.0.0.6:8080'])
        self.assertIn(['--list', '/etc/qrv/a.txt'], [args[i:i + 2] for i in range(len(args))])
        self.assertIn('--backup', args)
        self.assertIn(['--time-scale', '0.01'], [args[i:i + 2] for i in range(len(args))])
        for absent in ['--seconds', '--retain', '--dry-run', '--skip-current']:
            self.assertNotIn(absent, args)

    def test_upgraded_skipped_and_failed_cameras_are_told_apart(self):
        records = [record('127.0.0.2', True, 'ok'),
                   record('127.0.0.3', False, 'skipped 127.0.0.3: already 1.30', started='', ended=''),
                   record('127.0.0.4', False, 'QRV-K7(127.0.0.4) Network error', port=8080),
                   record('127.0.0.5', False, 'skipped 127.0.0.5: No response', started='', ended='')]
        self.assertEqual(qrv_firmware_upgrade.summarize(records, dry_run=False),
                         (1, ['127.0.0.4:8080', '127.0.0.5']))
        dry = [record('127.0.0.2', False, '', would='upgrade'), record('127.0.0.3', False, '', would='skip'),
               record('127.0.0.4', False, '', would='refuse')]
        self.assertEqual(qrv_firmware_upgrade.summarize(dry, dry_run=True), (1, ['127.0.0.4']))


class Documentation(unittest.TestCase):
    def test_every_module_documents_its_options_examples_and_return_values(self):
        for name in sorted(os.listdir(MODULES)):
            if not name.endswith('.py'):
                continue
            module = load_module(name[:-3])
            documentation = yaml.safe_load(module.DOCUMENTATION)
            self.assertEqual(documentation['module'], name[:-3])
            self.assertTrue(yaml.safe_load(module.EXAMPLES), name)
            self.assertTrue(yaml.safe_load(module.RETURN), name)
            with open(os.path.join(MODULES, name)) as f:
                source = f.read()
            # Every option the module declares is documented, and the reverse.
            declared = set()
            for line in source.split('argument_spec=dict(')[1].split('supports_check_mode')[0].splitlines():
                word = line.strip().split('=')[0]
                if word and line.strip().endswith(('),', ')')) and '=dict(' in line:
                    declared.add(word)
            self.assertEqual(declared, set(documentation['options']), name)
        secret = yaml.safe_load(qrv_firmware_upgrade.DOCUMENTATION)['options']['password']
        self.assertTrue(secret['required'])
        with open(os.path.join(MODULES, 'qrv_firmware_upgrade.py')) as f:
            self.assertIn("password=dict(type='str', required=True, no_log=True)", f.read())


if __name__ == '__main__':
    unittest.main()
