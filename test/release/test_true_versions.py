"""The shipped executables under Wine: their version resource as the
version API reads it (verquery), and the true Windows version at each
version Wine plays, as Wine tells it to a helper carrying the same manifest
(verinfo)."""

import re
from pathlib import Path

import pytest

from expected import LABELS
from release import SHIPPED, VERSION4
from support import (MINGW, SETTINGS, VERSION, binary, mingw,
                     windows_path)

pytestmark = pytest.mark.release

HERE = Path(__file__).parent
ARCH = {"win64": "x64", "win32": "x86"}
# The settings at which a program without the manifest is told Windows 8.
TRUE_VERSION_ONLY = ["win81", "win10"]


class Windows:
    """Wine playing one Windows version at a time, with the executables
    alone in a folder (bin) under their shipped names, verinfo to ask what
    Wine tells them, and verquery to read their version resource."""

    def __init__(self, winver, verinfo, folder, exes):
        self.winver, self.wine, self.bin = winver, winver.wine, folder / "bin"
        self.verinfo = verinfo
        self.bin.mkdir()
        for target, path in exes.items():
            (self.bin / SHIPPED[target]).write_bytes(path.read_bytes())
        self.verquery = {target: mingw(
            target, folder / ("verquery-%s.exe" % target), HERE / "verquery.c",
            libs=["-lversion"]) for target in MINGW}
        self.answers = {}

    def ask(self, *argv):
        """The lines a command prints; it must end with status 0."""
        proc = self.wine.run(argv, cwd=self.bin)
        assert proc.returncode == 0, (argv, proc.stdout, proc.stderr)
        return proc.stdout.decode("latin-1").splitlines()

    def version(self, target, setting, manifest=True):
        """Plays setting; returns what Wine tells target's programs then,
        with the tool's manifest or without: platform, major, minor and
        build."""
        self.winver.play(setting)
        key = target, setting, manifest
        if key not in self.answers:
            self.answers[key] = self.verinfo(target, manifest).version
        return self.answers[key]


@pytest.fixture(scope="session")
def windows(winver, verinfo, pytestconfig, tmp_path_factory):
    return Windows(winver, verinfo, tmp_path_factory.mktemp("release"),
                   {t: binary(pytestconfig, t) for t in SHIPPED})


def test_version_resource(windows, win_exe):
    target = win_exe[0]
    got = {}
    for line in windows.ask(windows.verquery[target],
                            windows_path(windows.bin / SHIPPED[target])):
        key, sep, value = line.partition("=")
        if not sep:
            key, _, value = line.partition(" ")
        got[key] = value
    want = {
        "fixed": "%s %s 1" % (VERSION4, VERSION4),  # 1: an application
        "ProductName": "TORVELIN",
        "FileDescription": "TORVELIN Windows version report (%s)" %
                           ARCH[target],
        "FileVersion": VERSION,
        "ProductVersion": VERSION,
    }
    assert {key: got.get(key) for key in want} == want


def test_settings_take_effect(windows, win_exe):
    """Each setting tells the manifest's bearer a version of its own; a
    program without it is told the same, but Windows 8 in place of the
    later versions."""
    told, plain = {}, {}
    for s in SETTINGS:
        told[s], plain[s] = (windows.version(win_exe[0], s, manifest)
                             for manifest in (True, False))
    assert len(set(told.values())) == len(SETTINGS), told
    assert [s for s in SETTINGS if plain[s] != told[s]] == \
        TRUE_VERSION_ONLY, (told, plain)
    assert {plain[s] for s in TRUE_VERSION_ONLY} == {told["win8"]}, plain


@pytest.mark.parametrize("form", ["/o", "/b", "report"])
@pytest.mark.parametrize("setting", SETTINGS)
def test_true_version(windows, win_exe, setting, form):
    target = win_exe[0]
    values = [b"%d" % n for n in windows.version(target, setting)]
    argv = [str(windows.bin / SHIPPED[target])] + [form] * (form != "report")
    proc = windows.wine.run(argv, cwd=windows.bin)
    assert (proc.stderr, proc.returncode) == (b"", 0)
    if form == "/o":
        assert proc.stdout == b".".join(values[:3]) + b"\r\n"
    elif form == "/b":
        assert proc.stdout == values[3] + b"\r\n"
    else:
        # Product type and architecture are not Wine's to tell: only their
        # labels are known.
        lines = proc.stdout.split(b"\r\n")
        later = [line[:len(label)] for line, label in zip(lines[4:6],
                                                          LABELS[4:])]
        assert (lines[:4], later, lines[6:]) == (
            [label + value for label, value in zip(LABELS, values)],
            LABELS[4:], [b""])
        assert not re.search(rb"[\r\n]", b"".join(lines[4:6])), lines
