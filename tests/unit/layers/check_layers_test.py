#!/usr/bin/env python3
"""scripts/check-layers passes on the source tree and names every include
against the layering in a tree made to break it."""
import pathlib
import subprocess
import sys
import tempfile

script, source = sys.argv[1], sys.argv[2]

clean = subprocess.run([script, source], capture_output=True, text=True)
assert clean.returncode == 0, clean.stderr

# (file, line, what the check must say about it; None: allowed)
CASES = [
    ("engine/Job.cpp", '#include "batch/BatchRun.h"', "engine/ includes batch/, which is above it"),
    ("discovery/D.h", '#include "report/BatchReport.h"', "discovery/ includes report/, which is above it"),
    ("report/R.cpp", '#include "cli/CliCommand.h"', "report/ includes cli/, which is above it"),
    ("cli/C.cpp", '#include "ui/UiText.h"', "cli/ includes ui/, which is above it"),
    ("ui/U.cpp", '#include "cli/CliCommand.h"', "ui/ includes cli/, which is above it"),
    ("serial_protect/S.cpp", '#include "platform/Files.h"', "serial_protect/ includes platform/"),
    ("resources/P.cpp", '#include "engine/Timing.h"', "resources/ includes engine/"),
    ("batch/B.cpp", '#include "sim/Camera.h"', "the program includes the simulator (sim/)"),
    ("sim/X.cpp", '#include "batch/BatchRun.h"', "the simulator includes batch/"),
    ("report/Q.cpp", "#include <QString>", "report/ includes Qt; only ui/ and app/ may"),
    ("platform/W.h", "#include <QtCore/QObject>", "platform/ includes Qt; only ui/ and app/ may"),
    ("app/A.cpp", '#include "ui/UiText.h"', None),
    ("app/B.cpp", "#include <QApplication>", None),
    ("report/Ok.cpp", '#include "batch/BatchRun.h"', None),
    ("sim/Ok.cpp", '#include "platform/Files.h"', None),
    ("cli/Ok.cpp", '#include "report/BatchReport.h"', None),
]

with tempfile.TemporaryDirectory() as folder:
    root = pathlib.Path(folder)
    for name, line, _ in CASES:
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text("// a line\n" + line + "\n")
    run = subprocess.run([script, str(root)], capture_output=True, text=True)
    assert run.returncode == 1, run
    for name, _, fault in CASES:
        said = [l for l in run.stderr.splitlines() if l.startswith(name + ":2:")]
        if fault is None:
            assert not said, said
        else:
            assert len(said) == 1 and fault in said[0], (name, said)
print("ok")
