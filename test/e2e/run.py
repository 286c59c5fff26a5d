#!/usr/bin/env python3
"""End-to-end tests of the built torvelin binaries, checked byte for byte.

Runs the host binary directly and both Windows executables under Wine, each
case from an empty directory with standard output on a pipe, and compares
standard output exactly, standard error (must be empty) and the exit status
(must be 0).

    test/e2e/run.py [--build DIR] [--host P] [--win64 P] [--win32 P]
                    [--only host,win64,win32] [--keep] [-v]

Defaults: DIR is the repository's build/ folder, holding host/torvelin,
win64/torvelin.exe and win32/torvelin.exe. The last line of the output is
"e2e: N passed, M failed"; the exit status is 1 when anything failed.

Wine runs in throwaway prefixes under a temporary folder: one for the
version and command-line suites, a copy of it for the registry suites, each
with one persistent wineserver for its whole life. The expected version
numbers come from small helper programs (verinfo.c) that ask Wine the same
question, cross-checked against the numbers Wine 8.0 is known to report.
A missing wine is a failure when the environment variable CI is set and a
skip otherwise.
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

USAGE_LINES = [line.encode() for line in expected.USAGE_LINES]


def lines(*texts):
  """The bytes that printing each text as one line produces."""
  return b"".join(t + b"\r\n" for t in texts)


USAGE = lines(*USAGE_LINES)
assert len(USAGE_LINES) == 23

OPEN_ERR = b"ERROR_MyRegRead_RegOpenKeyEx!!!"
QUERY_ERR = b"ERROR_MyRegRead_RegQueryValueEx!!!"

PTYPE_KEY = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions"
CPU_KEY = "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0"
PF86 = "ProgramFiles(x86)"

REG_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 1, 3, 4, 7

# What Wine 8.0 reports through GetVersionExA, per winecfg setting, to a
# program whose manifest declares Windows 8.1 and 10 supported (as
# torvelin.exe's does; without one, 8.1 and 10 would pass for 8):
# platform, major, minor, build.
WINE8_VERSIONS = {
    "winxp64": (2, 5, 2, 3790),
    "vista": (2, 6, 0, 6002),
    "win7": (2, 6, 1, 7601),
    "win8": (2, 6, 2, 9200),
    "win81": (2, 6, 3, 9600),
    "win10": (2, 10, 0, 18362),
}


class Numbers:
  """The four numbers of a version record, as texts."""

  def __init__(self, platform, major, minor, build):
    self.platform = b"%d" % platform
    self.major = b"%d" % major
    self.minor = b"%d" % minor
    self.build = b"%d" % build

  def os_value(self):
    return self.platform + b"." + self.major + b"." + self.minor


def report(nums, ptype, arch):
  return lines(b"Platform ID ......: " + nums.platform,
               b"Major Version ....: " + nums.major,
               b"Minor Version ....: " + nums.minor,
               b"Build ............: " + nums.build,
               b"Product Type .....: " + ptype,
               b"Architecture .....: " + arch)


def forms(nums, ptype, arch):
  """(arguments, expected output) for every accepted command line."""
  value = {b"O": lines(nums.os_value()), b"B": lines(nums.build),
           b"P": lines(ptype), b"A": lines(arch)}
  out = [([], report(nums, ptype, arch))]
  for letter in b"OBPA":
    up = bytes([letter])
    for switch in (b"/" + up.lower(), b"/" + up, b"-" + up.lower(),
                   b"-" + up):
      out.append(([switch], value[up]))
  return out


def arg_cases(nums, ptype, arch, long_len):
  """Command lines that exercise argument handling: label, args, output.

  `long_len` is the length of the long arguments (a Windows command line
  holds at most 32767 characters).
  """
  pad = (long_len - 2) // 2
  return [
      ("/OB", [b"/OB"], USAGE),
      ("slash", [b"/"], USAGE),
      ("O", [b"O"], USAGE),
      ("--", [b"--"], USAGE),
      ("/x", [b"/x"], USAGE),
      ("/?", [b"/?"], USAGE),
      ("-?", [b"-?"], USAGE),
      ("/0", [b"/0"], USAGE),
      ("/oo", [b"/oo"], USAGE),
      ("o/", [b"o/"], USAGE),
      ("tab /o", [b"\t/o"], USAGE),
      ("/o tab", [b"/o\t"], USAGE),
      ("long usage", [b"/" + b"o" * (long_len - 1)], USAGE),
      ("long spaces /o", [b" " * pad + b"/o" + b" " * pad],
       lines(nums.os_value())),
      ("high bytes", [bytes(range(0x80, 0x100))], USAGE),
      ("/ o-circumflex", [b"/\xf4"], USAGE),
      ("/ a-acute", [b"/\xe1"], USAGE),
      ("nbsp /o", [b"\xa0/o"], USAGE),
      ("/o nbsp", [b"/o\xa0"], USAGE),
      ("quoted spaced /b", [b" /b "], lines(nums.build)),
      ("quoted spaced -P", [b"   -P  "], lines(ptype)),
      ("/a x y", [b"/a", b"x", b"y"], lines(arch)),
      ("/x /o", [b"/x", b"/o"], USAGE),
      ("spaces only", [b"      "], report(nums, ptype, arch)),
      ("empty", [b""], report(nums, ptype, arch)),
  ]


def arch_of(ident, pf86):
  """The architecture a correct tool reports for these system facts."""
  if ident is None:
    ident = OPEN_ERR
  if len(ident) <= 3:
    return b"ERROR"
  not_x86 = ident[:3].upper() != b"X86"
  folder = pf86 is not None and pf86.strip(b" ") != b""
  return b"64-bit" if not_x86 and folder else b"32-bit"


def first_string(hexdata):
  """A registry string's text up to its terminator (a plain REG_SZ)."""
  return bytes.fromhex(hexdata).split(b"\0")[0]


