#!/usr/bin/env python3
"""Benchmarks of the built torvelin binaries; prints tables.

    bench/run.py [--build DIR] [--host P] [--win64 P] [--win32 P]
                 [--runs N] [--skip requests,callgrind]

1. Wineserver requests (Wine, x64, and x86 where Wine runs x86 programs:
   test/winenv.py finds out, and why not). Every Windows call that leaves
   the process is a request to the wineserver, so their number is the cost
   of a run, and unlike wall time it is the same from run to run. The
   server runs with its request trace on (as under WINEDEBUG=+server); a
   run's count is the requests of the threads of the process whose start-up
   information names the executable, started by cmd /c. Each form of each
   executable is set against an empty program built with the same compiler
   and flags (bench/empty.cc, the bench_empty target of the same build
   tree), and the requests it makes beyond that program's are named.
   Standard output is a pipe, as in a batch file's FOR /f. A throwaway
   prefix, one persistent server.
2. Host instructions: valgrind's callgrind counts the instructions of each
   form of the host binary and of the empty program of the host tree. Both
   run from one folder under fixed names with an empty environment, since
   the dynamic loader and getenv walk the environment: the count is then
   the same for any caller, in any folder.

The forms are the test suites' (test/expected.py), the binaries where the
suites find them (test/builds.py). This is a command, not a test: it fails
only when something cannot run.
"""

import argparse
import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)

# The binaries, the forms and Wine's surroundings, as the test suites have
# them.
sys.path.insert(0, os.path.join(REPO, "test"))
from builds import BINARIES  # noqa: E402
from expected import FORMS  # noqa: E402
import winenv  # noqa: E402

TARGETS = ("host", "win64", "win32")

# A trace line: a thread id, then a request ("name( ...") or anything else
# (a reply "name() = ...", "*killed*", ...).
TRACE_LINE = re.compile(r"([0-9a-f]{4}): (?:([a-z_]+)\( |(.*))")


def die(message):
    print("bench: " + message, file=sys.stderr)
    sys.exit(1)


