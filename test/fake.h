// A scriptable stand-in for the platform, for the unit tests.
//
// Every call is recorded in order, as one line of text, in State::calls; a
// test sets the results beforehand: what the handles are, what the console
// looks like, how writes behave, what the registry and the version query
// hold, which allocation fails.
//
// Recorded lines (handles print as in, out or the pointer value; coordinates
// as {x,y}, rectangles as {left,top,right,bottom}):
//   GetStdHandle(-10)                  GetConsoleMode(in)
//   SetConsoleMode(in,<mode>)          GetConsoleScreenBufferInfo(out)
//   WriteFile(out,<count>)             Beep(1000,250)
//   WriteConsoleOutputA(out,{n,1},{0,0},{l,t,r,b})
//   ScrollConsoleScreenBufferA(out,{l,t,r,b},null,{x,y},<char>,<attr>)
//   FillConsoleOutputAttribute(out,<attr>,<count>,{x,y})
//   FillConsoleOutputCharacterA(out,<char>,<count>,{x,y})
//   SetConsoleCursorPosition(out,{x,y})
//   SetConsoleWindowInfo(out,<absolute 0|1>,{l,t,r,b})
//   GetVersionExA(<size field>)
//   RegOpenKeyExA(0x80000002,<path>,0,0x20019)
//   RegQueryValueExA(<path>,<name>,<size>)   RegCloseKey(<path>)
//   getenv(<name>)                     ControlFp(<value>,0x<mask>)
//   Exit(<status>)
// Allocations are counted, not recorded.
#ifndef TORVELIN_TEST_FAKE_H_
#define TORVELIN_TEST_FAKE_H_

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace fake {

// The handles GetStdHandle gives out unless a test changes them.
extern plat::Handle const kInput;
extern plat::Handle const kOutput;

// A simulated console screen buffer, behind the output handle.
struct Console {
  bool present = false;  // GetConsoleScreenBufferInfo succeeds on output
  int16_t width = 0;
  int16_t height = 0;
  std::vector<plat::CharInfo> cells;  // row after row, width * height
  plat::Coord cursor = {0, 0};
  uint16_t attr = 7;
  plat::SmallRect window = {0, 0, 0, 0};
  // 1-based numbers of the calls that fail; 0 means none.
  int fail_info_call = 0;   // GetConsoleScreenBufferInfo
  int fail_write_call = 0;  // WriteConsoleOutputA
  int info_calls = 0;
  int write_calls = 0;

  // A buffer of width x height cells of spaces in `attr`, the window the
  // rows top to top + rows - 1 over the full width, cursor at (0, top).
  void Make(int16_t w, int16_t h, int16_t top, int16_t rows);
  plat::CharInfo& At(int x, int y) { return cells[y * width + x]; }
  // The characters of row y, trailing spaces kept.
  std::string Row(int y) const;
};

struct RegValue {
  uint32_t type;
  std::string data;  // the stored bytes, any length
  // Nonzero: the query, as a hooked one might, copies what fits and reports
  // success with this size.
  uint32_t reported = 0;
};

// One fake registry key: its values, and failures on demand.
struct RegKey {
  bool open_fails = false;
  int32_t query_error = 0;  // nonzero: every query returns it
  std::map<std::string, RegValue> values;
};

struct State {
  std::vector<std::string> calls;

  plat::Handle input = kInput;  // what GetStdHandle returns for each
  plat::Handle output = kOutput;
  bool input_is_console = true;  // GetConsoleMode succeeds on input
  uint32_t input_mode = 0x1f6;

  // Byte stream: bytes taken by WriteFile on the output handle. Each
  // script entry governs one WriteFile call: a negative entry fails it, n
  // takes at most n bytes (0 reports success with nothing taken). Calls
  // beyond the script take everything.
  std::string out;
  std::deque<int64_t> write_script;

  Console console;

  bool version_ok = true;
  plat::VersionInfo version = {};

  // Keys by path (the root is recorded, not matched).
  std::map<std::string, RegKey> registry;
  int open_keys = 0;  // opened and not yet closed

  std::map<std::string, std::string> env;

  long allocations = 0;      // successful Malloc and Realloc calls
  long fail_allocation = 0;  // the n-th allocation attempt fails; 0: none
  long fail_from = 0;        // every attempt from the n-th on fails; 0: none
  long allocation_attempts = 0;

  std::vector<void (*)()> exit_handlers;
  std::string err;  // bytes written to standard error
};

State& S();

// A fresh state: no calls, a redirected output, empty registry.
void Reset();

// Thrown by Exit after it has run the exit-time handlers.
struct ExitCalled {
  int status;
};

std::string HandleName(plat::Handle h);

}  // namespace fake

#endif  // TORVELIN_TEST_FAKE_H_
