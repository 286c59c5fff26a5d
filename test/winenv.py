"""The surroundings Wine runs in, for the test suites and the benchmarks
alike: a throwaway prefix, no display, no debug output, and a private
runtime folder, so that nothing Wine says about its surroundings mixes with
what a program prints. It imports no test framework: bench/run.py loads it
by path."""

import errno
import os
import subprocess
from pathlib import Path

# Debian's wine command starts Wine's 32-bit loader first, which a kernel
# that runs no 32-bit process (ia32 emulation off, as on some virtual
# machines) cannot start; Wine's 64-bit loader runs every x64 program there
# all the same. IA32 tells whether this machine runs 32-bit processes.
WINE32, WINE64 = "/usr/lib/wine/wine", "/usr/lib/wine/wine64"


def runs_32bit():
    try:
        subprocess.run([WINE32, "--version"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except OSError as e:
        return e.errno != errno.ENOEXEC
    return True


IA32 = runs_32bit()
NO_IA32 = ("this machine's kernel runs no 32-bit process (ia32 emulation "
           "off), so Wine cannot run an x86 program here")


def runtime_dir(path):
    """Makes path a folder only its owner may enter (mode 0700), as Wine's
    libraries want XDG_RUNTIME_DIR to be; returns it."""
    path = Path(path)
    path.mkdir(parents=True, exist_ok=True)
    path.chmod(0o700)
    return path


def environment(prefix, runtime):
    """The environment of Wine runs in prefix, with runtime (a runtime_dir)
    as their XDG_RUNTIME_DIR: no display of the caller's, no debug channel,
    no Mono or Gecko installer, no ProgramFiles(x86) of the caller's."""
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "ProgramFiles(x86)"):
        env.pop(name, None)
    env.update({"WINEPREFIX": str(prefix), "WINEDEBUG": "-all",
                "WINEDLLOVERRIDES": "mscoree=d;mshtml=d",
                "XDG_RUNTIME_DIR": str(runtime)})
    if not IA32:
        # wine and wine-stable (which wineboot, winecfg and wineconsole
        # call) stand for the 64-bit loader.
        shims = Path(runtime) / "wine64"
        shims.mkdir(exist_ok=True)
        for name in ("wine", "wine-stable"):
            (shims / name).write_text('#!/bin/sh\nexec %s "$@"\n' % WINE64)
            (shims / name).chmod(0o755)
        env.update(PATH=str(shims) + os.pathsep + env["PATH"],
                   WINELOADER=WINE64)
    return env


def quiet(argv, env, timeout=300):
    """A housekeeping command whose output and outcome do not matter. Its
    output goes nowhere: wineserver and wineboot leave processes behind that
    would hold a pipe open."""
    try:
        subprocess.run(argv, env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=timeout)
    except (subprocess.TimeoutExpired, OSError):
        pass


def boot(env):
    """Makes the prefix and waits until the server that made it has ended."""
    quiet(["wineboot", "-i"], env)
    quiet(["wineserver", "-w"], env, timeout=120)


def first_run(env):
    """The first program of a server starts Wine's background services: one
    that reads nothing, so that they inherit nothing a caller reads to its
    end."""
    quiet(["wine", "cmd", "/c", "exit"], env, timeout=120)
