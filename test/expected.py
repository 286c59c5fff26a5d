"""What the tool must print, as the test suites expect it. Its fixed texts
are written down once, apart from the tool's own code, in texts/ (a file
each, line by line), which the C++ tests read too through the header that
test/texts.cmake makes of them."""

from collections import namedtuple
from pathlib import Path


def text(name):
    """The lines of texts/NAME.txt, as bytes without line ends."""
    path = Path(__file__).resolve().parent / "texts" / (name + ".txt")
    return path.read_bytes().split(b"\n")[:-1]


# The usage text, line by line, without line ends.
USAGE_LINES = [line.decode() for line in text("usage")]
# The report's labels, in the report's order.
LABELS = text("labels")

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


USAGE = lines(*text("usage"))
[OPEN_ERR] = text("open_error")
[QUERY_ERR] = text("query_error")
# What follows the first line of the tool's error report.
ERROR_REPORT_TAIL = lines(*text("error_report_tail"))

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
        values = numbers + [system.ptype, system.arch]
        return lines(*(label + v for label, v in zip(LABELS, values)))
    return lines({"O": b".".join(numbers[:3]), "B": numbers[3],
                  "P": system.ptype, "A": system.arch}[kind])


# Every accepted spelling of each switch and what it asks for, as
# (id, arguments, kind).
SWITCHES = [("none", [], "report")] + [
    (("slash-" if s == "/" else "dash-") + ("up-" if c.isupper() else "") + c,
     [(s + c).encode()], c.upper())
    for letter in "OBPA" for s in "/-" for c in (letter.lower(), letter)]
