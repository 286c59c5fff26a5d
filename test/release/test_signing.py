"""Signing a release with a throwaway CA and a local RFC 3161 timestamp
server, packing from the release workflow's tree into a folder of its own;
settings that cannot sign, and a folder that cannot take the ZIP, leave no
ZIP and no part of one."""

import http.server
import os
import re
import subprocess
import threading
import zipfile
from pathlib import Path

import pytest

from expected import FORMS
from release import (MEMBERS, SHIPPED, ZIP_NAME, certificate, pkcs12, step,
                     sums)
from support import REPO, binary, require, run

pytestmark = pytest.mark.release

PASSWORD = "throwaway password"
TSA_CONFIG = ("[tsa]\ndefault_tsa = t\n[t]\nserial = tsa-serial\n"
              "signer_digest = sha256\ndefault_policy = 1.2.3.4.1\n"
              "digests = sha256\n")


class Stamper(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        (self.server.pki / "query.tsq").write_bytes(query)
        step(["openssl", "ts", "-reply", "-config", "tsa.cnf", "-queryfile",
              "query.tsq", "-signer", "tsa.pem", "-inkey", "tsa.key",
              "-chain", "ca.pem", "-out", "reply.tsr"], self.server.pki)
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.end_headers()
        self.wfile.write((self.server.pki / "reply.tsr").read_bytes())


@pytest.fixture(scope="module")
def pki(tmp_path_factory):
    """ca.pem, other.pem (a CA that signed nothing), signer.p12, the same
    without a password in bare.p12, and the timestamping certificate
    tsa.pem."""
    require("openssl")
    folder = tmp_path_factory.mktemp("pki")
    for name in ("ca", "other"):
        certificate(folder, name, "basicConstraints=critical,CA:TRUE",
                    "keyUsage=critical,keyCertSign", issuer=None)
    for name, usage in (("signer", "codeSigning"), ("tsa", "timeStamping")):
        certificate(folder, name, "basicConstraints=CA:FALSE",
                    "extendedKeyUsage=critical," + usage)
    pkcs12(folder, "signer", PASSWORD, "ca.pem")
    pkcs12(folder, "signer", "", "ca.pem", out="bare")
    (folder / "tsa.cnf").write_text(TSA_CONFIG)
    return folder


def pack(pytestconfig, out, caller, status=0, **env):
    """cpack from the release workflow's tree into out, as `cpack --preset`
    runs it: started by a shell in caller, it works in the tree. Its
    output."""
    require("cpack", "osslsigncode")
    tree = Path(pytestconfig.getoption("build")).resolve() / "release"
    return step(["cpack", "--config", tree / "CPackConfig.cmake", "-B", out],
                tree, status, **{"PWD": str(caller), **env})


@pytest.fixture(scope="module")
def signed(pytestconfig, pki, tmp_path_factory):
    """The folder the signed ZIP was unpacked into, signed with a path of
    the PKCS#12 file relative to the caller's folder."""
    out = tmp_path_factory.mktemp("signed")
    server = http.server.HTTPServer(("127.0.0.1", 0), Stamper)
    server.pki = pki
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        pack(pytestconfig, out, pki, TORVELIN_SIGN_PKCS12="signer.p12",
             TORVELIN_SIGN_PASSWORD=PASSWORD,
             TORVELIN_SIGN_TIMESTAMP_URL="http://127.0.0.1:%d/"
             % server.server_port)
    finally:
        server.shutdown()
    zipfile.ZipFile(out / ZIP_NAME).extractall(out / "zip")
    return out / "zip"


@pytest.mark.parametrize("target", SHIPPED)
def test_signature(signed, pki, pytestconfig, tmp_path, target):
    """Verifies against the CA and no other; removed, leaves the build."""
    exe, unsigned = signed / SHIPPED[target], tmp_path / "unsigned.exe"
    verified = [run(["osslsigncode", "verify", "-CAfile", pki / ca,
                     "-TSA-CAfile", pki / "ca.pem", "-in", exe])
                for ca in ("ca.pem", "other.pem")]
    out = verified[0].stdout.decode()
    assert [p.returncode == 0 for p in verified] == [True, False], out
    # OpenSSL 3.0 writes a subject "/CN=...", later releases "CN=...".
    for line in [r"Message digest algorithm\s*: SHA256",
                 r"Subject: /?CN\s?=\s?TORVELIN signer\n",
                 r"Timestamp Server Signature verification: ok"]:
        assert re.search(line, out), (line, out)
    assert run(["osslsigncode", "remove-signature", "-in", exe, "-out",
                unsigned]).returncode == 0
    built = binary(pytestconfig, target).read_bytes()
    assert exe.read_bytes() != built
    assert unsigned.read_bytes() == built


# The signature checks that README.md gives, in its words.
VERIFY = re.findall(r"^osslsigncode verify .*$",
                    (REPO / "README.md").read_text(), re.MULTILINE)
SYSTEM_CAS = "/etc/ssl/certs/ca-certificates.crt"


@pytest.mark.parametrize("command", VERIFY)
def test_readmes_signature_check(signed, pki, tmp_path, command):
    """The private CA's form with ca.pem beside the executable; the plain
    form with the CA among the system's CA certificates (those of
    ca-certificates, in a mount namespace of its own, as root)."""
    assert len(VERIFY) == 2
    for source in (signed / "torvelin-x64.exe", pki / "ca.pem"):
        (tmp_path / source.name).write_bytes(source.read_bytes())
    argv = ["sh", "-c", command]
    if "-CAfile" not in command:
        assert os.path.exists(SYSTEM_CAS), "ca-certificates is not installed"
        trusted = tmp_path / "trusted.crt"
        trusted.write_bytes(Path(SYSTEM_CAS).read_bytes()
                            + (pki / "ca.pem").read_bytes())
        as_root(["true"])
        argv = ["unshare", "-m", "sh", "-c", 'mount --bind "$0" "$1" && '
                + command, trusted, SYSTEM_CAS]
        # In a chroot, whose root is no mount point, unshare cannot keep
        # the namespace's mounts from the system's.
        alone = run(argv[:2] + ["true"])
        if alone.returncode:
            pytest.skip("no mount namespace of its own here, so the "
                        "system's CA certificates cannot be stood in for: "
                        + alone.stderr.decode().strip())
    proc = run(argv, cwd=tmp_path)
    out = proc.stdout.decode() + proc.stderr.decode()
    assert proc.returncode == 0, out
    for line in ("\nSignature verification: ok", "Timestamp Server Signature "
                 "verification: ok", "\nSucceeded"):
        assert line in out, out


def test_sums_are_of_the_signed_executables(signed):
    assert sorted(os.listdir(signed)) == sorted(n for n, _ in MEMBERS)
    assert (signed / "SHA256SUMS").read_text() == sums(
        lambda name: (signed / name).read_bytes())


@pytest.mark.parametrize("args", [args for _, args in FORMS],
                         ids=[name for name, _ in FORMS])
@pytest.mark.parametrize("target", SHIPPED)
def test_signed_prints_what_unsigned_prints(signed, pytestconfig, wine,
                                            tmp_path, target, args):
    results = []
    for source in (signed / SHIPPED[target], binary(pytestconfig, target)):
        folder = tmp_path / str(len(results))
        folder.mkdir()
        (folder / "torvelin.exe").write_bytes(source.read_bytes())
        proc = wine.run([folder / "torvelin.exe", *args], cwd=folder)
        results.append((proc.stdout, proc.stderr, proc.returncode))
    assert results[0] == results[1]
    assert results[0][2] == 0 and results[0][0], results[0]


KEY, WORD, URL = ("TORVELIN_SIGN_" + n for n in (
    "PKCS12", "PASSWORD", "TIMESTAMP_URL"))
NEEDS = ("Signing needs both %s and %s (empty for a PKCS#12 file without "
         "one). Set: %%s; not set: %%s. Set none of the three for an unsigned "
         "release." % (KEY, WORD))


def test_a_key_without_a_password_signs(pytestconfig, pki, tmp_path):
    pack(pytestconfig, tmp_path, pki, **{KEY: "bare.p12", WORD: ""})
    zipfile.ZipFile(tmp_path / ZIP_NAME).extractall(tmp_path)
    assert [run(["osslsigncode", "verify", "-CAfile", pki / "ca.pem", "-in",
                 tmp_path / exe]).returncode for exe in SHIPPED.values()] == [
                     0, 0]


EARLIER = b"left by an earlier run"


def as_root(argv):
    if os.geteuid() != 0 and os.environ.get("CI") != "true":
        pytest.skip("needs root: " + argv[0])
    subprocess.run(argv, check=True)


CLEAR = ("Could not remove what earlier runs left in the release folder: "
         "{%s} (still there, and not this run's)")


@pytest.mark.parametrize("env, message", [
    ({KEY: "x"}, NEEDS % (KEY, WORD)),
    ({WORD: "x"}, NEEDS % (WORD, KEY)),
    ({URL: "http://127.0.0.1:9/"}, NEEDS % (URL, KEY + ", " + WORD)),
    ({KEY: "x", URL: ""}, NEEDS % (KEY + ", " + URL, WORD)),
    ({KEY: "signer.p12", WORD: PASSWORD},
     "%s (`signer.p12`) names no file, taken from {caller}: give" % KEY),
    ({KEY: "/nonexistent/signer.p12", WORD: PASSWORD},
     "%s (`/nonexistent/signer.p12`) names no file: give" % KEY),
    ({KEY: "", WORD: PASSWORD}, "%s (``) names no file" % KEY),
    ({KEY: "signer.p12", WORD: PASSWORD, "PWD": None},
     "%s (`signer.p12`) is a relative path, and PWD names no folder" % KEY),
    ({"folder": "full"}, "Could not put {zip} in place (No space left on "
     "device): make room in its folder"),
    ({"folder": "small"}, "No room to stage the release: "
     "{caller}/_CPack_Packages needs"),
    ({"folder": "zip"}, CLEAR % "zip"),
    ({"folder": "json"}, CLEAR % "json"),
    ({"folder": "part"}, CLEAR % "part"),
], ids=["key", "password", "timestamp-url", "key-and-empty-url",
        "key-not-in-the-callers-folder", "absolute-key-missing", "empty-key",
        "relative-key-no-pwd", "full-folder", "full-staging-folder",
        "immutable-zip", "immutable-json", "immutable-part"])
def test_packings_that_cannot_be_made_are_an_error(pytestconfig, tmp_path,
                                                   env, message):
    """Each starts with what an earlier run left (a ZIP, a part of one and
    CPack's .json) and leaves nothing but what it cannot remove. A release
    folder that is full (a tmpfs of 16 KiB, CPack's own files kept
    elsewhere) or that stages too (200 KiB), or whose earlier file is
    immutable (chattr +i), needs root."""
    folder = env.get("folder")
    out = tmp_path / "out"
    out.mkdir()
    left = {"zip": out / ZIP_NAME, "part": out / (ZIP_NAME + ".part"),
            "json": out / (ZIP_NAME[:-3] + "json")}
    try:
        if folder in ("full", "small"):
            as_root(["mount", "-t", "tmpfs", "-o", "size=%dk" % {
                "full": 16, "small": 200}[folder], "tmpfs", out])
        if folder == "full":
            (out / "_CPack_Packages").symlink_to(tmp_path)
        for path in left.values():
            path.write_bytes(EARLIER)
        if folder in left:
            as_root(["chattr", "+i", left[folder]])
        text = pack(pytestconfig, out, out, 1,
                    **{k: v for k, v in env.items() if k != "folder"})
        assert re.search(re.escape(message.format(caller=out, **left))
                         + ".* No ZIP was written", text), text
        assert sorted(out.glob("torvelin-*")) == (
            [left[folder]] if folder in left else []), text
    finally:
        if folder in ("full", "small") and os.path.ismount(out):
            subprocess.run(["umount", out], check=True)
        if folder in left and left[folder].exists():
            subprocess.run(["chattr", "-i", left[folder]], check=True)