def empty_program(tree):
    """The bench_empty target of a build tree, built now."""
    p = subprocess.run(["cmake", "--build", tree, "--target", "bench_empty"],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if p.returncode != 0:
        die("could not build the empty program in %s: %s" %
            (tree, p.stdout.decode(errors="replace")))
    for name in ("bench_empty.exe", "bench_empty"):
        if os.path.isfile(os.path.join(tree, name)):
            return os.path.join(tree, name)
    die("no empty program in " + tree)


def count_requests(lines, image):
    """The requests of the process running `image` (a file name), counted
    by name, and whether its last thread has ended. Requests a thread made
    before its start-up information named the image count too."""
    since_start = {}
    threads = None
    n = collections.Counter()
    for line in lines:
        m = TRACE_LINE.match(line)
        if not m:
            continue
        tid, request, other = m.group(1), m.group(2), m.group(3) or ""
        if threads is None:
            if request == "init_first_thread":
                since_start[tid] = collections.Counter()
            if request:
                since_start.setdefault(tid, collections.Counter())[
                    request] += 1
            elif other.startswith("get_startup_info() = 0"):
                path = re.search(r'imagepath=L"([^"]*)"', other)
                if path and path.group(1).split("\\")[-1] == image:
                    threads = {tid}
                    n = since_start.get(tid, collections.Counter())
        elif tid in threads:
            if request:
                n[request] += 1
            elif other.startswith("new_thread() = 0"):
                threads.add(re.search(r"tid=([0-9a-f]+)", other).group(1))
            elif other.startswith("*killed*"):
                threads.discard(tid)
                if not threads:
                    return n, True
    return n, False


class TracedWine:
    """A throwaway prefix whose persistent server traces every request."""

    def __init__(self, tmp):
        env = winenv.environment(os.path.join(tmp, "prefix"),
                                 winenv.runtime_dir(os.path.join(tmp, "run")))
        self.env = env
        winenv.boot(env)
        self.trace_path = os.path.join(tmp, "server.trace")
        self.trace = open(self.trace_path, "wb")
        self.server = subprocess.Popen(
            ["wineserver", "-f", "-p", "-d1"], env=env,
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=self.trace)
        winenv.first_run(env)

    def requests(self, exe, args):
        start = os.path.getsize(self.trace_path)
        # Through cmd, so that the process has start-up information to be
        # found by, whatever the executable's machine.
        windows_exe = "Z:" + exe.replace("/", "\\")
        p = subprocess.run(["wine", "cmd", "/c", windows_exe] + args,
                           env=self.env,
                           stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=120)
        if p.returncode != 0:
            die("%s %s exited %d: %r" % (exe, args, p.returncode,
                                         p.stderr[-300:]))
        # The server notes the end of the process a moment after it ends.
        for _ in range(100):
            with open(self.trace_path, "rb") as f:
                f.seek(start)
                lines = f.read().decode("latin-1").splitlines()
            n, ended = count_requests(lines, os.path.basename(exe))
            if ended:
                return n
            time.sleep(0.1)
        die("no end of %s in the server's trace" % exe)

    def close(self):
        winenv.quiet(["wineserver", "-k"], self.env, timeout=60)
        self.server.wait(timeout=60)
        self.trace.close()


def counted(measure, runs):
    """Runs measure `runs` times; the requests of the first run by name, and
    " (low..high)" if their number varied, else ""."""
    got = [measure() for _ in range(runs)]
    totals = [sum(g.values()) for g in got]
    return got[0], "" if min(totals) == max(totals) else " (%d..%d)" % (
        min(totals), max(totals))


def beyond(form, empty):
    """The requests of form that the empty program does not make, and those
    it makes and form does not (marked -), by name."""
    more, fewer = form - empty, empty - form
    return " ".join(["%s %d" % kv for kv in sorted(more.items())] +
                    ["-%s %d" % kv for kv in sorted(fewer.items())])


def requests_bench(exes, trees, runs, tmp):
    wine = TracedWine(tmp)
    try:
        for target, exe in exes.items():
            empty = empty_program(trees[target])
            base, spread = counted(lambda: wine.requests(empty, []), runs)
            total = sum(base.values())
            print()
            print("Wineserver requests, %s: torvelin.exe %d bytes; empty "
                  "program %d bytes, %d requests%s." % (
                      target, os.path.getsize(exe), os.path.getsize(empty),
                      total, spread))
            print("%-6s %9s %8s %7s  %s" % ("form", "requests", "/ empty",
                                            "beyond", "which"))
            for form, args in FORMS:
                n, spread = counted(lambda: wine.requests(exe, args), runs)
                print("%-6s %9d %8.3f %7d  %s%s" % (
                    form, sum(n.values()), sum(n.values()) / total,
                    sum(n.values()) - total, beyond(n, base), spread))
    finally:
        wine.close()


def instructions(program, tmp):
    """Instructions of one run of program, copied to tmp/run/ under its
    own name and started from there as ./NAME with no environment."""
    folder = os.path.join(tmp, "run")
    os.makedirs(folder, exist_ok=True)
    name = os.path.basename(program[0])
    shutil.copy(program[0], os.path.join(folder, name))
    out = os.path.join(tmp, "callgrind.out")
    p = subprocess.run([shutil.which("valgrind"), "--tool=callgrind",
                        "--callgrind-out-file=" + out, "./" + name] +
                       program[1:], cwd=folder, env={},
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, timeout=300)
    if p.returncode != 0:
        die("callgrind on %r failed: %r" % (program, p.stderr[-300:]))
    with open(out) as f:
        for line in f:
            m = re.match(r"(?:summary|totals): (\d+)", line)
            if m:
                return int(m.group(1))
    die("no instruction count for %r" % program)


def callgrind_bench(host, tree, tmp):
    base = instructions([empty_program(tree)], tmp)
    print()
    print("Host instructions (callgrind, Ir); the empty program: %d." % base)
    print("%-6s %9s %8s %7s" % ("form", "Ir", "/ empty", "beyond"))
    for form, args in FORMS:
        n = instructions([host] + args, tmp)
        print("%-6s %9d %8.3f %7d" % (form, n, n / base, n - base))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default=os.path.join(REPO, "build"),
                    help="build root holding the trees of " +
                    ", ".join(TARGETS))
    for target in TARGETS:
        ap.add_argument("--" + target, help="default BUILD/" +
                        BINARIES[target])
    ap.add_argument("--runs", type=int, default=2,
                    help="runs of each program under Wine")
    ap.add_argument("--skip", default="",
                    help="comma-separated parts to leave out: requests,"
                    "callgrind")
    opts = ap.parse_args()
    skip = set(s for s in opts.skip.split(",") if s)
    build_root = os.path.abspath(opts.build)
    paths = {t: getattr(opts, t) or os.path.join(build_root, BINARIES[t])
             for t in TARGETS}
    windows = ["win64", "win32"]
    if "requests" not in skip:
        try:
            why = winenv.x86_problem()
        except RuntimeError as e:
            die("the x86 helper: %s" % e)
        if why:
            print("x86 left out: " + why, file=sys.stderr)
            windows.remove("win32")
    wanted = ([] if "requests" in skip else windows) + (
        [] if "callgrind" in skip else ["host"])
    for target in wanted:
        if not os.path.isfile(paths[target]):
            die("not found: " + paths[target])
    trees = {t: os.path.dirname(os.path.join(build_root, BINARIES[t]))
             for t in TARGETS}
    tmp = tempfile.mkdtemp(prefix="torvelin-bench-")
    try:
        if "requests" not in skip:
            requests_bench({t: os.path.abspath(paths[t]) for t in windows},
                           trees, opts.runs, tmp)
        if "callgrind" not in skip:
            callgrind_bench(os.path.abspath(paths["host"]), trees["host"],
                            tmp)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