class Results:

  def __init__(self, verbose):
    self.passed = 0
    self.failed = 0
    self.verbose = verbose

  def fail(self, name, why):
    self.failed += 1
    print("FAIL %s: %s" % (name, why), flush=True)

  def check(self, name, got, want):
    """got is (stdout, stderr, rc) or a text saying why nothing ran."""
    if isinstance(got, str):
      self.fail(name, got)
      return
    out, err, rc = got
    why = []
    if out != want:
      why.append(describe(out, want, self.verbose))
    if err:
      why.append("stderr=%r" % err[:300])
    if rc != 0:
      why.append("rc=%r" % rc)
    if why:
      self.fail(name, "; ".join(why))
    else:
      self.passed += 1


def describe(got, want, verbose):
  """Where two outputs part, as reprs of the bytes around that point."""
  if verbose:
    return "stdout got %r want %r" % (got, want)
  i = 0
  while i < min(len(got), len(want)) and got[i] == want[i]:
    i += 1
  lo = max(0, i - 30)
  return "stdout differs at byte %d (got %d bytes, want %d): got %r want %r" % (
      i, len(got), len(want), got[lo:i + 40], want[lo:i + 40])


def quiet(cmd, cwd, env, timeout=60):
  """Runs a housekeeping command whose output does not matter.

  The output goes nowhere rather than to a pipe: wineserver and wineboot
  leave processes behind that would hold a pipe open.
  """
  try:
    return subprocess.run(cmd, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          timeout=timeout).returncode
  except (subprocess.TimeoutExpired, OSError) as e:
    return str(e)


def run(cmd, cwd, env, timeout=60):
  try:
    p = subprocess.run(cmd, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                       timeout=timeout)
  except subprocess.TimeoutExpired:
    return "timed out after %ds" % timeout
  except OSError as e:
    return "could not start: %s" % e
  return p.stdout, p.stderr, p.returncode


# --------------------------------------------------------------------------
# The host binary: no registry, version numbers from the kernel release.


