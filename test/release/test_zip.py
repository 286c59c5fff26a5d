"""The release workflow's ZIP, byte for byte (its LICENSE and README.txt
with CR LF line ends), and its README.txt."""

import re
import zipfile
from pathlib import Path

import pytest

from expected import USAGE_LINES
from release import MEMBERS, SHIPPED, ZIP_NAME, sums
from support import binary, configured

pytestmark = pytest.mark.release

DEVELOPER_WORDS = ["cmake", "ctest", "cpack", "pytest", "apt", "debian",
                   "wine", "mingw", "preset", "scripts/", "build/", "git"]
USER_WORDS = [*SHIPPED.values(), "/O", "/B", "/P", "/A", *USAGE_LINES[14:17],
              "* or ?", "ERRORLEVEL", "SHA256SUMS", "certutil -hashfile",
              "Get-FileHash", "Get-AuthenticodeSignature",
              "signtool verify /pa", "MIT License"]


@pytest.fixture(scope="module")
def package(pytestconfig):
    with zipfile.ZipFile(Path(pytestconfig.getoption("build"), "release",
                              ZIP_NAME)) as z:
        yield z


def test_members(package):
    assert ([(i.filename, i.external_attr >> 16) for i in package.infolist()],
            package.testzip()) == (MEMBERS, None)


@pytest.mark.parametrize("name", [name for name, _ in MEMBERS])
def test_member_bytes(package, pytestconfig, name):
    want = {"LICENSE": lambda: configured("LICENSE", crlf=True),
            "README.txt": lambda: configured("dist/README.txt", crlf=True),
            "SHA256SUMS": lambda: sums(package.read).encode(),
            **{exe: binary(pytestconfig, target).read_bytes
               for target, exe in SHIPPED.items()}}[name]
    assert package.read(name) == want()


def test_readme_is_ascii_with_crlf_lines_for_users(package):
    readme = package.read("README.txt")
    lines = readme.split(b"\r\n")
    assert readme.isascii() and lines.pop() == b""
    assert [n for n in lines if b"\r" in n or b"\n" in n or len(n) > 76] == []
    assert [w for w in DEVELOPER_WORDS if re.search(
        r"(?<![\w-])" + re.escape(w), readme.decode(), re.I)] == []
    assert [w for w in USER_WORDS if w not in readme.decode()] == []
