"""Two builds of the same commit give the same bytes, both executables and
the release ZIP, whichever way they are built; a source archive without git
gives them too when SOURCE_DATE_EPOCH dates it, and no ZIP at all when
nothing does; packing never takes an x86 executable built from older
sources; and only the test command's builds treat warnings as errors.

What is built is the repository's HEAD, cloned twice and archived once:
uncommitted changes are neither built nor compared, so commit first. One
clone is built preset by preset (win64, win32, then cpack --preset
windows) with warnings as errors, the other by the release workflow
without; they sit at paths of different lengths and build one after the
other (so at different times), in different time zones and under
different umasks. Slow: three full builds of both Windows executables.
"""

import filecmp
import os
import shutil
import subprocess
import zipfile

import pytest

from release import MEMBERS, ZIP_NAME
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
# clone folder: (steps, time zone, umask, TORVELIN_WERROR)
CLONES = {
    "a": (PRESETS, "UTC", 0o022, "ON"),
    "second-clone": (WORKFLOW, "Pacific/Kiritimati", 0o077, None),
}
# Where each way of building leaves the shipped files, under build/.
OUTPUTS = {
    "a": {"x64": "win64/torvelin.exe", "x86": "win32/torvelin.exe",
          "zip": "win64/" + ZIP_NAME},
    "second-clone": {"x64": "release/torvelin.exe",
                     "x86": "release/x86/torvelin.exe",
                     "zip": "release/" + ZIP_NAME},
}


def step(argv, cwd, env, umask=0o022, ok=True):
    """Runs a build step; returns its output (standard output and error)."""
    proc = subprocess.run(argv, cwd=cwd, env=env, umask=umask,
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT)
    out = proc.stdout.decode(errors="replace")
    assert (proc.returncode == 0) == ok, out
    return out


def base_env():
    env = dict(os.environ)
    for name in ("SOURCE_DATE_EPOCH", "TORVELIN_WERROR", "TORVELIN_SIGN_PKCS12",
                 "TORVELIN_SIGN_PASSWORD", "TORVELIN_SIGN_TIMESTAMP_URL"):
        env.pop(name, None)
    return env


@pytest.fixture(scope="module")
def tools():
    require("git", "cmake", "cpack", "zip", "sha256sum",
            *(MINGW[t] + "g++" for t in WINDOWS))


@pytest.fixture(scope="module")
def clones(tools, tmp_path_factory):
    """The source folders of the two clones, built."""
    tops = {}
    for name, (steps, tz, umask, werror) in CLONES.items():
        env = base_env()
        env["TZ"] = tz
        if werror:
            env["TORVELIN_WERROR"] = werror
        top = tmp_path_factory.mktemp("repro")
        step(["git", "clone", "-q", str(REPO), name], top, env, umask)
        for argv in steps:
            step(argv, top / name, env, umask)
        tops[name] = top / name
    return tops


def output(clones, clone, what):
    return clones[clone] / "build" / OUTPUTS[clone][what]


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


def flags(tree):
    """The compile flags of the shipped executable's own source in a tree."""
    return (tree / "CMakeFiles" / "torvelin.dir" / "flags.make").read_text()


def test_warnings_are_errors_only_in_the_test_command(clones):
    a, b = (clones[clone] / "build" for clone in CLONES)
    assert ["-Werror" in flags(tree) for tree in
            (a / "win64", a / "win32", b / "release", b / "release/x86")] == [
                True, True, False, False]


def test_packing_rebuilds_a_stale_x86_executable(clones, tmp_path):
    """After the x86 executable went stale (older than what it is built
    from), packing from the win64 tree builds it again."""
    env = base_env()
    zip_path, x86 = (output(clones, "a", what) for what in ("zip", "x86"))
    before = tmp_path / "before.zip"
    shutil.copy(zip_path, before)
    x86.write_bytes(b"stale")
    os.utime(x86, (0, 0))
    step(["cpack", "--preset", "windows"], clones["a"], env)
    assert filecmp.cmp(zip_path, before, shallow=False)


