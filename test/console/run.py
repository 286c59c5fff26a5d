#!/usr/bin/env python3
"""Checks what torvelin leaves on a real console: Wine's wineconsole.

    test/console/run.py [--build DIR] [--win64 P] [--win32 P]
                        [--only win64,win32] [--keep] [-v]

Each case starts wineconsole (under xvfb-run) with the console harness
(test/wine/conharness.c), which shapes the console's screen buffer, window,
cursor, text attribute and console modes, runs one torvelin.exe command in
that console, and dumps every cell with its attribute, the cursor, the
window and standard input's console mode. The dump is compared, line for
line, with the screen that a small model of the console output rules
predicts from the lines the command prints:

  - each line is drawn as cells at the cursor, in the current attribute,
    wrapping at the buffer's right edge; its CR LF brings the cursor to
    column 0 of the next row;
  - a line that exactly fills its row has already moved the cursor on when
    its CR LF comes, so one empty row follows it; on the window's bottom row
    that move is owed to the next write instead of scrolling at once;
  - when the cursor leaves the window's bottom row, the window moves down
    the buffer while rows remain below it; at the buffer's end the whole
    buffer's contents move up and the last row is blanked in the current
    attribute, and the window stays;
  - standard input's console mode gains ENABLE_PROCESSED_INPUT (1).

Rows are pre-marked with their numbers in their own attribute, so that a
wrong scroll, a wrong blank or a cell written in the wrong attribute shows.
Some cases switch standard output's console mode to 0 (no processed output,
no wrap): the console itself would then show CR and LF as glyphs, so an
identical screen proves the tool draws the cells itself. One control case
checks that premise with cmd's echo.

Only the final screen is seen. A line that fills the window's bottom row
ends the same whether its line feed was owed or done at once, since a CR LF
always follows it; and the console itself scrolls the window to keep the
cursor in view, so a missing window move would not show either. The cases
check the outcome of both, not the mechanism.

The version numbers and product type on the screen come from the harness's
own GetVersionExA and registry read, and the architecture may be either
"64-bit" or "32-bit"; everything else is exact.

Defaults: DIR is the repository's build/ folder, holding win64/torvelin.exe
and win32/torvelin.exe. The harness is compiled with the MinGW compilers
into a temporary folder, which also holds a throwaway Wine prefix. The last
line of the output is "console: N passed, M failed"; the exit status is 1
when anything failed. A missing wine, wineconsole, xvfb-run or MinGW
compiler is a failure when the environment variable CI is set, and a skip
otherwise.
"""

import argparse
import difflib
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.dirname(HERE))
import expected  # noqa: E402  (test/expected.py)
HARNESS_SRC = os.path.join(REPO, "test", "wine", "conharness.c")

COMPILERS = {"win64": "x86_64-w64-mingw32-gcc", "win32": "i686-w64-mingw32-gcc"}

USAGE_LINES = expected.USAGE_LINES
assert len(USAGE_LINES) == 23

ARCHITECTURES = ("64-bit", "32-bit")


def printed_lines(form, system, arch):
  """The lines the command prints; system holds the harness's own view."""
  p, major, minor, build = system["version"]
  if form == "usage":
    return USAGE_LINES
  if form == "os":
    return ["%s.%s.%s" % (p, major, minor)]
  if form == "build":
    return [build]
  return [
      "Platform ID ......: " + p,
      "Major Version ....: " + major,
      "Minor Version ....: " + minor,
      "Build ............: " + build,
      "Product Type .....: " + system["ptype"],
      "Architecture .....: " + arch,
  ]


FORM_ARGS = {"report": [], "os": ["/o"], "build": ["/b"], "usage": ["/x"]}


class Setup:
  """A console shape: buffer size, window, cursor, attributes and modes."""

  def __init__(self, name, width=80, height=300, rows=25, top=0, cursor=(0, 0),
               attr=0x07, mark=None, inmode=None, outmode=None):
    self.name, self.width, self.height = name, width, height
    self.rows, self.top, self.cursor = rows, top, cursor
    self.attr, self.mark, self.inmode, self.outmode = attr, mark, inmode, outmode

  def harness_args(self):
    args = ["-s", "%dx%d" % (self.width, self.height), "-w", str(self.rows),
            "-t", str(self.top), "-c", "%d,%d" % self.cursor,
            "-a", "0x%x" % self.attr]
    if self.mark is not None:
      args += ["-p", "0x%x" % self.mark]
    if self.inmode is not None:
      args += ["-m", "%x" % self.inmode]
    if self.outmode is not None:
      args += ["-o", "%x" % self.outmode]
    return args