def host_suite(exe, tmp, res):
  base = dict(os.environ)
  base.pop(PF86, None)
  nums = [int(n) for n in re.findall(r"\d+", os.uname().release)[:3]]
  nums += [0] * (3 - len(nums))
  host = Numbers(0, nums[0], nums[1], nums[2])
  counter = [0]

  def go(label, args, want, extra=None):
    counter[0] += 1
    cwd = os.path.join(tmp, "host-%03d" % counter[0])
    os.mkdir(cwd)
    env = dict(base)
    env.update(extra or {})
    res.check("host " + label, run([exe] + args, cwd, env), want)

  for args, want in forms(host, OPEN_ERR, b"32-bit"):
    go(b" ".join(args).decode() or "(none)", args, want)
  for label, args, want in arg_cases(host, OPEN_ERR, b"32-bit", 100000):
    go(label, args, want)
  # The identifier read fails, and its error text counts as not x86.
  for label, value, arch in [
      ("set", b"/usr/lib", b"64-bit"),
      ("one letter", b"x", b"64-bit"),
      ("spaces", b"   ", b"32-bit"),
      ("empty", b"", b"32-bit"),
  ]:
    go("/a ProgramFiles(x86) " + label, [b"/a"], lines(arch), {PF86: value})
  go("report ProgramFiles(x86) set", [], report(host, OPEN_ERR, b"64-bit"),
     {PF86: b"C:\\Program Files (x86)"})


# --------------------------------------------------------------------------
# Wine.


class Wine:
  """A throwaway prefix with its own persistent wineserver.

  Its T: drive is the shared `root` folder: the executables live in
  T:\\bin, batch files in T:\\bat, and each case runs in a fresh empty
  folder T:\\cases\\NAME. No entry of T:\\ has a one-character name, so the
  pattern /? (the root's one-character names) matches nothing.
  """

  def __init__(self, prefix, root):
    self.prefix = prefix
    self.root = root
    self.env = dict(os.environ)
    self.env.pop(PF86, None)
    self.env.update({"WINEPREFIX": prefix, "WINEDEBUG": "-all",
                     "WINEDLLOVERRIDES": "mscoree=d;mshtml=d"})
    self.env.pop("DISPLAY", None)
    self.started = False

  def boot(self):
    quiet(["wineboot", "-i"], self.root, self.env, timeout=300)
    quiet(["wineserver", "-w"], self.root, self.env, timeout=120)

  def map_drive(self):
    link = os.path.join(self.prefix, "dosdevices", "t:")
    if os.path.lexists(link):
      os.remove(link)
    os.symlink(self.root, link)

  def start(self):
    quiet(["wineserver", "-p"], self.root, self.env)
    self.started = True
    # The first program of a server's life starts Wine's background services,
    # which inherit its standard handles and outlive it: let them inherit
    # nothing that a case reads to its end.
    quiet(["wine", "cmd", "/c", "exit"], self.root, self.env, timeout=120)

  def stop(self):
    if self.started:
      quiet(["wineserver", "-k"], self.root, self.env)
      self.started = False

  def case_dir(self, name):
    path = os.path.join(self.root, "cases", name)
    os.makedirs(path)
    return path

  def exe(self, cmd, cwd=None, timeout=60):
    """Runs a Windows command line given as a list of byte strings."""
    return run([b"wine"] + cmd, cwd or self.root, self.env, timeout)

  def helper(self, cmd):
    """Runs a helper; its output as text lines, or a text saying why not."""
    got = self.exe(cmd)
    if isinstance(got, str):
      return None, got
    out, err, rc = got
    if rc != 0:
      return None, "%r exited %r: %r %r" % (cmd[0], rc, out[-200:], err[-200:])
    return out.decode("latin-1").splitlines(), None


def win_arg(arg):
  """The argument that reaches a Windows program as these ANSI bytes.

  Wine reads its own arguments as UTF-8 and hands them on in code page 1252;
  the few bytes that code page leaves undefined are left out.
  """
  return arg.decode("cp1252", errors="ignore").encode("utf-8")


class Facts:
  """What verinfo.exe of one bitness reports."""

  def __init__(self, out):
    self.version = None
    self.pf86 = None
    self.ident = None
    self.ptype = None
    for line in out:
      word = line.split(" ", 2)
      if word[0] == "version" and len(word) > 1 and word[1] != "failed":
        self.version = tuple(int(n) for n in line.split()[1:5])
      elif word[0] == "pf86" and word[1] == "set":
        self.pf86 = line[len("pf86 set "):].encode("latin-1")
      elif word[0] == "ident" and word[1] == "1":
        self.ident = first_string(word[2])
      elif word[0] == "ptype" and word[1] == "1":
        self.ptype = first_string(word[2])

  def nums(self):
    return Numbers(*self.version)