def test_packing_without_an_x86_build_says_what_to_run(clones):
    """The release workflow's clone has no win32 tree for the win64 preset
    to pack from."""
    env = base_env()
    tree = clones["second-clone"]
    step(["cmake", "--preset", "win64"], tree, env)
    out = step(["cpack", "--preset", "windows"], tree, env, ok=False)
    assert "run `cmake --preset win32` first" in " ".join(out.split())
    assert not (tree / "build" / "win64" / ZIP_NAME).exists()


# A source archive: git archive of HEAD, unpacked inside a git repository of
# its own (so that a git that looks upwards finds a commit that is not the
# archive's), and built and packed where git is not installed.


def without_git(tmp_path):
    """A PATH holding everything the current one does except git."""
    folder = tmp_path / "no-git-bin"
    folder.mkdir()
    for entry in os.environ["PATH"].split(os.pathsep):
        if not os.path.isdir(entry):
            continue
        for name in sorted(os.listdir(entry)):
            link = folder / name
            if (name == "git" or name.startswith("git-") or
                    os.path.lexists(link)):
                continue
            link.symlink_to(os.path.join(entry, name))
    return str(folder)


class Archive:
    def __init__(self, tmp_path):
        outer = tmp_path / "outer"
        outer.mkdir()
        env = base_env()
        step(["git", "init", "-q"], outer, env)
        step(["git", "-c", "user.name=t", "-c", "user.email=t@t", "commit",
              "-q", "--allow-empty", "-m", "not the archive's commit"],
             outer, env)
        self.src = outer / "src"
        self.src.mkdir()
        archive = subprocess.run(["git", "archive", "HEAD"], cwd=REPO,
                                 capture_output=True, check=True).stdout
        subprocess.run(["tar", "-x"], cwd=self.src, input=archive, check=True)
        self.epoch = subprocess.run(
            ["git", "log", "-1", "--format=%ct"], cwd=REPO,
            capture_output=True, check=True).stdout.decode().strip()
        self.zip = self.src / "build" / "release" / ZIP_NAME
        self.env = dict(env, PATH=without_git(tmp_path))
        for argv in (["cmake", "--preset", "release"],
                     ["cmake", "--build", "--preset", "release"]):
            step(argv, self.src, self.env)

    def pack(self, ok, epoch=True, **env):
        """cpack --preset release, with SOURCE_DATE_EPOCH set to the
        commit's time or not at all, and these variables changed; returns
        its output. An earlier run's ZIP lies at the release path before it,
        so that a ZIP there afterwards is one that it left."""
        env = dict(self.env, **env)
        if epoch:
            env["SOURCE_DATE_EPOCH"] = self.epoch
        self.zip.write_bytes(b"a ZIP of an earlier run")
        return " ".join(step(["cpack", "--preset", "release"], self.src, env,
                             ok=ok).split())


@pytest.fixture(scope="module")
def archive(tools, tmp_path_factory):
    return Archive(tmp_path_factory.mktemp("archive"))


def test_archive_gives_the_clones_zip(archive, clones):
    archive.pack(ok=True)
    assert filecmp.cmp(archive.zip, output(clones, "a", "zip"), shallow=False)


@pytest.mark.parametrize("git", ["no-git", "git-sees-another-repo"])
def test_archive_without_a_date_leaves_no_zip(archive, git):
    env = {} if git == "no-git" else {"PATH": os.environ["PATH"]}
    out = archive.pack(ok=False, epoch=False, **env)
    assert "No commit to date the ZIP by" in out, out
    assert "Set SOURCE_DATE_EPOCH" in out, out
    assert not archive.zip.exists()


def test_half_written_zip_is_never_left(archive, tmp_path):
    """A zip that fails after writing part of the ZIP."""
    fake = tmp_path / "bin"
    fake.mkdir()
    (fake / "zip").write_text('#!/bin/sh\necho half > "$3"\nexit 3\n')
    (fake / "zip").chmod(0o755)
    out = archive.pack(ok=False, PATH="%s:%s" % (fake, archive.env["PATH"]))
    assert "zip failed" in out, out
    assert not archive.zip.exists()
