// The console screen driver's inner steps, for ConsoleScreenPrint and its
// tests.
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

// Puts view_rows back to "not yet determined", as at load: for RuntimeReset.
void ConsoleResetView();

constexpr int32_t kConsoleRunBytes = 1024;
constexpr int32_t kConsoleTabWidth = 8;
constexpr uint32_t kConsoleBeepHz = 1000;
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

ConsoleView ConsoleGetView();
void ConsoleProcessText(ConsolePrintState* st, const char* bytes, int32_t n);
void ConsoleWriteRun(ConsolePrintState* st, const char* bytes, int32_t n);
bool ConsoleWriteCells(ConsolePrintState* st, const char* bytes, int32_t k);
void ConsoleScroll(ConsolePrintState* st, int32_t rows);
void ConsoleBlankRow(ConsolePrintState* st, int32_t row);

#endif  // TORVELIN_RUNTIME_SCREEN_H_
