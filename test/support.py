"""What the Python suites share besides their fixtures: the built binaries
(where each is, in builds.py), running a process, the rule for a missing
tool, mingw-w64 builds, a throwaway Wine prefix (its surroundings in
winenv.py), the helper programs that ask Windows what the tool asks it, and
the console harness under Xvfb."""

import os
import re
import shutil
import signal
import subprocess
import tempfile
from collections import namedtuple
from pathlib import Path

import pytest

import winenv
from builds import BINARIES
from winenv import quiet

REPO = Path(__file__).resolve().parent.parent
VERSION = re.search(r"project\s*\(\s*torvelin\b[^)]*\bVERSION\s+([0-9.]+)",
                    (REPO / "CMakeLists.txt").read_text(), re.I).group(1)

WINDOWS = ("win64", "win32")
MINGW = {"win64": "x86_64-w64-mingw32-", "win32": "i686-w64-mingw32-"}


def require(*tools):
    """Skips the test when a tool is missing; under CI=true it fails."""
    why = missing(*tools)
    if why and os.environ.get("CI") == "true":
        pytest.fail(why, pytrace=False)
    elif why:
        pytest.skip(why)


def missing(*tools):
    """"not installed: " and the tools that are not, or None."""
    absent = [t for t in tools if winenv.which(t) is None]
    return "not installed: " + ", ".join(absent) if absent else None


# Whether Wine runs x86 programs here, as the first test that would run one
# finds out: "why", the reason it does not (None: it does); or "error".
X86 = {}


def runnable(target):
    """Skips a test that would run target's programs under Wine where Wine
    runs no x86 program, with the reason (winenv.x86_problem), and fails it
    where the x86 helper failed otherwise. Without Wine or the compiler the
    test's own require decides (under CI=true, a failure)."""
    if target != "win32":
        return
    if not X86:
        X86["why"] = missing("wine", "wineserver", winenv.X86_CC)
        if X86["why"] and os.environ.get("CI") == "true":
            X86["why"] = None
        elif not X86["why"]:
            try:
                X86["why"] = winenv.x86_problem()
            except RuntimeError as e:
                X86["error"] = "the x86 helper: %s" % e
    if "error" in X86:
        pytest.fail(X86["error"], pytrace=False)
    if X86["why"]:
        pytest.skip(X86["why"])


def binary(config, target):
    """The built binary of a target; fails when it was not built."""
    path = config.getoption(target) or os.path.join(
        config.getoption("build"), BINARIES[target])
    path = Path(path).resolve()
    if not path.is_file():
        pytest.fail("not built: %s" % path, pytrace=False)
    return path


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


def windows_path(path):
    """A Unix path as Wine's drive Z: (the Unix root) names it."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def checked(proc):
    """The standard output of a run that has to succeed."""
    assert proc.returncode == 0, (proc.args[:2], proc.stdout[-300:],
                                  proc.stderr[-300:])
    return proc.stdout


def configured(path, crlf=False):
    """A file of the repository as configure_file(@ONLY) writes it."""
    text = (REPO / path).read_bytes()
    text = text.replace(b"@PROJECT_VERSION@", VERSION.encode())
    return text.replace(b"\n", b"\r\n") if crlf else text


def mingw(target, exe, source, manifest=False, libs=()):
    """Builds exe for target with mingw-w64 from one C source, with the
    tool's own manifest embedded when asked, so that Windows answers it as
    it answers the tool; returns exe."""
    objects = []
    if manifest:
        folder = exe.parent
        (folder / "torvelin.manifest").write_bytes(
            configured("tool/res/torvelin.manifest"))
        # RT_MANIFEST (24), id 1: the manifest a program is started with.
        (folder / "manifest.rc").write_text('1 24 "torvelin.manifest"\n')
        objects.append(exe.with_suffix(".res.o"))
        checked(run([MINGW[target] + "windres", "-I", folder,
                     folder / "manifest.rc", "-O", "coff", "-o", objects[0]]))
    checked(run([MINGW[target] + "gcc", "-O1", "-s", "-Wall", "-Wextra",
                 "-Werror", "-o", exe, source] + objects + list(libs)))
    return exe


class Wine:
    """A throwaway prefix kept alive by one persistent wineserver; runtime
    is the session's private XDG_RUNTIME_DIR."""

    def __init__(self, prefix, runtime):
        self.prefix = Path(prefix)
        self.env = winenv.environment(prefix, runtime)

    def start(self):
        winenv.boot(self.env)
        if not (self.prefix / "system.reg").exists():
            pytest.fail("wineboot made no prefix in %s" % self.prefix,
                        pytrace=False)
        quiet(["wineserver", "-p"], self.env, timeout=60)
        winenv.first_run(self.env)

    def stop(self):
        quiet(["wineserver", "-k"], self.env, timeout=60)

    def run(self, argv, cwd=None, stdout=None, timeout=90):
        """Runs a Windows command line (a list of str or bytes) in Wine."""
        return run(["wine"] + list(argv), cwd=cwd, env=self.env,
                   stdout=stdout, timeout=timeout)


