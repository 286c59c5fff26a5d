"""The release ZIP of `cmake --workflow --preset release` holds exactly the
shipped files: the executables byte for byte those of the win64 and win32
presets, their SHA256SUMS, the LICENSE, and a README.txt that Notepad shows
and that is written for the people who download the tool."""

import hashlib
import re
import zipfile

import pytest

from expected import USAGE_LINES
from release import MEMBERS, SHIPPED, configured_readme, release_zip
from support import REPO, binary

pytestmark = pytest.mark.release

# Words of the developer's page that have no place in the user's.
DEVELOPER_WORDS = ["cmake", "ctest", "cpack", "pytest", "apt", "debian",
                   "wine", "mingw", "preset", "scripts/", "build/", "git"]


@pytest.fixture(scope="module")
def package(pytestconfig):
    path = release_zip(pytestconfig.getoption("build"))
    if not path.is_file():
        pytest.fail("not found: %s (run cmake --workflow --preset release)"
                    % path, pytrace=False)
    with zipfile.ZipFile(path) as z:
        yield z


@pytest.fixture(scope="module")
def readme(package):
    return package.read("README.txt")


def test_members(package):
    assert ([(i.filename, i.external_attr >> 16) for i in package.infolist()],
            package.testzip()) == (MEMBERS, None)


@pytest.mark.parametrize("target", SHIPPED)
def test_executable_is_the_presets_build(package, pytestconfig, target):
    built = binary(pytestconfig, target).read_bytes()
    assert package.read(SHIPPED[target]) == built, "stale package?"


def test_sums(package):
    want = "".join("%s  %s\n" % (hashlib.sha256(package.read(name))
                                 .hexdigest(), name)
                   for name in SHIPPED.values())
    assert package.read("SHA256SUMS").decode() == want


def test_license(package):
    assert package.read("LICENSE") == (REPO / "LICENSE").read_bytes()


def test_readme_is_the_configured_one(readme):
    assert readme == configured_readme()


def test_readme_is_ascii_with_crlf_lines(readme):
    assert readme.isascii()
    assert readme.endswith(b"\r\n")
    lines = readme[:-2].split(b"\r\n")
    assert not [n for n, line in enumerate(lines, 1)
                if b"\r" in line or b"\n" in line or len(line) > 76]


def test_readme_is_for_users(readme):
    text = readme.decode()
    found = [w for w in DEVELOPER_WORDS
             if re.search(r"(?<![\w-])%s" % re.escape(w), text, re.I)]
    assert found == []
    # What a user needs: both programs, the switches, the tool's own batch
    # example, the exit status, how to check the download, the licence.
    for needed in [*SHIPPED.values(), "/O", "/B", "/P", "/A",
                   *USAGE_LINES[14:17], "ERRORLEVEL", "SHA256SUMS",
                   "certutil -hashfile", "Get-FileHash",
                   "Get-AuthenticodeSignature", "signtool verify /pa",
                   "MIT License"]:
        assert needed in text
