#!/usr/bin/env python3
"""Fault tests of the built torvelin binaries, as whole processes.

Every output form (no argument, /o, /b, /p, /a, and /x for the usage text)
runs with a standard output that cannot take its bytes: closed (`>&-`),
/dev/full, and a pipe whose reader has gone before the first byte. Each run
must end by itself with exit status 0 (a SIGPIPE death is a failure) and
write nothing to standard error. A run on an ordinary pipe comes first, as
the baseline: its output must be whole lines ending in CR LF.

On the host, when strace is installed, the write calls of each run are
traced as well: a faulted run must offer the same writes as the baseline,
each once and whole, every one failing, so no byte of a write is retried
after it failed.

    test/faults/run.py [--build DIR] [--host P] [--win64 P] [--win32 P]
                       [--wine] [--memcheck] [--no-host] [-v]

--wine runs both Windows executables under Wine the same way (closed,
/dev/full, a reader gone, and NUL through cmd.exe), in a throwaway prefix
with WINEDEBUG=-all and one persistent wineserver. --memcheck runs the host
binary under valgrind's memcheck for every form, on a pipe, /dev/full and a
reader gone: no error, and no block definitely or indirectly lost. A
missing wine or valgrind is a failure when CI is set and a skip otherwise.

The last line is "faults: N passed, M failed"; the exit status is 1 when
anything failed.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.dirname(HERE))
import binaries  # noqa: E402  (test/binaries.py)
import expected  # noqa: E402  (test/expected.py)
import wineprefix  # noqa: E402  (test/wineprefix.py)

FORMS = expected.FORMS

# How long one run may take before it counts as hung.
HOST_TIMEOUT = 30
WINE_TIMEOUT = 90
MEMCHECK_TIMEOUT = 120

CLOSE_STDOUT = ["sh", "-c", 'exec "$0" "$@" >&-']

WRITE_RE = re.compile(rb"^\d+\s+write\(1, .*, (\d+)\)\s+= (-?\d+)")


class Results:

  def __init__(self, verbose):
    self.passed = 0
    self.failed = 0
    self.verbose = verbose

  def check(self, name, why):
    """why: the list of reasons the case failed (empty: it passed)."""
    if why:
      self.failed += 1
      print("FAIL %s: %s" % (name, "; ".join(why)), flush=True)
    else:
      self.passed += 1
      if self.verbose:
        print("ok   %s" % name, flush=True)


def run(cmd, env=None, stdout=subprocess.PIPE, timeout=HOST_TIMEOUT):
  """Runs cmd with no input; (stdout bytes or None, stderr, status) or a
  text saying why it did not run to its end."""
  try:
    p = subprocess.run(cmd, env=env, stdin=subprocess.DEVNULL, stdout=stdout,
                       stderr=subprocess.PIPE, timeout=timeout)
  except subprocess.TimeoutExpired:
    return "hung: no end after %ds" % timeout
  except OSError as e:
    return "could not start: %s" % e
  return p.stdout, p.stderr, p.returncode


def with_stdout(kind, cmd, env=None, timeout=HOST_TIMEOUT):
  """Runs cmd with standard output of one kind: pipe, closed, full, gone."""
  if kind == "pipe":
    return run(cmd, env, subprocess.PIPE, timeout)
  if kind == "closed":
    return run(CLOSE_STDOUT + cmd, env, None, timeout)
  if kind == "full":
    with open("/dev/full", "wb") as full:
      return run(cmd, env, full, timeout)
  if kind == "gone":
    reader, writer = os.pipe()
    os.close(reader)
    try:
      return run(cmd, env, writer, timeout)
    finally:
      os.close(writer)
  raise ValueError(kind)


def end_reasons(got):
  """Why a run did not end as every run must: status 0, no standard error."""
  if isinstance(got, str):
    return [got]
  _, err, rc = got
  why = []
  if rc < 0:
    why.append("killed by signal %d" % -rc)
  elif rc != 0:
    why.append("exit status %d" % rc)
  if err:
    why.append("stderr=%r" % err[:300])
  return why


def baseline_reasons(got):
  """A run on a working pipe: whole CR LF lines, and some of them."""
  why = end_reasons(got)
  if why:
    return why
  out = got[0]
  if not out.endswith(b"\r\n"):
    why.append("output does not end in CR LF: %r" % out[-40:])
  if b"\n" in out.replace(b"\r\n", b"") or b"\r" in out.replace(b"\r\n", b""):
    why.append("a lone CR or LF in %r" % out[:200])
  return why


# --------------------------------------------------------------------------
# The host binary.


def traced_writes(cmd, kind, log):
  """Runs cmd under strace; its status and its writes to descriptor 1 as
  (count, result) pairs, or a text saying why not."""
  strace = ["strace", "-f", "-qq", "-e", "trace=write", "-e", "signal=none",
            "-o", log]
  got = with_stdout(kind, strace + cmd)
  if isinstance(got, str):
    return got
  writes = []
  with open(log, "rb") as f:
    for line in f:
      m = WRITE_RE.match(line)
      if m:
        writes.append((int(m.group(1)), int(m.group(2))))
  return got, writes


def host_suite(exe, tmp, res):
  have_strace = shutil.which("strace") is not None
  if not have_strace:
    print("note: strace is not installed; the write calls are not traced")
  for form, args in FORMS:
    cmd = [exe] + args
    base = with_stdout("pipe", cmd)
    res.check("host %s pipe" % form, baseline_reasons(base))
    for kind in ("closed", "full", "gone"):
      res.check("host %s %s" % (form, kind), end_reasons(with_stdout(kind, cmd)))
    if not have_strace:
      continue
    log = os.path.join(tmp, "strace.log")
    traced = traced_writes(cmd, "pipe", log)
    if isinstance(traced, str):
      res.check("host %s pipe writes" % form, [traced])
      continue
    want = [n for n, _ in traced[1]]
    why = []
    if not isinstance(base, str) and sum(want) != len(base[0]):
      why.append("traced writes hold %d bytes, the output %d" %
                 (sum(want), len(base[0])))
    if any(r != n for n, r in traced[1]):
      why.append("a write on a working pipe was not taken whole: %r" %
                 traced[1])
    res.check("host %s pipe writes" % form, why)
    for kind in ("closed", "full", "gone"):
      traced = traced_writes(cmd, kind, log)
      if isinstance(traced, str):
        res.check("host %s %s writes" % (form, kind), [traced])
        continue
      got, writes = traced
      why = end_reasons(got)
      counts = [n for n, _ in writes]
      if counts != want:
        why.append("writes offered %r, want each write once, whole: %r" %
                   (counts, want))
      taken = [r for _, r in writes if r >= 0]
      if taken:
        why.append("writes took bytes: %r" % writes)
      res.check("host %s %s writes" % (form, kind), why)


# --------------------------------------------------------------------------
# Valgrind's memcheck on the host binary.

LOST_RE = re.compile(rb"(definitely|indirectly) lost: ([\d,]+) bytes")


def memcheck_suite(exe, tmp, res):
  log = os.path.join(tmp, "memcheck.log")
  for form, args in FORMS:
    for kind in ("pipe", "full", "gone"):
      cmd = ["valgrind", "--error-exitcode=1", "--leak-check=full",
             "--errors-for-leak-kinds=definite,indirect",
             "--log-file=" + log, exe] + args
      got = with_stdout(kind, cmd, timeout=MEMCHECK_TIMEOUT)
      why = baseline_reasons(got) if kind == "pipe" else end_reasons(got)
      try:
        with open(log, "rb") as f:
          text = f.read()
      except OSError:
        text = b""
      if b"ERROR SUMMARY: 0 errors" not in text:
        why.append("memcheck found errors: %r" % text[-600:])
      for m in LOST_RE.finditer(text):
        if m.group(2).replace(b",", b"") != b"0":
          why.append("%s lost: %s bytes" % (m.group(1).decode(),
                                            m.group(2).decode()))
      res.check("memcheck %s %s" % (form, kind), why)


# --------------------------------------------------------------------------
# Wine.


def dos_path(path):
  """The path through Wine's Z: drive, which maps the whole file system."""
  return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine_suite(exes, tmp, res):
  env = wineprefix.start(tmp, drop=("ProgramFiles(x86)",))
  try:
    for target, exe in exes.items():
      for form, args in FORMS:
        cmd = ["wine", exe] + args
        base = with_stdout("pipe", cmd, env, WINE_TIMEOUT)
        res.check("%s %s pipe" % (target, form), baseline_reasons(base))
        for kind in ("closed", "full", "gone"):
          res.check("%s %s %s" % (target, form, kind),
                    end_reasons(with_stdout(kind, cmd, env, WINE_TIMEOUT)))
        # Through cmd.exe: first to its pipe, which must give what the
        # direct run gave, then to NUL, which must give nothing.
        line = " ".join([dos_path(exe)] + args)
        via = with_stdout("pipe", ["wine", "cmd", "/c", line], env,
                          WINE_TIMEOUT)
        why = baseline_reasons(via)
        if not why and not isinstance(base, str) and via[0] != base[0]:
          why.append("cmd /c gave %r, the direct run %r" % (via[0][:80],
                                                            base[0][:80]))
        res.check("%s %s cmd" % (target, form), why)
        nul = with_stdout("pipe", ["wine", "cmd", "/c", line + " > NUL"], env,
                          WINE_TIMEOUT)
        why = end_reasons(nul)
        if not why and nul[0]:
          why.append("output reached cmd's pipe: %r" % nul[0][:80])
        res.check("%s %s NUL" % (target, form), why)
  finally:
    wineprefix.stop(env)