# The Windows versions the suites have Wine play (winecfg /v), oldest first.
# What Windows tells a program at each is asked of the system, not written
# down here.
SETTINGS = ["winxp64", "vista", "win7", "win8", "win81", "win10"]


class WineVersion:
    """The Windows version the prefix plays (winecfg /v)."""

    def __init__(self, wine):
        self.wine = wine
        # Wine 8's winecfg names it on standard output, Wine 10's on
        # standard error.
        proc = self.winecfg()
        self.setting = (proc.stdout or proc.stderr).strip().decode()
        assert self.setting.isalnum(), proc

    def winecfg(self, *args):
        proc = self.wine.run(["winecfg", "/v"] + list(args))
        assert proc.returncode == 0, proc.stderr
        return proc

    def play(self, setting):
        if setting != self.setting:
            self.winecfg(setting)
            self.setting = setting


# The helper programs: (target, C source under test/e2e, whether the tool's
# manifest is embedded). verinfo-plain asks Windows as a program without
# the manifest.
HELPERS = {
    "verinfo-win64": ("win64", "verinfo.c", True),
    "verinfo-win32": ("win32", "verinfo.c", True),
    "verinfo-plain-win64": ("win64", "verinfo.c", False),
    "verinfo-plain-win32": ("win32", "verinfo.c", False),
    "regset": ("win64", "regset.c", False),
}

# What verinfo reports. version: (platform, major, minor, build); pf86: the
# bytes of ProgramFiles(x86) or None; ident, ptype: the raw registry values
# Identifier and ProductType as (type, hex data), or None.
Facts = namedtuple("Facts", "version pf86 ident ptype")


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

    def batch(self, *lines, start=""):
        """A batch file of these lines run by cmd.exe, started in the
        folder start (relative to the batch file's); TOOL in a line names
        the executable."""
        with open(self.cwd / "case.bat", "wb") as f:
            for line in lines:
                f.write(line.replace(b"TOOL", self.exe.encode()) + b"\r\n")
        (self.cwd / start).mkdir(exist_ok=True)
        return self.launch(["cmd", "/c", windows_path(self.cwd / "case.bat")],
                           start)

    def launch(self, argv, start=""):
        proc = self.wine.run(argv, cwd=self.cwd / start)
        return proc.stdout, proc.stderr, proc.returncode


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

    def __init__(self, folder, runtime):
        self.folder = folder
        self.wine = Wine(folder / "prefix", runtime)
        self.harnesses = {}

    def harness(self, target):
        """The console harness built for target, on first use, with the
        tool's manifest: it reports the version Windows tells the tool."""
        if target not in self.harnesses:
            self.harnesses[target] = mingw(
                target, self.folder / ("conharness-%s.exe" % target), HARNESS,
                manifest=True)
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
