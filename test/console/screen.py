"""A model of the console's output rules: the screen a console must show
after a program printed some lines on it, written as the console harness
(test/wine/conharness.c) dumps a screen.

  - each line is drawn as cells at the cursor, in the current attribute,
    wrapping at the buffer's right edge; its CR LF brings the cursor to
    column 0 of the next row;
  - a line that exactly fills its row has already moved the cursor on when
    its CR LF comes, so one empty row follows it; on the window's bottom row
    that move is owed to the next write instead of scrolling at once;
  - when the cursor leaves the window's bottom row, the window moves down
    the buffer while rows remain below it; at the buffer's end the whole
    buffer's contents move up and the last row is blanked in the current
    attribute, and the window stays;
  - standard input's console mode gains ENABLE_PROCESSED_INPUT (1).
"""

from dataclasses import dataclass


@dataclass(frozen=True)
class Setup:
    """A console shape: buffer size, window (rows from row top), cursor,
    text attribute, the attribute of the row numbers marked at each row's
    end (none if None) and the console modes of standard input and output
    (left as they are if None)."""
    name: str
    width: int = 80
    height: int = 300
    rows: int = 25
    top: int = 0
    cursor: tuple = (0, 0)
    attr: int = 0x07
    mark: int = None
    inmode: int = None
    outmode: int = None


def harness_args(s):
    """The console harness's options that shape the console as s."""
    args = ["-s", "%dx%d" % (s.width, s.height), "-w", str(s.rows),
            "-t", str(s.top), "-c", "%d,%d" % s.cursor, "-a", "0x%x" % s.attr]
    for flag, value in (("-p", s.mark), ("-m", s.inmode), ("-o", s.outmode)):
        if value is not None:
            args += [flag, "0x%x" % value]
    return args


def initial_cells(s):
    """The buffer as the harness leaves it: blanks, rows marked if asked."""
    cells = [[(" ", s.attr)] * s.width for _ in range(s.height)]
    if s.mark is not None:
        for y in range(s.height):
            digits = str(y)[-s.width:]
            for i, ch in enumerate(digits):
                cells[y][s.width - len(digits) + i] = (ch, s.mark)
    return cells


class Screen:
    """The console as a program's writes change it."""

    def __init__(self, setup):
        self.s = setup
        self.cells = initial_cells(setup)
        self.top = setup.top
        self.cx, self.cy = setup.cursor
        self.pending = False
        # The window as the write sees it; scrolling moves the view down.
        self.y0 = self.y1 = 0

    def blank_row(self, y):
        self.cells[y] = [(" ", self.s.attr)] * self.s.width

    def scroll(self, rows):
        """Brings the cursor's row (rows below the view) back into view."""
        height = self.s.height
        room = height - 1 - self.y1
        if room > 0:
            step = min(rows, room)
            self.y0 += step
            self.y1 += step
            rows -= step
            if rows == 0:
                return
        if rows >= height:
            for y in range(self.y0, self.y1 + 1):
                self.blank_row(y)
        else:
            self.cells = self.cells[rows:] + [None] * rows
            for y in range(height - rows, height):
                self.blank_row(y)
        self.cy = self.y1

    def begin(self):
        self.y0, self.y1 = self.top, self.top + self.s.rows - 1
        if self.pending:
            self.pending = False
            self.cx, self.cy = 0, self.cy + 1
            if self.cy > self.y1:
                self.scroll(self.cy - self.y1)

    def end(self):
        if (self.cx, self.cy) == (0, self.y1 + 1):
            self.pending = True
            self.cx, self.cy = self.s.width - 1, self.y1
        elif self.cy > self.y1:
            self.scroll(self.cy - self.y1)
        self.top = self.y0

    def write_text(self, text):
        """A text without control bytes: cells from the cursor, wrapping."""
        assert all(32 <= ord(c) < 127 for c in text), text
        self.begin()
        while text:
            k = min(len(text), self.s.width - self.cx)
            if self.cy > self.y1:
                self.scroll(self.cy - self.y1)
            for i in range(k):
                self.cells[self.cy][self.cx + i] = (text[i], self.s.attr)
            text = text[k:]
            self.cx += k
            if self.cx == self.s.width:
                self.cx, self.cy = 0, self.cy + 1
        self.end()

    def write_line_end(self):
        self.begin()
        self.cx, self.cy = 0, self.cy + 1
        if self.cy > self.y1:
            self.scroll(self.cy - self.y1)
        self.end()


def escape_cell(ch):
    c = ord(ch)
    return "\\x%02X" % c if c < 32 or c > 126 or ch == "\\" else ch


def render_rows(cells, attr):
    """The harness's dump of the rows that are not blank."""
    out = []
    for y, row in enumerate(cells):
        if all(c == (" ", attr) for c in row):
            continue
        chars = "".join(escape_cell(ch) for ch, _ in row).rstrip(" ")
        out.append("%d|%s|" % (y, chars))
        if any(a != attr for _, a in row):
            out.append("%d@%s" % (y, "".join("%02X" % (a & 0xFF)
                                             for _, a in row)))
    return out


def expected_dump(s, lines, inmode0):
    """The dump the harness must write after a program printed lines (and
    ended with status 0) in console s, whose standard input had console
    mode inmode0 unless s sets it."""
    screen = Screen(s)
    for text in lines:
        if text:
            screen.write_text(text)
        screen.write_line_end()
    inmode = s.inmode if s.inmode is not None else inmode0
    return [
        "exit 0",
        "size %d %d" % (s.width, s.height),
        "window 0 %d %d %d" % (screen.top, s.width - 1,
                               screen.top + s.rows - 1),
        "cursor %d %d" % (screen.cx, screen.cy),
        "attr %d" % s.attr,
        "inmode0 0x%x" % inmode,
        "inmode 0x%x" % (inmode | 1),
    ] + render_rows(screen.cells, s.attr)
