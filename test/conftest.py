"""The options and fixtures the Python suites share; their helpers are in
support.py."""

import os
import re

import pytest

import winenv
from builds import BINARIES
from expected import OPEN_ERR, System
from support import (HELPERS, MINGW, REPO, WINDOWS, Console, Facts, Wine,
                     WineVersion, WinTool, binary, checked, mingw, require,
                     run, runnable, windows_path)


def pytest_addoption(parser):
    group = parser.getgroup("torvelin")
    group.addoption("--build", default=str(REPO / "build"),
                    help="build root holding host/, win64/ and win32/")
    for target, rel in BINARIES.items():
        group.addoption("--" + target.replace("_", "-"), dest=target,
                        help="default BUILD/" + rel)


# Under scripts/test, a line for each test as it ends, appended to the file
# that TORVELIN_PROGRESS names, which the script shows as it grows (CTest
# shows a suite's own output only once the suite ends) and sums up at the
# end (test/summary.py): "SUITE: N of M OUTCOME, TEST", and " -- REASON"
# after a skipped one. The suite is its marker, or TORVELIN_SUITE (asan).
PROGRESS = {"path": os.environ.get("TORVELIN_PROGRESS"), "done": 0}


def pytest_collection_finish(session):
    PROGRESS.update(of=len(session.items), suite=os.environ.get(
        "TORVELIN_SUITE", session.config.option.markexpr or "pytest"))


def pytest_runtest_logreport(report):
    if not PROGRESS["path"]:
        return
    if report.failed:
        PROGRESS.update(outcome="failed", why="")
    elif report.skipped and "outcome" not in PROGRESS:
        PROGRESS.update(outcome="skipped", why=" -- " + report.longrepr[2]
                        .replace("Skipped: ", "", 1))
    if report.when == "teardown":
        PROGRESS["done"] += 1
        with open(PROGRESS["path"], "a") as f:
            f.write("%(suite)s: %(done)d of %(of)d " % PROGRESS +
                    PROGRESS.pop("outcome", "passed") + ", " + report.nodeid +
                    PROGRESS.pop("why", "") + "\n")


def pytest_runtest_setup(item):
    """A test of the x86 executable that runs Wine (with the fixture wine or
    console) skips where Wine runs no x86 program, with the reason, before
    any fixture runs it; a test that only reads the executable never does.
    """
    call = getattr(item, "callspec", None)
    if call and {"wine", "console"} & set(item.fixturenames):
        runnable(call.params.get("win_exe", call.params.get("target")))


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


@pytest.fixture(scope="session")
def runtime(tmp_path_factory):
    """The XDG_RUNTIME_DIR of every Wine run of the session, its own."""
    return winenv.runtime_dir(tmp_path_factory.mktemp("runtime"))


@pytest.fixture(scope="session")
def wine(tmp_path_factory, runtime):
    """A session-wide throwaway prefix with one persistent wineserver."""
    require("wine", "wineserver")
    w = Wine(tmp_path_factory.mktemp("wine") / "prefix", runtime)
    w.start()
    yield w
    w.stop()


@pytest.fixture(scope="session")
def winver(wine):
    """Plays a Windows version on demand; the first one is back at the
    end, since the prefix is shared by every suite."""
    v = WineVersion(wine)
    initial = v.setting
    yield v
    v.play(initial)


@pytest.fixture(scope="session")
def helpers(tmp_path_factory):
    """The helper programs, built with mingw-w64: Windows paths by name."""
    require(*(MINGW[t] + tool for t in WINDOWS for tool in ("gcc", "windres")))
    src = REPO / "test" / "e2e"
    out = tmp_path_factory.mktemp("helpers")
    paths = {}
    for name, (target, source, manifest) in HELPERS.items():
        exe = mingw(target, out / (name + ".exe"), src / source, manifest)
        paths[name] = windows_path(exe)
    return paths


@pytest.fixture(scope="session")
def verinfo(wine, helpers):
    """verinfo(target): Facts as a program built for target sees them now,
    one with the tool's manifest unless manifest=False."""
    def ask(target, manifest=True):
        facts = {"ident": None, "ptype": None, "pf86": None}
        name = "verinfo-" + ("" if manifest else "plain-") + target
        out = checked(wine.run([helpers[name]]))
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


@pytest.fixture(scope="module")
def facts(win_exe, verinfo):
    """The Facts that the executable of this turn sees, once per module."""
    return verinfo(win_exe[0])


@pytest.fixture
def win_tool(wine, drive, win_exe):
    """A WinTool of each Windows executable in turn."""
    return WinTool(wine, drive, *win_exe)


@pytest.fixture(scope="session")
def console(tmp_path_factory, runtime):
    """Runs commands in wineconsole under Xvfb, inside the console harness."""
    require("wine", "wineserver", "xvfb-run",
            *(MINGW[t] + tool for t in MINGW for tool in ("gcc", "windres")))
    c = Console(tmp_path_factory.mktemp("console"), runtime)
    c.wine.start()
    yield c
    c.wine.stop()