class WineSuites:

  def __init__(self, wine, exes, helpers, res):
    self.wine = wine
    self.exes = exes  # {"win64": b"T:\\bin\\win64\\torvelin.exe", ...}
    self.helpers = helpers  # {"verinfo64": b"T:\\bin\\...", ...}
    self.res = res
    self.count = 0

  def new_dir(self):
    self.count += 1
    return self.wine.case_dir("%s-%04d" % (
        os.path.basename(self.wine.prefix), self.count))

  def tool(self, target, label, args, want):
    cwd = self.new_dir()
    got = self.wine.exe([self.exes[target]] + [win_arg(a) for a in args], cwd)
    self.res.check("%s %s" % (target, label), got, want)

  def batch(self, target, label, body, want, cwd=None, header=True):
    """Runs `body` (batch lines, with TOOL for the executable) in cmd.exe."""
    self.count += 1
    name = "b%04d.bat" % self.count
    text = (b"@echo off\r\n" if header else b"") + b"".join(
        line.replace(b"TOOL", self.exes[target]) + b"\r\n" for line in body)
    with open(os.path.join(self.wine.root, "bat", name), "wb") as f:
      f.write(text)
    got = self.wine.exe([b"cmd", b"/c", b"T:\\bat\\" + name.encode()],
                        cwd or self.new_dir())
    self.res.check("%s %s" % (target, label), got, want)

  def facts(self, bits):
    out, why = self.wine.helper([self.helpers["verinfo%d" % bits]])
    if why:
      self.res.fail("verinfo%d" % bits, why)
      return None
    facts = Facts(out)
    if facts.version is None:
      self.res.fail("verinfo%d" % bits, "GetVersionExA failed: %r" % out)
      return None
    return facts

  def regset(self, label, ops, expect_sizes):
    """Edits the registry; True when it holds what was asked for."""
    out, why = self.wine.helper([self.helpers["regset"]] +
                                [o.encode("latin-1") for o in ops])
    if why:
      self.res.fail(label, "registry set-up: " + why)
      return False
    sizes = [l for l in out if l != "deleted"]
    if sizes != expect_sizes:
      self.res.fail(label, "registry set-up stored %r, wanted %r" %
                    (sizes, expect_sizes))
      return False
    return True

  # -- main prefix -------------------------------------------------------

  def versions(self, names):
    """Every accepted form at each version setting."""
    for name in names:
      got = self.wine.exe([b"winecfg", b"/v", name.encode()])
      if isinstance(got, str) or got[2] != 0:
        self.res.fail("winecfg /v " + name, repr(got))
        continue
      for target in self.exes:
        bits = 64 if target == "win64" else 32
        facts = self.facts(bits)
        if facts is None:
          continue
        if facts.version != WINE8_VERSIONS[name]:
          self.res.fail("%s %s version" % (target, name),
                        "verinfo%d reports %r, Wine 8.0 reports %r" %
                        (bits, facts.version, WINE8_VERSIONS[name]))
          continue
        arch = arch_of(facts.ident, facts.pf86)
        for args, want in forms(facts.nums(), facts.ptype, arch):
          self.tool(target, "%s %s" % (name, b" ".join(args).decode() or
                                       "(none)"), args, want)

  def arguments(self):
    for target in self.exes:
      facts = self.facts(64 if target == "win64" else 32)
      if facts is None:
        continue
      arch = arch_of(facts.ident, facts.pf86)
      for label, args, want in arg_cases(facts.nums(), facts.ptype, arch,
                                         30000):
        self.tool(target, label, args, want)
      # A file that matches the pattern turns -? into its name, which is no
      # switch; a two-character name like -o is taken as one.
      cwd = self.new_dir()
      open(os.path.join(cwd, "-q"), "w").close()
      got = self.wine.exe([self.exes[target], b"-?"], cwd)
      self.res.check(target + " -? matching -q", got, USAGE)
      cwd = self.new_dir()
      open(os.path.join(cwd, "-b"), "w").close()
      got = self.wine.exe([self.exes[target], b"-?"], cwd)
      self.res.check(target + " -? matching -b", got, lines(facts.nums().build))

  def example_batch(self):
    """The usage text's own example, run as the batch file it shows."""
    for target in self.exes:
      facts = self.facts(64 if target == "win64" else 32)
      if facts is None:
        continue
      cwd = self.new_dir()
      shutil.copy(os.path.join(self.wine.root, "bin", target, "torvelin.exe"),
                  os.path.join(cwd, "torvelin.exe"))
      self.batch(target, "example batch file", USAGE_LINES[14:17],
                 lines(facts.nums().os_value()), cwd, header=False)
      self.batch(target, "FOR /f capture of /b",
                 [b"FOR /f %%i in ('TOOL /b') do set B=%%i", b"ECHO [%B%]"],
                 lines(b"[" + facts.nums().build + b"]"))
      self.batch(target, "cmd exit status", [b"TOOL /x >NUL",
                                             b"ECHO %ERRORLEVEL%"], lines(b"0"))

  # -- registry prefix ---------------------------------------------------

  def product_types(self):
    hex_x = "78" * 2999 + "00"
    cases = [
        # label, regset ops, stored (type size) lines, /p output
        ("sz WinNT with terminator", [("set", REG_SZ, "57696E4E5400")],
         ["1 6"], b"WinNT"),
        ("sz WinNT without terminator", [("set", REG_SZ, "57696E4E54")],
         ["1 5"], b"WinNT"),
        ("sz ServerNT", [("set", REG_SZ, "5365727665724E5400")], ["1 9"],
         b"ServerNT"),
        ("sz 0 bytes", [("set", REG_SZ, "")], ["1 0"], b""),
        ("sz one zero byte", [("set", REG_SZ, "00")], ["1 1"], b""),
        ("sz 2048 bytes", [("set", REG_SZ, "78" * 2047 + "00")], ["1 2048"],
         b"x" * 2047),
        ("sz 2049 bytes", [("set", REG_SZ, "78" * 2048 + "00")], ["1 2049"],
         QUERY_ERR),
        ("sz 3000 bytes", [("set", REG_SZ, hex_x)], ["1 3000"], QUERY_ERR),
        ("expand_sz not expanded", [("set", 2, "2557494E4449522500")],
         ["2 9"], b"%WINDIR%"),
        ("dword 1", [("set", REG_DWORD, "01000000")], ["4 4"], b"1"),
        ("dword 4294967295", [("set", REG_DWORD, "FFFFFFFF")], ["4 4"],
         b"4294967295"),
        ("dword 2147483648", [("set", REG_DWORD, "00000080")], ["4 4"],
         b"2147483648"),
        ("dword of 2 bytes", [("set", REG_DWORD, "0102")], ["4 2"], b"513"),
        ("binary 00 1A FF", [("set", REG_BINARY, "001AFF")], ["3 3"],
         b"001AFF"),
        ("binary 0 bytes", [("set", REG_BINARY, "")], ["3 0"], b""),
        ("binary 1500 bytes", [("set", REG_BINARY, "AB" * 1499 + "0C")],
         ["3 1500"], b"AB" * 1024),
        ("multi_sz a b", [("set", REG_MULTI_SZ, "6100620000")], ["7 5"], b"a"),
        ("value deleted", [("delval",)], [], QUERY_ERR),
        ("key deleted", [("delkey",)], [], OPEN_ERR),
    ]
    facts = {t: self.facts(64 if t == "win64" else 32) for t in self.exes}
    for label, ops, sizes, want in cases:
      argv = []
      for op in ops:
        if op[0] == "set":
          argv += ["set", PTYPE_KEY, "ProductType", str(op[1]), op[2]]
        elif op[0] == "delval":
          argv += ["delval", PTYPE_KEY, "ProductType"]
        else:
          argv += ["delkey", PTYPE_KEY]
      if not self.regset("ProductType " + label, argv, sizes):
        continue
      for target in self.exes:
        self.tool(target, "/p ProductType " + label, [b"/p"], lines(want))
        f = facts[target]
        if f is not None and label in ("dword 4294967295", "key deleted",
                                       "sz WinNT without terminator"):
          self.tool(target, "report ProductType " + label, [],
                    report(f.nums(), want, arch_of(f.ident, f.pf86)))
    self.regset("ProductType restore",
                ["set", PTYPE_KEY, "ProductType", "1", "57696E4E5400"],
                ["1 6"])

  def architectures(self):
    folder = b"C:\\Program Files (x86)"
    envs = [  # label, batch line (the columns of the results below)
        ("set", b"set ProgramFiles(x86)=" + folder),
        ("removed", b"set ProgramFiles(x86)="),
        ("spaces", b"set ProgramFiles(x86)=   "),
    ]
    cases = [
        # identifier, result with the variable set / removed / spaces
        (b"x86 Family 6 Model 15", (b"32-bit", b"32-bit", b"32-bit")),
        (b"X86 Family 6", (b"32-bit", b"32-bit", b"32-bit")),
        (b"x86F", (b"32-bit", b"32-bit", b"32-bit")),
        (b"AMD64 Family 6", (b"64-bit", b"32-bit", b"32-bit")),
        (b"Intel64 Family 6", (b"64-bit", b"32-bit", b"32-bit")),
        (b"ia64", (b"64-bit", b"32-bit", b"32-bit")),
        (b"x86", (b"ERROR", b"ERROR", b"ERROR")),
        (b"x8", (b"ERROR", b"ERROR", b"ERROR")),
        (b"", (b"ERROR", b"ERROR", b"ERROR")),
        (None, (b"64-bit", b"32-bit", b"32-bit")),  # value deleted
    ]
    before = {t: self.facts(64 if t == "win64" else 32) for t in self.exes}
    # cmd.exe must hand the variable on as written, trailing spaces included,
    # or the cases below would not test what they say.
    seen = [b"pf86 set " + folder, b"pf86 unset", b"pf86 set " + b"   "]
    for (env_label, line), want in zip(envs, seen):
      self.count += 1
      name = "b%04d.bat" % self.count
      with open(os.path.join(self.wine.root, "bat", name), "wb") as f:
        f.write(b"@echo off\r\n" + line + b"\r\n" +
                self.helpers["verinfo64"] + b"\r\n")
      got = self.wine.exe([b"cmd", b"/c", b"T:\\bat\\" + name.encode()])
      if isinstance(got, str) or want not in got[0].split(b"\r\n"):
        self.res.fail("ProgramFiles(x86) %s in cmd" % env_label,
                      "helper saw %r" % (got,))
      else:
        self.res.passed += 1
    for ident, wants in cases:
      label = "Identifier %r" % ident if ident is not None else "no Identifier"
      if ident is None:
        ok = self.regset(label, ["delval", CPU_KEY, "Identifier"], [])
      else:
        ok = self.regset(label, ["set", CPU_KEY, "Identifier", "1",
                                 (ident + b"\0").hex()],
                         ["1 %d" % (len(ident) + 1)])
      if not ok:
        continue
      for target in self.exes:
        for (env_label, line), want in zip(envs, wants):
          self.batch(target, "/a %s, ProgramFiles(x86) %s" % (label,
                                                              env_label),
                     [line, b"TOOL /a"], lines(want))
        f = before[target]
        if f is not None:
          # Straight from Wine, with the variable as Wine sets it.
          self.tool(target, "/a %s, ProgramFiles(x86) inherited" % label,
                    [b"/a"], lines(arch_of(ident, f.pf86)))
          if ident in (b"x86", None):
            self.batch(target, "report %s, ProgramFiles(x86) set" % label,
                       [envs[0][1], b"TOOL"],
                       report(f.nums(), f.ptype, wants[0]))
    # The registry edits above must still be in place for a later process:
    # a server restart would have rebuilt the HARDWARE keys.
    after = self.facts(64)
    if after is not None and after.ident is not None:
      self.res.fail("Identifier kept", "Identifier came back as %r" %
                    after.ident)
    else:
      self.res.passed += 1