# name, then the console it starts from.
SETUPS = [
    # Window at the top, nothing moves.
    Setup("top", inmode=0x1F6),
    # Cursor near the window's bottom: the window follows the output down.
    Setup("top-follow", cursor=(0, 20), attr=0x1E, mark=0x4F, inmode=0x0),
    # Cursor on the window's bottom row.
    Setup("top-edge", cursor=(0, 24), attr=0x2F, mark=0x4F),
    # The first line starts where the cursor is, not at column 0.
    Setup("column", cursor=(7, 3), attr=0x1E, mark=0x4F),
    # Window at the buffer's last rows: the contents scroll up.
    Setup("bottom", top=275, cursor=(0, 297), attr=0x1E, mark=0x4F,
          inmode=0x6),
    Setup("bottom-last", top=275, cursor=(0, 299), attr=0x1E, mark=0x4F),
    # Standard output without processed output or wrapping.
    Setup("rawout", cursor=(3, 2), attr=0x1E, mark=0x4F, outmode=0x0),
    Setup("rawout-bottom", top=275, cursor=(0, 298), attr=0x1E, mark=0x4F,
          outmode=0x0),
    # 20 columns: longer lines wrap, some exactly fill their rows.
    Setup("wrap20", width=20, attr=0x1E, mark=0x4F),
    # 21 columns: the first three report lines exactly fill their rows.
    Setup("fill21", width=21, cursor=(0, 2), attr=0x1E, mark=0x4F),
    Setup("fill21-edge", width=21, cursor=(0, 24), attr=0x1E, mark=0x4F),
    Setup("fill21-end", width=21, top=275, cursor=(0, 299), attr=0x1E,
          mark=0x4F),
]

# setup name, forms run in it.
CASES = [
    ("top", ["report", "os", "build", "usage"]),
    ("top-follow", ["report", "usage"]),
    ("top-edge", ["os", "usage"]),
    ("column", ["report"]),
    ("bottom", ["report", "os", "usage"]),
    ("bottom-last", ["build", "report"]),
    ("rawout", ["report", "os"]),
    ("rawout-bottom", ["report"]),
    ("wrap20", ["report", "usage"]),
    ("fill21", ["report"]),
    ("fill21-edge", ["report"]),
    ("fill21-end", ["report"]),
]

# --- The model of the console output -----------------------------------


def initial_screen(setup):
  """The buffer as the harness leaves it: blanks, rows marked if asked."""
  blank = (" ", setup.attr)
  cells = [[blank] * setup.width for _ in range(setup.height)]
  if setup.mark is not None:
    for y in range(setup.height):
      digits = str(y)[-setup.width:]
      start = setup.width - len(digits)
      for i, ch in enumerate(digits):
        cells[y][start + i] = (ch, setup.mark)
  return cells


class Screen:
  """The console as the tool's writes change it."""

  def __init__(self, setup):
    self.s = setup
    self.cells = initial_screen(setup)
    self.top = setup.top
    self.cx, self.cy = setup.cursor
    self.pending = False
    # The window as the write sees it; scrolling moves the view down.
    self.y0 = self.y1 = 0

  def blank_row(self, y):
    self.cells[y] = [(" ", self.s.attr)] * self.s.width

  def scroll(self, rows):
    """Brings the cursor's row (rows below the view) back into the view."""
    height = self.s.height
    room = height - 1 - self.y1
    if room > 0:
      step = min(rows, room)
      self.y0 += step
      self.y1 += step
      rows -= step
      if rows == 0:
        return
    if rows >= height:
      for y in range(self.y0, self.y1 + 1):
        self.blank_row(y)
    else:
      self.cells = self.cells[rows:] + [None] * rows
      for y in range(height - rows, height):
        self.blank_row(y)
    self.cy = self.y1

  def begin(self):
    self.y0, self.y1 = self.top, self.top + self.s.rows - 1
    if self.pending:
      self.pending = False
      self.cx, self.cy = 0, self.cy + 1
      if self.cy > self.y1:
        self.scroll(self.cy - self.y1)

  def end(self):
    if (self.cx, self.cy) == (0, self.y1 + 1):
      self.pending = True
      self.cx, self.cy = self.s.width - 1, self.y1
    elif self.cy > self.y1:
      self.scroll(self.cy - self.y1)
    self.top = self.y0

  def write_text(self, text):
    """A text without control bytes: cells from the cursor, wrapping."""
    assert all(32 <= ord(c) < 127 for c in text), text
    self.begin()
    while text:
      k = min(len(text), self.s.width - self.cx)
      if self.cy > self.y1:
        self.scroll(self.cy - self.y1)
      for i in range(k):
        self.cells[self.cy][self.cx + i] = (text[i], self.s.attr)
      text = text[k:]
      self.cx += k
      if self.cx == self.s.width:
        self.cx, self.cy = 0, self.cy + 1
    self.end()

  def write_line_end(self):
    self.begin()
    self.cx, self.cy = 0, self.cy + 1
    if self.cy > self.y1:
      self.scroll(self.cy - self.y1)
    self.end()


