# -*- coding: utf-8 -*-
# What the modules of vexa.qrv share: finding qrv-firmware-upgrade-cli on the
# managed host and running it with the password in a private temporary file,
# never on its command line (which every user of the host can read) and never
# in its environment.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os
import shutil
import tempfile

DEFAULT_EXECUTABLE = 'qrv-firmware-upgrade-cli'


def find_executable(module, executable):
    """The program's path: as given when it holds a '/', else found on PATH."""
    if executable and '/' in executable:
        if not os.access(executable, os.X_OK):
            module.fail_json(msg='%s is not an executable program' % executable)
        return executable
    return module.get_bin_path(executable or DEFAULT_EXECUTABLE, required=True)


class PrivateFolder(object):
    """A folder only this user may enter (0700), removed with everything in it."""

    def __init__(self):
        self.path = tempfile.mkdtemp(prefix='qrv-')

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        shutil.rmtree(self.path, ignore_errors=True)
        return False

    def write_secret(self, name, secret):
        """Writes `secret` as the first line of a file of mode 0600; its path."""
        path = os.path.join(self.path, name)
        fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
        with os.fdopen(fd, 'w') as f:
            f.write(secret + '\n')
        return path

    def file(self, name):
        return os.path.join(self.path, name)


def read_report(path):
    """The JSON report the program wrote, or None when it wrote none."""
    try:
        with open(path, 'r') as f:
            return json.load(f)
    except (IOError, OSError, ValueError):
        return None


def output_lines(text):
    return [line for line in (text or '').splitlines() if line.strip()]