def build_helpers(outdir, res):
  """Compiles the helper programs; their Windows paths by name."""
  jobs = [("verinfo64", "x86_64-w64-mingw32-", "verinfo.c", "verinfo.rc"),
          ("verinfo32", "i686-w64-mingw32-", "verinfo.c", "verinfo.rc"),
          ("regset", "x86_64-w64-mingw32-", "regset.c", None)]
  os.makedirs(outdir, exist_ok=True)
  paths = {}
  for name, cross, src, rc in jobs:
    out = os.path.join(outdir, name + ".exe")
    cmds = []
    objs = []
    if rc:
      obj = os.path.join(outdir, name + ".res.o")
      cmds.append([cross + "windres", "-I", HERE, os.path.join(HERE, rc),
                   "-O", "coff", "-o", obj])
      objs.append(obj)
    cmds.append([cross + "gcc", "-O1", "-s", "-Wall", "-o", out,
                 os.path.join(HERE, src)] + objs)
    for cmd in cmds:
      got = run(cmd, outdir, None, timeout=120)
      if isinstance(got, str) or got[2] != 0:
        res.fail("build " + name, repr(got))
        return None
    paths[name] = b"T:\\bin\\helpers\\" + name.encode() + b".exe"
  return paths


WINE_TOOLS = ["wine", "wineserver", "wineboot", "x86_64-w64-mingw32-gcc",
              "x86_64-w64-mingw32-windres", "i686-w64-mingw32-gcc",
              "i686-w64-mingw32-windres"]


