#!/usr/bin/env python3
"""Benchmarks of the built torvelin binaries; prints tables.

    bench/run.py [--build DIR] [--runs N] [--skip wine,callgrind,calls]

1. Wall time under Wine. Each output form of each Windows executable, an
   empty program built with the same compiler and flags (bench/empty.cc),
   and `cmd /c ver` run in alternation, N rounds; the table gives each
   one's median time and the median of its per-round ratios to the empty
   program and to `cmd /c ver`. Standard output is a pipe, as in a batch
   file's FOR /f. A throwaway prefix, WINEDEBUG=-all, one persistent
   wineserver.
2. Instructions on the host: valgrind's callgrind counts the instructions
   of each form of the host binary and of an empty C++ program built with
   the host build's flags.
3. Platform calls and heap allocations per form, from the fake platform's
   records: the unit test FaultsCostTest prints them (and checks them).

This is a command, not a test: it fails only when something cannot run.
"""

import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(REPO, "test"))
import expected  # noqa: E402  (test/expected.py)
import wineprefix  # noqa: E402  (test/wineprefix.py)

FORMS = expected.FORMS

# The flags the win64 and win32 presets build with (CMakeLists.txt and the
# MinSizeRel build type).
WIN_FLAGS = [
    "-std=c++17", "-Os", "-DNDEBUG", "-fno-exceptions", "-fno-rtti",
    "-fno-asynchronous-unwind-tables", "-ffunction-sections",
    "-fdata-sections", "-static", "-static-libgcc", "-static-libstdc++", "-s",
    "-Wl,--gc-sections"
]
WIN_COMPILERS = {
    "win64": "x86_64-w64-mingw32-g++",
    "win32": "i686-w64-mingw32-g++",
}
# The host preset's build type, RelWithDebInfo.
HOST_FLAGS = ["-std=c++17", "-O2", "-g", "-DNDEBUG"]


def die(message):
  print("bench: " + message, file=sys.stderr)
  sys.exit(1)


