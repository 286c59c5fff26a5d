"""What the Python suites share: the built binaries, running a process, a
throwaway Wine prefix, and the rule for a missing tool."""

import os
import shutil
import subprocess
import tempfile
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parent.parent

BINARIES = {
    "host": "host/torvelin",
    "win64": "win64/torvelin.exe",
    "win32": "win32/torvelin.exe",
}
WINDOWS = ("win64", "win32")
MINGW = {"win64": "x86_64-w64-mingw32-", "win32": "i686-w64-mingw32-"}


def pytest_addoption(parser):
    group = parser.getgroup("torvelin")
    group.addoption("--build", default=str(REPO / "build"),
                    help="build root holding host/, win64/ and win32/")
    for target, rel in BINARIES.items():
        group.addoption("--" + target, help="default BUILD/" + rel)


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


@pytest.fixture(scope="session", params=WINDOWS)
def win_exe(request):
    """Each Windows executable in turn; the test's id names its target."""
    return request.param, binary(request.config, request.param)


def run(argv, cwd=None, env=None, stdout=None, timeout=90):
    """Runs argv with no input and returns the CompletedProcess, its
    standard output (unless given) and error as bytes.

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
        proc.stdout = out.read() if stdout is None else None
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