def wine_suites(exes, tmp, res, verbose):
  """exes: {"win64": unix path, "win32": unix path} of those to test."""
  clock = [time.time()]

  def lap(label):
    now = time.time()
    if verbose:
      print("time %s: %.1fs" % (label, now - clock[0]), flush=True)
    clock[0] = now

  root = os.path.join(tmp, "root")
  for sub in ("bin", "bat", "cases"):
    os.makedirs(os.path.join(root, sub))
  win_exes = {}
  for target, path in exes.items():
    os.makedirs(os.path.join(root, "bin", target))
    shutil.copy(path, os.path.join(root, "bin", target, "torvelin.exe"))
    win_exes[target] = b"T:\\bin\\" + target.encode() + b"\\torvelin.exe"
  helpers = build_helpers(os.path.join(root, "bin", "helpers"), res)
  if helpers is None:
    return
  lap("helpers")

  main = Wine(os.path.join(tmp, "pfx-main"), root)
  main.boot()
  if not os.path.exists(os.path.join(main.prefix, "system.reg")):
    res.fail("wineboot", "no prefix was created in " + main.prefix)
    return
  regs = Wine(os.path.join(tmp, "pfx-reg"), root)
  shutil.copytree(main.prefix, regs.prefix, symlinks=True)
  for wine in (main, regs):
    wine.map_drive()
  lap("prefixes")

  try:
    main.start()
    suites = WineSuites(main, win_exes, helpers, res)
    suites.arguments()
    lap("arguments")
    suites.example_batch()
    lap("batch")
    suites.versions(["winxp64", "vista", "win7", "win8", "win81", "win10"])
    lap("versions")
    main.stop()

    regs.start()
    suites = WineSuites(regs, win_exes, helpers, res)
    suites.product_types()
    lap("product types")
    suites.architectures()
    lap("architectures")
    regs.stop()
  finally:
    main.stop()
    regs.stop()