def escape_cell(ch):
  c = ord(ch)
  return "\\x%02X" % c if c < 32 or c > 126 or ch == "\\" else ch


def render_rows(cells, attr):
  """The harness's dump of the rows that are not blank."""
  out = []
  for y, row in enumerate(cells):
    if all(c == (" ", attr) for c in row):
      continue
    chars = "".join(escape_cell(ch) for ch, _ in row).rstrip(" ")
    out.append("%d|%s|" % (y, chars))
    if any(a != attr for _, a in row):
      out.append("%d@%s" % (y, "".join("%02X" % (a & 0xFF) for _, a in row)))
  return out


def expected_dump(setup, lines, inmode0):
  """The dump the harness must write after the command printed lines."""
  screen = Screen(setup)
  for text in lines:
    if text:
      screen.write_text(text)
    screen.write_line_end()
  inmode = setup.inmode if setup.inmode is not None else inmode0
  head = [
      "exit 0",
      "size %d %d" % (setup.width, setup.height),
      "window 0 %d %d %d" % (screen.top, setup.width - 1,
                             screen.top + setup.rows - 1),
      "cursor %d %d" % (screen.cx, screen.cy),
      "attr %d" % setup.attr,
      "inmode0 0x%x" % inmode,
      "inmode 0x%x" % (inmode | 1),
  ]
  return head, render_rows(screen.cells, setup.attr)


def self_check():
  """The model's own worked examples, so that a broken model shows."""
  s = Setup("t", width=21, height=6, rows=3, top=0, cursor=(0, 2))
  head, rows = expected_dump(s, ["x" * 21, "ab", "c"], 0)
  # Fill on the bottom row: owed feed, window moves, empty row, then ab.
  assert head[2:4] == ["window 0 3 20 5", "cursor 0 5"], head
  assert rows == ["1|" + "x" * 21 + "|", "3|ab|", "4|c|"], rows
  s = Setup("t", width=4, height=4, rows=2, top=2, cursor=(0, 3), mark=0x4F)
  head, rows = expected_dump(s, ["abcdef"], 0)
  # Wraps at the buffer's end: contents move up twice, last row blanked.
  assert head[2:4] == ["window 0 2 3 3", "cursor 0 3"], head
  assert rows == ["0|   2|", "0@0707074F", "1|abcd|", "2|ef|"], rows


# --- Running Wine -------------------------------------------------------


def run_quiet(argv, env, timeout, cwd=None):
  """Runs argv in its own process group; kills that group on a time-out."""
  proc = subprocess.Popen(argv, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          start_new_session=True)
  try:
    return proc.wait(timeout=timeout)
  except subprocess.TimeoutExpired:
    os.killpg(proc.pid, signal.SIGKILL)
    proc.wait()
    return None


def windows_path(path):
  """The path as Wine's drive Z: (the Unix root) names it."""
  return "Z:" + os.path.abspath(path).replace("/", "\\")


