#!/usr/bin/env python3
"""Runs abort_main and checks how a runtime error ends a process.

Each case gives abort_main's arguments and the exact bytes expected on
standard output and standard error, and the exit status. Every case runs
twice: with separate streams, and with standard error joined to standard
output, where the abort message must come after all of the output.

Usage: abort_test.py PATH_TO_ABORT_MAIN
"""

import subprocess
import sys
import unittest

PROGRAM = None

BEFORE = b"output before the error\r\n"
ABORT = b"\r\nAborting due to runtime error "
END = b"\r\n\r\n"
REPORT_TAIL = (b"\r\n"
               b"You can find a complete list of runtime error codes in the\r\n"
               b"Vantrisel documentation.\r\n")
LIMIT = 1023  # the abort buffer's 1024 bytes, less the terminator


def run(args, join):
    result = subprocess.run(
        [PROGRAM] + args,
        stdout=subprocess.PIPE,
        stderr=subprocess.STDOUT if join else subprocess.PIPE,
        timeout=20)
    return result.stdout, result.stderr or b"", result.returncode


class RunCase(unittest.TestCase):

    def check(self, cases):
        for args, out, err, status in cases:
            with self.subTest(args=args):
                got_out, got_err, got_status = run(args, join=False)
                self.assertEqual(got_out, out)
                self.assertEqual(got_err, err)
                self.assertEqual(got_status, status)
                joined, _, joined_status = run(args, join=True)
                self.assertEqual(joined, out + err)
                self.assertEqual(joined_status, status)


def aborted(text, status):
    """A throw no handler takes: the output line, then the message."""
    return (BEFORE, ABORT + text + END, status)


class AbortShapes(RunCase):
    # args: throw NUMBER LINE MODULE FUNCTION STORED-MODULE, "-" for none.
    def test_six_shapes(self):
        e6 = b"6 (out of bounds array access)"
        self.check([
            (["throw", "6", "0", "-", "-", "-"], *aborted(e6, 6)),
            (["throw", "6", "0", "-", "F", "-"], *aborted(e6, 6)),
            (["throw", "6", "-7", "-", "F", "-"], *aborted(e6, 6)),
            (["throw", "6", "12", "-", "-", "-"],
             *aborted(e6 + b" at line 12", 6)),
            (["throw", "6", "1", "-", "F", "-"],
             *aborted(e6 + b" at line 1", 6)),
            (["throw", "6", "0", "M", "-", "-"], *aborted(e6 + b" in M()", 6)),
            (["throw", "6", "-1", "M", "-", "-"],
             *aborted(e6 + b" in M()", 6)),
            (["throw", "6", "12", "M", "-", "-"],
             *aborted(e6 + b" at line 12 of M()", 6)),
            (["throw", "6", "0", "M", "F", "-"],
             *aborted(e6 + b" in M::F()", 6)),
            (["throw", "6", "12", "M", "F", "-"],
             *aborted(e6 + b" at line 12 of M::F()", 6)),
        ])

    def test_stored_and_given_module(self):
        self.check([
            (["throw", "2", "4", "-", "F", "S"],
             *aborted(b"2 (file not found) at line 4 of S::F()", 2)),
            (["throw", "2", "4", "M", "F", "S"],
             *aborted(b"2 (file not found) at line 4 of M::F()", 2)),
            (["throw", "2", "0", "-", "-", "S"],
             *aborted(b"2 (file not found) in S()", 2)),
        ])

    def test_codes(self):
        self.check([
            (["throw", "0", "0", "-", "-", "-"], *aborted(b"0 ()", 0)),
            (["throw", "0", "5", "M", "F", "-"],
             *aborted(b"0 () at line 5 of M::F()", 0)),
            (["throw", "8", "0", "-", "-", "-"],
             *aborted(b"8 (no priviledges)", 8)),
            (["throw", "12", "0", "M", "-", "-"],
             *aborted(b'12 ("segmentation violation" signal) in M()', 12)),
            (["throw", "17", "3", "M", "-", "-"],
             *aborted(b"17 (end of file) at line 3 of M()", 17)),
            (["throw", "18", "0", "-", "-", "-"], *aborted(b"18", 18)),
            (["throw", "18", "9", "M", "F", "-"],
             *aborted(b"18 at line 9 of M::F()", 18)),
            (["throw", "-1", "0", "-", "-", "-"], *aborted(b"-1", 255)),
            (["throw", "-1", "0", "M", "-", "-"], *aborted(b"-1 in M()", 255)),
            (["throw", "256", "0", "-", "-", "-"], *aborted(b"256", 0)),
        ])


class AbortLength(RunCase):
    # The message is cut to its first 1023 bytes.
    def test_long_module_name(self):
        head = ABORT + b"3 (file I/O error) in "
        tail = b"()" + END
        fits = LIMIT - len(head) - len(tail)  # a message of exactly 1023
        cases = []
        for length in [fits - 1, fits, fits + 1, fits + 5, fits + 6, 3000]:
            whole = head + b"m" * length + tail
            cases.append((["long", "3", "0", str(length)], BEFORE,
                          whole[:LIMIT], 3))
        self.check(cases)


class Resume(RunCase):
    def test_second_resume_aborts(self):
        out = BEFORE + b"handler\r\nfirst place\r\n"
        self.check([
            (["resume", "8", "30", "M", "F"], out,
             ABORT + b"5 (illegal resume) in M::F()" + END, 5),
            (["resume", "8", "30", "-", "-"], out,
             ABORT + b"5 (illegal resume)" + END, 5),
        ])


class ErrorReport(RunCase):
    def test_report(self):
        cases = []
        for number, line, first in [
            ("0", "1", b"ERROR: #0 at line #1; No error"),
            ("4", "12", b"ERROR: #4 at line #12; Out of memory"),
            ("17", "2", b"ERROR: #17 at line #2; End of file"),
            ("18", "0", b"ERROR: #18 at line #0"),
            ("-1", "0", b"ERROR: #-1 at line #0"),
            ("-1", "-3", b"ERROR: #-1 at line #-3"),
        ]:
            cases.append((["report", number, line],
                          BEFORE + first + b"\r\n" + REPORT_TAIL, b"", 0))
        self.check(cases)


class NormalEnd(RunCase):
    def test_end(self):
        self.check([(["end"], BEFORE, b"", 0)])


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    PROGRAM = sys.argv.pop(1)
    unittest.main()
