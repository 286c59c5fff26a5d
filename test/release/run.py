#!/usr/bin/env python3
"""Release checks of the shipped Windows executables and the release ZIP.

    test/release/run.py [--build DIR] [--zip PATH] [--keep] [-v]

DIR is the build root holding win64/torvelin.exe and win32/torvelin.exe
(default: the repository's build/); PATH is the release ZIP (default
DIR/win64/torvelin-VERSION-windows.zip, VERSION from the project() line of
CMakeLists.txt). Build them first:

    cmake --preset win64 && cmake --build --preset win64
    cmake --preset win32 && cmake --build --preset win32
    cpack --preset windows

Checked, for each executable:
  - imports exactly KERNEL32.dll and msvcrt.dll, no symbol
    table, at most 64 KiB, the right machine, a console program;
  - the embedded manifest (RT_MANIFEST, id 1): the configured manifest byte
    for byte, the five supported systems and asInvoker;
  - under Wine, the version resource as the version API reads it;
  - under Wine, at each winecfg version from winxp64 to win10, /o, /b and
    the report's first four lines against what Wine tells a program carrying
    the same manifest (verquery.c, built here with and without it);
and the ZIP: exactly the two executables and the README, byte-identical to
the built ones. The last line is "release: N passed, M failed"; the exit
status is 1 when anything failed. A missing wine, objdump or mingw compiler
is a skip, or a failure when the environment variable CI is set.
"""

import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))

MAX_SIZE = 65536
DLLS = {"kernel32.dll", "msvcrt.dll"}

# target: (build subfolder, tool prefix, PE machine, name in the ZIP, arch
# word in the file description)
TARGETS = {
    "win64": ("win64", "x86_64-w64-mingw32-", 0x8664, "torvelin-x64.exe",
              "x64"),
    "win32": ("win32", "i686-w64-mingw32-", 0x14C, "torvelin-x86.exe", "x86"),
}

# The systems a program declares it was tested on, by Windows' own GUIDs.
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10/11",
}

SETTINGS = ["winxp64", "vista", "win7", "win8", "win81", "win10"]
# Settings at which an unmanifested program is told Windows 8 (6.2.9200).
TRUE_VERSION_ONLY = {"win81", "win10"}
WIN8 = (2, 6, 2, 9200)

LABELS = [b"Platform ID ......: ", b"Major Version ....: ",
          b"Minor Version ....: ", b"Build ............: "]
LATER_LABELS = [b"Product Type .....: ", b"Architecture .....: "]

RT_VERSION, RT_MANIFEST = 16, 24
IMAGE_SUBSYSTEM_WINDOWS_CUI = 3


def project_version():
  with open(os.path.join(REPO, "CMakeLists.txt")) as f:
    m = re.search(r"project\s*\(\s*torvelin\b[^)]*\bVERSION\s+([0-9.]+)",
                  f.read(), re.I)
  if not m:
    sys.exit("no project(torvelin VERSION ...) line in CMakeLists.txt")
  return m.group(1)


def four_part(version):
  parts = version.split(".")
  return ".".join((parts + ["0"] * 4)[:4])


def configured_manifest(version):
  """The manifest as configure_file(@ONLY) writes it."""
  with open(os.path.join(REPO, "tool", "res", "torvelin.manifest"), "rb") as f:
    return f.read().replace(b"@PROJECT_VERSION@", version.encode())


class Results:

  def __init__(self, verbose):
    self.passed = 0
    self.failed = 0
    self.verbose = verbose

  def ok(self, name):
    self.passed += 1
    if self.verbose:
      print("ok   " + name, flush=True)

  def fail(self, name, why):
    self.failed += 1
    print("FAIL %s: %s" % (name, why), flush=True)

  def check(self, name, problem):
    """problem is None (passed) or a text saying what is wrong."""
    if problem:
      self.fail(name, problem)
    else:
      self.ok(name)

  def equal(self, name, got, want):
    self.check(name, None if got == want else "got %r, want %r" % (got, want))


