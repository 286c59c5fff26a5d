"""Signing a release: with a PKCS#12 file and its password in the
environment, packing signs both executables (Authenticode, SHA-256, with an
RFC 3161 timestamp when a timestamp server is named) before it writes
SHA256SUMS. The certificates are made here, a throwaway CA with a
code-signing and a timestamping certificate, and the timestamp server is a
local one on the loopback address. The signatures verify against that CA
and no other; with the signature removed, the executables are byte for
byte the unsigned ones; and signed, they print under Wine exactly what the
unsigned ones print.

Packs from the release workflow's tree (BUILD/release) into a folder of
its own, leaving the unsigned ZIP of that tree as it is.
"""

import hashlib
import http.server
import os
import subprocess
import threading
import zipfile

import pytest

from support import binary, require, run
from expected import FORMS
from release import SHIPPED, ZIP_NAME

pytestmark = pytest.mark.release

PASSWORD = "throwaway password"
TSA_CONFIG = """\
[tsa]
default_tsa = test_tsa
[test_tsa]
serial = {folder}/tsa-serial
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
"""


def openssl(*args, cwd):
    proc = subprocess.run(["openssl", *args], cwd=cwd, capture_output=True)
    assert proc.returncode == 0, proc.stderr.decode()


def make_ca(folder, name):
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
            "-subj", "/CN=TORVELIN %s" % name, "-keyout", name + ".key",
            "-out", name + ".pem",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=folder)
    return folder / (name + ".pem")


def make_cert(folder, name, usage, serial):
    """A certificate of the test CA for one extended key usage."""
    (folder / (name + ".ext")).write_text(
        "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
        "extendedKeyUsage=critical,%s\n" % usage)
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj",
            "/CN=TORVELIN test %s" % name, "-keyout", name + ".key",
            "-out", name + ".csr", cwd=folder)
    openssl("x509", "-req", "-days", "1", "-in", name + ".csr", "-CA",
            "ca.pem", "-CAkey", "ca.key", "-set_serial",
            str(serial), "-extfile", name + ".ext", "-out",
            name + ".pem", cwd=folder)


class TimestampServer(http.server.ThreadingHTTPServer):
    """An RFC 3161 timestamp server on the loopback address: openssl ts
    answers each request with the test CA's timestamping certificate."""

    def __init__(self, folder):
        super().__init__(("127.0.0.1", 0), self.Handler)
        self.folder = folder
        (folder / "tsa.cnf").write_text(TSA_CONFIG.format(folder=folder))
        self.url = "http://127.0.0.1:%d/" % self.server_address[1]

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            folder = self.server.folder
            query = self.rfile.read(int(self.headers["Content-Length"]))
            (folder / "query.tsq").write_bytes(query)
            proc = subprocess.run(
                ["openssl", "ts", "-reply", "-config", "tsa.cnf",
                 "-queryfile", "query.tsq", "-signer", "tsa.pem", "-inkey",
                 "tsa.key", "-chain", "ca.pem", "-out", "reply.tsr"],
                cwd=folder, capture_output=True, timeout=60)
            if proc.returncode != 0:
                self.send_error(500, proc.stderr.decode()[-200:])
                return
            reply = (folder / "reply.tsr").read_bytes()
            self.send_response(200)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(reply)))
            self.end_headers()
            self.wfile.write(reply)

        def log_message(self, *args):
            pass


@pytest.fixture(scope="module")
def pki(tmp_path_factory):
    """The folder of the test CA (ca.pem), the signer's PKCS#12 file
    (signer.p12) and the timestamping certificate; other.pem is a CA that
    signed nothing."""
    require("openssl")
    folder = tmp_path_factory.mktemp("pki")
    make_ca(folder, "ca")
    make_ca(folder, "other")
    make_cert(folder, "signer", "codeSigning", 1001)
    make_cert(folder, "tsa", "timeStamping", 1002)
    openssl("pkcs12", "-export", "-inkey", "signer.key", "-in", "signer.pem",
            "-certfile", "ca.pem", "-out", "signer.p12", "-passout",
            "pass:" + PASSWORD, cwd=folder)
    return folder


@pytest.fixture(scope="module")
def tsa(pki):
    server = TimestampServer(pki)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    yield server.url
    server.shutdown()
    server.server_close()
    thread.join(timeout=10)


def pack(pytestconfig, out, env):
    """cpack from the release workflow's tree into out, with env added to
    the environment."""
    require("cpack", "osslsigncode")
    tree = os.path.abspath(os.path.join(pytestconfig.getoption("build"),
                                        "release"))
    config = os.path.join(tree, "CPackConfig.cmake")
    if not os.path.isfile(config):
        pytest.fail("not configured: %s (run cmake --workflow --preset "
                    "release)" % tree, pytrace=False)
    full = dict(os.environ)
    for name in ("TORVELIN_SIGN_PKCS12", "TORVELIN_SIGN_PASSWORD",
                 "TORVELIN_SIGN_TIMESTAMP_URL"):
        full.pop(name, None)
    full.update(env)
    return subprocess.run(["cpack", "--config", config, "-B", str(out)],
                          cwd=tree, env=full, stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=600)


