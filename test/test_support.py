"""The test support's own rules: where Wine's programs are on each Debian
release, which failures of the x86 helper skip the x86 runs, and the
closing summary of scripts/test."""

import os

import pytest

import summary
import winenv

pytestmark = pytest.mark.host


def executable(path, content):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(content)
    path.chmod(0o755)
    return str(path)


@pytest.mark.parametrize("content,want", [
    (None, winenv.NO_WINE32),
    (b"#!/bin/sh\n", None),
    (b"\x7fELF\x01\x01\x01", winenv.NO_IA32),  # one the kernel cannot run
], ids=["missing", "starts", "refused"])
def test_32bit_loader(tmp_path, monkeypatch, content, want):
    path = tmp_path / "wine"
    monkeypatch.setitem(winenv.LOADERS, 32, (str(tmp_path / "none"), str(
        path) if content is None else executable(path, content)))
    assert winenv.loader32() == want


def test_unstable_layout(tmp_path, monkeypatch):
    # The loaders in the multiarch folders, wineserver beside them, off PATH.
    wine64 = executable(tmp_path / "lib" / "wine", b"#!/bin/sh\n")
    server = executable(tmp_path / "lib" / "wineserver", b"#!/bin/sh\n")
    monkeypatch.setitem(winenv.LOADERS, 64, (str(tmp_path / "old"), wine64))
    monkeypatch.setattr(winenv, "LOADER32", winenv.NO_IA32)
    monkeypatch.setenv("PATH", str(tmp_path / "bin"))
    assert (winenv.which("wineserver"), winenv.which("wine")) == (server,
                                                                   None)
    env = winenv.environment(tmp_path / "prefix",
                             winenv.runtime_dir(tmp_path / "run"))
    shims = env["PATH"].split(os.pathsep)[0]
    assert os.path.realpath(os.path.join(shims, "wineserver")) == server
    with open(os.path.join(shims, "wine")) as f:
        assert f.read() == '#!/bin/sh\nexec %s "$@"\n' % wine64
    assert env["WINELOADER"] == wine64


RAN = b"wine: created the configuration directory\nx86 runs\r\n"


@pytest.mark.parametrize("loader32,status,output,want", [
    (None, 0, RAN, None),
    (winenv.NO_WINE32, 0, RAN, None),
    (winenv.NO_WINE32, 1, b"Application could not be started",
     winenv.NO_WINE32),
    (winenv.NO_WINE32, -11, b"", winenv.CRASHED % 11),
    (winenv.NO_IA32, -11, b"", winenv.NO_IA32),
    (winenv.NO_IA32, 53, b"", winenv.NO_IA32),
    (None, -11, b"", RuntimeError),
    (None, 1, RAN, RuntimeError),
    (winenv.NO_WINE32, 0, b"x86 run\r\n", RuntimeError),
], ids=["runs", "runs-without-wine32", "no-wine32", "crashed", "no-ia32",
        "no-ia32-other-status", "crashed-with-wine32", "failed",
        "wrong-word"])
def test_x86_verdict(monkeypatch, loader32, status, output, want):
    monkeypatch.setattr(winenv, "LOADER32", loader32)
    if want is RuntimeError:
        with pytest.raises(RuntimeError, match="status %d" % status):
            winenv.x86_verdict(status, output)
    else:
        assert winenv.x86_verdict(status, output) == want


def junit(path, *cases):
    path.write_text("<testsuite>%s</testsuite>" % "".join(
        '<testcase name="%s" status="%s"/>' % c for c in cases))
    return str(path)


def test_summary(tmp_path):
    progress = tmp_path / "progress"
    progress.write_text(
        "wine: 1 of 3 passed, test/e2e/a.py::t[win64 a b]\n"
        "wine: 2 of 3 skipped, test/e2e/a.py::t[win32] -- no x86, here\n"
        "asan: 1 of 2 passed, test/e2e/a.py::h\n"
        "wine: 3 of 3 failed, test/e2e/b.py::u\n"
        "asan: 2 of 2 skipped, test/e2e/a.py::i -- no x86, here\n")
    outer = junit(tmp_path / "outer.xml", ("A.b", "run"), ("A.c", "fail"),
                  ("wine", "fail"), ("asan", "run"), ("fuzz", "notrun"))
    inner = junit(tmp_path / "inner.xml", ("A.b", "run"), ("host", "run"))
    assert summary.summary(str(progress), outer, ["asan=" + inner]) == [
        "unit: 1 passed, 1 failed, 0 skipped",
        "wine: 1 passed, 1 failed, 1 skipped",
        "asan: 2 passed, 0 failed, 1 skipped",
        "fuzz: 0 passed, 1 failed, 0 skipped",
        "skipped (wine 1, asan 1): no x86, here",
        "total: 4 passed, 3 failed, 2 skipped"]
