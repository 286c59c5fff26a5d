"""Every C++ and C source of the repository is as clang-format leaves it,
with the repository's .clang-format."""

import pytest

from support import REPO, require, run

pytestmark = pytest.mark.format

FOLDERS = ("tool", "runtime", "platform", "test", "fuzz", "bench")
SUFFIXES = (".cc", ".h", ".c")


def test_sources_are_formatted():
    require("clang-format")
    sources = sorted(str(p.relative_to(REPO)) for folder in FOLDERS
                     for p in (REPO / folder).rglob("*")
                     if p.suffix in SUFFIXES)
    assert "tool/main.cc" in sources
    proc = run(["clang-format", "--style=file", "--dry-run", "-Werror"] +
               sources, cwd=REPO)
    assert proc.returncode == 0, proc.stderr.decode(errors="replace")
