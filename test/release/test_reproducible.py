"""Builds of HEAD (commit first) give the same bytes: two clones, preset by
preset and by the release workflow, at paths of different lengths, at
different times, in different time zones and under different umasks, and a
source archive without git dated by SOURCE_DATE_EPOCH. Packing never takes
a stale x86 executable and leaves no ZIP when it fails."""

import filecmp
import os
import re
import shutil
import subprocess
import zipfile

import pytest

from release import MEMBERS, ZIP_NAME, step
from support import MINGW, REPO, WINDOWS, require

pytestmark = pytest.mark.release

PRESETS = [
    ["cmake", "--preset", "win64"],
    ["cmake", "--build", "--preset", "win64", "-j2"],
    ["cmake", "--preset", "win32"],
    ["cmake", "--build", "--preset", "win32", "-j2"],
    ["cpack", "--preset", "windows"],
]
WORKFLOW = [["cmake", "--workflow", "--preset", "release"]]
# clone: its steps, umask, environment, x64 and x86 trees (the ZIP in x64's)
CLONES = {
    "a": (PRESETS, 0o022, {"TZ": "UTC", "TORVELIN_WERROR": "ON"},
          "win64", "win32"),
    "second-clone": (WORKFLOW, 0o077, {"TZ": "Pacific/Kiritimati"},
                     "release", "release/x86"),
}


@pytest.fixture(scope="module")
def tools():
    require("git", "cmake", "cpack", "zip", "sha256sum",
            *(MINGW[t] + "g++" for t in WINDOWS))


@pytest.fixture(scope="module")
def clones(tools, tmp_path_factory):
    """The source folders of the two clones, built."""
    tops = {}
    for name, (steps, umask, env, _, _) in CLONES.items():
        top = tmp_path_factory.mktemp("repro")
        step(["git", "clone", "-q", REPO, name], top, umask=umask, **env)
        for argv in steps:
            step(argv, top / name, umask=umask, **env)
        tops[name] = top / name
    return tops


def output(clones, clone, what):
    x64, x86 = CLONES[clone][3:]
    return clones[clone] / "build" / {
        "x64": x64 + "/torvelin.exe", "x86": x86 + "/torvelin.exe",
        "zip": x64 + "/" + ZIP_NAME}[what]


@pytest.mark.parametrize("what", ["x64", "x86", "zip"])
def test_same_bytes(clones, what):
    a, b = (output(clones, clone, what) for clone in CLONES)
    assert filecmp.cmp(a, b, shallow=False), "%s and %s differ" % (a, b)


def test_zip_holds_the_release_and_its_sums(clones, tmp_path):
    with zipfile.ZipFile(output(clones, "a", "zip")) as z:
        assert [(i.filename, i.external_attr >> 16)
                for i in z.infolist()] == MEMBERS
        z.extractall(tmp_path)
    check = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=tmp_path,
                           capture_output=True)
    assert (check.returncode, check.stdout, check.stderr) == (
        0, b"torvelin-x64.exe: OK\ntorvelin-x86.exe: OK\n", b"")


def test_warnings_are_errors_only_with_torvelin_werror(clones):
    assert ["-Werror" in (output(clones, clone, what).parent / "CMakeFiles"
                          / "torvelin.dir" / "flags.make").read_text()
            for clone in CLONES for what in ("x64", "x86")] == [
                True, True, False, False]


def test_packing_rebuilds_a_stale_x86_executable(clones, tmp_path):
    zip_path, x86 = (output(clones, "a", what) for what in ("zip", "x86"))
    shutil.copy(zip_path, tmp_path / "before.zip")
    x86.write_bytes(b"stale")
    os.utime(x86, (0, 0))
    step(["cpack", "--preset", "windows"], clones["a"])
    assert filecmp.cmp(zip_path, tmp_path / "before.zip", shallow=False)


def test_packing_without_an_x86_build_says_what_to_run(clones):
    tree = clones["second-clone"]
    step(["cmake", "--preset", "win64"], tree)
    out = step(["cpack", "--preset", "windows"], tree, ok=False)
    assert "run `cmake --preset win32` first" in out
    assert not (tree / "build" / "win64" / ZIP_NAME).exists()


@pytest.fixture(scope="module")
def archive(tools, tmp_path_factory):
    """git archive of HEAD, unpacked in a repository of its own (whose
    commit is not the archive's) and built with a PATH without git: (the
    source folder, that PATH, the commit's time)."""
    top = tmp_path_factory.mktemp("archive")
    step(["git", "init", "-q"], top)
    step(["git", "-c", "user.name=t", "-c", "user.email=t@t", "commit", "-q",
          "--allow-empty", "-m", "not the archive's commit"], top)
    no_git = top / "no-git"
    no_git.mkdir()
    for entry in filter(os.path.isdir, os.environ["PATH"].split(os.pathsep)):
        for name in os.listdir(entry):
            link = no_git / name
            if not (name.startswith("git") or os.path.lexists(link)):
                link.symlink_to(os.path.join(entry, name))
    step(["git", "archive", "--prefix=src/", "-o", top / "src.tar", "HEAD"],
         REPO)
    step(["tar", "-xf", "src.tar"], top)
    for argv in (["cmake", "--preset", "release"],
                 ["cmake", "--build", "--preset", "release"]):
        step(argv, top / "src", PATH=str(no_git))
    return (top / "src", str(no_git),
            step(["git", "log", "-1", "--format=%ct"], REPO))


NO_DATE = "No commit to date the ZIP by: .* Set SOURCE_DATE_EPOCH"


@pytest.mark.parametrize("path, epoch, message", [
    ("no-git", True, None), ("no-git", False, NO_DATE),
    ("git", False, NO_DATE), ("failing-zip", True, "zip failed")])
def test_archive_packs_the_clones_zip_or_none(archive, clones, tmp_path,
                                              path, epoch, message):
    src, no_git, commit_time = archive
    zip_path = src / "build" / "release" / ZIP_NAME
    zip_path.write_bytes(b"a ZIP of an earlier run")
    (tmp_path / "zip").write_text('#!/bin/sh\necho half > "$3"\nexit 3\n')
    (tmp_path / "zip").chmod(0o755)
    env = {"PATH": {"no-git": no_git, "git": os.environ["PATH"],
                    "failing-zip": "%s:%s" % (tmp_path, no_git)}[path]}
    if epoch:
        env["SOURCE_DATE_EPOCH"] = commit_time
    out = step(["cpack", "--preset", "release"], src, ok=not message, **env)
    if message:
        assert re.search(message, out) and not zip_path.exists(), out
    else:
        assert filecmp.cmp(zip_path, output(clones, "a", "zip"), shallow=False)
