"""The architecture: the processor Identifier in the registry against the
variable ProgramFiles(x86) set, removed, or only spaces."""

import pytest

from expected import answer, arch_of, lines, system_of

KEY = "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0"
FOLDER = b"C:\\Program Files (x86)"
SETTINGS = [  # how a batch file leaves ProgramFiles(x86) for the tool
    b"set ProgramFiles(x86)=" + FOLDER,
    b"set ProgramFiles(x86)=",
    b"set ProgramFiles(x86)=   ",
]

IDENTIFIERS = [
    # id, Identifier (None: no value), /a with the variable set, removed,
    # spaces
    ("x86-family-model", b"x86 Family 6 Model 15", "32-bit 32-bit 32-bit"),
    ("x86-upper", b"X86 Family 6", "32-bit 32-bit 32-bit"),
    ("x86-4-letters", b"x86F", "32-bit 32-bit 32-bit"),
    ("amd64", b"AMD64 Family 6", "64-bit 32-bit 32-bit"),
    ("intel64", b"Intel64 Family 6", "64-bit 32-bit 32-bit"),
    ("ia64", b"ia64", "64-bit 32-bit 32-bit"),
    ("x86-only", b"x86", "ERROR ERROR ERROR"),
    ("2-letters", b"x8", "ERROR ERROR ERROR"),
    ("empty", b"", "ERROR ERROR ERROR"),
    ("no-value", None, "64-bit 32-bit 32-bit"),
]
IN_REPORT = ("x86-only", "no-value")


# The host has no registry: the read fails, and its error text counts as
# not x86.
@pytest.mark.host
@pytest.mark.parametrize("args,kind,pf86,arch", [
    pytest.param([b"/a"], "A", b"/usr/lib", b"64-bit", id="set"),
    pytest.param([b"/a"], "A", b"x", b"64-bit", id="one-letter"),
    pytest.param([b"/a"], "A", b"   ", b"32-bit", id="spaces"),
    pytest.param([b"/a"], "A", b"", b"32-bit", id="empty"),
    pytest.param([], "report", FOLDER, b"64-bit", id="report"),
])
def test_host(host_tool, host_system, args, kind, pf86, arch):
    want = answer(kind, host_system._replace(arch=arch))
    assert host_tool(*args, env={"ProgramFiles(x86)": pf86}) == (want, b"", 0)


# cmd.exe must hand the variable on as written, trailing spaces included, or
# the cases below would not test what they say.
@pytest.mark.wine
@pytest.mark.parametrize("setting,seen",
                         list(zip(SETTINGS, [FOLDER, None, b"   "])),
                         ids=["set", "removed", "spaces"])
def test_wine_cmd(win_tool, helpers, setting, seen):
    out, _, _ = win_tool.batch(b"@echo off", setting,
                               helpers["verinfo-" + win_tool.target].encode())
    assert (b"pf86 unset" if seen is None else b"pf86 set " + seen) in \
        out.splitlines()


@pytest.fixture(scope="module")
def identifier(regset, verinfo):
    """identifier(value) puts an Identifier (None: none) in place; the one
    found comes back after the module. The server lives for the whole
    session, so the HARDWARE keys it made at start-up are not made anew."""
    def put(value):
        if value is None:
            assert regset("delval", KEY, "Identifier") == []
        else:
            assert regset("set", KEY, "Identifier", "1",
                          (value + b"\0").hex()) == ["1 %d" % (len(value) + 1)]
    before = verinfo("win64").ident
    yield put
    if before is None:
        put(None)
    else:
        regset("set", KEY, "Identifier", str(before[0]), before[1])


@pytest.mark.wine
@pytest.mark.parametrize("ident,wants", [
    pytest.param(ident, wants.split(), id=name)
    for name, ident, wants in IDENTIFIERS])
def test_wine(identifier, facts, win_tool, ident, wants):
    """Through cmd.exe with each setting, then straight from Wine with the
    variable as Wine sets it."""
    identifier(ident)
    got = [win_tool.batch(b"@echo off", setting, b"TOOL /a")
           for setting in SETTINGS] + [win_tool.run(b"/a")]
    wants = [w.encode() for w in wants] + [arch_of(ident, facts.pf86)]
    assert got == [(lines(want), b"", 0) for want in wants]


@pytest.mark.wine
@pytest.mark.parametrize("ident,want", [
    pytest.param(ident, wants.split()[0].encode(), id=name)
    for name, ident, wants in IDENTIFIERS if name in IN_REPORT])
def test_wine_report(identifier, facts, win_tool, ident, want):
    identifier(ident)
    system = system_of(facts)._replace(arch=want)
    assert win_tool.batch(b"@echo off", SETTINGS[0], b"TOOL") == (
        answer("report", system), b"", 0)
