#!/usr/bin/python3
# Three sites upgraded from one control machine with the vexa.qrv collection,
# for real: ansible-playbook over ssh, sshd and qrv-firmware-upgrade-cli on
# each site's PC, simulated cameras on each site's LAN.
#
#   control (this namespace, made by scripts/run-in-private-network)
#   qrvctl1 10.210.1.1/24 <-> qrvsite1 10.210.1.2  site1: sshd, cameras 127.0.0.2-3 (the canary)
#   qrvctl2 10.210.2.1/24 <-> qrvsite2 10.210.2.2  site2: sshd, cameras 127.0.0.2-3 (.3 drops every upload)
#   qrvctl3 10.210.3.1/24 <-> qrvsite3 10.210.3.2  site3: sshd, cameras 127.0.0.2-4
#
# Each site is a network namespace of the test's own (held by an
# `unshare -n sleep` process) whose lo carries its cameras; sshd listens on
# the site's veth address only, with a key the test makes. The addresses exist
# only in these namespaces, and every process the test starts ends with it.
#
# The flow: the collection built and installed with ansible-galaxy; check mode
# (nothing but inquiries reach any camera); the rolling upgrade stopped by
# the failing site (max_fail_percentage 0), the last site untouched; a run that
# goes on past it (max_fail_percentage 50, two sites a batch); a last run whose
# sites all report changed false (skip_current). Every merged report is
# checked camera by camera against the simulators' event logs, and the
# password must appear in no process list taken during the runs and in no
# output of Ansible.
#
#   scripts/run-in-private-network tests/fleet/fleet_test.py --cli CLI --sim SIM --collection DIR
import argparse
import csv
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

PASSWORD = 'Fl33t-s3cret'
SITES = {
    'site1': ['127.0.0.2 serial=2100001', '127.0.0.3 serial=2100002'],
    'site2': ['127.0.0.2 serial=2200001', '127.0.0.3 serial=2200002 fault=drop-upload:4096'],
    'site3': ['127.0.0.2 serial=2300001', '127.0.0.3 serial=2300002', '127.0.0.4 serial=2300003'],
}
FAILING = ('site2', '127.0.0.3')
# Simulator and program share the scale. Ansible's own processes compete for
# the cores with the other tests, so the scaled inquiry time-out (20 s x S)
# keeps more room than the in-process tests' 0.01 gives.
TIME_SCALE = 0.03
CARRIED = '1.30'
ARGS = None


def run(command, **kwargs):
    """Runs a command to its end (at most two minutes); its CompletedProcess."""
    return subprocess.run(command, capture_output=True, text=True, timeout=120, **kwargs)


def must(command, **kwargs):
    done = run(command, **kwargs)
    if done.returncode != 0:
        raise AssertionError('%s: exit %d\n%s%s' % (' '.join(command), done.returncode, done.stdout, done.stderr))
    return done


def network_namespace(pid):
    try:
        return os.readlink('/proc/%d/ns/net' % pid)
    except OSError:
        return ''


class Site(object):
    def __init__(self, number, root):
        self.number = number
        self.name = 'site%d' % number
        self.dir = os.path.join(root, self.name)
        self.address = '10.210.%d.2' % number
        self.holder = None
        self.sshd = None
        self.sim = None
        os.makedirs(os.path.join(self.dir, 'data'))
        os.makedirs(os.path.join(self.dir, 'tmp'), 0o700)

    def enter(self):
        return ['nsenter', '-t', str(self.holder.pid), '-n', '--']

    def events(self):
        """The simulator's event log so far."""
        with open(os.path.join(self.dir, 'events.jsonl')) as f:
            return [json.loads(line) for line in f if line.strip()]


class ProcessWatch(object):
    """Reads every process's command line and environment, again and again,
    while Ansible runs; remembers any that held the password."""

    def __init__(self):
        self.seen = []
        self.samples = 0
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._watch)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join()
        return False

    def _watch(self):
        secret = PASSWORD.encode()
        while not self._stop.is_set():
            for pid in os.listdir('/proc'):
                if not pid.isdigit():
                    continue
                for part in ('cmdline', 'environ'):
                    try:
                        with open('/proc/%s/%s' % (pid, part), 'rb') as f:
                            text = f.read()
                    except OSError:
                        continue
                    if secret in text:
                        self.seen.append((pid, part, text.replace(b'\0', b' ')[:200]))
            self.samples += 1
            self._stop.wait(0.02)


