"""What a release is made of, and the build steps that make one."""

import hashlib
import os
import subprocess
import tempfile
import time

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


def step(argv, cwd, status=0, umask=0o022, interrupt=None, **env):
    """Runs a build step in cwd as a shell there would (PWD names cwd
    unless env names another folder), with env added to an environment
    free of the release's settings (a value of None: unset); checks its
    exit status (None: any but 0) and returns its output, blanks squeezed.
    interrupt, a signal and a file: the signal goes to the step's process
    group once the file is there, as a terminal sends it, and the step
    ends when every process of the group has."""
    env = {**{k: v for k, v in os.environ.items() if not k.startswith(
        ("TORVELIN_", "SOURCE_DATE_EPOCH"))}, "PWD": str(cwd), **env}
    env = {k: v for k, v in env.items() if v is not None}
    with tempfile.TemporaryFile() as out:
        proc = subprocess.Popen(argv, cwd=cwd, env=env, umask=umask,
                                stdin=subprocess.DEVNULL, stdout=out,
                                stderr=subprocess.STDOUT,
                                start_new_session=bool(interrupt))
        if interrupt:
            sig, started = interrupt
            while not started.exists() and proc.poll() is None:
                time.sleep(0.1)
            if proc.poll() is None:
                os.killpg(proc.pid, sig)
        returncode = proc.wait()
        while interrupt:
            try:
                os.killpg(proc.pid, 0)
            except ProcessLookupError:
                break
            time.sleep(0.1)
        out.seek(0)
        text = out.read().decode(errors="replace")
    assert (returncode != 0 if status is None else returncode == status), (
        returncode, text)
    return " ".join(text.split())


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
