// The console screen driver.
//
// A screen write works on a view: the rows of the window as they were at the
// first write, across the whole width of the screen buffer. Text goes into
// the view as character cells at the driver's own cursor; a line end at the
// view's bottom row moves the view (and, at the end of the write, the window)
// down the buffer, and once the view has reached the buffer's last row the
// buffer's contents move up instead.
#include "runtime/screen.h"

#include <algorithm>
#include <cstring>

#include "runtime/console.h"

static_assert(kConsoleTabWidth <= kSpacesLength, "a tab is one append");

ViewRows view_rows = {-1, -1};  // reset by RuntimeReset (ConsoleResetView)

void ConsoleResetView() { view_rows = {-1, -1}; }

ConsoleView ConsoleGetView() {
  if (view_rows.top == -1) view_rows.top = 0;
  if (view_rows.bottom == -1) view_rows.bottom = ConsoleGetSize().rows - 1;
  return {view_rows.top + 1, view_rows.bottom + 1};
}

void ConsoleBlankRow(ConsolePrintState* st, int32_t row) {
  const uint32_t count = static_cast<uint32_t>(st->x1 - st->x0 + 1);
  const plat::Coord start = {static_cast<int16_t>(st->x0),
                             static_cast<int16_t>(row)};
  uint32_t done = 0;
  plat::FillConsoleOutputAttribute(st->output, st->attr, count, start, &done);
  plat::FillConsoleOutputCharacterA(st->output, ' ', count, start, &done);
}

// Brings the cursor's row, `rows` below the view, back to the view's bottom.
void ConsoleScroll(ConsolePrintState* st, int32_t rows) {
  if (rows < 1) return;
  const plat::CharInfo fill = {' ', st->attr};
  if (!st->partial) {
    // Rows left below the view: move the view down first.
    if (st->y1 + 1 < st->buffer_height) {
      const int32_t room = st->buffer_height - 1 - st->y1;
      const int32_t s = std::min(rows, room);
      st->y0 += s;
      st->y1 += s;
      rows -= s;
      if (rows == 0) return;  // the cursor's row is the new bottom row
    }
    if (rows >= st->buffer_height) {
      for (int32_t y = st->y0; y <= st->y1; ++y) ConsoleBlankRow(st, y);
    } else {
      const plat::SmallRect source = {
          0, static_cast<int16_t>(rows),
          static_cast<int16_t>(st->buffer_width - 1),
          static_cast<int16_t>(st->buffer_height - 1)};
      plat::ScrollConsoleScreenBufferA(st->output, &source, nullptr, {0, 0},
                                       &fill);
      // Moving up by more than half the buffer leaves rows between the
      // moved block and the filled source that neither step touched.
      if (rows > st->buffer_height - rows) {
        for (int32_t y = st->buffer_height - rows; y < st->buffer_height; ++y)
          ConsoleBlankRow(st, y);
      }
    }
  } else {
    const int32_t h = st->y1 - st->y0 + 1;
    if (rows >= h) {
      for (int32_t y = st->y0; y <= st->y1; ++y) ConsoleBlankRow(st, y);
    } else {
      const plat::SmallRect source = {
          static_cast<int16_t>(st->x0), static_cast<int16_t>(st->y0 + rows),
          static_cast<int16_t>(st->x1), static_cast<int16_t>(st->y1)};
      const plat::Coord dest = {static_cast<int16_t>(st->x0),
                                static_cast<int16_t>(st->y0)};
      plat::ScrollConsoleScreenBufferA(st->output, &source, nullptr, dest,
                                       &fill);
      if (rows > h - rows) {
        for (int32_t y = st->y1 + 1 - rows; y <= st->y1; ++y)
          ConsoleBlankRow(st, y);
      }
    }
  }
  st->cursor_y = st->y1;
}

bool ConsoleWriteCells(ConsolePrintState* st, const char* bytes, int32_t k) {
  // A segment never exceeds a run, so one run's worth of cells suffices.
  plat::CharInfo cells[kConsoleRunBytes];
  for (int32_t i = 0; i < k; ++i) cells[i] = {bytes[i], st->attr};
  plat::SmallRect region = {static_cast<int16_t>(st->cursor_x),
                            static_cast<int16_t>(st->cursor_y),
                            static_cast<int16_t>(st->cursor_x + k - 1),
                            static_cast<int16_t>(st->cursor_y)};
  return plat::WriteConsoleOutputA(
      st->output, cells, {static_cast<int16_t>(k), 1}, {0, 0}, &region);
}

// Writes a run of plain bytes from the cursor, one call per row segment.
void ConsoleWriteRun(ConsolePrintState* st, const char* bytes, int32_t n) {
  while (n > 0) {
    // A cursor right of the view (the buffer grew wider since the view was
    // taken) has no room on its row: the segment starts on the next one.
    if (st->cursor_x > st->x1) {
      st->cursor_x = st->x0;
      st->cursor_y += 1;
    }
    // A row wider than one run is written a run at a time.
    const int32_t k =
        std::min({n, st->x1 + 1 - st->cursor_x, kConsoleRunBytes});
    if (st->cursor_y > st->y1) ConsoleScroll(st, st->cursor_y - st->y1);
    if (!ConsoleWriteCells(st, bytes, k)) return;  // the rest is dropped
    n -= k;
    bytes += k;
    st->cursor_x += k;
    if (st->cursor_x == st->x1 + 1) {
      st->cursor_x = st->x0;
      st->cursor_y += 1;
    }
  }
}

