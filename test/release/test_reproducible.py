"""Builds of HEAD (commit first) give the same bytes: two clones, preset by
preset and by the release workflow, at paths of different lengths, at
different times, in different time zones and under different umasks, and a
source archive without git dated by SOURCE_DATE_EPOCH. Packing never takes
a stale x86 executable, and leaves in the release folder this run's ZIP or,
when it fails at any step or is interrupted, nothing: not what earlier runs
left either."""

import filecmp
import json
import os
import re
import shutil
import signal
import subprocess
import zipfile

import pytest

from release import MEMBERS, ZIP_NAME, certificate, pkcs12, step
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
PACK_RELEASE = ["cpack", "--preset", "release"]
PACK_WINDOWS = PRESETS[-1]
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


def path_without(folder, *programs):
    """A folder of links to every program on PATH but those whose names
    start with one of programs, to stand for PATH."""
    folder.mkdir()
    for entry in filter(os.path.isdir, os.environ["PATH"].split(os.pathsep)):
        for name in os.listdir(entry):
            link = folder / name
            if not (name.startswith(programs) or os.path.lexists(link)):
                link.symlink_to(os.path.join(entry, name))
    return str(folder)


@pytest.fixture(scope="module")
def archive(tools, tmp_path_factory):
    """git archive of HEAD, unpacked in a repository of its own (whose
    commit is not the archive's) and built with a PATH without git: (the
    source folder, the commit's time, PATHs without git and without zip)."""
    top = tmp_path_factory.mktemp("archive")
    step(["git", "init", "-q"], top)
    step(["git", "-c", "user.name=t", "-c", "user.email=t@t", "commit", "-q",
          "--allow-empty", "-m", "not the archive's commit"], top)
    no_git = path_without(top / "no-git", "git")
    step(["git", "archive", "--prefix=src/", "-o", top / "src.tar", "HEAD"],
         REPO)
    step(["tar", "-xf", "src.tar"], top)
    commit_time = step(["git", "log", "-1", "--format=%ct"], REPO)
    for argv in (["cmake", "--preset", "release"],
                 ["cmake", "--build", "--preset", "release"]):
        step(argv, top / "src", PATH=no_git, SOURCE_DATE_EPOCH=commit_time)
    return (top / "src", commit_time, no_git,
            path_without(top / "no-zip", "zip"))


@pytest.fixture(scope="module")
def key(tmp_path_factory):
    """A PKCS#12 file with a self-signed certificate."""
    require("openssl")
    folder = tmp_path_factory.mktemp("key")
    certificate(folder, "signer", issuer=None)
    return pkcs12(folder, "signer", "the right password")


NO_DATE = "No commit to date the ZIP by: .* Set SOURCE_DATE_EPOCH"
NO_TIME = r"SOURCE_DATE_EPOCH \(%d\) is no time a ZIP can hold"
COMPILE_ERROR = r"tool/main\.cc:\d+:\d+: error"
NOT_HEAD = r"holds uncommitted changes: its sources are not those of commit "
# The release as a script makes it, in README.md's words.
SCRIPTED = ["bash", "-c", next(
    line for line in (REPO / "README.md").read_text().splitlines()
    if line.startswith("cmake --workflow --preset release && "))]
JSON_NAME = ZIP_NAME[:-len("zip")] + "json"
# What earlier runs left in the release folder before each packing: a ZIP
# of this version, a part of one, CPack's .json, and both of another
# version. A packing leaves this run's ZIP and .json, or nothing.
LEFT = [ZIP_NAME, ZIP_NAME + ".part", JSON_NAME,
        "torvelin-0.9.0-windows.zip", "torvelin-0.9.0-windows.json"]
