"""The shipped executables as files: size, header, imports, symbols."""

import re

import pytest

from pe import IMAGE_SUBSYSTEM_WINDOWS_CUI, PE
from support import MINGW, REPO, require, run

pytestmark = pytest.mark.release

# The DLLs an executable imports from, and nothing else: no compiler runtime.
DLLS = ["kernel32.dll", "msvcrt.dll"]
MAX_SIZE = 65536
MACHINE = {"win64": 0x8664, "win32": 0x14C}


def objdump(target, flag, exe):
    objdump = MINGW[target] + "objdump"
    require(objdump)
    proc = run([objdump, flag, str(exe)])
    assert proc.returncode == 0, proc.stderr
    return proc.stdout.decode("latin-1")


def toolchain(target):
    """The major version of target's mingw-w64 GCC (Debian's give no other
    number) and the version of its binutils."""
    gcc = run([MINGW[target] + "gcc", "-dM", "-E", "-x", "c", "/dev/null"])
    ld = run([MINGW[target] + "ld", "--version"])
    return (re.search(rb"#define __GNUC__ (\d+)", gcc.stdout).group(1),
            re.search(rb"\d+\.\d+", ld.stdout.splitlines()[0]).group())


def test_size(win_exe):
    target, exe = win_exe
    size = exe.stat().st_size
    readme = (REPO / "README.md").read_text()
    assert "each stays under %d KiB" % (MAX_SIZE // 1024) in readme
    assert size < MAX_SIZE
    # The README states the size that the published release's toolchain
    # builds; other toolchains are held to the bound alone.
    named = re.search(rb"mingw-w64 GCC (\d+)\.\d+ with binutils (\d+\.\d+)",
                      readme.encode()).groups()
    if toolchain(target) == named:
        arch = {"win64": "x64", "win32": "x86"}[target]
        stated = "{:,} bytes ({})".format(size, arch).replace(",", " ")
        assert stated in readme


def test_header(win_exe):
    target, exe = win_exe
    pe = PE(exe.read_bytes())
    assert (hex(pe.machine), pe.subsystem, pe.symbol_pointer,
            pe.symbol_count) == (hex(MACHINE[target]),
                                 IMAGE_SUBSYSTEM_WINDOWS_CUI, 0, 0)


def test_imports(win_exe):
    text = objdump(win_exe[0], "-p", win_exe[1])
    dlls = re.findall(r"DLL Name:\s*(\S+)", text)
    assert sorted(d.lower() for d in dlls) == DLLS


def test_stripped(win_exe):
    text = objdump(win_exe[0], "-t", win_exe[1])
    table = text.split("SYMBOL TABLE:", 1)[1:]
    assert [t.split() for t in table] == [["no", "symbols"]], text