class Wine:
  """A throwaway prefix; every run starts wineconsole on a fresh server."""

  def __init__(self, root):
    self.env = dict(os.environ)
    self.env["WINEPREFIX"] = os.path.join(root, "prefix")
    self.env["WINEDEBUG"] = "-all"
    self.env.pop("DISPLAY", None)
    self.ready = run_quiet(["wineboot", "-i"], self.env, 300) == 0

  def restart_server(self):
    run_quiet(["wineserver", "-k"], self.env, 60)
    run_quiet(["wineserver", "-w"], self.env, 60)

  def console(self, workdir, harness, harness_args, command):
    """Runs the harness in a new console; returns (dump lines, problem)."""
    dump = os.path.join(workdir, "dump.txt")
    if os.path.exists(dump):
      os.remove(dump)
    self.restart_server()
    # The harness passes on everything after " -- " as the command line.
    argv = (["xvfb-run", "-a", "wine", "wineconsole", harness, "dump.txt"] +
            harness_args + ["--"] + command)
    rc = run_quiet(argv, self.env, 120, cwd=workdir)
    if rc is None:
      return None, "wineconsole timed out"
    if not os.path.exists(dump):
      return None, "no dump written (xvfb-run status %s)" % rc
    with open(dump, encoding="latin-1") as f:
      return f.read().splitlines(), None

  def close(self):
    run_quiet(["wineserver", "-k"], self.env, 60)


def parse_system(dump):
  """The harness's own version record and product type, from its dump."""
  system = {}
  for line in dump[:12]:
    key, _, value = line.partition(" ")
    if key == "version" and value != "none":
      system["version"] = value.split()
    elif key == "ptype" and value != "none":
      system["ptype"] = value
    elif key == "inmode0":
      system["inmode0"] = int(value, 16)
  return system


def strip_system(dump):
  return [l for l in dump if not l.startswith(("version ", "ptype "))]


def split_dump(lines):
  """The header lines, and each listed row's characters and attributes."""
  head, rows = [], {}
  for line in lines:
    number, sep, rest = line.partition("|")
    if not sep:
      number, sep, rest = line.partition("@")
      if sep and number.isdigit():
        rows.setdefault(int(number), ["", None])[1] = rest
        continue
      head.append(line)
    elif number.isdigit():
      rows.setdefault(int(number), ["", None])[0] = rest[:-1]
    else:
      head.append(line)
  return head, rows


def first_difference(expected, actual):
  """What differs first: a header line, or a row's text or attributes."""
  e_head, e_rows = split_dump(expected)
  a_head, a_rows = split_dump(actual)
  for i in range(max(len(e_head), len(a_head))):
    e = e_head[i] if i < len(e_head) else "(nothing)"
    a = a_head[i] if i < len(a_head) else "(nothing)"
    if e != a:
      return "expected %r, got %r" % (e, a)
  bad = []
  for y in sorted(set(e_rows) | set(a_rows)):
    e_text, e_attr = e_rows.get(y, ["", None])
    a_text, a_attr = a_rows.get(y, ["", None])
    if e_text != a_text:
      bad.append("row %d: expected %r, got %r" % (y, e_text, a_text))
    elif e_attr != a_attr:
      e_attr, a_attr = e_attr or "", a_attr or ""
      x = next(i for i in range(0, max(len(e_attr), len(a_attr)), 2)
               if e_attr[i:i + 2] != a_attr[i:i + 2])
      bad.append("row %d: attribute at column %d: expected %s, got %s" %
                 (y, x // 2, e_attr[x:x + 2] or "the default",
                  a_attr[x:x + 2] or "the default"))
  if not bad:
    return "no difference"
  more = " (and %d more rows)" % (len(bad) - 1) if len(bad) > 1 else ""
  return bad[0] + more


def check_case(setup, form, dump, verbose):
  """None when the dump is the predicted screen, else what differs."""
  system = parse_system(dump)
  if "version" not in system or "ptype" not in system:
    return "the harness could not read the version or the product type"
  actual = strip_system(dump)
  best = None
  for arch in ARCHITECTURES if form == "report" else ARCHITECTURES[:1]:
    head, rows = expected_dump(setup, printed_lines(form, system, arch),
                               system.get("inmode0", 0))
    expected = head + rows
    if expected == actual:
      return None
    misses = sum(1 for e, a in zip(expected, actual) if e != a)
    if best is None or misses < best[0]:
      best = (misses, expected)
  expected = best[1]
  if verbose:
    for line in difflib.unified_diff(expected, actual, "expected", "actual",
                                     lineterm="", n=1):
      print("    " + line)
  return first_difference(expected, actual)


