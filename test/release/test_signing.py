"""Signing a release with a throwaway CA and a local RFC 3161 timestamp
server, packing from the release workflow's tree into a folder of its own."""

import http.server
import os
import threading
import zipfile
from pathlib import Path

import pytest

from expected import FORMS
from release import MEMBERS, SHIPPED, ZIP_NAME, step, sums
from support import binary, require, run

pytestmark = pytest.mark.release

PASSWORD = "throwaway password"
TSA_CONFIG = ("[tsa]\ndefault_tsa = t\n[t]\nserial = tsa-serial\n"
              "signer_digest = sha256\ndefault_policy = 1.2.3.4.1\n"
              "digests = sha256\n")


def certificate(folder, name, *extensions, issuer="ca"):
    """A key and certificate for name, issued by issuer (None: by itself)."""
    ca = ["-CA", issuer + ".pem", "-CAkey", issuer + ".key"] if issuer else []
    step(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days",
          "2", "-subj", "/CN=TORVELIN " + name, "-keyout", name + ".key",
          "-out", name + ".pem", *ca,
          *(a for e in extensions for a in ("-addext", e))], folder)


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
    """ca.pem, other.pem (a CA that signed nothing), signer.p12 and the
    timestamping certificate tsa.pem."""
    require("openssl")
    folder = tmp_path_factory.mktemp("pki")
    for name in ("ca", "other"):
        certificate(folder, name, "basicConstraints=critical,CA:TRUE",
                    "keyUsage=critical,keyCertSign", issuer=None)
    for name, usage in (("signer", "codeSigning"), ("tsa", "timeStamping")):
        certificate(folder, name, "basicConstraints=CA:FALSE",
                    "extendedKeyUsage=critical," + usage)
    step(["openssl", "pkcs12", "-export", "-inkey", "signer.key", "-in",
          "signer.pem", "-certfile", "ca.pem", "-out", "signer.p12",
          "-passout", "pass:" + PASSWORD], folder)
    (folder / "tsa.cnf").write_text(TSA_CONFIG)
    return folder


def pack(pytestconfig, out, ok=True, **env):
    """cpack from the release workflow's tree into out; its output."""
    require("cpack", "osslsigncode")
    tree = Path(pytestconfig.getoption("build")).resolve() / "release"
    return step(["cpack", "--config", tree / "CPackConfig.cmake", "-B", out],
                tree, ok, **env)


@pytest.fixture(scope="module")
def signed(pytestconfig, pki, tmp_path_factory):
    """The folder the signed ZIP was unpacked into."""
    out = tmp_path_factory.mktemp("signed")
    server = http.server.HTTPServer(("127.0.0.1", 0), Stamper)
    server.pki = pki
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        pack(pytestconfig, out, TORVELIN_SIGN_PKCS12=str(pki / "signer.p12"),
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
    for line in ["Message digest algorithm  : SHA256",
                 "Subject: /CN=TORVELIN signer",
                 "Timestamp Server Signature verification: ok"]:
        assert line in out
    assert run(["osslsigncode", "remove-signature", "-in", exe, "-out",
                unsigned]).returncode == 0
    built = binary(pytestconfig, target).read_bytes()
    assert exe.read_bytes() != built
    assert unsigned.read_bytes() == built


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


@pytest.mark.parametrize("given", ["TORVELIN_SIGN_PKCS12",
                                   "TORVELIN_SIGN_PASSWORD"])
def test_half_the_signing_settings_is_an_error(pytestconfig, tmp_path,
                                               given):
    out = pack(pytestconfig, tmp_path, ok=False, **{given: "x"})
    assert "Signing needs both TORVELIN_SIGN_PKCS12 and " \
           "TORVELIN_SIGN_PASSWORD" in out
    assert not (tmp_path / ZIP_NAME).exists()
