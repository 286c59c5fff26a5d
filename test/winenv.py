"""Wine for the test suites and the benchmarks alike: where each Debian
release puts its programs, the surroundings of a run (a throwaway prefix,
no display, no debug output, a private runtime folder, so that nothing Wine
says about its surroundings mixes with what a program prints), and whether
Wine runs x86 programs here. It imports no test framework: bench/run.py
loads it by path, and scripts/run asks it for the 64-bit loader
(`winenv.py --loader`)."""

import errno
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

# Wine's loaders, 32-bit and 64-bit: Debian 12 and 13 keep them in
# /usr/lib/wine, Debian unstable in the multiarch folders, its wineserver
# beside them and off PATH. Debian's wine command starts one of them.
LOADERS = {32: ("/usr/lib/wine/wine", "/usr/lib/i386-linux-gnu/wine/wine"),
           64: ("/usr/lib/wine/wine64", "/usr/lib/x86_64-linux-gnu/wine/wine")}


def loader(bits):
    """The path of Wine's loader of bits (32 or 64), or None."""
    return next((p for p in LOADERS[bits] if os.access(p, os.X_OK)), None)


def which(name):
    """The path of a program on PATH or, for wineserver, beside one of
    Wine's loaders; None when there is none."""
    found = shutil.which(name)
    if name == "wineserver":
        for path in filter(None, map(loader, (64, 32))):
            found = found or shutil.which(name, path=os.path.dirname(path))
    return found


NO_WINE32 = ("Wine's 32-bit part (wine32:i386) is not installed, so Wine "
             "runs no x86 program here")
NO_IA32 = ("this machine's kernel runs no 32-bit process (ia32 emulation "
           "off), so Wine's 32-bit loader cannot start and Wine runs no x86 "
           "program here")
CRASHED = ("Wine runs x86 programs through its 64-bit loader here, and the "
           "x86 helper died of signal %d (as on a kernel that runs no 32-bit "
           "code, ia32 emulation off), so Wine runs no x86 program here")


def loader32():
    """None when Wine's 32-bit loader starts here, else why not: NO_WINE32
    when it is not installed, NO_IA32 when the kernel refuses it."""
    path = loader(32)
    if path is None:
        return NO_WINE32
    try:
        subprocess.run([path, "--version"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)
    except OSError as e:
        if e.errno != errno.ENOEXEC:
            raise
        return NO_IA32
    return None


LOADER32 = loader32()


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
    no Mono or Gecko installer, no ProgramFiles(x86) of the caller's. On its
    PATH, wine and wineserver: wine stands for the 64-bit loader where the
    32-bit one cannot start (Debian's wine command would start that first),
    which runs every x64 program all the same."""
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "ProgramFiles(x86)"):
        env.pop(name, None)
    env.update({"WINEPREFIX": str(prefix), "WINEDEBUG": "-all",
                "WINEDLLOVERRIDES": "mscoree=d;mshtml=d",
                "XDG_RUNTIME_DIR": str(runtime)})
    shims = Path(runtime) / "bin"
    shims.mkdir(exist_ok=True)
    wine64, server = loader(64), which("wineserver")
    if LOADER32 and wine64:
        (shims / "wine").write_text('#!/bin/sh\nexec %s "$@"\n' % wine64)
        (shims / "wine").chmod(0o755)
        env["WINELOADER"] = wine64
    if server and not (shims / "wineserver").exists():
        (shims / "wineserver").symlink_to(server)
    env["PATH"] = str(shims) + os.pathsep + env["PATH"]
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
    """Makes the prefix and waits until the server that made it has ended.
    Wine's own programs (wineboot, winecfg, wineconsole) run through wine:
    each Debian release has its own wrappers for them."""
    quiet(["wine", "wineboot", "-i"], env)
    quiet(["wineserver", "-w"], env, timeout=120)


def first_run(env):
    """The first program of a server starts Wine's background services: one
    that reads nothing, so that they inherit nothing a caller reads to its
    end."""
    quiet(["wine", "cmd", "/c", "exit"], env, timeout=120)


X86 = Path(__file__).parent / "wine" / "x86.c"
X86_CC = "i686-w64-mingw32-gcc"


def x86_problem():
    """Why Wine runs no x86 program here, or None when it does, as one run
    of the x86 helper (X86, built with X86_CC) in a throwaway prefix shows
    (see x86_verdict). Any other outcome, a helper that does not build or
    start among them, raises RuntimeError."""
    try:
        return run_x86()
    except (OSError, subprocess.SubprocessError) as e:
        raise RuntimeError(str(e)) from e


def run_x86():
    """x86_problem's run, letting the errors of its commands through."""
    with tempfile.TemporaryDirectory() as tmp:
        exe = os.path.join(tmp, "x86.exe")
        subprocess.run([X86_CC, "-o", exe, str(X86)], check=True)
        # Its first run makes the prefix, saying so among its output.
        env = environment(os.path.join(tmp, "prefix"),
                          runtime_dir(os.path.join(tmp, "run")))
        with tempfile.TemporaryFile() as out:
            try:
                status = subprocess.run(
                    ["wine", exe], env=env, stdin=subprocess.DEVNULL,
                    stdout=out, stderr=subprocess.STDOUT,
                    timeout=120).returncode
            finally:
                quiet(["wineserver", "-k"], env, timeout=60)
                quiet(["wineserver", "-w"], env, timeout=60)
            out.seek(0)
            return x86_verdict(status, out.read())


def x86_verdict(status, output):
    """x86_problem's answer from the helper's exit status and output: None
    when it printed "x86 runs"; a reason only for what no fault of the code
    under test causes: the kernel refuses the 32-bit loader, wine32 is not
    installed, or the 64-bit loader ran the helper itself and it died of a
    signal. Any other outcome raises RuntimeError."""
    if status == 0 and b"x86 runs\r\n" in output:
        return None
    if status < 0 and LOADER32 == NO_WINE32:
        return CRASHED % -status
    if status != 0 and LOADER32:
        return LOADER32
    raise RuntimeError("the x86 helper under Wine: status %d, output %r"
                       % (status, output[-300:]))


if __name__ == "__main__" and sys.argv[1:] == ["--loader"]:
    # The command that runs an x64 program on every release and kernel.
    print(loader(64) or "wine")
