// The console screen driver: its entry, ConsoleScreenPrint, which the
// console layer sends output to when standard output is a console; then the
// steps the entry is made of, declared for the tests.
//
// The driver keeps its own cursor, writes every byte but BEL, BS, TAB, LF and
// CR as a character cell, wraps at the view's right edge and scrolls by
// moving the view down the screen buffer first and only at the buffer's end
// moving the buffer's contents up.
#ifndef TORVELIN_RUNTIME_SCREEN_H_
#define TORVELIN_RUNTIME_SCREEN_H_

#include <cstdint>

#include "platform/platform.h"

// The view's first and last row, counted from 0 at the window's top row; -1
// until the first screen write fixes them. Not part of ConsoleState: the
// runtime's start-up leaves them alone; RuntimeReset resets them.
struct ViewRows {
  int32_t top;
  int32_t bottom;
};

extern ViewRows view_rows;

// Draws n bytes (n <= 0: nothing) from the console's cursor in its current
// attribute (from the view's top-left in attribute 7 when the console
// cannot be queried); text ending at the view's bottom right owes the line feed
// to the next write. Then places the cursor, moves the window along with the
// view and reloads the window cache. Allocates nothing.
void ConsoleScreenPrint(const char* bytes, int32_t n);

// Puts view_rows back to "not yet determined", as at load: for RuntimeReset.
void ConsoleResetView();

constexpr int32_t kConsoleRunBytes = 1024;  // the most cells one run holds
constexpr int32_t kConsoleTabWidth = 8;     // tab stops, from the view's left
constexpr uint32_t kConsoleBeepHz = 1000;   // BEL's tone
constexpr uint32_t kConsoleBeepMs = 250;

// Everything one screen write works with, in absolute buffer cells.
struct ConsolePrintState {
  int32_t x0, y0, x1, y1;  // the view: left/top and right/bottom cells
  int32_t cursor_x, cursor_y;
  int32_t win_left, win_top, win_right, win_bottom;
  int32_t buffer_width, buffer_height;
  uint16_t attr;
  plat::Handle output;
  bool partial;  // the view is not exactly the window's rows
};

struct ConsoleView {
  int32_t top;  // 1-based rows within the window
  int32_t bottom;
};

// The view's rows; the first call fixes the ones not yet determined, to the
// window's first and last row.
ConsoleView ConsoleGetView();
// Draws the bytes from the cursor: plain runs as cells, BEL a tone, BS one
// cell left, TAB spaces to the next stop, LF the next row, CR the left edge.
// A cursor that a line end or BS left below the view scrolls back into it;
// one that text left there does not.
void ConsoleProcessText(ConsolePrintState* st, const char* bytes, int32_t n);
// Writes plain bytes as cells from the cursor, a call per row segment (of at
// most kConsoleRunBytes cells: a wider row takes several), scrolling before
// a segment below the view; a failed call drops the rest.
void ConsoleWriteRun(ConsolePrintState* st, const char* bytes, int32_t n);
// Writes k (1 to kConsoleRunBytes) cells at the cursor, which stays; false
// when the console refuses them.
bool ConsoleWriteCells(ConsolePrintState* st, const char* bytes, int32_t k);
// Brings the cursor's row, `rows` below the view, to its bottom row: the view
// moves down the buffer while there is room, then the contents move up (only
// the view's rows for a partial view); rows < 1 does nothing.
void ConsoleScroll(ConsolePrintState* st, int32_t rows);
// Fills the view's cells of `row` with spaces in the current attribute.
void ConsoleBlankRow(ConsolePrintState* st, int32_t row);

#endif  // TORVELIN_RUNTIME_SCREEN_H_
