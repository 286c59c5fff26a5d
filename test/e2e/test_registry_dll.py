"""The executables load advapi32.dll only to read the registry. Where it
cannot be loaded, they still start, and the registry reader reports a key
that cannot be opened."""

import shutil

import pytest

from expected import OPEN_ERR, lines

pytestmark = pytest.mark.wine

# Wine gives no advapi32.dll to a program of this name.
NAME = "noadvapi.exe"
OVERRIDE = "HKCU\\Software\\Wine\\AppDefaults\\%s\\DllOverrides" % NAME


def test_without_advapi32(win_exe, wine, tmp_path):
    exe = tmp_path / NAME
    shutil.copy(win_exe[1], exe)
    setup = wine.run(["reg", "add", OVERRIDE, "/v", "advapi32", "/d", "",
                      "/f"])
    assert setup.returncode == 0, setup.stderr
    got = wine.run([str(exe), "/p"])
    assert (got.stdout, got.stderr, got.returncode) == (
        lines(OPEN_ERR), b"", 0)
