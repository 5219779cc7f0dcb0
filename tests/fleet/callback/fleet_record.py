# A callback of the fleet test: beside the usual output, every task's result
# per host and the closing statistics go to the JSON file named by
# QRV_FLEET_RECORD, so that the test reads what Ansible reported instead of
# parsing its screen.
from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = '''
    name: fleet_record
    type: aggregate
    short_description: record task results and statistics as JSON (fleet test)
    description: Writes every task's result per host and the statistics to $QRV_FLEET_RECORD.
'''

import json
import os

from ansible.plugins.callback import CallbackBase


class CallbackModule(CallbackBase):
    CALLBACK_VERSION = 2.0
    CALLBACK_TYPE = 'aggregate'
    CALLBACK_NAME = 'fleet_record'
    CALLBACK_NEEDS_ENABLED = True

    def __init__(self):
        super(CallbackModule, self).__init__()
        self.record = {'tasks': [], 'stats': {}}

    def _add(self, result, status):
        self.record['tasks'].append({'task': result._task.get_name(), 'host': result._host.get_name(),
                                     'status': status, 'result': result._result})

    def v2_runner_on_ok(self, result):
        self._add(result, 'ok')

    def v2_runner_on_failed(self, result, ignore_errors=False):
        self._add(result, 'failed')

    def v2_runner_on_skipped(self, result):
        self._add(result, 'skipped')

    def v2_runner_on_unreachable(self, result):
        self._add(result, 'unreachable')

    def v2_playbook_on_stats(self, stats):
        self.record['stats'] = {host: stats.summarize(host) for host in sorted(stats.processed)}
        with open(os.environ['QRV_FLEET_RECORD'], 'w') as f:
            json.dump(self.record, f, default=str)
