"""Where the suites find the built binaries: a build root holding host/,
win64/ and win32/, each path open to a command-line override."""

import os


def add_options(ap, repo):
  ap.add_argument("--build", default=os.path.join(repo, "build"),
                  help="build root holding host/, win64/ and win32/")
  ap.add_argument("--host", help="host binary (default BUILD/host/torvelin)")
  ap.add_argument("--win64", help="default BUILD/win64/torvelin.exe")
  ap.add_argument("--win32", help="default BUILD/win32/torvelin.exe")


def paths(opts):
  """The host binary and both executables, by target name."""
  return {
      "host": opts.host or os.path.join(opts.build, "host", "torvelin"),
      "win64": opts.win64 or os.path.join(opts.build, "win64", "torvelin.exe"),
      "win32": opts.win32 or os.path.join(opts.build, "win32", "torvelin.exe"),
  }