# A packing: the source folder it packs in ("fresh": a new clone), what is
# done first ("interrupt SIG": SIG to the command's process group once zip
# has started; "mount": a tmpfs of 400 KiB in place of a folder, as root),
# the command and its settings (<name>: a value of the run's
# own; <key> is the PKCS#12 file's path relative to the source folder,
# which osslsigncode reads only when it is taken from there), the exit
# status (None: any but 0) and what it says: when it packs, the clones'
# ZIP; otherwise nothing at all. A source that does not compile shows that
# every check named comes before the build.
PACKINGS = {
    "does-not-compile": (
        "second-clone", "break", PACK_RELEASE, {}, 1,
        COMPILE_ERROR + ".* The build failed, as said above"),
    "does-not-compile-workflow": (
        "second-clone", "break", WORKFLOW[0], {}, 2, COMPILE_ERROR),
    "not-a-number-workflow": (
        "second-clone", "break", WORKFLOW[0], {"SOURCE_DATE_EPOCH": "abc"}, 1,
        r"SOURCE_DATE_EPOCH \(`abc`\) is not a number"),
    "no-zip": (
        "second-clone", "break", PACK_RELEASE, {"PATH": "<no-zip>"}, 1,
        r"Packing needs zip, which is not on PATH: install it \(apt-get "
        r"install zip\)"),
    "no-trees": (
        "second-clone", "rm win64 win32", PACK_WINDOWS, {}, 0, None),
    "x86-tree-deleted": (
        "second-clone", "rm release/x86", WORKFLOW[0], {}, 0, None),
    "cache-and-staging-deleted": (
        "second-clone", "rm release/CMakeCache.txt release/_CPack_Packages",
        WORKFLOW[0], {}, 0, None),
    "fresh-clone": ("fresh", None, PACK_RELEASE, {}, 0, None),
    "full-x86-tree": (
        "second-clone", "mount release/x86", PACK_RELEASE, {}, 1,
        "The build stopped for want of disk space: no space left in "
        ".*/build/release/x86"),
    "uncommitted-change": (
        "second-clone", "change", PACK_RELEASE, {}, 0, NOT_HEAD),
    "wrong-password": (
        "second-clone", None, WORKFLOW[0],
        {"TORVELIN_SIGN_PKCS12": "<key>", "TORVELIN_SIGN_PASSWORD": "wrong"},
        1, r"Could not sign torvelin-x64\.exe: .* Check TORVELIN_SIGN_PKCS12, "
        "TORVELIN_SIGN_PASSWORD and TORVELIN_SIGN_TIMESTAMP_URL"),
    "interrupt": ("second-clone", "interrupt INT", SCRIPTED,
                  {"PATH": "<slow-zip>"}, None, None),
    "terminate": ("second-clone", "interrupt TERM", SCRIPTED,
                  {"PATH": "<slow-zip>"}, None, None),
    "terminal-closed": ("second-clone", "interrupt HUP", SCRIPTED,
                        {"PATH": "<slow-zip>"}, None, None),
    "archive-no-git": (
        "archive", None, PACK_RELEASE, {"PATH": "<no-git>"}, 1, NO_DATE),
    "archive-in-a-clone": ("archive", None, PACK_RELEASE, {}, 1, NO_DATE),
    "before-1980": (
        "archive", None, PACK_RELEASE, {"SOURCE_DATE_EPOCH": "315532799"}, 1,
        NO_TIME % 315532799),
    "after-2107": (
        "archive", None, PACK_RELEASE, {"SOURCE_DATE_EPOCH": "4354819199"},
        1, NO_TIME % 4354819199),
    "failing-zip": (
        "archive", None, PACK_RELEASE,
        {"PATH": "<failing-zip>", "SOURCE_DATE_EPOCH": "<commit>"}, 1,
        "zip failed"),
    "archive-dated": (
        "archive", None, PACK_RELEASE,
        {"PATH": "<no-git>", "SOURCE_DATE_EPOCH": "<commit>"}, 0, None),
}


def tool(folder, name, script):
    """folder/name, a shell script, as a program."""
    folder.mkdir(exist_ok=True)
    (folder / name).write_text("#!/bin/sh\n" + script)
    (folder / name).chmod(0o755)
    return str(folder)


@pytest.mark.parametrize("tree, first, argv, env, status, message",
                         PACKINGS.values(), ids=PACKINGS)
def test_packing_packs_the_clones_zip_or_none(archive, clones, key, tmp_path,
                                              tree, first, argv, env, status,
                                              message):
    src, commit_time, no_git, no_zip = archive
    if tree == "fresh":
        step(["git", "clone", "-q", REPO, "fresh"], tmp_path)
    top = {"archive": src, "fresh": tmp_path / "fresh"}.get(tree) or clones[
        tree]
    folder = top / "build" / ("win64" if argv == PACK_WINDOWS else "release")
    first = (first or "-").split()
    for gone in (top / "build" / g for g in first[1:]
                 if first[0] in ("rm", "mount")):
        shutil.rmtree(gone) if gone.is_dir() else gone.unlink(missing_ok=True)
    if first[0] == "mount":
        if os.geteuid() != 0 and os.environ.get("CI") != "true":
            pytest.skip("needs root: mount")
        (top / "build" / first[1]).mkdir()
        step(["mount", "-t", "tmpfs", "-o", "size=400k", "tmpfs",
              first[1]], top / "build")
    folder.mkdir(parents=True, exist_ok=True)
    for name in LEFT:
        (folder / name).write_bytes(b"left by an earlier run")
    main = top / "tool" / "main.cc"
    if first in (["break"], ["change"]):
        main.write_text(main.read_text() + {
            "break": "this line does not compile\n", "change": "\n"}[first[0]])
    zip_program = shutil.which("zip")
    values = {"<key>": os.path.relpath(key, top), "<no-git>": no_git,
              "<no-zip>": no_zip, "<commit>": commit_time,
              "<failing-zip>": tool(tmp_path / "failing", "zip",
                                    'echo half > "$3"\nexit 3\n')
              + os.pathsep + no_git,
              "<slow-zip>": tool(tmp_path / "slow", "zip",
                                 'touch "$0.started"\nsleep 60\nexec %s "$@"\n'
                                 % zip_program) + os.pathsep
              + os.environ["PATH"]}
    interrupt = None
    if first[:1] == ["interrupt"]:
        interrupt = (getattr(signal, "SIG" + first[1]),
                     tmp_path / "slow" / "zip.started")
    try:
        out = step(argv, top, status, interrupt=interrupt,
                   **{k: values.get(v, v) for k, v in env.items()})
    finally:
        if first in (["break"], ["change"]):
            step(["git", "checkout", "--", "tool/main.cc"], top)
        if first[0] == "mount":
            step(["umount", first[1]], top / "build")
    assert not message or re.search(message, out), out
    if status != 0:
        assert argv[0] != "cpack" or "No ZIP was written." in out, out
        assert sorted(p.name for p in folder.glob("torvelin-*")) == [], out
    else:
        assert sorted(p.name for p in folder.glob("torvelin-*")) == [
            JSON_NAME, ZIP_NAME], out
        json.loads((folder / JSON_NAME).read_text())
        assert filecmp.cmp(folder / ZIP_NAME, output(clones, "a", "zip"),
                           shallow=False)
