"""What the Python suites share: the built binaries, running a process, a
throwaway Wine prefix, the helper programs that ask Windows what the tool
asks it, and the rule for a missing tool."""

import os
import re
import shutil
import signal
import subprocess
import tempfile
from collections import namedtuple
from pathlib import Path

import pytest

from expected import OPEN_ERR, System

REPO = Path(__file__).resolve().parent.parent

BINARIES = {
    "host": "host/torvelin",
    "win64": "win64/torvelin.exe",
    "win32": "win32/torvelin.exe",
    "abort_main": "host/test/abort_main",
}
WINDOWS = ("win64", "win32")
MINGW = {"win64": "x86_64-w64-mingw32-", "win32": "i686-w64-mingw32-"}


def pytest_addoption(parser):
    group = parser.getgroup("torvelin")
    group.addoption("--build", default=str(REPO / "build"),
                    help="build root holding host/, win64/ and win32/")
    for target, rel in BINARIES.items():
        group.addoption("--" + target.replace("_", "-"), dest=target,
                        help="default BUILD/" + rel)


def require(*tools):
    """Skips the test when a tool is missing; under CI=true it fails."""
    missing = [t for t in tools if shutil.which(t) is None]
    if missing:
        why = "not installed: " + ", ".join(missing)
        if os.environ.get("CI") == "true":
            pytest.fail(why, pytrace=False)
        pytest.skip(why)


def binary(config, target):
    """The built binary of a target; fails when it was not built."""
    path = config.getoption(target) or os.path.join(
        config.getoption("build"), BINARIES[target])
    path = Path(path).resolve()
    if not path.is_file():
        pytest.fail("not built: %s" % path, pytrace=False)
    return path


@pytest.fixture(scope="session")
def host_exe(pytestconfig):
    return binary(pytestconfig, "host")


@pytest.fixture(scope="session")
def abort_main(pytestconfig):
    """The host test program that ends in a runtime error."""
    return binary(pytestconfig, "abort_main")


@pytest.fixture(scope="session", params=WINDOWS)
def win_exe(request):
    """Each Windows executable in turn; the test's id names its target."""
    return request.param, binary(request.config, request.param)


def run(argv, cwd=None, env=None, stdout=None, timeout=90):
    """Runs argv with no input and returns the CompletedProcess, its
    standard output and error as bytes (standard output only when it is
    not given, or given as subprocess.PIPE).

    Both go to files, not pipes: Wine's background services inherit the
    handles of the first program of a server and outlive it, and a pipe
    they hold open would never reach its end.
    """
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.run(argv, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                              stdout=out if stdout is None else stdout,
                              stderr=err, timeout=timeout)
        out.seek(0)
        err.seek(0)
        if stdout is None:
            proc.stdout = out.read()
        proc.stderr = err.read()
    return proc


def quiet(argv, env, timeout=300):
    """A housekeeping command whose output and outcome do not matter."""
    try:
        subprocess.run(argv, env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=timeout)
    except (subprocess.TimeoutExpired, OSError):
        pass


