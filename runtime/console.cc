// The console layer: handles fetched once, the window cached, and every
// write sent either to the byte stream or to the screen driver.
#include "runtime/console.h"

#include "runtime/screen.h"

ConsoleState console_state;  // reset by RuntimeReset
ConsoleLoad console_load;    // reset by RuntimeReset

plat::Handle ConsoleGetHandle() {
  if (!console_load.handles_fetched) {
    console_load.handles_fetched = true;
    console_state.input = plat::GetStdHandle(plat::kStdInput);
    console_state.output = plat::GetStdHandle(plat::kStdOutput);
    // Standard input is never read, yet its mode matters: with processed
    // input the console takes Ctrl+C as a break that ends the program, not
    // as a keystroke queued for a read that never comes, so the user can
    // stop a long write or a tone even when an earlier program left the
    // console without it. The flag is added and, on purpose, kept at the
    // end, as the window and cursor are.
    uint32_t mode = 0;
    if (console_state.input != nullptr &&
        plat::GetConsoleMode(console_state.input, &mode)) {
      plat::SetConsoleMode(console_state.input,
                           mode | plat::kEnableProcessedInput);
    }
  }
  return console_state.output;
}

bool ConsoleQueryBuffer(plat::Handle h, plat::ScreenBufferInfo* info) {
  return plat::GetConsoleScreenBufferInfo(h, info) && info->size.x > 0 &&
         info->size.y > 0;
}

void ConsoleRefreshWindow() {
  plat::ScreenBufferInfo info;
  WindowCache& w = console_state.window;
  if (ConsoleQueryBuffer(ConsoleGetHandle(), &info)) {
    w.left = 0;
    w.top = info.window.top;
    w.right = static_cast<int16_t>(info.size.x - 1);
    w.bottom = info.window.bottom;
  } else {
    w = WindowCache{};
  }
  console_load.window_loaded = true;
}

const WindowCache& ConsoleWindow() {
  if (!console_load.window_loaded) ConsoleRefreshWindow();
  return console_state.window;
}

bool ConsoleIsDegenerate(const WindowCache& w) {
  return w.left == w.right || w.top == w.bottom;
}

ConsoleSize ConsoleGetSize() {
  const WindowCache& w = ConsoleWindow();
  if (ConsoleIsDegenerate(w))
    return {kConsoleFallbackColumns, kConsoleFallbackRows};
  return {w.right - w.left + 1, w.bottom - w.top + 1};
}

int32_t ConsoleGetColumn() {
  plat::ScreenBufferInfo info;
  int32_t x = 0;
  if (plat::GetConsoleScreenBufferInfo(ConsoleGetHandle(), &info)) {
    x = info.cursor.x;
  }
  const WindowCache& w = ConsoleWindow();
  if (!ConsoleIsDegenerate(w)) x = x - w.left + 1;
  return x;
}

void ConsolePrint(const char* bytes, int32_t n) {
  if (n <= 0) return;
  if (!ConsoleIsDegenerate(ConsoleWindow())) {
    ConsoleScreenPrint(bytes, n);
    return;
  }
  plat::Handle out = ConsoleGetHandle();
  uint32_t left = static_cast<uint32_t>(n);
  while (left > 0) {
    uint32_t written = 0;
    // A write that reports success but takes nothing would repeat forever:
    // it ends the write like a failure does.
    if (!plat::WriteFile(out, bytes, left, &written) || written == 0) return;
    if (written > left) written = left;
    bytes += written;
    left -= written;
  }
}
