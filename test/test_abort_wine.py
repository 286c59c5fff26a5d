"""A runtime error's end through the real msvcrt: abort_main.exe of both
Windows builds under Wine. Each case is abort_main's arguments, then the
exact standard output, standard error and exit status. They prove msvcrt's
_snprintf (the message, cut at 1023 bytes), exit and its exit-time
handlers (the message written last, the error number as status), and its
toupper and character classes (only a to z change)."""

import pytest

pytestmark = pytest.mark.wine

BEFORE = b"output before the error\r\n"
ABORT = b"\r\nAborting due to runtime error "
END = b"\r\n\r\n"
LIMIT = 1023  # the abort buffer's 1024 bytes, less the terminator
LONG_HEAD = ABORT + b"3 (file I/O error) in "
LONG_TAIL = b"()" + END
FITS = LIMIT - len(LONG_HEAD) - len(LONG_TAIL)  # a module name this long


def case(name, args, err, status, out=BEFORE):
    return pytest.param(args, out, err, status, id=name)


def cut(length, name):
    whole = LONG_HEAD + b"m" * length + LONG_TAIL
    return case(name, ["long", "3", "0", str(length)], whole[:LIMIT], 3)


CASES = [
    case("line-module-function", ["throw", "6", "12", "M", "F", "-"],
         ABORT + b"6 (out of bounds array access) at line 12 of M::F()" + END,
         6),
    case("stored-module", ["throw", "2", "0", "-", "-", "S"],
         ABORT + b"2 (file not found) in S()" + END, 2),
    case("code-past-the-table", ["throw", "18", "0", "-", "F", "-"],
         ABORT + b"18" + END, 18),
    case("negative-code", ["throw", "-1", "-3", "M", "-", "-"],
         ABORT + b"-1 in M()" + END, 255),
    case("second-resume", ["resume", "8", "30", "M", "F"],
         ABORT + b"5 (illegal resume) in M::F()" + END, 5,
         out=BEFORE + b"handler\r\nfirst place\r\n"),
    cut(FITS - 1, "message-1022"),
    cut(FITS, "message-1023"),
    cut(FITS + 1, "message-1024-cut"),
    cut(3000, "message-long-cut"),
    case("ucase-bytes-1-to-255", ["ucase"], b"", 0,
         out=BEFORE + bytes(range(1, 256)).upper() + b"\r\n"),
]


@pytest.fixture
def abort_exe(win_exe):
    """abort_main.exe beside each Windows executable."""
    path = win_exe[1].parent / "abort_main.exe"
    if not path.is_file():
        pytest.fail("not built: %s" % path, pytrace=False)
    return path


@pytest.mark.parametrize("args, out, err, status", CASES)
def test_abort_main(wine, abort_exe, args, out, err, status):
    r = wine.run([str(abort_exe)] + args)
    assert (r.stdout, r.stderr, r.returncode) == (out, err, status)
