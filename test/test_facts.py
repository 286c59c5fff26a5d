"""Facts written in more than one file, held to the file that sets them: the
systems the manifest declares, as the READMEs name them, the win32 preset's
tree, where the win64 tree packs the x86 executable from, and the usage
text's length, as README.md counts it."""

import json
import re

import pytest

from expected import USAGE_LINES
from support import REPO

pytestmark = pytest.mark.host


def test_readmes_name_the_manifests_systems():
    # Each supportedOS of the manifest follows a comment naming its system.
    manifest = (REPO / "tool/res/torvelin.manifest").read_text()
    named = re.findall(r"<!-- Windows (.+?) -->\s*<supportedOS Id=", manifest)
    assert len(named) == manifest.count("<supportedOS ") >= 2
    page = " ".join((REPO / "dist/README.txt").read_text().split())
    newest = named[-1].split(" and ")[-1]
    assert ("declare support for Windows %s through Windows %s" %
            (named[0], newest)) in page
    # GetVersionExA tells the true version from Windows 8.1 on only to a
    # program that declares the system.
    readme = " ".join((REPO / "README.md").read_text().split())
    assert "8.1" in named
    assert "so that Windows 8.1 and later report their true version" in readme


def test_x86_tree_is_the_win32_presets():
    presets = json.loads((REPO / "CMakePresets.json").read_text())
    win32 = next(p for p in presets["configurePresets"]
                 if p["name"] == "win32")
    default = re.search(r'set\(TORVELIN_X86_BUILD "\$\{PROJECT_SOURCE_DIR\}'
                        r'(/[^"]*)"', (REPO / "CMakeLists.txt").read_text())
    assert win32["binaryDir"] == "${sourceDir}" + default.group(1)


def test_readme_counts_the_usage_texts_lines():
    readme = " ".join((REPO / "README.md").read_text().split())
    assert "(`/x`) costs the most: %d lines" % len(USAGE_LINES) in readme