def build_harnesses(tmp, variants):
  """Compiles the harness for each bitness; returns {variant: path}."""
  out = {}
  for variant in variants:
    exe = os.path.join(tmp, "conharness-%s.exe" % variant)
    proc = subprocess.run([COMPILERS[variant], "-O1", "-Wall", "-Wextra",
                           "-Werror", "-o", exe, HARNESS_SRC],
                          capture_output=True, text=True)
    if proc.returncode != 0:
      raise RuntimeError("building the %s harness failed:\n%s" %
                         (variant, proc.stderr))
    out[variant] = exe
  return out


def missing_tools(variants):
  tools = ["wine", "wineconsole", "wineserver", "wineboot", "xvfb-run"]
  tools += [COMPILERS[v] for v in variants]
  return [t for t in tools if shutil.which(t) is None]


def main():
  parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
  parser.add_argument("--build", default=os.path.join(REPO, "build"))
  parser.add_argument("--win64")
  parser.add_argument("--win32")
  parser.add_argument("--only", default="win64,win32")
  parser.add_argument("--keep", action="store_true",
                      help="keep the temporary folder and its prefix")
  parser.add_argument("-v", "--verbose", action="store_true")
  args = parser.parse_args()

  variants = [v for v in args.only.split(",") if v]
  for v in variants:
    if v not in COMPILERS:
      parser.error("unknown variant %r" % v)
  exes = {v: getattr(args, v) or os.path.join(args.build, v, "torvelin.exe")
          for v in variants}

  self_check()
  missing = missing_tools(variants)
  if missing:
    if os.environ.get("CI"):
      print("FAIL console: missing %s" % ", ".join(missing))
      print("console: 0 passed, 1 failed")
      return 1
    print("console: skipped, missing %s" % ", ".join(missing))
    print("console: 0 passed, 0 failed, 1 skipped")
    return 0

  started = time.monotonic()
  passed = failed = 0
  setups = {s.name: s for s in SETUPS}
  tmp = tempfile.mkdtemp(prefix="torvelin-console-")
  wine = None
  try:
    try:
      harnesses = build_harnesses(tmp, variants)
    except (OSError, RuntimeError) as e:
      print("FAIL console: %s" % str(e).replace("\n", " "))
      failed += 1
      return 1
    workdir = os.path.join(tmp, "run")
    os.mkdir(workdir)
    wine = Wine(tmp)
    if not wine.ready:
      print("FAIL console: wineboot -i failed")
      failed += 1
      return 1

    # The premise: with output mode 0 the console's own byte output shows
    # CR and LF as glyphs, so the rawout cases tell the two paths apart.
    dump, problem = wine.console(workdir, harnesses[variants[0]],
                                 ["-o", "0"], ["cmd", "/c", "echo", "hi"])
    if problem is None and not any("hi\\x0D\\x0A" in l for l in dump):
      problem = "CR LF did not show as glyphs"
    if problem:
      print("FAIL control bytestream: %s" % problem)
      failed += 1
    else:
      passed += 1

    for variant in variants:
      exe = exes[variant]
      if not os.path.isfile(exe):
        print("FAIL %s: no executable at %s" % (variant, exe))
        failed += 1
        continue
      command = [windows_path(exe)]
      for setup_name, forms in CASES:
        setup = setups[setup_name]
        for form in forms:
          name = "%s %s %s" % (variant, setup_name, form)
          dump, problem = wine.console(workdir, harnesses[variant],
                                       setup.harness_args(),
                                       command + FORM_ARGS[form])
          if problem is None:
            problem = check_case(setup, form, dump, args.verbose)
          if problem:
            print("FAIL %s: %s" % (name, problem))
            failed += 1
          else:
            if args.verbose:
              print("ok   %s" % name)
            passed += 1
  finally:
    if wine is not None:
      wine.close()
    if args.keep:
      print("kept %s" % tmp)
    else:
      shutil.rmtree(tmp, ignore_errors=True)
    if args.verbose:
      print("took %.0f s" % (time.monotonic() - started))
    print("console: %d passed, %d failed" % (passed, failed))
  return 1 if failed else 0


if __name__ == "__main__":
  sys.exit(main())
