"""What torvelin leaves on a real console: Wine's wineconsole under Xvfb.

Each case shapes a console with the console harness (test/wine/conharness.c),
runs one command in it and compares the harness's dump of the screen (every
cell and attribute, the cursor, the window, standard input's console mode)
with what the model in screen.py predicts from the printed lines. Rows are
marked with their numbers in their own attribute, so that a wrong scroll, a
wrong blank or a cell in the wrong attribute shows. The rawout setups switch
standard output's console mode to 0 (no processed output, no wrap), where
the console itself would show CR and LF as glyphs: an identical screen there
proves the tool draws the cells itself.

Only the final screen is seen: a line filling the window's bottom row ends
the same whether its line feed was owed or done at once, and the console
scrolls the window to the cursor itself, so these cases check the outcome of
both, not the mechanism. Version numbers and product type come from the
harness's own GetVersionExA and registry read (it carries the tool's
manifest, so it is told the version the tool is told); the report's
architecture may be either; everything else is exact.
"""

import pytest

from expected import LABELS, USAGE_LINES
from screen import Setup, expected_dump, harness_args
from support import windows_path

# --- The cases ------------------------------------------------------------

pytestmark = pytest.mark.console

ARCHITECTURES = ("64-bit", "32-bit")
FORM_ARGS = {"report": [], "os": ["/o"], "build": ["/b"], "usage": ["/x"]}

# Each console the tool starts in, and the forms run in it.
CASES = [
    # Window at the top, nothing moves.
    (Setup("top", inmode=0x1F6), ["report", "os", "build", "usage"]),
    # Cursor near the window's bottom: the window follows the output down.
    (Setup("top-follow", cursor=(0, 20), attr=0x1E, mark=0x4F, inmode=0x0),
     ["report", "usage"]),
    # Cursor on the window's bottom row.
    (Setup("top-edge", cursor=(0, 24), attr=0x2F, mark=0x4F),
     ["os", "usage"]),
    # The first line starts where the cursor is, not at column 0.
    (Setup("column", cursor=(7, 3), attr=0x1E, mark=0x4F), ["report"]),
    # Window at the buffer's last rows: the contents scroll up.
    (Setup("bottom", top=275, cursor=(0, 297), attr=0x1E, mark=0x4F,
           inmode=0x6), ["report", "os", "usage"]),
    (Setup("bottom-last", top=275, cursor=(0, 299), attr=0x1E, mark=0x4F),
     ["build", "report"]),
    # Standard output without processed output or wrapping.
    (Setup("rawout", cursor=(3, 2), attr=0x1E, mark=0x4F, outmode=0x0),
     ["report", "os"]),
    (Setup("rawout-bottom", top=275, cursor=(0, 298), attr=0x1E, mark=0x4F,
           outmode=0x0), ["report"]),
    # 20 columns: longer lines wrap, some exactly fill their rows.
    (Setup("wrap20", width=20, attr=0x1E, mark=0x4F), ["report", "usage"]),
    # 21 columns: the first three report lines exactly fill their rows.
    (Setup("fill21", width=21, cursor=(0, 2), attr=0x1E, mark=0x4F),
     ["report"]),
    (Setup("fill21-edge", width=21, cursor=(0, 24), attr=0x1E, mark=0x4F),
     ["report"]),
    (Setup("fill21-end", width=21, top=275, cursor=(0, 299), attr=0x1E,
           mark=0x4F), ["report"]),
]


def printed_lines(form, version, ptype, arch):
    """The lines the tool prints, by the system's own answers."""
    platform, major, minor, build = version.split()
    if form == "usage":
        return USAGE_LINES
    if form == "os":
        return ["%s.%s.%s" % (platform, major, minor)]
    if form == "build":
        return [build]
    values = [platform, major, minor, build, ptype, arch]
    return [label.decode() + value for label, value in zip(LABELS, values)]


def test_raw_output_shows_line_ends_as_glyphs(console):
    # Without processed output the console's own byte output draws CR and LF
    # as cells: the rawout cases tell the two ways of drawing apart.
    dump = console.run("win64", ["-o", "0"], ["cmd", "/c", "echo", "hi"])
    assert any("hi\\x0D\\x0A" in line for line in dump), dump


@pytest.mark.parametrize("setup, form", [
    pytest.param(setup, form, id="%s-%s" % (setup.name, form))
    for setup, forms in CASES for form in forms])
def test_screen(console, win_exe, setup, form):
    target, exe = win_exe
    dump = console.run(target, harness_args(setup),
                       [windows_path(exe)] + FORM_ARGS[form])
    system = {}
    for line in dump:
        key, _, value = line.partition(" ")
        if key in ("version", "ptype", "inmode0") and value != "none":
            system[key] = value
    assert "version" in system and "ptype" in system, dump[:9]
    actual = [line for line in dump
              if not line.startswith(("version ", "ptype "))]
    wants = [expected_dump(setup, printed_lines(form, system["version"],
                                                system["ptype"], arch),
                           int(system.get("inmode0", "0"), 16))
             for arch in ARCHITECTURES[:2 if form == "report" else 1]]
    if actual not in wants:
        assert actual == wants[0]
