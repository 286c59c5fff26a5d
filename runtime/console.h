// The console layer under line output: standard handles, the cached console
// window, and the choice between a byte stream and the screen driver.
#ifndef TORVELIN_RUNTIME_CONSOLE_H_
#define TORVELIN_RUNTIME_CONSOLE_H_

#include <cstdint>

#include "platform/platform.h"

// What is assumed of a console that cannot be queried.
constexpr int32_t kConsoleFallbackColumns = 80;
constexpr int32_t kConsoleFallbackRows = 25;
constexpr uint16_t kConsoleFallbackAttr = 7;

// Spaces enough for any fill the output layers make in one write: a print
// zone or a tab.
inline constexpr char kSpaces[] = "                ";
constexpr int32_t kSpacesLength = sizeof kSpaces - 1;

// The console window as the runtime sees it, in screen buffer cells: left is
// 0, right the buffer's last column, top and bottom the window's rows. All
// zero when standard output is no console. Degenerate (left == right or
// top == bottom) means "no console": output takes the byte stream.
struct WindowCache {
  int16_t left;
  int16_t top;
  int16_t right;
  int16_t bottom;
};

// Cleared as a whole by the runtime's start-up.
struct ConsoleState {
  plat::Handle input;
  plat::Handle output;
  WindowCache window;
  bool PendingLineFeed;  // a line feed the screen driver owes its next write
};

// Kept apart from ConsoleState: the start-up does not clear them.
struct ConsoleLoad {
  bool handles_fetched;
  bool window_loaded;
};

extern ConsoleState console_state;
extern ConsoleLoad console_load;

struct ConsoleSize {
  int32_t columns;
  int32_t rows;
};

// Standard output's handle (nullptr: none); the first call fetches both
// standard handles and adds processed input to the input's mode.
plat::Handle ConsoleGetHandle();
// GetConsoleScreenBufferInfo on h, taken as failed when it reports a buffer
// of no columns or no rows: such a buffer is no console either.
bool ConsoleQueryBuffer(plat::Handle h, plat::ScreenBufferInfo* info);
// Reloads the window from the console; all zero when the query fails.
void ConsoleRefreshWindow();
// The window, loaded on first use.
const WindowCache& ConsoleWindow();
// True when left == right or top == bottom: output takes the byte stream.
bool ConsoleIsDegenerate(const WindowCache& w);
// The window's columns and rows; 80 by 25 for a degenerate window.
ConsoleSize ConsoleGetSize();
// The cursor's column, 1 at the window's left edge; with a degenerate window
// the queried x as it is (0 when the query fails).
int32_t ConsoleGetColumn();
// Writes n bytes (n <= 0: nothing) to the screen driver (screen.h) when the
// window is not degenerate, otherwise to the byte stream until it is all
// taken or a write fails or takes nothing.
void ConsolePrint(const char* bytes, int32_t n);

#endif  // TORVELIN_RUNTIME_CONSOLE_H_
