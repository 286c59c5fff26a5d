"""The executables take the registry calls from KERNEL32, which exports
them in Wine as in Windows 7 and later: a run that reads the registry loads
no advapi32.dll, and reads it all the same where advapi32.dll cannot be
had. (Where KERNEL32 lacks them, the unit tests of platform/regapi.cc
cover the load of advapi32.dll.)"""

import re
import shutil
import subprocess

import pytest

from expected import answer, system_of

pytestmark = pytest.mark.wine

# Wine gives no advapi32.dll to a program of this name.
NAME = "noadvapi.exe"
OVERRIDE = "HKCU\\Software\\Wine\\AppDefaults\\%s\\DllOverrides" % NAME

# A module loaded, in Wine's trace under WINEDEBUG=+pid,+loaddll:
# 'PID:TID:trace:loaddll:build_module Loaded L"C:\\...\\NAME.dll" at ...'.
LOADED = re.compile(rb'^([0-9a-f]+):[0-9a-f]+:trace:loaddll:\w+ '
                    rb'Loaded L"(?:[^"]*\\)?([^"\\]+)"', re.M)


def modules_of(trace, image):
    """The file names, lower-case, of the modules loaded by the process
    whose first module is `image`."""
    by_pid = {}
    for pid, name in LOADED.findall(trace):
        by_pid.setdefault(pid, []).append(name.decode().lower())
    found = [m for m in by_pid.values() if m[0] == image]
    assert len(found) == 1, by_pid
    return found[0]


def test_report_loads_no_advapi32(win_exe, wine, facts, tmp_path):
    out, err = tmp_path / "out", tmp_path / "err"
    env = dict(wine.env, WINEDEBUG="+pid,+loaddll")
    with open(out, "wb") as o, open(err, "wb") as e:
        status = subprocess.run(["wine", win_exe[1]], env=env,
                                stdin=subprocess.DEVNULL, stdout=o, stderr=e,
                                timeout=90).returncode
    # Standard error holds the trace.
    assert (out.read_bytes(), status) == (
        answer("report", system_of(facts)), 0)
    modules = modules_of(err.read_bytes(), "torvelin.exe")
    assert {"kernel32.dll", "msvcrt.dll"} <= set(modules)
    assert "advapi32.dll" not in modules, modules


def test_report_without_advapi32(win_exe, wine, facts, tmp_path):
    exe = tmp_path / NAME
    shutil.copy(win_exe[1], exe)
    setup = wine.run(["reg", "add", OVERRIDE, "/v", "advapi32", "/d", "",
                      "/f"])
    assert setup.returncode == 0, setup.stderr
    got = wine.run([str(exe)])
    assert (got.stdout, got.stderr, got.returncode) == (
        answer("report", system_of(facts)), b"", 0)