def missing(res, tool, what):
  if os.environ.get("CI"):
    res.check(what, ["%s is not installed" % tool])
  else:
    print("SKIP %s: %s is not installed" % (what, tool))


def main():
  ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
  binaries.add_options(ap, REPO)
  ap.add_argument("--wine", action="store_true",
                  help="also run both Windows executables under Wine")
  ap.add_argument("--memcheck", action="store_true",
                  help="also run the host binary under valgrind's memcheck")
  ap.add_argument("--no-host", action="store_true",
                  help="skip the plain host runs")
  ap.add_argument("-v", "--verbose", action="store_true",
                  help="print every case, not only the failures")
  opts = ap.parse_args()

  wins = binaries.paths(opts)
  host = os.path.abspath(wins.pop("host"))
  res = Results(opts.verbose)
  started = time.time()
  tmp = tempfile.mkdtemp(prefix="torvelin-faults-")
  try:
    if not opts.no_host or opts.memcheck:
      if not os.path.isfile(host):
        res.check("host", ["binary not found: " + host])
      else:
        if not opts.no_host:
          host_suite(host, tmp, res)
        if opts.memcheck:
          if shutil.which("valgrind") is None:
            missing(res, "valgrind", "memcheck")
          else:
            memcheck_suite(host, tmp, res)
    if opts.wine:
      exes = {}
      for target, path in wins.items():
        if os.path.isfile(path):
          exes[target] = os.path.abspath(path)
        else:
          res.check(target, ["executable not found: " + path])
      if shutil.which("wine") is None or shutil.which("wineserver") is None:
        missing(res, "wine", "wine")
      elif exes:
        wine_suite(exes, tmp, res)
  finally:
    shutil.rmtree(tmp, ignore_errors=True)
  print("time: %.0fs" % (time.time() - started))
  print("faults: %d passed, %d failed" % (res.passed, res.failed))
  return 1 if res.failed else 0


if __name__ == "__main__":
  sys.exit(main())
