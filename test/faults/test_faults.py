"""A standard output that cannot take the tool's bytes: closed, /dev/full,
or a pipe whose reader has gone before the first byte. Every form must still
end by itself with status 0 (a SIGPIPE death is a failure) and write nothing
to standard error; on a working pipe, as the baseline, its output is whole
CR LF lines."""

import os
import re
import subprocess

import pytest

from expected import FORMS
from support import require, run, windows_path

FAULTS = ["closed", "full", "gone"]
FORM_IDS = [name for name, _ in FORMS]
WRITE = re.compile(rb"^\d+\s+write\(1, .*, (\d+)\)\s+= (-?\d+)")
LOST = re.compile(rb"(?:definitely|indirectly) lost: ([\d,]+) bytes")


def with_stdout(kind, argv, env=None, timeout=30):
    """Runs argv with standard output of one kind: pipe, closed, full, gone.
    """
    if kind == "closed":
        return run(["sh", "-c", 'exec "$0" "$@" >&-'] + argv, env=env,
                   stdout=subprocess.DEVNULL, timeout=timeout)
    if kind == "full":
        with open("/dev/full", "wb") as full:
            return run(argv, env=env, stdout=full, timeout=timeout)
    if kind == "gone":
        reader, writer = os.pipe()
        os.close(reader)
        try:
            return run(argv, env=env, stdout=writer, timeout=timeout)
        finally:
            os.close(writer)
    return run(argv, env=env, stdout=subprocess.PIPE, timeout=timeout)


def check(proc, kind):
    """The end every run must have; on a pipe, whole CR LF lines."""
    assert (proc.stderr, proc.returncode) == (b"", 0)
    if kind == "pipe":
        assert proc.stdout.endswith(b"\r\n")
        assert b"\r" not in proc.stdout.replace(b"\r\n", b"")
        assert b"\n" not in proc.stdout.replace(b"\r\n", b"")


forms = pytest.mark.parametrize("args", [a for _, a in FORMS], ids=FORM_IDS)


@pytest.mark.host
@forms
@pytest.mark.parametrize("kind", ["pipe"] + FAULTS)
def test_host(host_exe, args, kind):
    check(with_stdout(kind, [host_exe] + args), kind)


def traced(argv, kind, log):
    """Runs argv under strace: the run, and its writes to descriptor 1 as
    (bytes offered, result) pairs. A sanitizer build's leak check cannot
    run under a tracer, and is left out."""
    env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") +
               ":detect_leaks=0")
    proc = with_stdout(kind, ["strace", "-f", "-qq", "-e", "trace=write",
                              "-e", "signal=none", "-o", log] + argv, env)
    with open(log, "rb") as f:
        writes = [m.groups() for m in map(WRITE.match, f) if m]
    return proc, [(int(n), int(r)) for n, r in writes]


@pytest.mark.host
@forms
@pytest.mark.parametrize("kind", FAULTS)
def test_host_writes(host_exe, tmp_path, args, kind):
    """A faulted run offers the writes of a working one, each once and
    whole, and every one fails: no byte is retried after a failed write."""
    require("strace")
    base, base_writes = traced([host_exe] + args, "pipe", tmp_path / "log")
    assert sum(n for n, _ in base_writes) == len(base.stdout)
    assert [r for _, r in base_writes] == [n for n, _ in base_writes]
    proc, writes = traced([host_exe] + args, kind, tmp_path / "log")
    assert (proc.stderr, proc.returncode) == (b"", 0)
    assert [n for n, _ in writes] == [n for n, _ in base_writes]
    assert [r for _, r in writes if r >= 0] == []


@pytest.mark.memcheck
@forms
@pytest.mark.parametrize("kind", ["pipe", "full", "gone"])
def test_memcheck(host_exe, tmp_path, args, kind):
    """No memory error, and no block definitely or indirectly lost."""
    require("valgrind")
    log = tmp_path / "memcheck.log"
    check(with_stdout(kind, ["valgrind", "--error-exitcode=1",
                             "--leak-check=full",
                             "--errors-for-leak-kinds=definite,indirect",
                             "--log-file=%s" % log, host_exe] + args,
                      timeout=120), kind)
    text = log.read_bytes()
    assert b"ERROR SUMMARY: 0 errors" in text
    assert set(LOST.findall(text)) <= {b"0"}


@pytest.mark.wine
@forms
@pytest.mark.parametrize("kind", ["pipe"] + FAULTS)
def test_wine(wine, win_exe, args, kind):
    check(with_stdout(kind, ["wine", win_exe[1]] + args, wine.env, 90), kind)


@pytest.mark.wine
@forms
def test_wine_cmd(wine, win_exe, args):
    """Through cmd.exe: to its pipe the direct run's bytes, to NUL none."""
    line = " ".join([windows_path(win_exe[1])] + args)
    direct = with_stdout("pipe", ["wine", win_exe[1]] + args, wine.env, 90)
    via = with_stdout("pipe", ["wine", "cmd", "/c", line], wine.env, 90)
    check(via, "pipe")
    assert via.stdout == direct.stdout
    nul = with_stdout("pipe", ["wine", "cmd", "/c", line + " > NUL"],
                      wine.env, 90)
    assert (nul.stdout, nul.stderr, nul.returncode) == (b"", b"", 0)