// Splits the bytes into runs of plain cells and control bytes.
void ConsoleProcessText(ConsolePrintState* st, const char* bytes, int32_t n) {
  const int32_t width = st->x1 - st->x0 + 1;
  char run[kConsoleRunBytes];
  int32_t r = 0;
  bool moved = false;
  // The column the next cell goes to. A cursor right of the view (the
  // buffer grew wider since the view was taken) has no room left on its
  // row: its next cell goes to the next row's left edge (ConsoleWriteRun).
  auto cursor_column = [st]() {
    return st->cursor_x > st->x1 ? st->x0 : st->cursor_x;
  };
  int32_t col = cursor_column();

  auto flush = [&]() {
    if (r > 0) {
      ConsoleWriteRun(st, run, r);
      r = 0;
      moved = false;
    }
  };
  auto append = [&](const char* b, int32_t k) {
    if (r + k > kConsoleRunBytes) flush();
    col += k;
    if (col > st->x1) col = st->x0 + (col - st->x0) % width;
    std::memcpy(run + r, b, static_cast<size_t>(k));
    r += k;
  };

  for (int32_t i = 0; i < n; ++i) {
    switch (static_cast<unsigned char>(bytes[i])) {
      case 7:  // BEL: the tone comes before any byte still in the run
        plat::Beep(kConsoleBeepHz, kConsoleBeepMs);
        break;
      case 8:  // BS: back one cell on this row, nothing erased
        flush();
        // After a failed run col has moved on while the cursor stayed: both
        // must be off the left edge, so that the cursor never leaves the
        // view and a column that wrapped to the edge does not step back.
        if (col > st->x0 && st->cursor_x > st->x0) st->cursor_x -= 1;
        col = cursor_column();
        moved = true;
        break;
      case 9:  // TAB: spaces to the next stop, counted from the view's left
        append(kSpaces, kConsoleTabWidth - (col - st->x0) % kConsoleTabWidth);
        break;
      case 10:  // LF: the next row's left edge
        flush();
        st->cursor_x = st->x0;
        st->cursor_y += 1;
        col = st->x0;
        moved = true;
        break;
      case 13:  // CR
        flush();
        st->cursor_x = st->x0;
        col = st->x0;
        moved = true;
        break;
      default:
        append(bytes + i, 1);
        break;
    }
  }
  if (r > 0) {
    flush();
  } else if (moved && st->cursor_y > st->y1) {
    ConsoleScroll(st, st->cursor_y - st->y1);
  }
}

namespace {

// The state a screen write starts from: the view in buffer cells, the
// cursor, the buffer's size and the attribute, as the console reports them,
// or the assumed 80 by 25 when it cannot be queried.
ConsolePrintState ConsoleStartState() {
  const ConsoleView view = ConsoleGetView();
  const WindowCache& w = ConsoleWindow();
  ConsolePrintState st = {};
  st.x0 = w.left;
  st.y0 = w.top + view.top - 1;
  st.x1 = w.right;
  st.y1 = w.top + view.bottom - 1;
  st.win_left = w.left;
  st.win_top = w.top;
  st.win_right = w.right;
  st.win_bottom = w.bottom;
  st.output = ConsoleGetHandle();

  plat::ScreenBufferInfo info = {};
  if (ConsoleQueryBuffer(st.output, &info)) {
    st.cursor_x = info.cursor.x;
    st.cursor_y = info.cursor.y;
    st.buffer_width = info.size.x;
    st.buffer_height = info.size.y;
    st.attr = info.attributes;
    // The view was taken from the window of the first write and the
    // buffer's width at the last one; either may have shrunk since. Keep
    // the view inside the buffer, so that no cell is written to a row or
    // column that does not exist.
    st.x1 = std::min(st.x1, st.buffer_width - 1);
    st.x0 = std::min(st.x0, st.x1);
    st.y1 = std::min(st.y1, st.buffer_height - 1);
    st.y0 = std::min(st.y0, st.y1);
  } else {
    // The assumed 80 by 25 says nothing about where the window is: the
    // text starts at the view's top-left cell.
    st.buffer_width = kConsoleFallbackColumns;
    st.buffer_height = kConsoleFallbackRows;
    st.attr = kConsoleFallbackAttr;
    st.cursor_x = st.x0;
    st.cursor_y = st.y0;
  }
  st.partial = st.y0 != st.win_top || st.y1 != st.win_bottom;
  return st;
}

// Places the console's cursor at the driver's and moves the window to a
// view that has moved down the buffer.
void ConsoleShow(const ConsolePrintState& st) {
  plat::SetConsoleCursorPosition(
      st.output,
      {static_cast<int16_t>(st.cursor_x), static_cast<int16_t>(st.cursor_y)});
  if (st.y0 != st.win_top && !st.partial) {
    const plat::SmallRect window = {
        static_cast<int16_t>(st.x0), static_cast<int16_t>(st.y0),
        static_cast<int16_t>(st.x1), static_cast<int16_t>(st.y1)};
    plat::SetConsoleWindowInfo(st.output, true, &window);
  }
}

}  // namespace

void ConsoleScreenPrint(const char* bytes, int32_t n) {
  if (n <= 0) return;
  ConsolePrintState st = ConsoleStartState();

  if (console_state.PendingLineFeed) {
    console_state.PendingLineFeed = false;
    st.cursor_x = st.x0;
    st.cursor_y += 1;
    if (st.cursor_y > st.y1) ConsoleScroll(&st, st.cursor_y - st.y1);
  }

  ConsoleProcessText(&st, bytes, n);

  if (st.cursor_x == st.x0 && st.cursor_y == st.y1 + 1) {
    // The text ended exactly at the view's bottom right: owe the line feed
    // to the next write rather than scroll now.
    console_state.PendingLineFeed = true;
    st.cursor_x = st.x1;
    st.cursor_y = st.y1;
  } else if (st.cursor_y > st.y1) {
    ConsoleScroll(&st, st.cursor_y - st.y1);
  }

  ConsoleShow(st);
  ConsoleRefreshWindow();
}