def windows_path(path):
    """A Unix path as Wine's drive Z: (the Unix root) names it."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


class Wine:
    """A throwaway prefix kept alive by one persistent wineserver."""

    def __init__(self, prefix):
        self.prefix = Path(prefix)
        self.env = dict(os.environ)
        self.env.pop("DISPLAY", None)
        self.env.pop("ProgramFiles(x86)", None)
        self.env.update({"WINEPREFIX": str(prefix), "WINEDEBUG": "-all",
                         "WINEDLLOVERRIDES": "mscoree=d;mshtml=d"})

    def start(self):
        quiet(["wineboot", "-i"], self.env)
        quiet(["wineserver", "-w"], self.env, timeout=120)
        if not (self.prefix / "system.reg").exists():
            pytest.fail("wineboot made no prefix in %s" % self.prefix,
                        pytrace=False)
        quiet(["wineserver", "-p"], self.env, timeout=60)
        # The first program of a server starts Wine's background services:
        # let them inherit nothing a test reads to its end.
        quiet(["wine", "cmd", "/c", "exit"], self.env, timeout=120)

    def stop(self):
        quiet(["wineserver", "-k"], self.env, timeout=60)

    def run(self, argv, cwd=None, stdout=None, timeout=90):
        """Runs a Windows command line (a list of str or bytes) in Wine."""
        return run(["wine"] + list(argv), cwd=cwd, env=self.env,
                   stdout=stdout, timeout=timeout)


@pytest.fixture(scope="session")
def wine(tmp_path_factory):
    """A session-wide throwaway prefix with one persistent wineserver."""
    require("wine", "wineserver", "wineboot")
    w = Wine(tmp_path_factory.mktemp("wine") / "prefix")
    w.start()
    yield w
    w.stop()


class WineVersion:
    """The Windows version the prefix plays (winecfg /v)."""

    def __init__(self, wine):
        self.wine = wine
        self.setting = self.winecfg()

    def winecfg(self, *args):
        proc = self.wine.run(["winecfg", "/v"] + list(args))
        assert proc.returncode == 0, proc.stderr
        return proc.stdout.strip().decode()

    def play(self, setting):
        if setting != self.setting:
            self.winecfg(setting)
            self.setting = setting


@pytest.fixture(scope="session")
def winver(wine):
    """Plays a Windows version on demand; the first one is back at the
    end, since the prefix is shared by every suite."""
    v = WineVersion(wine)
    initial = v.setting
    yield v
    v.play(initial)


# The helper programs: (target, C source, resource script) under test/e2e.
HELPERS = {
    "verinfo-win64": ("win64", "verinfo.c", "verinfo.rc"),
    "verinfo-win32": ("win32", "verinfo.c", "verinfo.rc"),
    "regset": ("win64", "regset.c", None),
}

# What verinfo reports. version: (platform, major, minor, build); pf86: the
# bytes of ProgramFiles(x86) or None; ident, ptype: the raw registry values
# Identifier and ProductType as (type, hex data), or None.
Facts = namedtuple("Facts", "version pf86 ident ptype")


def checked(proc):
    """The standard output of a run that has to succeed."""
    assert proc.returncode == 0, (proc.args[:2], proc.stdout[-300:],
                                  proc.stderr[-300:])
    return proc.stdout


def mingw(target, exe, source, script=None, include=None, libs=()):
    """Builds exe for target with mingw-w64 from one C source and, when
    given, one resource script (its files found in `include`, by default
    beside it); returns exe."""
    objects = []
    if script is not None:
        objects.append(exe.with_suffix(".res.o"))
        checked(run([MINGW[target] + "windres", "-I", include or script.parent,
                     script, "-O", "coff", "-o", objects[0]]))
    checked(run([MINGW[target] + "gcc", "-O1", "-s", "-Wall", "-Wextra",
                 "-Werror", "-o", exe, source] + objects + list(libs)))
    return exe


@pytest.fixture(scope="session")
def helpers(tmp_path_factory):
    """The helper programs, built with mingw-w64: Windows paths by name."""
    require(*(MINGW[t] + tool for t in WINDOWS for tool in ("gcc", "windres")))
    src = REPO / "test" / "e2e"
    out = tmp_path_factory.mktemp("helpers")
    paths = {}
    for name, (target, source, script) in HELPERS.items():
        exe = mingw(target, out / (name + ".exe"), src / source,
                    script and src / script)
        paths[name] = windows_path(exe)
    return paths


@pytest.fixture(scope="session")
def verinfo(wine, helpers):
    """verinfo(target): Facts as a program built for target sees them now."""
    def ask(target):
        facts = {"ident": None, "ptype": None, "pf86": None}
        out = checked(wine.run([helpers["verinfo-" + target]]))
        for line in out.splitlines():
            word = line.split(b" ", 2)
            if word[0] == b"version":
                facts["version"] = tuple(int(n) for n in line.split()[1:])
            elif word[0] == b"pf86" and word[1] == b"set":
                facts["pf86"] = word[2]
            elif word[0] in (b"ident", b"ptype") and word[1] != b"none":
                facts[word[0].decode()] = (int(word[1]), word[2].decode())
        return Facts(**facts)
    return ask


@pytest.fixture(scope="session")
def regset(wine, helpers):
    """regset(*ops) edits HKEY_LOCAL_MACHINE (see regset.c) and returns the
    "TYPE SIZE" line of each value it set."""
    def edit(*ops):
        out = checked(wine.run([helpers["regset"]] + list(ops)))
        return [line for line in out.decode().splitlines()
                if line != "deleted"]
    return edit


@pytest.fixture(scope="session")
def host_system():
    """What the host shows the tool: the kernel release's leading numbers,
    up to three joined by dots (a missing one is 0), no registry, no
    ProgramFiles(x86)."""
    lead = re.match(r"\d+(?:\.\d+){0,2}", os.uname().release)
    numbers = [int(n) for n in lead.group().split(".")] if lead else []
    return System(tuple([0] + numbers + [0] * (3 - len(numbers))), OPEN_ERR,
                  b"32-bit")


@pytest.fixture
def host_tool(host_exe, tmp_path):
    """host_tool(*args, env={...}) runs the host binary in a fresh folder,
    without ProgramFiles(x86) unless env gives it: (stdout, stderr, status).
    """
    def go(*args, env=None):
        full = dict(os.environ)
        full.pop("ProgramFiles(x86)", None)
        full.update(env or {})
        proc = run([host_exe] + list(args), cwd=tmp_path, env=full)
        return proc.stdout, proc.stderr, proc.returncode
    return go


@pytest.fixture(scope="session")
def drive(wine, tmp_path_factory):
    """Wine's drive T: on a fresh folder: the executables in T:\\bin, each
    case in its own folder under T:\\cases. No entry of T:\\ has a
    one-character name, so the pattern /? matches nothing there."""
    root = tmp_path_factory.mktemp("drive")
    (root / "cases").mkdir()
    link = wine.prefix / "dosdevices" / "t:"
    link.symlink_to(root)
    yield root
    link.unlink()


def win_arg(arg):
    """What Wine (reading UTF-8, handing on code page 1252) passes on to a
    program as these ANSI bytes; bytes 1252 leaves undefined are dropped."""
    return arg.decode("cp1252", errors="ignore").encode("utf-8")


class WinTool:
    """One Windows executable, run from T:\\bin in a fresh empty folder
    (cwd) under Wine; each run gives (stdout, stderr, status)."""

    def __init__(self, wine, drive, target, path):
        self.wine = wine
        self.target = target
        self.exe = "T:\\bin\\%s\\torvelin.exe" % target
        self.path = drive / "bin" / target / "torvelin.exe"
        if not self.path.exists():
            self.path.parent.mkdir(parents=True)
            shutil.copy(path, self.path)
        self.cwd = Path(tempfile.mkdtemp(dir=drive / "cases"))

    def run(self, *args):
        """The executable with these arguments, given as ANSI bytes."""
        return self.launch([self.exe] + [win_arg(a) for a in args])

    def batch(self, *lines):
        """A batch file of these lines run by cmd.exe; TOOL in a line
        names the executable."""
        with open(self.cwd / "case.bat", "wb") as f:
            for line in lines:
                f.write(line.replace(b"TOOL", self.exe.encode()) + b"\r\n")
        return self.launch(["cmd", "/c", "case.bat"])

    def launch(self, argv):
        proc = self.wine.run(argv, cwd=self.cwd)
        return proc.stdout, proc.stderr, proc.returncode


@pytest.fixture(scope="module")
def facts(win_exe, verinfo):
    """The Facts that the executable of this turn sees, once per module."""
    return verinfo(win_exe[0])


@pytest.fixture
def win_tool(wine, drive, win_exe):
    """A WinTool of each Windows executable in turn."""
    return WinTool(wine, drive, *win_exe)


# The console harness under Xvfb.

HARNESS = REPO / "test" / "wine" / "conharness.c"


def run_group(argv, env, cwd, timeout):
    """Runs argv with its output nowhere, in a process group of its own that
    is killed whole (Xvfb and Wine's processes with it) on a time-out."""
    proc = subprocess.Popen(argv, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        return proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()
        pytest.fail("%s timed out after %ds" % (argv[0], timeout),
                    pytrace=False)


class Console:
    """wineconsole under Xvfb in a prefix of its own, whose server restarts
    for every run: wineconsole needs a server started with a display."""

    def __init__(self, folder):
        self.folder = folder
        self.wine = Wine(folder / "prefix")
        self.harnesses = {}

    def harness(self, target):
        """The console harness built for target, on first use."""
        if target not in self.harnesses:
            self.harnesses[target] = mingw(
                target, self.folder / ("conharness-%s.exe" % target), HARNESS)
        return self.harnesses[target]

    def run(self, target, args, command):
        """Runs command (a list) in a new console that the target's harness
        shapes by args; returns the harness's dump, line by line."""
        dump = self.folder / "dump.txt"
        dump.unlink(missing_ok=True)
        quiet(["wineserver", "-k"], self.wine.env, timeout=60)
        quiet(["wineserver", "-w"], self.wine.env, timeout=60)
        rc = run_group(["xvfb-run", "-a", "wine", "wineconsole",
                        str(self.harness(target)), dump.name] + args +
                       ["--"] + command, self.wine.env, self.folder, 120)
        assert dump.exists(), "no dump written (xvfb-run status %s)" % rc
        return dump.read_text("latin-1").splitlines()


@pytest.fixture(scope="session")
def console(tmp_path_factory):
    """Runs commands in wineconsole under Xvfb, inside the console harness."""
    require("wine", "wineconsole", "wineserver", "wineboot", "xvfb-run",
            *(MINGW[t] + "gcc" for t in MINGW))
    c = Console(tmp_path_factory.mktemp("console"))
    c.wine.start()
    yield c
    c.wine.stop()
