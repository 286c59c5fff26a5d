"""The surroundings Wine runs in, for the test suites and the benchmarks
alike: a throwaway prefix, no display, no debug output, and a private
runtime folder, so that nothing Wine says about its surroundings mixes with
what a program prints. It imports no test framework: bench/run.py loads it
by path."""

import os
import subprocess
from pathlib import Path


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
