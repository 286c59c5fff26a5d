"""What a release is made of, and the build steps that make one."""

import hashlib
import os
import subprocess

# The release's suites take these from here too.
from support import VERSION, configured  # noqa: F401

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


def step(argv, cwd, ok=True, umask=0o022, **env):
    """Runs a build step with env added to an environment free of the
    release's settings; returns its output, blanks squeezed."""
    env = dict({k: v for k, v in os.environ.items() if not k.startswith(
        ("TORVELIN_", "SOURCE_DATE_EPOCH"))}, **env)
    proc = subprocess.run(argv, cwd=cwd, env=env, umask=umask,
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT)
    out = proc.stdout.decode(errors="replace")
    assert (proc.returncode == 0) == ok, out
    return " ".join(out.split())