@pytest.fixture(scope="module")
def signed(pytestconfig, pki, tsa, tmp_path_factory):
    """The folder the signed ZIP was unpacked into."""
    out = tmp_path_factory.mktemp("signed")
    proc = pack(pytestconfig, out / "pack", {
        "TORVELIN_SIGN_PKCS12": str(pki / "signer.p12"),
        "TORVELIN_SIGN_PASSWORD": PASSWORD,
        "TORVELIN_SIGN_TIMESTAMP_URL": tsa})
    assert proc.returncode == 0, (proc.stdout + proc.stderr).decode()
    with zipfile.ZipFile(out / "pack" / ZIP_NAME) as z:
        z.extractall(out / "zip")
    return out / "zip"


def verify(exe, ca, tsa_ca):
    return run(["osslsigncode", "verify", "-CAfile", str(ca), "-TSA-CAfile",
                str(tsa_ca), "-in", str(exe)])


@pytest.mark.parametrize("target", SHIPPED)
def test_signature_verifies_against_the_ca(signed, pki, target):
    proc = verify(signed / SHIPPED[target], pki / "ca.pem", pki / "ca.pem")
    out = proc.stdout.decode()
    assert proc.returncode == 0, out + proc.stderr.decode()
    for line in ["Message digest algorithm  : SHA256",
                 "Subject: /CN=TORVELIN test signer",
                 "Timestamp Server Signature verification: ok",
                 "Signature verification: ok"]:
        assert line in out


@pytest.mark.parametrize("target", SHIPPED)
def test_signature_fails_against_another_ca(signed, pki, target):
    proc = verify(signed / SHIPPED[target], pki / "other.pem",
                  pki / "ca.pem")
    assert proc.returncode != 0, proc.stdout.decode()


@pytest.mark.parametrize("target", SHIPPED)
def test_removed_signature_gives_the_unsigned_bytes(signed, pytestconfig,
                                                    tmp_path, target):
    unsigned = tmp_path / "unsigned.exe"
    proc = run(["osslsigncode", "remove-signature", "-in",
                str(signed / SHIPPED[target]), "-out", str(unsigned)])
    assert proc.returncode == 0, proc.stdout + proc.stderr
    built = binary(pytestconfig, target).read_bytes()
    assert (signed / SHIPPED[target]).read_bytes() != built
    assert unsigned.read_bytes() == built


def test_sums_are_of_the_signed_executables(signed):
    want = "".join("%s  %s\n" % (hashlib.sha256(
        (signed / name).read_bytes()).hexdigest(), name)
        for name in SHIPPED.values())
    assert (signed / "SHA256SUMS").read_text() == want
    assert sorted(os.listdir(signed)) == sorted(
        ["LICENSE", "README.txt", "SHA256SUMS", *SHIPPED.values()])


@pytest.mark.parametrize("form", [name for name, _ in FORMS])
@pytest.mark.parametrize("target", SHIPPED)
def test_signed_prints_what_unsigned_prints(signed, pytestconfig, wine,
                                            tmp_path, target, form):
    args = dict(FORMS)[form]
    results = []
    for kind, source in [("signed", signed / SHIPPED[target]),
                         ("unsigned", binary(pytestconfig, target))]:
        folder = tmp_path / kind
        folder.mkdir()
        exe = folder / "torvelin.exe"
        exe.write_bytes(source.read_bytes())
        proc = wine.run([str(exe)] + args, cwd=folder)
        results.append((proc.stdout, proc.stderr, proc.returncode))
    assert results[0] == results[1]
    assert results[0][2] == 0 and results[0][0], results[0]


@pytest.mark.parametrize("missing", ["TORVELIN_SIGN_PKCS12",
                                     "TORVELIN_SIGN_PASSWORD"])
def test_half_the_signing_settings_is_an_error(pytestconfig, pki, tmp_path,
                                               missing):
    env = {"TORVELIN_SIGN_PKCS12": str(pki / "signer.p12"),
           "TORVELIN_SIGN_PASSWORD": PASSWORD}
    del env[missing]
    proc = pack(pytestconfig, tmp_path, env)
    out = " ".join((proc.stdout + proc.stderr).decode().split())
    assert proc.returncode != 0, out
    assert "Signing needs both TORVELIN_SIGN_PKCS12 and " \
           "TORVELIN_SIGN_PASSWORD" in out
    assert not (tmp_path / ZIP_NAME).exists()

