"""Two builds of the same commit give the same bytes: both executables and
the release ZIP, whose SHA256SUMS must check out.

What is built is the repository's HEAD, cloned twice: uncommitted changes
are neither built nor compared, so commit first. The clones sit at paths of
different lengths and build one after the other (so at different times),
in different time zones and under different umasks. Slow: two full builds
of both Windows presets.
"""

import filecmp
import os
import subprocess
import zipfile

import pytest

from support import MINGW, REPO, WINDOWS, require

pytestmark = pytest.mark.release

# clone folder: (time zone, umask) of its build
CLONES = {
    "a": ("UTC", 0o022),
    "second-clone": ("Pacific/Kiritimati", 0o077),
}
STEPS = [
    ["cmake", "--preset", "win64"],
    ["cmake", "--build", "--preset", "win64", "-j2"],
    ["cmake", "--preset", "win32"],
    ["cmake", "--build", "--preset", "win32", "-j2"],
    ["cpack", "--preset", "windows"],
]
# The ZIP's members in their order, with their Unix file modes.
MEMBERS = [
    ("LICENSE", 0o100644),
    ("README.md", 0o100644),
    ("SHA256SUMS", 0o100644),
    ("torvelin-x64.exe", 0o100755),
    ("torvelin-x86.exe", 0o100755),
]


def step(argv, cwd, env, umask):
    proc = subprocess.run(argv, cwd=cwd, env=env, umask=umask,
                          stdin=subprocess.DEVNULL, capture_output=True)
    assert proc.returncode == 0, (proc.stdout + proc.stderr).decode()


@pytest.fixture(scope="module")
def builds(tmp_path_factory):
    """The build folders of the two clones."""
    require("git", "cmake", "cpack", "zip", "sha256sum",
            *(MINGW[t] + "g++" for t in WINDOWS))
    env = dict(os.environ)
    env.pop("SOURCE_DATE_EPOCH", None)
    roots = []
    for name, (tz, umask) in CLONES.items():
        env["TZ"] = tz
        top = tmp_path_factory.mktemp("repro")
        step(["git", "clone", "-q", str(REPO), name], top, env, umask)
        for argv in STEPS:
            step(argv, top / name, env, umask)
        roots.append(top / name / "build")
    return roots


def outputs(root):
    """The shipped files of a build folder, by short name."""
    (zip_path,) = root.glob("win64/torvelin-*-windows.zip")
    return {"x64": root / "win64/torvelin.exe",
            "x86": root / "win32/torvelin.exe", "zip": zip_path}


@pytest.mark.parametrize("what", ["x64", "x86", "zip"])
def test_same_bytes(builds, what):
    a, b = (outputs(root)[what] for root in builds)
    assert filecmp.cmp(a, b, shallow=False), "%s and %s differ" % (a, b)


def test_zip_holds_the_release_and_its_sums(builds, tmp_path):
    out = outputs(builds[0])
    with zipfile.ZipFile(out["zip"]) as z:
        assert [(i.filename, i.external_attr >> 16)
                for i in z.infolist()] == MEMBERS
        z.extractall(tmp_path)
    check = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=tmp_path,
                           capture_output=True)
    assert (check.returncode, check.stdout, check.stderr) == (
        0, b"torvelin-x64.exe: OK\ntorvelin-x86.exe: OK\n", b"")