def main():
  ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
  binaries.add_options(ap, REPO)
  ap.add_argument("--only", default="host,win64,win32",
                  help="comma-separated targets to test")
  ap.add_argument("--keep", action="store_true",
                  help="keep the temporary folder and print its path")
  ap.add_argument("-v", "--verbose", action="store_true",
                  help="print whole outputs of failing cases")
  opts = ap.parse_args()

  paths = binaries.paths(opts)
  only = [t for t in opts.only.split(",") if t]
  res = Results(opts.verbose)
  started = time.time()
  tmp = tempfile.mkdtemp(prefix="torvelin-e2e-")
  try:
    targets = {}
    for t in only:
      if t not in paths:
        res.fail(t, "unknown target")
      elif not os.path.isfile(paths[t]):
        res.fail(t, "binary not found: " + paths[t])
      else:
        targets[t] = os.path.abspath(paths[t])
    if "host" in targets:
      host_suite(targets.pop("host"), tmp, res)
    if targets:
      missing = [t for t in WINE_TOOLS if shutil.which(t) is None]
      if missing:
        why = "not installed: " + " ".join(missing)
        if os.environ.get("CI"):
          res.fail("wine", why)
        else:
          print("SKIP %s: %s" % (", ".join(targets), why))
      else:
        wine_suites(targets, tmp, res, opts.verbose)
  finally:
    if opts.keep:
      print("kept " + tmp)
    else:
      shutil.rmtree(tmp, ignore_errors=True)
  print("time: %.0fs" % (time.time() - started))
  print("e2e: %d passed, %d failed" % (res.passed, res.failed))
  return 1 if res.failed else 0


if __name__ == "__main__":
  sys.exit(main())