def missing(res, what, names):
  """Reports absent tools: a failure under CI, else a skip. True if absent."""
  absent = [n for n in names if shutil.which(n) is None]
  if not absent:
    return False
  why = "not installed: " + ", ".join(absent)
  if os.environ.get("CI"):
    res.fail(what, why)
  else:
    print("SKIP %s: %s" % (what, why), flush=True)
  return True


def run(cmd, cwd=None, env=None, timeout=60):
  """(stdout, stderr, status) or a text saying why the command did not run.

  The outputs go to files, not pipes: the first Wine program of a session
  starts Wine's services, which inherit its handles and outlive it, and a
  pipe they hold open would never reach its end.
  """
  with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
    try:
      p = subprocess.run(cmd, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                         stdout=out, stderr=err, timeout=timeout)
    except subprocess.TimeoutExpired:
      return "%s timed out after %ds" % (cmd[0], timeout)
    except OSError as e:
      return "%s could not start: %s" % (cmd[0], e)
    out.seek(0)
    err.seek(0)
    return out.read(), err.read(), p.returncode


# --------------------------------------------------------------------------
# The PE file itself.


class PE:
  """The parts of a PE image the checks look at."""

  def __init__(self, data):
    self.data = data
    if data[:2] != b"MZ":
      raise ValueError("no MZ header")
    pe = self.u32(0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
      raise ValueError("no PE signature")
    (self.machine, nsections, _, self.symbol_pointer, self.symbol_count,
     optsize, _) = struct.unpack_from("<HHIIIHH", data, pe + 4)
    opt = pe + 24
    magic = self.u16(opt)
    if magic == 0x10B:
      dirs = opt + 96
    elif magic == 0x20B:
      dirs = opt + 112
    else:
      raise ValueError("unknown optional header magic %#x" % magic)
    self.subsystem = self.u16(opt + 68)
    ndirs = self.u32(dirs - 4)
    self.sections = []
    for i in range(nsections):
      _, vsize, va, rawsize, rawptr = struct.unpack_from(
          "<8sIIII", data, opt + optsize + 40 * i)
      self.sections.append((va, max(vsize, rawsize), rawptr, rawsize))
    self.resource_rva = self.u32(dirs + 16) if ndirs > 2 else 0

  def u16(self, off):
    return struct.unpack_from("<H", self.data, off)[0]

  def u32(self, off):
    return struct.unpack_from("<I", self.data, off)[0]

  def offset(self, rva):
    for va, size, rawptr, rawsize in self.sections:
      if va <= rva < va + size and rva - va < rawsize:
        return rawptr + rva - va
    raise ValueError("RVA %#x lies in no section's file data" % rva)

  def resources(self):
    """{type: {name: {language: bytes}}}; ids as ints, names as texts."""
    if not self.resource_rva:
      return {}
    base = self.offset(self.resource_rva)

    def directory(off, depth):
      if depth > 2:
        raise ValueError("resource tree deeper than three levels")
      named, ids = struct.unpack_from("<HH", self.data, base + off + 12)
      out = {}
      for i in range(named + ids):
        name, target = struct.unpack_from("<II", self.data,
                                          base + off + 16 + 8 * i)
        if name & 0x80000000:
          at = base + (name & 0x7FFFFFFF)
          n = self.u16(at)
          key = self.data[at + 2:at + 2 + 2 * n].decode("utf-16-le")
        else:
          key = name
        if target & 0x80000000:
          out[key] = directory(target & 0x7FFFFFFF, depth + 1)
        elif depth < 2:
          raise ValueError("resource data above the language level")
        else:
          rva, size = struct.unpack_from("<II", self.data, base + target)
          start = self.offset(rva)
          out[key] = self.data[start:start + size]
      return out

    return directory(0, 0)


def check_image(res, target, path, data):
  """Imports, symbols, size, machine and subsystem of one executable."""
  _, prefix, machine, _, _ = TARGETS[target]
  res.check("%s size" % target, None if len(data) <= MAX_SIZE else
            "%d bytes, more than %d" % (len(data), MAX_SIZE))
  try:
    pe = PE(data)
  except (ValueError, struct.error) as e:
    res.fail("%s PE image" % target, str(e))
    return None
  res.equal("%s machine" % target, hex(pe.machine), hex(machine))
  res.equal("%s console subsystem" % target, pe.subsystem,
            IMAGE_SUBSYSTEM_WINDOWS_CUI)
  res.check("%s COFF header has no symbols" % target,
            None if (pe.symbol_pointer, pe.symbol_count) == (0, 0) else
            "symbol table at %#x with %d symbols" % (pe.symbol_pointer,
                                                     pe.symbol_count))
  objdump = prefix + "objdump"
  if missing(res, "%s objdump checks" % target, [objdump]):
    return pe
  got = run([objdump, "-p", path])
  if isinstance(got, str) or got[2] != 0:
    res.fail("%s objdump -p" % target, repr(got)[:300])
  else:
    dlls = re.findall(r"DLL Name:\s*(\S+)", got[0].decode("latin-1"))
    low = [d.lower() for d in dlls]
    runtime = [d for d in dlls if re.search(r"stdc\+\+|gcc|pthread", d, re.I)]
    if runtime:
      res.fail("%s imports" % target, "needs the compiler's runtime DLLs %s"
               % runtime)
    elif sorted(low) != sorted(DLLS):
      res.fail("%s imports" % target, "imports %s, want exactly %s" %
               (dlls, sorted(DLLS)))
    else:
      res.ok("%s imports" % target)
  got = run([objdump, "-t", path])
  if isinstance(got, str) or got[2] != 0:
    res.fail("%s objdump -t" % target, repr(got)[:300])
  else:
    text = got[0].decode("latin-1")
    table = text.split("SYMBOL TABLE:", 1)
    res.check("%s stripped" % target,
              None if len(table) == 2 and table[1].split() == ["no", "symbols"]
              else "objdump -t lists symbols: %r" % text[-300:])
  return pe


def check_manifest(res, target, pe, version):
  """The embedded manifest: where it is, what it says."""
  name = "%s manifest" % target
  try:
    tree = pe.resources()
  except (ValueError, struct.error) as e:
    res.fail(name, "resource section unreadable: %s" % e)
    return
  entries = tree.get(RT_MANIFEST, {})
  if list(entries) != [1]:
    res.fail(name + " resource", "RT_MANIFEST names %r, want exactly [1]"
             % list(entries))
    return
  if len(entries[1]) != 1:
    res.fail(name + " resource", "%d languages, want one" % len(entries[1]))
    return
  res.ok(name + " resource")
  data = next(iter(entries[1].values()))
  want = configured_manifest(version)
  res.check(name + " is the configured manifest",
            None if data == want else "embedded %d bytes differ from the "
            "configured %d: %r" % (len(data), len(want), data[:200]))
  try:
    root = ET.fromstring(data)
  except ET.ParseError as e:
    res.fail(name + " XML", str(e))
    return
  ids = {e.get("Id", "").lower() for e in root.iter()
         if e.tag.endswith("}supportedOS")}
  res.check(name + " supportedOS", None if ids == set(SUPPORTED_OS) else
            "missing %s, extra %s" %
            (sorted(SUPPORTED_OS[g] for g in set(SUPPORTED_OS) - ids),
             sorted(ids - set(SUPPORTED_OS))))
  levels = [(e.get("level"), e.get("uiAccess")) for e in root.iter()
            if e.tag.endswith("}requestedExecutionLevel")]
  res.equal(name + " asInvoker", levels, [("asInvoker", "false")])
  idents = [e.get("version") for e in root.iter()
            if e.tag.endswith("}assemblyIdentity")]
  res.equal(name + " assembly version", idents, [four_part(version)])
  res.check("%s version resource present" % target,
            None if list(tree.get(RT_VERSION, {})) == [1] else
            "RT_VERSION names %r" % list(tree.get(RT_VERSION, {})))


def check_zip(res, zpath, exes):
  """The release ZIP holds exactly the shipped files, unchanged."""
  if not os.path.isfile(zpath):
    res.fail("zip", "not found: %s (run cpack --preset windows)" % zpath)
    return
  try:
    with zipfile.ZipFile(zpath) as z:
      names = z.namelist()
      want = sorted([TARGETS[t][3] for t in TARGETS] + ["README.md"])
      res.equal("zip contents", sorted(names), want)
      res.equal("zip integrity", z.testzip(), None)
      sources = [(TARGETS[t][3], exes.get(t)) for t in TARGETS]
      sources.append(("README.md", os.path.join(REPO, "README.md")))
      for member, source in sources:
        label = "zip %s identical to %s" % (member, source)
        if member not in names:
          res.fail(label, "not in the ZIP")
          continue
        if source is None or not os.path.isfile(source):
          res.fail(label, "nothing built to compare with")
          continue
        with open(source, "rb") as f:
          built = f.read()
        packed = z.read(member)
        res.check(label, None if packed == built else
                  "ZIP has %d bytes, built file %d: stale package?" %
                  (len(packed), len(built)))
  except (zipfile.BadZipFile, OSError) as e:
    res.fail("zip", "unreadable: %s" % e)


# --------------------------------------------------------------------------
# Under Wine.


class Wine:
  """A throwaway prefix kept alive by one persistent wineserver."""

  def __init__(self, prefix):
    self.prefix = prefix
    self.env = dict(os.environ)
    self.env.update({"WINEPREFIX": prefix, "WINEDEBUG": "-all",
                     "WINEDLLOVERRIDES": "mscoree=d;mshtml=d"})
    self.env.pop("DISPLAY", None)
    self.started = False

  def boot(self):
    subprocess.run(["wineboot", "-i"], env=self.env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=300)
    subprocess.run(["wineserver", "-w"], env=self.env, timeout=120)
    if not os.path.exists(os.path.join(self.prefix, "system.reg")):
      return "wineboot made no prefix in " + self.prefix
    # The server forks and lives on; it must not hold our pipes open.
    subprocess.run(["wineserver", "-p"], env=self.env,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)
    self.started = True
    # Start Wine's services now, with nothing of ours to hold, so that the
    # first check does not pay for them.
    subprocess.run(["wine", "cmd", "/c", "exit"], env=self.env,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=120)
    return None

  def stop(self):
    if self.started:
      subprocess.run(["wineserver", "-k"], env=self.env, timeout=60)
      self.started = False

  def run(self, cmd, cwd):
    return run(["wine"] + cmd, cwd, self.env)


def windows_path(path):
  """The path through Wine's Z: drive, which is the Unix root."""
  return "Z:" + os.path.abspath(path).replace("/", "\\")


def build_helpers(res, tmp, version):
  """verquery.exe, with and without the manifest, per bitness.

  Returns {(target, manifested): path}, or None if a build failed.
  """
  with open(os.path.join(tmp, "torvelin.manifest"), "wb") as f:
    f.write(configured_manifest(version))
  helpers = {}
  for target, (_, prefix, _, _, _) in TARGETS.items():
    resfile = os.path.join(tmp, "verquery-%s.res" % target)
    got = run([prefix + "windres", "-I", tmp, "-O", "coff", "-o", resfile,
               os.path.join(HERE, "verquery.rc")], tmp)
    if isinstance(got, str) or got[2] != 0:
      res.fail("build verquery %s resource" % target, repr(got)[:400])
      return None
    for manifested in (True, False):
      out = os.path.join(tmp, "verquery-%s%s.exe" %
                         (target, "-manifest" if manifested else ""))
      cmd = [prefix + "gcc", "-O1", "-s", "-Wall", "-Wextra", "-Werror", "-o",
             out, os.path.join(HERE, "verquery.c")]
      cmd += [resfile] if manifested else []
      got = run(cmd + ["-lversion"], tmp, timeout=120)
      if isinstance(got, str) or got[2] != 0:
        res.fail("build " + os.path.basename(out), repr(got)[:400])
        return None
      helpers[(target, manifested)] = out
  return helpers


def helper_lines(wine, res, name, cmd, cwd):
  got = wine.run(cmd, cwd)
  if isinstance(got, str) or got[2] != 0:
    res.fail(name, "helper failed: %r" % (got,))
    return None
  return got[0].decode("latin-1").splitlines()


def system_version(wine, res, name, helper, cwd):
  out = helper_lines(wine, res, name, [helper, "version"], cwd)
  if out is None:
    return None
  m = re.fullmatch(r"version (\d+) (\d+) (\d+) (\d+)", out[0] if out else "")
  if not m or len(out) != 1:
    res.fail(name, "helper said %r" % out)
    return None
  return tuple(int(n) for n in m.groups())


def check_version_resource(wine, res, target, exe, helper, version, cwd):
  """The version resource as GetFileVersionInfoA/VerQueryValueA see it."""
  out = helper_lines(wine, res, "%s version resource" % target,
                     [helper, "file", windows_path(exe)], cwd)
  if out is None:
    return
  got = {}
  for line in out:
    key, sep, value = line.partition("=")
    if sep:
      got[key] = value
    else:
      word = line.split(" ", 1)
      got[word[0]] = word[1] if len(word) > 1 else ""
  fixed = "%s %s 1" % (four_part(version), four_part(version))  # VFT_APP
  arch = TARGETS[target][4]
  for key, want in [
      ("ProductName", "TORVELIN"),
      ("FileDescription", "TORVELIN Windows version report (%s)" % arch),
      ("FileVersion", version),
      ("ProductVersion", version),
      ("fixed", fixed),  # file version, product version, file type
  ]:
    res.equal("%s version resource %s" % (target, key), got.get(key), want)


def tool_forms(nums):
  """(arguments, check of stdout) for each form compared with the system."""
  platform, major, minor, build = [b"%d" % n for n in nums]

  def report(out):
    lines = out.split(b"\r\n")
    if len(lines) != 7 or lines[6] != b"":
      return "want 6 CR LF lines, got %r" % out
    want = [l + v for l, v in zip(LABELS, (platform, major, minor, build))]
    if lines[:4] != want:
      return "first four lines %r, want %r" % (lines[:4], want)
    for line, label in zip(lines[4:6], LATER_LABELS):
      if not line.startswith(label) or b"\n" in line or b"\r" in line:
        return "line %r does not start with %r" % (line, label)
    return None

  def exactly(want):
    return lambda out: None if out == want else "got %r, want %r" % (out, want)

  return [
      (["/o"], exactly(platform + b"." + major + b"." + minor + b"\r\n")),
      (["/b"], exactly(build + b"\r\n")),
      ([], report),
  ]


def check_versions(wine, res, exes, helpers, cwd):
  """Each winecfg setting; returns {setting: {(target, manifested): nums}}."""
  seen = {}
  for setting in SETTINGS:
    got = wine.run(["winecfg", "/v", setting], cwd)
    if isinstance(got, str) or got[2] != 0:
      res.fail("winecfg /v " + setting, repr(got)[:300])
      continue
    res.ok("winecfg /v " + setting)
    seen[setting] = {}
    for target, exe in exes.items():
      for manifested in (True, False):
        seen[setting][(target, manifested)] = system_version(
            wine, res, "%s %s verquery%s" % (target, setting, " (manifest)"
                                             if manifested else ""),
            helpers[(target, manifested)], cwd)
      nums = seen[setting][(target, True)]
      if nums is None:
        continue
      if setting in TRUE_VERSION_ONLY:
        res.check("%s %s true version" % (target, setting),
                  None if nums != WIN8 else "Wine reports 6.2.9200 to a "
                  "manifested program: the manifest was not honoured")
      for args, judge in tool_forms(nums):
        name = "%s %s %s" % (target, setting, " ".join(args) or "(report)")
        got = wine.run([exe] + args, cwd)
        if isinstance(got, str):
          res.fail(name, got)
          continue
        out, err, status = got
        why = [w for w in [judge(out),
                           err and "stderr %r" % err[:200],
                           status and "exit status %d" % status] if w]
        res.check(name, "; ".join(why))
  # Six settings, six different answers: each setting took effect.
  for target in exes:
    answers = [seen[s].get((target, True)) for s in SETTINGS if s in seen]
    res.check("%s settings give distinct versions" % target,
              None if len(set(answers)) == len(SETTINGS) else
              "manifested answers %r" % answers)
  return seen


def print_versions(seen):
  print("versions Wine reports (platform.major.minor build), manifested / "
        "plain:")
  for setting in SETTINGS:
    cells = []
    for target in TARGETS:
      for manifested in (True, False):
        nums = seen.get(setting, {}).get((target, manifested))
        cells.append("%d.%d.%d %d" % nums if nums else "-")
    print("  %-8s x64 %-12s / %-12s  x86 %-12s / %s" % ((setting,) +
                                                          tuple(cells)))


def wine_checks(res, exes, tmp, version, verbose):
  tools = ["wine", "wineserver", "wineboot"]
  tools += [TARGETS[t][1] + n for t in TARGETS for n in ("gcc", "windres")]
  if missing(res, "wine checks", tools):
    return
  helpers = build_helpers(res, tmp, version)
  if helpers is None:
    return
  # Private copies, alone in a folder: nothing beside them to lean on.
  bindir = os.path.join(tmp, "bin")
  os.makedirs(bindir)
  copies = {}
  for target, path in exes.items():
    copies[target] = os.path.join(bindir, TARGETS[target][3])
    shutil.copyfile(path, copies[target])
  wine = Wine(os.path.join(tmp, "prefix"))
  try:
    started = time.time()
    why = wine.boot()
    if why:
      res.fail("wineboot", why)
      return
    if verbose:
      print("wineboot: %.0fs" % (time.time() - started), flush=True)
    for target, exe in copies.items():
      check_version_resource(wine, res, target, exe, helpers[(target, False)],
                             version, bindir)
    seen = check_versions(wine, res, copies, helpers, bindir)
    print_versions(seen)
  finally:
    wine.stop()


def main():
  ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
  ap.add_argument("--build", default=os.path.join(REPO, "build"),
                  help="build root holding win64/ and win32/")
  ap.add_argument("--zip", help="the release ZIP (default "
                  "BUILD/win64/torvelin-VERSION-windows.zip)")
  ap.add_argument("--keep", action="store_true",
                  help="keep the temporary folder and print its path")
  ap.add_argument("-v", "--verbose", action="store_true",
                  help="print passed checks and timings too")
  opts = ap.parse_args()

  started = time.time()
  version = project_version()
  res = Results(opts.verbose)
  exes = {}
  for target, (sub, _, _, _, _) in TARGETS.items():
    path = os.path.join(opts.build, sub, "torvelin.exe")
    if not os.path.isfile(path):
      res.fail(target, "not built: " + path)
      continue
    exes[target] = path
    with open(path, "rb") as f:
      data = f.read()
    pe = check_image(res, target, path, data)
    if pe is not None:
      check_manifest(res, target, pe, version)
  check_zip(res, opts.zip or os.path.join(
      opts.build, "win64", "torvelin-%s-windows.zip" % version), exes)

  tmp = tempfile.mkdtemp(prefix="torvelin-release-")
  try:
    if exes:
      wine_checks(res, exes, tmp, version, opts.verbose)
  finally:
    if opts.keep:
      print("kept " + tmp)
    else:
      shutil.rmtree(tmp, ignore_errors=True)
  print("time: %.0fs" % (time.time() - started))
  print("release: %d passed, %d failed" % (res.passed, res.failed))
  return 1 if res.failed else 0


if __name__ == "__main__":
  sys.exit(main())
