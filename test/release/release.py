"""What a release is made of: its version, its manifest, the names it
ships the executables under."""

import re

from support import REPO

VERSION = re.search(r"project\s*\(\s*torvelin\b[^)]*\bVERSION\s+([0-9.]+)",
                    (REPO / "CMakeLists.txt").read_text(), re.I).group(1)
# The version in four parts, as manifests and version resources write it.
VERSION4 = ".".join((VERSION.split(".") + ["0"] * 4)[:4])

SHIPPED = {"win64": "torvelin-x64.exe", "win32": "torvelin-x86.exe"}


def configured_manifest():
    """The manifest as configure_file(@ONLY) writes it."""
    text = (REPO / "tool" / "res" / "torvelin.manifest").read_bytes()
    return text.replace(b"@PROJECT_VERSION@", VERSION.encode())
