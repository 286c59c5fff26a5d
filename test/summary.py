"""The closing lines of scripts/test: each suite's passed, failed and
skipped tests, each reason for a skip once, and the totals last, in the
form CI reads ("total: N passed, N failed, N skipped").

    summary.py PROGRESS JUNIT [SUITE=JUNIT]...

PROGRESS holds a line for each test of the pytest suites (test/conftest.py).
JUNIT is what CTest wrote of the tests it ran (--output-junit): a unit test
(its name holds a dot, Suite.Case) counts for the suite unit, any other for
the suite it is unless the progress lines tell of that suite's tests. Each
SUITE=JUNIT is a tree whose CTest runs as a test of the first (asan): its
tests count for SUITE, its pytest suites as SUITE's progress lines tell."""

import collections
import re
import sys
from xml.etree import ElementTree

LINE = re.compile(r"(\S+): \d+ of \d+ (passed|failed|skipped), .*?"
                  r"(?: -- (.*))?$")
# CTest's status of a test in its JUnit file: any other is a failure.
STATUS = {"run": "passed", "disabled": "skipped"}


def ctest(path):
    """(name, outcome) of each test of CTest's JUnit file; none without
    the file."""
    try:
        cases = ElementTree.parse(path).getroot().iter("testcase")
    except (OSError, ElementTree.ParseError):
        return []
    return [(c.get("name"), STATUS.get(c.get("status"), "failed"))
            for c in cases]


def summary(progress, junit, trees):
    """The closing lines, from the files that main names."""
    counts = collections.defaultdict(collections.Counter)
    reasons = collections.defaultdict(collections.Counter)
    with open(progress, errors="replace") as f:
        lines = f.read().splitlines()
    covered = {m[1] for m in map(LINE.match, lines) if m}
    trees = dict(tree.split("=", 1) for tree in trees)
    for name, outcome in ctest(junit):
        suite = "unit" if "." in name else name
        n = counts[suite]  # the suites in CTest's order
        inner = ctest(trees[name]) if name in trees else []
        for case, result in inner:
            if "." in case or suite not in covered:
                n[result] += 1
        if suite not in covered and not inner:
            n[outcome] += 1
    for m in filter(None, map(LINE.match, lines)):
        counts[m[1]][m[2]] += 1
        if m[3]:
            reasons[m[3]][m[1]] += 1
    form = "%(passed)d passed, %(failed)d failed, %(skipped)d skipped"
    out = ["%s: " % suite + form % n for suite, n in counts.items()]
    for why, where in reasons.items():
        out.append("skipped (%s): %s" % (", ".join(
            "%s %d" % kv for kv in where.items()), why))
    return out + ["total: " + form % sum(counts.values(),
                                         collections.Counter())]


if __name__ == "__main__":
    print("\n".join(summary(sys.argv[1], sys.argv[2], sys.argv[3:])))
