"""The release ZIP holds exactly the shipped files, unchanged."""

import zipfile
from pathlib import Path

import pytest

from release import SHIPPED, VERSION
from support import REPO, binary

pytestmark = pytest.mark.release

# Each member of the ZIP, and what it is a copy of: a built executable (by
# target) or a file of the repository. SHA256SUMS is checked by
# test_reproducible.py, with sha256sum -c.
MEMBERS = {SHIPPED["win64"]: "win64", SHIPPED["win32"]: "win32",
           "README.md": "README.md", "LICENSE": "LICENSE"}


@pytest.fixture(scope="module")
def package(pytestconfig):
    path = Path(pytestconfig.getoption("build"), "win64",
                "torvelin-%s-windows.zip" % VERSION)
    if not path.is_file():
        pytest.fail("not found: %s (run cpack --preset windows)" % path,
                    pytrace=False)
    with zipfile.ZipFile(path) as z:
        yield z


def test_members(package):
    assert (sorted(package.namelist()), package.testzip()) == (
        sorted([*MEMBERS, "SHA256SUMS"]), None)


@pytest.mark.parametrize("member", MEMBERS)
def test_member_is_shipped_file(package, pytestconfig, member):
    source = MEMBERS[member]
    path = (binary(pytestconfig, source) if source in SHIPPED
            else REPO / source)
    assert package.read(member) == path.read_bytes(), "stale package?"
