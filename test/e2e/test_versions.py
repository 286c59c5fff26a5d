"""Every accepted switch at each Windows version Wine can pass for, against
what the system tells a program carrying the tool's manifest (verinfo)."""

import pytest

from expected import SWITCHES, answer, system_of
from support import SETTINGS

pytestmark = pytest.mark.wine


@pytest.fixture(scope="module", params=SETTINGS)
def version(request, winver):
    winver.play(request.param)
    return request.param


@pytest.fixture(scope="module")
def seen(version, win_exe, verinfo):
    """verinfo's facts of the executable's bitness at this version."""
    return verinfo(win_exe[0])


@pytest.mark.parametrize("args,kind", [
    pytest.param(args, kind, id=name) for name, args, kind in SWITCHES])
def test_switch(version, seen, win_tool, args, kind):
    assert win_tool.run(*args) == (answer(kind, system_of(seen)), b"", 0)
