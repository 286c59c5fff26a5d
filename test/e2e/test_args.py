"""The command line: every spelling of the switches, and what is no switch.
The host binary and both Windows executables (under Wine) must print the
same answers, byte for byte, with nothing on standard error and status 0."""

import shutil

import pytest

from expected import SWITCHES, USAGE_LINES, answer, lines, system_of
from support import REPO

# The batch file of the users' README.txt, which finds the program beside
# it from any folder.
README_TXT = (REPO / "dist" / "README.txt").read_text()
README_BATCH = [line[2:].encode() for line in README_TXT[
    README_TXT.index("  @ECHO off"):].split("\n")[:3]]


def cases(long_len):
    """Command lines as (arguments, kind of answer). `long_len` is the length
    of the long arguments (a Windows command line holds 32767 characters)."""
    pad = b" " * ((long_len - 2) // 2)
    table = [
        ("OB", [b"/OB"], "usage"),
        ("slash-only", [b"/"], "usage"),
        ("letter-only", [b"O"], "usage"),
        ("dash-dash", [b"--"], "usage"),
        ("unknown-x", [b"/x"], "usage"),
        ("slash-question", [b"/?"], "usage"),
        ("dash-question", [b"-?"], "usage"),
        ("digit", [b"/0"], "usage"),
        ("letter-twice", [b"/oo"], "usage"),
        ("slash-after", [b"o/"], "usage"),
        ("tab-before", [b"\t/o"], "usage"),
        ("tab-after", [b"/o\t"], "usage"),
        ("long-usage", [b"/" + b"o" * (long_len - 1)], "usage"),
        ("long-spaces-o", [pad + b"/o" + pad], "O"),
        ("high-bytes", [bytes(range(0x80, 0x100))], "usage"),
        ("o-circumflex", [b"/\xf4"], "usage"),
        ("a-acute", [b"/\xe1"], "usage"),
        ("nbsp-before", [b"\xa0/o"], "usage"),
        ("nbsp-after", [b"/o\xa0"], "usage"),
        ("spaced-b", [b" /b "], "B"),
        ("spaced-dash-P", [b"   -P  "], "P"),
        ("a-then-more", [b"/a", b"x", b"y"], "A"),
        ("x-then-o", [b"/x", b"/o"], "usage"),
        ("spaces-only", [b"      "], "report"),
        ("empty", [b""], "report"),
    ]
    return [pytest.param(args, kind, id=name) for name, args, kind in table]


@pytest.fixture
def system(facts):
    return system_of(facts)


@pytest.mark.host
@pytest.mark.parametrize("args,kind", cases(100000) + [
    pytest.param(args, kind, id=name) for name, args, kind in SWITCHES])
def test_host(host_tool, host_system, args, kind):
    assert host_tool(*args) == (answer(kind, host_system), b"", 0)


@pytest.mark.wine
@pytest.mark.parametrize("args,kind", cases(30000))
def test_wine(win_tool, system, args, kind):
    assert win_tool.run(*args) == (answer(kind, system), b"", 0)


# A file that matches the pattern turns -? into its name, which is no
# switch; a two-character name like -b is taken as one.
@pytest.mark.wine
@pytest.mark.parametrize("name,kind", [("-q", "usage"), ("-b", "B")])
def test_wine_pattern(win_tool, system, name, kind):
    (win_tool.cwd / name).touch()
    assert win_tool.run(b"-?") == (answer(kind, system), b"", 0)


@pytest.mark.wine
@pytest.mark.parametrize("body,want,start", [
    pytest.param([l.encode() for l in USAGE_LINES[14:17]],
                 lambda s: answer("O", s), "", id="usage-example"),
    pytest.param([b"@echo off",
                  b"FOR /f %%i in ('torvelin.exe /b') do set B=%%i",
                  b"ECHO [%B%]"],
                 lambda s: lines(b"[%d]" % s.version[3]), "", id="capture-b"),
    pytest.param([b"@echo off", b"torvelin.exe /x >NUL", b"ECHO %ERRORLEVEL%"],
                 lambda s: lines(b"0"), "", id="errorlevel"),
    pytest.param(README_BATCH, lambda s: answer("O", s), "elsewhere",
                 id="readme-example-elsewhere"),
])
def test_wine_batch(win_tool, system, body, want, start):
    """Batch files that run the tool beside them, started in their folder
    or in another (start)."""
    shutil.copy(win_tool.path, win_tool.cwd / "torvelin.exe")
    assert win_tool.batch(*body, start=start) == (want(system), b"", 0)