def build_empty(compiler, flags, out):
  src = os.path.join(HERE, "empty.cc")
  p = subprocess.run([compiler] + flags + [src, "-o", out],
                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
  if p.returncode != 0:
    die("could not build %s: %s" % (out, p.stdout.decode(errors="replace")))
  return out


def timed(cmd, env):
  """Seconds from start to end of one run, standard output on a pipe."""
  start = time.perf_counter()
  p = subprocess.run(cmd, env=env, stdin=subprocess.DEVNULL,
                     stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                     timeout=120)
  took = time.perf_counter() - start
  if p.returncode != 0:
    die("%r exited %d: %r" % (cmd, p.returncode, p.stderr[-300:]))
  return took


def wine_bench(exes, empties, runs, tmp):
  env = wineprefix.start(tmp)
  try:
    for target, exe in exes.items():
      items = [("empty", ["wine", empties[target]]),
               ("cmd /c ver", ["wine", "cmd", "/c", "ver"])]
      items += [(form, ["wine", exe] + args) for form, args in FORMS]
      for _, cmd in items:  # one untimed run each, to warm the caches
        timed(cmd, env)
      times = {label: [] for label, _ in items}
      for _ in range(runs):
        for label, cmd in items:
          times[label].append(timed(cmd, env))
      print()
      print("Wine, %s, %d rounds in alternation (pipe output):" % (target,
                                                                    runs))
      print("%-12s %10s %12s %12s" % ("run", "median ms", "/ empty",
                                      "/ cmd /c ver"))
      for label, _ in items:
        t = times[label]
        to_empty = statistics.median(
            a / b for a, b in zip(t, times["empty"]))
        to_ver = statistics.median(
            a / b for a, b in zip(t, times["cmd /c ver"]))
        print("%-12s %10.1f %12.2f %12.2f" % (label, 1000 * statistics.median(
            t), to_empty, to_ver))
  finally:
    wineprefix.stop(env)


def instructions(cmd, tmp):
  out = os.path.join(tmp, "callgrind.out")
  p = subprocess.run(["valgrind", "--tool=callgrind",
                      "--callgrind-out-file=" + out] + cmd,
                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.PIPE, timeout=300)
  if p.returncode != 0:
    die("callgrind on %r failed: %r" % (cmd, p.stderr[-300:]))
  with open(out) as f:
    for line in f:
      m = re.match(r"(?:summary|totals): (\d+)", line)
      if m:
        return int(m.group(1))
  die("no instruction count for %r" % cmd)


def callgrind_bench(host, empty, empty_linked, tmp):
  base = instructions([empty], tmp)
  linked = instructions([empty_linked], tmp)
  print()
  print("Host instructions (callgrind, Ir). The empty C++ program: %d; the "
        "same,\nlinked to libstdc++ and libm as the host binary is (it needs "
        "the\nunwinder's personality routine): %d." % (base, linked))
  print("%-6s %12s %8s %16s" % ("form", "Ir", "/ empty", "Ir - linked"))
  for form, args in FORMS:
    n = instructions([host] + args, tmp)
    print("%-6s %12d %8.2f %16d" % (form, n, n / base, n - linked))


def calls_bench(unit_tests):
  p = subprocess.run([unit_tests, "--gtest_filter=FaultsCostTest.*"],
                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                     stderr=subprocess.STDOUT, timeout=120)
  text = p.stdout.decode(errors="replace")
  rows = [line.split()[1:] for line in text.splitlines()
          if line.startswith("calls: ")]
  if p.returncode != 0 or len(rows) < 2:
    die("FaultsCostTest failed:\n" + text[-2000:])
  print()
  print("Platform calls and heap allocations per form (fake platform):")
  head = ["form", "WriteFile", "RegOpen", "RegQuery", "RegClose", "getenv",
          "GetVersionEx", "GetStdHandle", "ConsoleMode", "ScreenBufInfo",
          "allocations"]
  print("%-6s" % head[0] + "".join(" %12s" % h for h in head[1:]))
  for row in rows[1:]:
    print("%-6s" % row[0] + "".join(" %12s" % v for v in row[1:]))


def main():
  ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
  ap.add_argument("--build", default=os.path.join(REPO, "build"),
                  help="build root holding host/, win64/ and win32/")
  ap.add_argument("--runs", type=int, default=15,
                  help="rounds of timed runs under Wine")
  ap.add_argument("--skip", default="",
                  help="comma-separated parts to leave out: wine,callgrind,"
                  "calls")
  opts = ap.parse_args()
  skip = set(s for s in opts.skip.split(",") if s)
  build = os.path.abspath(opts.build)
  tmp = tempfile.mkdtemp(prefix="torvelin-bench-")
  try:
    if "wine" not in skip:
      exes, empties = {}, {}
      for target, compiler in WIN_COMPILERS.items():
        exe = os.path.join(build, target, "torvelin.exe")
        if not os.path.isfile(exe):
          die("not found: " + exe)
        exes[target] = exe
        empties[target] = build_empty(
            compiler, WIN_FLAGS, os.path.join(tmp, "empty-%s.exe" % target))
      print("Sizes: " + ", ".join(
          "%s torvelin.exe %d bytes, empty.exe %d bytes" %
          (t, os.path.getsize(exes[t]), os.path.getsize(empties[t]))
          for t in exes))
      wine_bench(exes, empties, opts.runs, tmp)
    if "callgrind" not in skip:
      host = os.path.join(build, "host", "torvelin")
      if not os.path.isfile(host):
        die("not found: " + host)
      empty = build_empty("g++", HOST_FLAGS, os.path.join(tmp, "empty"))
      linked = build_empty(
          "g++", HOST_FLAGS + ["-Wl,--no-as-needed", "-lstdc++", "-lm"],
          os.path.join(tmp, "empty-linked"))
      callgrind_bench(host, empty, linked, tmp)
    if "calls" not in skip:
      unit_tests = os.path.join(build, "host", "test", "unit_tests")
      if not os.path.isfile(unit_tests):
        die("not found: " + unit_tests)
      calls_bench(unit_tests)
  finally:
    shutil.rmtree(tmp, ignore_errors=True)
  return 0


if __name__ == "__main__":
  sys.exit(main())
