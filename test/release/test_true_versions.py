"""The shipped executables under Wine: their version resource as the
version API reads it, and the true Windows version at each version Wine
plays, as Wine tells it to a helper carrying the same manifest (verquery)."""

import re
from pathlib import Path

import pytest

from expected import LABELS
from release import SHIPPED, VERSION, VERSION4, configured
from support import MINGW, binary, mingw, require, windows_path

pytestmark = pytest.mark.release

HERE = Path(__file__).parent
ARCH = {"win64": "x64", "win32": "x86"}
SETTINGS = ["winxp64", "vista", "win7", "win8", "win81", "win10"]
# The settings at which a program without the manifest is told Windows 8.
TRUE_VERSION_ONLY = ("win81", "win10")
WIN8 = (2, 6, 2, 9200)


class Windows:
    """Wine playing one Windows version at a time, with the executables
    alone in a folder (bin) under their shipped names, and verquery built
    with their manifest to ask what Wine tells them."""

    def __init__(self, winver, folder, exes):
        self.winver, self.wine, self.bin = winver, winver.wine, folder / "bin"
        self.bin.mkdir()
        for target, path in exes.items():
            (self.bin / SHIPPED[target]).write_bytes(path.read_bytes())
        (folder / "torvelin.manifest").write_bytes(
            configured("tool/res/torvelin.manifest"))
        self.verquery = {}
        for target in MINGW:
            self.verquery[target] = mingw(
                target, folder / ("verquery-%s.exe" % target),
                HERE / "verquery.c", HERE / "verquery.rc", include=folder,
                libs=["-lversion"])
        self.answers = {}

    def ask(self, *argv):
        """The lines a command prints; it must end with status 0."""
        proc = self.wine.run(argv, cwd=self.bin)
        assert proc.returncode == 0, (argv, proc.stdout, proc.stderr)
        return proc.stdout.decode("latin-1").splitlines()

    def version(self, target, setting):
        """Plays setting; returns what Wine tells target's programs then:
        platform, major, minor and build."""
        self.winver.play(setting)
        if (target, setting) not in self.answers:
            out = self.ask(self.verquery[target], "version")
            m = re.fullmatch(r"version (\d+) (\d+) (\d+) (\d+)",
                             "\n".join(out))
            assert m, out
            self.answers[target, setting] = tuple(map(int, m.groups()))
        return self.answers[target, setting]


@pytest.fixture(scope="session")
def windows(winver, pytestconfig, tmp_path_factory):
    require(*(MINGW[t] + tool for t in MINGW for tool in ("gcc", "windres")))
    return Windows(winver, tmp_path_factory.mktemp("release"),
                   {t: binary(pytestconfig, t) for t in SHIPPED})


def test_version_resource(windows, win_exe):
    target = win_exe[0]
    got = {}
    for line in windows.ask(windows.verquery[target], "file",
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
    answers = {s: windows.version(win_exe[0], s) for s in SETTINGS}
    assert len(set(answers.values())) == len(SETTINGS), answers
    # Without the manifest honoured these would say Windows 8.
    assert WIN8 not in [answers[s] for s in TRUE_VERSION_ONLY], answers


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
