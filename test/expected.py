"""What the tool must print, as the test suites expect it: written down here
once, apart from the tool's own code, for every suite that checks output."""

from collections import namedtuple

# The usage text, line by line, without line ends.
USAGE_LINES = [
    "",
    "",
    "Prints information about the os version and build. The output can be",
    "formatted for usage in batch files:",
    "",
    "TORVELIN.EXE [/O | /B | /P | /A]",
    "",
    "/O  Returns the os version only (PlatformID.MajorVersion.MinorVersion)",
    "/B  Returns the build number only",
    "/P  Returns the product type only",
    "/A  Returns the architecture only (64-bit / 32-bit)",
    "",
    "Example batch file:",
    "",
    "@ECHO off",
    "FOR /f %%i in ('torvelin.exe /o') do set QUENLITH=%%i",
    "ECHO %QUENLITH%",
    "",
    "Look at the Microsoft Knowledge Base for the returned os versions.",
    "Windows XP returns 2.5.1 for example. Currently known product types",
    "are WinNT for clients and LanmanNT or ServerNT for servers.",
    "",
    "",
]
assert len(USAGE_LINES) == 23

# The forms every suite runs the tool in: a name, and the arguments.
FORMS = [
    ("none", []),
    ("/o", ["/o"]),
    ("/b", ["/b"]),
    ("/p", ["/p"]),
    ("/a", ["/a"]),
    ("/x", ["/x"]),
]


def lines(*texts):
    """The bytes that printing each text as one line produces."""
    return b"".join(t + b"\r\n" for t in texts)


USAGE = lines(*(line.encode() for line in USAGE_LINES))
OPEN_ERR = b"ERROR_MyRegRead_RegOpenKeyEx!!!"
QUERY_ERR = b"ERROR_MyRegRead_RegQueryValueEx!!!"

# What a system shows the tool: version (platform, major, minor, build) as
# numbers, the product type and the architecture as the tool prints them.
System = namedtuple("System", "version ptype arch")


def string(raw):
    """A raw registry value (type, hex data): the text before its first zero
    byte; None for a missing value."""
    return None if raw is None else bytes.fromhex(raw[1]).split(b"\0")[0]


def arch_of(ident, pf86):
    """The architecture for this Identifier (None: unreadable) and value of
    ProgramFiles(x86) (None: unset)."""
    if ident is None:
        ident = OPEN_ERR
    if len(ident) <= 3:
        return b"ERROR"
    not_x86 = ident[:3].upper() != b"X86"
    folder = pf86 is not None and pf86.strip(b" ") != b""
    return b"64-bit" if not_x86 and folder else b"32-bit"


def system_of(facts):
    """The System that verinfo's facts describe."""
    return System(facts.version, string(facts.ptype),
                  arch_of(string(facts.ident), facts.pf86))


def answer(kind, system):
    """What the tool prints for a kind of command line: "usage", "report",
    or the letter of a switch (O, B, P, A)."""
    numbers = [b"%d" % n for n in system.version]
    if kind == "usage":
        return USAGE
    if kind == "report":
        return lines(b"Platform ID ......: " + numbers[0],
                     b"Major Version ....: " + numbers[1],
                     b"Minor Version ....: " + numbers[2],
                     b"Build ............: " + numbers[3],
                     b"Product Type .....: " + system.ptype,
                     b"Architecture .....: " + system.arch)
    return lines({"O": b".".join(numbers[:3]), "B": numbers[3],
                  "P": system.ptype, "A": system.arch}[kind])


# Every accepted spelling of each switch and what it asks for, as
# (id, arguments, kind).
SWITCHES = [("none", [], "report")] + [
    (("slash-" if s == "/" else "dash-") + ("up-" if c.isupper() else "") + c,
     [(s + c).encode()], c.upper())
    for letter in "OBPA" for s in "/-" for c in (letter.lower(), letter)]