class FleetOfSites(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix='qrv-fleet-')
        cls.sites = []
        cls.started = []
        try:
            cls.build_network()
            cls.start_sites()
            cls.install_collection()
            cls.write_inventory()
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        # Only the processes this test started, each by its own process group.
        for process in reversed(cls.started):
            if process.poll() is None:
                try:
                    os.killpg(process.pid, signal.SIGTERM)
                except OSError:
                    pass
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    os.killpg(process.pid, signal.SIGKILL)
                    process.wait()
        for site in cls.sites:
            run(['ip', 'link', 'del', 'qrvctl%d' % site.number])
        shutil.rmtree(cls.root, ignore_errors=True)

    @classmethod
    def start(cls, command, **kwargs):
        process = subprocess.Popen(command, start_new_session=True, **kwargs)
        cls.started.append(process)
        return process

    @classmethod
    def build_network(cls):
        links = must(['ip', '-o', 'link', 'show']).stdout.splitlines()
        assert len(links) == 1 and links[0].startswith('1: lo:'), \
            'the test must run inside scripts/run-in-private-network: %s' % links
        own = network_namespace(os.getpid())
        for number in (1, 2, 3):
            site = Site(number, cls.root)
            cls.sites.append(site)
            site.holder = cls.start(['unshare', '-n', 'sleep', '600'])
            deadline = time.monotonic() + 5
            while network_namespace(site.holder.pid) in ('', own) and time.monotonic() < deadline:
                time.sleep(0.005)
            assert network_namespace(site.holder.pid) not in ('', own), 'unshare -n made no namespace'
            near, far = 'qrvctl%d' % number, 'qrvsite%d' % number
            must(['ip', 'link', 'add', near, 'type', 'veth', 'peer', 'name', far, 'netns', str(site.holder.pid)])
            must(['ip', 'addr', 'add', '10.210.%d.1/24' % number, 'dev', near])
            must(['ip', 'link', 'set', near, 'up'])
            # As in the private namespace: the default route on lo keeps a broadcast inside.
            must(site.enter() + ['sh', '-c', 'ip link set lo up && ip route add default dev lo && '
                                 'ip addr add %s/24 dev %s && ip link set %s up' % (site.address, far, far)])

    @classmethod
    def start_sites(cls):
        must(['ssh-keygen', '-q', '-t', 'ed25519', '-N', '', '-C', 'qrv-fleet-test', '-f',
              os.path.join(cls.root, 'client_key')])
        # sshd wants its privilege separation folder; Debian makes it only when the service starts.
        os.makedirs('/run/sshd', mode=0o755, exist_ok=True)
        known_hosts = []
        for site in cls.sites:
            host_key = os.path.join(site.dir, 'host_key')
            must(['ssh-keygen', '-q', '-t', 'ed25519', '-N', '', '-C', site.name, '-f', host_key])
            with open(host_key + '.pub') as f:
                known_hosts.append('%s %s' % (site.address, ' '.join(f.read().split()[:2])))
            config = os.path.join(site.dir, 'sshd_config')
            with open(config, 'w') as f:
                f.write('\n'.join([
                    'ListenAddress %s' % site.address, 'Port 22', 'HostKey %s' % host_key,
                    'PidFile %s' % os.path.join(site.dir, 'sshd.pid'),
                    'AuthorizedKeysFile %s' % os.path.join(cls.root, 'client_key.pub'),
                    'PermitRootLogin prohibit-password', 'PasswordAuthentication no',
                    'KbdInteractiveAuthentication no', 'UsePAM no', 'StrictModes no',
                    'Subsystem sftp internal-sftp', '']))
            with open(os.path.join(site.dir, 'sshd.log'), 'w') as log:
                site.sshd = cls.start(site.enter() + ['/usr/sbin/sshd', '-D', '-e', '-f', config], stderr=log)
            with open(os.path.join(site.dir, 'fleet.txt'), 'w') as f:
                for line in SITES[site.name]:
                    f.write(line + ' admin=admin:%s\n' % PASSWORD)
            site.sim = cls.start(site.enter() + [ARGS.sim, '--fleet', os.path.join(site.dir, 'fleet.txt'),
                                                 '--time-scale', str(TIME_SCALE), '--events',
                                                 os.path.join(site.dir, 'events.jsonl')],
                                 stdout=subprocess.PIPE, text=True)
            assert site.sim.stdout.readline() == 'READY\n', '%s: the simulator did not start' % site.name
        with open(os.path.join(cls.root, 'known_hosts'), 'w') as f:
            f.write('\n'.join(known_hosts) + '\n')
        for site in cls.sites:
            deadline = time.monotonic() + 10
            while True:
                try:
                    socket.create_connection((site.address, 22), timeout=1).close()
                    break
                except OSError:
                    assert time.monotonic() < deadline, '%s: sshd does not listen' % site.name
                    time.sleep(0.05)

    @classmethod
    def environment(cls):
        env = {
            'PATH': '/usr/sbin:/usr/bin:/sbin:/bin',
            'HOME': os.path.join(cls.root, 'home'),
            'LANG': 'C.UTF-8',
            'ANSIBLE_COLLECTIONS_PATH': os.path.join(cls.root, 'collections'),
            'ANSIBLE_LOCAL_TEMP': os.path.join(cls.root, 'home', 'tmp'),
            'ANSIBLE_SSH_ARGS': '-o ControlMaster=no -F /dev/null',
            'ANSIBLE_PIPELINING': 'True',
            'ANSIBLE_CALLBACK_PLUGINS': os.path.join(os.path.dirname(os.path.abspath(__file__)), 'callback'),
            'ANSIBLE_CALLBACKS_ENABLED': 'fleet_record',
            'ANSIBLE_RETRY_FILES_ENABLED': 'False',
            'ANSIBLE_NOCOLOR': 'True',
        }
        return env

    @classmethod
    def install_collection(cls):
        os.makedirs(os.path.join(cls.root, 'home'))
        source = os.path.join(cls.root, 'collection-source')
        shutil.copytree(ARGS.collection, source, ignore=shutil.ignore_patterns('__pycache__'))
        built = must(['ansible-galaxy', 'collection', 'build', '--output-path', cls.root, source],
                     env=cls.environment(), cwd=cls.root)
        tarball = os.path.join(cls.root, 'vexa-qrv-1.30.0.tar.gz')
        assert os.path.isfile(tarball), built.stdout
        must(['ansible-galaxy', 'collection', 'install', '--offline', '-p',
              os.path.join(cls.root, 'collections'), tarball], env=cls.environment(), cwd=cls.root)
        cls.playbooks = os.path.join(cls.root, 'collections', 'ansible_collections', 'vexa', 'qrv', 'playbooks')
        assert os.path.isfile(os.path.join(cls.playbooks, 'upgrade_sites.yml'))

        # The password only in a vault.
        with open(os.path.join(cls.root, 'vault-pass'), 'w') as f:
            f.write('fleet-vault-key\n')
        os.chmod(os.path.join(cls.root, 'vault-pass'), 0o600)
        vault = os.path.join(cls.root, 'vault.yml')
        with open(vault, 'w') as f:
            f.write('qrv_password: %s\n' % PASSWORD)
        must(['ansible-vault', 'encrypt', '--vault-password-file', os.path.join(cls.root, 'vault-pass'), vault],
             env=cls.environment(), cwd=cls.root)
        with open(vault) as f:
            assert PASSWORD not in f.read()

    @classmethod
    def write_inventory(cls):
        hosts = {}
        for site in cls.sites:
            hosts[site.name] = {
                'ansible_host': site.address,
                'ansible_remote_tmp': os.path.join(site.dir, 'tmp'),
                'qrv_environment': {'XDG_DATA_HOME': os.path.join(site.dir, 'data')},
            }
        inventory = {
            'qrv_sites': {'hosts': hosts, 'vars': {
                'ansible_user': 'root',
                'ansible_ssh_private_key_file': os.path.join(cls.root, 'client_key'),
                'ansible_ssh_common_args': '-o UserKnownHostsFile=%s -o StrictHostKeyChecking=yes '
                                           '-o IdentitiesOnly=yes' % os.path.join(cls.root, 'known_hosts'),
                'ansible_python_interpreter': '/usr/bin/python3',
                'qrv_executable': ARGS.cli,
                'qrv_time_scale': TIME_SCALE,
                'qrv_discovery_seconds': 1,
                'qrv_settings': 'retain',
            }},
            'qrv_canary': {'hosts': {'site1': None}},
        }
        cls.inventory = os.path.join(cls.root, 'inventory.json')
        with open(cls.inventory, 'w') as f:
            json.dump(inventory, f)

    # ---- running the playbooks --------------------------------------------------------

    def playbook(self, name, run, *extra):
        """Runs a playbook of the installed collection; its exit code and what the recording callback kept:
        {'tasks': [{task, host, status, result}], 'stats': {host: {ok, changed, failures, ...}}}."""
        command = ['ansible-playbook', '-i', self.inventory, os.path.join(self.playbooks, name),
                   '--vault-password-file', os.path.join(self.root, 'vault-pass'),
                   '-e', '@' + os.path.join(self.root, 'vault.yml'),
                   '-e', 'qrv_report_dir=%s' % os.path.join(self.root, 'reports-' + run),
                   '-e', 'qrv_fleet_report=%s' % os.path.join(self.root, 'fleet-' + run)] + list(extra)
        env = self.environment()
        env['QRV_FLEET_RECORD'] = os.path.join(self.root, 'ansible-%s-%s.json' % (run, name))
        with ProcessWatch() as watch:
            done = subprocess.run(command + ['-v'], capture_output=True, text=True, timeout=300, env=env,
                                  cwd=self.root)
        self.assertGreater(watch.samples, 2)
        self.assertEqual(watch.seen, [], 'the password was in a process list during the %s run' % run)
        try:
            with open(env['QRV_FLEET_RECORD']) as f:
                recorded = f.read()
        except OSError:
            self.fail('%s run: ansible-playbook ended before its statistics (exit %d)\n%s\n%s'
                      % (run, done.returncode, done.stdout, done.stderr))
        for stream in (done.stdout, done.stderr, recorded):
            self.assertNotIn(PASSWORD, stream, 'the password was in the output of the %s run' % run)
        self.output = done.stdout + done.stderr
        return done.returncode, json.loads(recorded)

    @staticmethod
    def task_results(document, task_name):
        """{host: result} of the task named `task_name` (its last run per host)."""
        return {t['host']: t['result'] for t in document['tasks']
                if t['task'] == task_name or t['task'].endswith(' : ' + task_name)}

    def merged(self, run):
        with open(os.path.join(self.root, 'fleet-%s.json' % run)) as f:
            merged = json.load(f)
        with open(os.path.join(self.root, 'fleet-%s.csv' % run), newline='') as f:
            rows = list(csv.DictReader(f))
        # The CSV holds the same cameras as the JSON, each with its site.
        self.assertEqual([(r['site'], r['address'], r['upgraded']) for r in rows],
                         [(r['site'], r['address'], 'true' if r['upgraded'] else 'false') for r in merged['records']])
        return merged

    # ---- what the simulators say ------------------------------------------------------------

    def mark(self):
        """Where each simulator's event log stands now."""
        return {site.name: len(site.events()) for site in self.sites}

    def camera_history(self, since):
        """{(site, address): {'paths': [...], 'came_back': version or None}} from the logs after `since`."""
        history = {}
        for site in self.sites:
            for line in SITES[site.name]:
                history[(site.name, line.split()[0])] = {'paths': [], 'came_back': None, 'rebooted': False}
            for event in site.events()[since[site.name]:]:
                camera = event.get('camera', '').rsplit(':', 1)[0]
                entry = history.get((site.name, camera))
                if entry is None:
                    continue
                if event['kind'] == 'request':
                    entry['paths'].append(event['path'])
                elif event['kind'] == 'state':
                    if event['state'] == 'rebooting':
                        entry['rebooted'] = True
                    elif event['state'] == 'up' and entry['rebooted']:
                        entry['came_back'] = event.get('version')
        return history

    def assert_only_inquiries(self, since, why):
        for (site, camera), entry in self.camera_history(since).items():
            for path in entry['paths']:
                self.assertEqual(path, '/command/inquiry.cgi', '%s %s got %s %s' % (site, camera, path, why))

    def assert_matches_logs(self, merged, since, sites):
        """Every camera of `sites` once in the merged report, each record as its simulator's log tells."""
        history = self.camera_history(since)
        records = {(r['site'], r['address']): r for r in merged['records']}
        self.assertEqual(len(records), len(merged['records']), 'a camera twice in the merged report')
        self.assertEqual(sorted(records), sorted(k for k in history if k[0] in sites))
        for key, record in records.items():
            entry = history[key]
            uploaded = '/command/versionup.cgi' in entry['paths']
            if record['upgraded']:
                self.assertTrue(uploaded, key)
                self.assertEqual(entry['came_back'], CARRIED, key)
                self.assertEqual(record['version_after'], CARRIED, key)
                # Its settings were saved before and restored after.
                self.assertIn('/command/all-configuration.cgi', entry['paths'], key)
                self.assertEqual(record['config'], 'restored, deleted', key)
            elif record['result'].endswith(': already ' + CARRIED):
                self.assertFalse(uploaded, key)
                self.assertEqual(record['version_before'], CARRIED, key)
            else:
                self.assertEqual(key, FAILING, record['result'])
                self.assertIsNone(entry['came_back'], key)
                self.assertTrue(uploaded, key)

    # ---- the flow -----------------------------------------------------------------------------

    def test_sites_are_upgraded_one_at_a_time_after_the_canary(self):
        # Check mode: every site's dry run, and no camera gets anything but inquiries.
        since = self.mark()
        code, document = self.playbook('upgrade_sites.yml', 'check', '--check')
        self.assertEqual(code, 0, self.output)
        self.assert_only_inquiries(since, 'in check mode')
        merged = self.merged('check')
        self.assertTrue(all(site['dry_run'] for site in merged['sites']))
        self.assertEqual(sorted((r['site'], r['address'], r['would']) for r in merged['records']),
                         sorted((s, line.split()[0], 'upgrade') for s, lines in SITES.items() for line in lines))
        # The facts: each site's cameras with model, version and address.
        facts = self.task_results(document, "List the site's cameras")
        self.assertEqual(sorted((c['address'], c['model'], c['version'])
                                for c in facts['site3']['ansible_facts']['qrv_cameras']),
                         [('127.0.0.2', 'QRV-K7', '1.20'), ('127.0.0.3', 'QRV-K7', '1.20'),
                          ('127.0.0.4', 'QRV-K7', '1.20')])

        # One site at a time, no failure allowed: the canary and site2 run,
        # site2's failing camera fails its site, and the run ends there.
        since = self.mark()
        code, document = self.playbook('upgrade_sites.yml', 'a')
        self.assertNotEqual(code, 0)
        stats = document['stats']
        self.assertEqual(stats['site1']['failures'], 0, stats)
        self.assertGreater(stats['site1']['changed'], 0, stats)
        self.assertEqual(stats['site2']['failures'], 1, stats)
        self.assertNotIn('site3', stats)
        upgrade = self.task_results(document, "Upgrade the site's cameras")
        self.assertEqual(upgrade['site2']['failed_cameras'], ['127.0.0.3'])
        self.assertEqual(upgrade['site2']['upgraded'], 1)
        self.assertEqual(self.camera_history(since)[('site3', '127.0.0.2')]['paths'], [])
        # The merge did not run with it; run alone it takes the two sites that ran.
        self.assertFalse(os.path.exists(os.path.join(self.root, 'fleet-a.json')))
        code, _ = self.playbook('fleet_report.yml', 'a')
        self.assertEqual(code, 0)
        self.assert_matches_logs(self.merged('a'), since, ['site1', 'site2'])

        # Two sites a batch, half of a batch may fail: site2 fails again, the
        # run goes on, site3 is upgraded, the canary has nothing left to do.
        since = self.mark()
        code, document = self.playbook('upgrade_sites.yml', 'b', '-e', 'qrv_serial=2',
                                       '-e', 'qrv_max_fail_percentage=50')
        self.assertNotEqual(code, 0)
        stats = document['stats']
        self.assertEqual((stats['site1']['changed'], stats['site1']['failures']), (0, 0), stats)
        self.assertEqual(stats['site2']['failures'], 1, stats)
        self.assertEqual(stats['site3']['failures'], 0, stats)
        self.assertGreater(stats['site3']['changed'], 0, stats)
        self.assert_matches_logs(self.merged('b'), since, ['site1', 'site2', 'site3'])

        # Once every good camera is current, a run with skip_current changes nothing.
        since = self.mark()
        code, document = self.playbook('upgrade_sites.yml', 'c', '--limit', 'site1,site3,localhost',
                                       '-e', 'qrv_skip_current=true')
        self.assertEqual(code, 0, self.output)
        upgrade = self.task_results(document, "Upgrade the site's cameras")
        self.assertEqual({site: result['changed'] for site, result in upgrade.items()},
                         {'site1': False, 'site3': False})
        self.assertEqual({s: document['stats'][s]['changed'] for s in ('site1', 'site3')}, {'site1': 0, 'site3': 0})
        self.assert_only_inquiries(since, 'in the run after every camera was current')
        self.assert_matches_logs(self.merged('c'), since, ['site1', 'site3'])


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument('--cli', required=True)
    parser.add_argument('--sim', required=True)
    parser.add_argument('--collection', required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == '__main__':
    main()
