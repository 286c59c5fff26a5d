"""The resources embedded in the shipped executables: the manifest that
makes Windows tell the tool its true version, and the version resource."""

import xml.etree.ElementTree as ET

import pytest

from pe import PE, RT_MANIFEST, RT_VERSION
from release import VERSION4
from support import configured

pytestmark = pytest.mark.release

# The systems the tool declares it was tested on, by Windows' own GUIDs.
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # 10 and 11
}


def resources(exe):
    return PE(exe.read_bytes()).resources()


def test_resource_ids(win_exe):
    # Windows reads a program's manifest from RT_MANIFEST id 1, in one
    # language; the version API reads RT_VERSION id 1.
    tree = resources(win_exe[1])
    assert ({n: len(langs) for n, langs in tree.get(RT_MANIFEST, {}).items()},
            list(tree.get(RT_VERSION, {}))) == ({1: 1}, [1])


def test_manifest(win_exe):
    data = next(iter(resources(win_exe[1])[RT_MANIFEST][1].values()))
    assert data == configured("tool/res/torvelin.manifest")
    root = ET.fromstring(data)

    def attributes(tag, *names):
        return [tuple(e.get(n) for n in names) for e in root.iter()
                if e.tag.endswith("}" + tag)]

    ids = {i.lower() for i, in attributes("supportedOS", "Id")}
    assert ids == SUPPORTED_OS
    assert attributes("requestedExecutionLevel", "level", "uiAccess") == [
        ("asInvoker", "false")]
    assert attributes("assemblyIdentity", "version") == [(VERSION4,)]
