"""The shipped executables under Wine: their version resource as the
version API reads it (verquery), and what their manifest changes: at each
Windows version Wine plays, a program carrying it is told a version of its
own, where one without it is told Windows 8 in place of the later ones
(verinfo, built with the manifest and without). That the executables print
what verinfo with the manifest is told, test/e2e/test_versions.py checks."""

from pathlib import Path

import pytest

from release import VERSION4
from support import (MINGW, SETTINGS, VERSION, WINDOWS, binary, checked,
                     mingw, require, windows_path)

pytestmark = pytest.mark.release

HERE = Path(__file__).parent
ARCH = {"win64": "x64", "win32": "x86"}
# The settings at which a program without the manifest is told Windows 8.
TRUE_VERSION_ONLY = ["win81", "win10"]


@pytest.fixture(scope="session")
def verquery(tmp_path_factory):
    """verquery built for each target."""
    require(*(MINGW[t] + "gcc" for t in MINGW))
    folder = tmp_path_factory.mktemp("verquery")
    return {t: mingw(t, folder / ("verquery-%s.exe" % t), HERE / "verquery.c",
                     libs=["-lversion"]) for t in MINGW}


@pytest.mark.parametrize("shipped", WINDOWS)
def test_version_resource(wine, verquery, pytestconfig, shipped):
    """Read by the x64 verquery for both executables: reading a resource
    runs no x86 code, so the x86 one is checked wherever Wine runs."""
    got = {}
    out = checked(wine.run([verquery["win64"],
                            windows_path(binary(pytestconfig, shipped))]))
    for line in out.decode("latin-1").splitlines():
        key, sep, value = line.partition("=")
        if not sep:
            key, _, value = line.partition(" ")
        got[key] = value
    want = {
        "fixed": "%s %s 1" % (VERSION4, VERSION4),  # 1: an application
        "ProductName": "TORVELIN",
        "FileDescription": "TORVELIN Windows version report (%s)" %
                           ARCH[shipped],
        "FileVersion": VERSION,
        "ProductVersion": VERSION,
    }
    assert {key: got.get(key) for key in want} == want


def test_settings_take_effect(winver, verinfo, win_exe):
    told, plain = {}, {}
    for s in SETTINGS:
        winver.play(s)
        told[s], plain[s] = (verinfo(win_exe[0], manifest).version
                             for manifest in (True, False))
    assert len(set(told.values())) == len(SETTINGS), told
    assert [s for s in SETTINGS if plain[s] != told[s]] == \
        TRUE_VERSION_ONLY, (told, plain)
    assert {plain[s] for s in TRUE_VERSION_ONLY} == {told["win8"]}, plain
