"""What a release is made of, and the build steps that make one."""

import hashlib
import os
import subprocess

from support import VERSION

# The version in four parts, as manifests and version resources write it.
VERSION4 = ".".join((VERSION.split(".") + ["0"] * 4)[:4])
SHIPPED = {"win64": "torvelin-x64.exe", "win32": "torvelin-x86.exe"}
ZIP_NAME = "torvelin-%s-windows.zip" % VERSION
# The ZIP's members in their order, with their Unix file modes.
MEMBERS = ([(n, 0o100644) for n in ("LICENSE", "README.txt", "SHA256SUMS")]
           + [(n, 0o100755) for n in SHIPPED.values()])


def sums(read):
    """SHA256SUMS of the executables whose bytes read(name) gives."""
    return "".join("%s  %s\n" % (hashlib.sha256(read(n)).hexdigest(), n)
                   for n in SHIPPED.values())


def step(argv, cwd, status=0, umask=0o022, **env):
    """Runs a build step in cwd as a shell there would (PWD names cwd
    unless env names another folder), with env added to an environment
    free of the release's settings (a value of None: unset); checks its
    exit status and returns its output, blanks squeezed."""
    env = {**{k: v for k, v in os.environ.items() if not k.startswith(
        ("TORVELIN_", "SOURCE_DATE_EPOCH"))}, "PWD": str(cwd), **env}
    env = {k: v for k, v in env.items() if v is not None}
    proc = subprocess.run(argv, cwd=cwd, env=env, umask=umask,
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT)
    out = proc.stdout.decode(errors="replace")
    assert proc.returncode == status, out
    return " ".join(out.split())


def certificate(folder, name, *extensions, issuer="ca"):
    """A key and certificate for name in folder, issued by issuer (None:
    by itself)."""
    ca = ["-CA", issuer + ".pem", "-CAkey", issuer + ".key"] if issuer else []
    step(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days",
          "2", "-subj", "/CN=TORVELIN " + name, "-keyout", name + ".key",
          "-out", name + ".pem", *ca,
          *(a for e in extensions for a in ("-addext", e))], folder)


def pkcs12(folder, name, password, *chain, out=None):
    """out.p12 (name.p12) in folder: name's key and certificate, and the
    chain's certificates, under password."""
    out = (out or name) + ".p12"
    step(["openssl", "pkcs12", "-export", "-inkey", name + ".key", "-in",
          name + ".pem", *(a for c in chain for a in ("-certfile", c)),
          "-out", out, "-passout", "pass:" + password], folder)
    return folder / out
