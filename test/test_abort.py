"""How a runtime error ends a real process: abort_main prints one line,
then raises the error its arguments describe (see abort_main.cc). Each case
runs on the host with separate streams and with standard error joined to
standard output, where the abort message must come after all of the output;
some run as abort_main.exe of both Windows builds under Wine, where they
prove msvcrt's _snprintf (the message, cut at 1023 bytes), exit and its
exit-time handlers (the message written last, the error number as status),
and its toupper and character classes (only a to z change)."""

import subprocess

import pytest

from expected import ERROR_REPORT_TAIL

BEFORE = b"output before the error\r\n"
ABORT = b"\r\nAborting due to runtime error "
END = b"\r\n\r\n"
LIMIT = 1023  # the abort buffer's 1024 bytes, less the terminator
LONG_HEAD = ABORT + b"3 (file I/O error) in "
FITS = LIMIT - len(LONG_HEAD) - len(b"()" + END)  # a message of 1023 bytes


def aborted(name, args, text, status):
    """A throw no handler takes: the output line, then the message."""
    return pytest.param(args, BEFORE, ABORT + text + END, status, id=name)


def cut(name, length):
    """A module name of `length` letters: the message cut to 1023 bytes."""
    whole = LONG_HEAD + b"m" * length + b"()" + END
    return pytest.param(["long", "3", "0", str(length)], BEFORE,
                        whole[:LIMIT], 3, id=name)


def report(number, line, first):
    """The tool's error report on standard output; the error's number is the
    status (its low byte, on the host)."""
    return pytest.param(["report", number, line],
                        BEFORE + first + b"\r\n" + ERROR_REPORT_TAIL, b"",
                        int(number) & 0xFF,
                        id="report-" + number + "-" + line)


E6 = b"6 (out of bounds array access)"
CASES = [
    # throw NUMBER LINE MODULE FUNCTION STORED-MODULE, "-" for none
    aborted("bare", ["throw", "6", "0", "-", "-", "-"], E6, 6),
    aborted("function-only", ["throw", "6", "0", "-", "F", "-"], E6, 6),
    aborted("negative-line", ["throw", "6", "-7", "-", "F", "-"], E6, 6),
    aborted("line", ["throw", "6", "12", "-", "-", "-"],
            E6 + b" at line 12", 6),
    aborted("line-1-function", ["throw", "6", "1", "-", "F", "-"],
            E6 + b" at line 1", 6),
    aborted("module", ["throw", "6", "0", "M", "-", "-"], E6 + b" in M()", 6),
    aborted("module-line-minus-1", ["throw", "6", "-1", "M", "-", "-"],
            E6 + b" in M()", 6),
    aborted("line-module", ["throw", "6", "12", "M", "-", "-"],
            E6 + b" at line 12 of M()", 6),
    aborted("module-function", ["throw", "6", "0", "M", "F", "-"],
            E6 + b" in M::F()", 6),
    aborted("line-module-function", ["throw", "6", "12", "M", "F", "-"],
            E6 + b" at line 12 of M::F()", 6),
    aborted("stored-module", ["throw", "2", "4", "-", "F", "S"],
            b"2 (file not found) at line 4 of S::F()", 2),
    aborted("given-over-stored", ["throw", "2", "4", "M", "F", "S"],
            b"2 (file not found) at line 4 of M::F()", 2),
    aborted("stored-only", ["throw", "2", "0", "-", "-", "S"],
            b"2 (file not found) in S()", 2),
    aborted("code-0", ["throw", "0", "0", "-", "-", "-"], b"0 ()", 0),
    aborted("code-0-placed", ["throw", "0", "5", "M", "F", "-"],
            b"0 () at line 5 of M::F()", 0),
    aborted("code-8", ["throw", "8", "0", "-", "-", "-"],
            b"8 (no priviledges)", 8),
    aborted("code-12", ["throw", "12", "0", "M", "-", "-"],
            b'12 ("segmentation violation" signal) in M()', 12),
    aborted("code-17", ["throw", "17", "3", "M", "-", "-"],
            b"17 (end of file) at line 3 of M()", 17),
    aborted("code-18", ["throw", "18", "0", "-", "-", "-"], b"18", 18),
    aborted("code-18-placed", ["throw", "18", "9", "M", "F", "-"],
            b"18 at line 9 of M::F()", 18),
    aborted("code-minus-1", ["throw", "-1", "0", "-", "-", "-"], b"-1", 255),
    aborted("code-minus-1-module", ["throw", "-1", "0", "M", "-", "-"],
            b"-1 in M()", 255),
    aborted("code-256", ["throw", "256", "0", "-", "-", "-"], b"256", 0),
    cut("fits-less-1", FITS - 1),
    cut("fits", FITS),
    cut("fits-plus-1", FITS + 1),
    cut("fits-plus-5", FITS + 5),
    cut("fits-plus-6", FITS + 6),
    cut("3000", 3000),
    pytest.param(["resume", "8", "30", "M", "F"],
                 BEFORE + b"handler\r\nfirst place\r\n",
                 ABORT + b"5 (illegal resume) in M::F()" + END, 5,
                 id="second-resume"),
    pytest.param(["resume", "8", "30", "-", "-"],
                 BEFORE + b"handler\r\nfirst place\r\n",
                 ABORT + b"5 (illegal resume)" + END, 5,
                 id="second-resume-unplaced"),
    report("0", "1", b"ERROR: #0 at line #1; No error"),
    report("4", "12", b"ERROR: #4 at line #12; Out of memory"),
    report("17", "2", b"ERROR: #17 at line #2; End of file"),
    report("18", "0", b"ERROR: #18 at line #0"),
    report("-1", "0", b"ERROR: #-1 at line #0"),
    report("-1", "-3", b"ERROR: #-1 at line #-3"),
    pytest.param(["end"], BEFORE, b"", 0, id="end"),
    pytest.param(["ucase"], BEFORE + bytes(range(1, 256)).upper() + b"\r\n",
                 b"", 0, id="ucase-bytes-1-to-255"),
]
ON_WINDOWS = {"line-module-function", "stored-module", "code-18-placed", "report-4-12",
              "code-minus-1-module", "second-resume", "fits-less-1", "fits",
              "fits-plus-1", "3000", "ucase-bytes-1-to-255"}


@pytest.mark.host
@pytest.mark.parametrize("args,out,err,status", CASES)
def test_abort(abort_main, args, out, err, status):
    argv = [abort_main] + args
    proc = subprocess.run(argv, capture_output=True, timeout=20)
    assert (proc.stdout, proc.stderr, proc.returncode) == (out, err, status)
    joined = subprocess.run(argv, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, timeout=20)
    assert (joined.stdout, joined.returncode) == (out + err, status)


@pytest.mark.wine
@pytest.mark.parametrize("args,out,err,status",
                         [c for c in CASES if c.id in ON_WINDOWS])
def test_abort_windows(wine, win_exe, args, out, err, status):
    exe = win_exe[1].parent / "abort_main.exe"
    r = wine.run([str(exe)] + args)
    assert (r.stdout, r.stderr, r.returncode) == (out, err, status)
