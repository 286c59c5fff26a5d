"""What a release is made of: its version, its manifest, the names it
ships the executables under, the README.txt it carries, and where the
release workflow leaves its ZIP."""

import re
from pathlib import Path

from support import REPO

VERSION = re.search(r"project\s*\(\s*torvelin\b[^)]*\bVERSION\s+([0-9.]+)",
                    (REPO / "CMakeLists.txt").read_text(), re.I).group(1)
# The version in four parts, as manifests and version resources write it.
VERSION4 = ".".join((VERSION.split(".") + ["0"] * 4)[:4])

SHIPPED = {"win64": "torvelin-x64.exe", "win32": "torvelin-x86.exe"}
ZIP_NAME = "torvelin-%s-windows.zip" % VERSION
# The ZIP's members in their order, with their Unix file modes.
MEMBERS = [
    ("LICENSE", 0o100644),
    ("README.txt", 0o100644),
    ("SHA256SUMS", 0o100644),
    (SHIPPED["win64"], 0o100755),
    (SHIPPED["win32"], 0o100755),
]


def release_zip(build):
    """The ZIP that `cmake --workflow --preset release` leaves in the build
    root `build`."""
    return Path(build) / "release" / ZIP_NAME


def configured_manifest():
    """The manifest as configure_file(@ONLY) writes it."""
    text = (REPO / "tool" / "res" / "torvelin.manifest").read_bytes()
    return text.replace(b"@PROJECT_VERSION@", VERSION.encode())


def configured_readme():
    """README.txt as configure_file(@ONLY, NEWLINE_STYLE CRLF) writes it."""
    text = (REPO / "dist" / "README.txt").read_bytes()
    text = text.replace(b"@PROJECT_VERSION@", VERSION.encode())
    return text.replace(b"\n", b"\r\n")
