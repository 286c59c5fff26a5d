"""Every accepted switch at each Windows version Wine can pass for."""

import pytest

from expected import SWITCHES, System, answer, system_of

pytestmark = pytest.mark.wine

# What Wine 8.0 reports through GetVersionExA, per winecfg setting, to a
# program whose manifest declares Windows 8.1 and 10 supported (as the
# tool's does; without one, 8.1 and 10 would pass for 8).
VERSIONS = {
    "winxp64": (2, 5, 2, 3790),
    "vista": (2, 6, 0, 6002),
    "win7": (2, 6, 1, 7601),
    "win8": (2, 6, 2, 9200),
    "win81": (2, 6, 3, 9600),
    "win10": (2, 10, 0, 18362),
}


@pytest.fixture(scope="module", params=VERSIONS)
def version(request, winver):
    winver.play(request.param)
    return request.param


@pytest.fixture(scope="module")
def seen(version, win_exe, verinfo):
    """verinfo's facts of the executable's bitness at this version."""
    return verinfo(win_exe[0])


def test_wine_reports(version, seen):
    assert seen.version == VERSIONS[version]


@pytest.mark.parametrize("args,kind", [
    pytest.param(args, kind, id=name) for name, args, kind in SWITCHES])
def test_switch(version, seen, win_tool, args, kind):
    want = System(VERSIONS[version], *system_of(seen)[1:])
    assert win_tool.run(*args) == (answer(kind, want), b"", 0)
