// Fuzzes the console screen driver. The input sets up a small simulated
// console (buffer size, window, cursor, attribute) and then runs a series
// of commands: lines printed with PrintLine, bytes handed straight to the
// driver, and between them changes to the console behind the runtime's
// back: a resized buffer, a moved window or cursor, a failing cell write or
// buffer query. After every write the console calls it made are checked
// against the buffer as it was during the write: no cell written, filled or
// scrolled outside it, the cursor and the window placed inside it. A write
// that never ends is caught by libFuzzer's -timeout.
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_input.h"
#include "runtime/console.h"
#include "runtime/print.h"
#include "runtime/screen.h"
#include "runtime/text.h"
#include "test/fake.h"
#include "test/process.h"

namespace {

constexpr int32_t kMaxWidth = 40;
constexpr int32_t kMaxHeight = 30;
constexpr int kMaxCommands = 64;
constexpr size_t kLongest = 3000;

struct Buffer {
  int32_t width;
  int32_t height;
};

// A rectangle, cell or run of cells inside the buffer, corners included.
bool Inside(const Buffer& b, int x, int y) {
  return x >= 0 && y >= 0 && x < b.width && y < b.height;
}

bool RectInside(const Buffer& b, int l, int t, int r, int bot) {
  return l <= r && t <= bot && Inside(b, l, t) && Inside(b, r, bot);
}

bool StartsWith(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}

// What is wrong with one recorded console call of a write made on buffer
// b, or nullptr when nothing is.
const char* CallProblem(const std::string& call, const Buffer& b) {
  int n, one, ox, oy, l, t, r, bot, x, y, ch, attr;
  unsigned count;
  if (StartsWith(call, "WriteConsoleOutputA(")) {
    if (std::sscanf(call.c_str(),
                    "WriteConsoleOutputA(out,{%d,%d},{%d,%d},{%d,%d,%d,%d})",
                    &n, &one, &ox, &oy, &l, &t, &r, &bot) != 8) {
      return "unreadable call";
    }
    if (!RectInside(b, l, t, r, bot) || t != bot) {
      return "cells written outside the buffer";
    }
    if (n != r - l + 1 || one != 1 || ox != 0 || oy != 0 || n > b.width) {
      return "cell array does not match its row";
    }
  } else if (StartsWith(call, "ScrollConsoleScreenBufferA(")) {
    if (std::sscanf(call.c_str(),
                    "ScrollConsoleScreenBufferA(out,{%d,%d,%d,%d},null,{%d,%d},"
                    "%d,%d)",
                    &l, &t, &r, &bot, &x, &y, &ch, &attr) != 8) {
      return "unreadable call";
    }
    if (!RectInside(b, l, t, r, bot) ||
        !RectInside(b, x, y, x + r - l, y + bot - t)) {
      return "scroll reaches outside the buffer";
    }
    if (ch != ' ') return "scroll fills with a character not a space";
  } else if (StartsWith(call, "FillConsoleOutputAttribute(") ||
             StartsWith(call, "FillConsoleOutputCharacterA(")) {
    const char* format = StartsWith(call, "FillConsoleOutputAttribute(")
                             ? "FillConsoleOutputAttribute(out,%d,%u,{%d,%d})"
                             : "FillConsoleOutputCharacterA(out,%d,%u,{%d,%d})";
    if (std::sscanf(call.c_str(), format, &attr, &count, &x, &y) != 4) {
      return "unreadable call";
    }
    if (!Inside(b, x, y) || count == 0 ||
        static_cast<int64_t>(x) + count > b.width) {
      return "row blanked outside the buffer";
    }
  } else if (StartsWith(call, "SetConsoleCursorPosition(")) {
    if (std::sscanf(call.c_str(), "SetConsoleCursorPosition(out,{%d,%d})", &x,
                    &y) != 2) {
      return "unreadable call";
    }
    if (!Inside(b, x, y)) return "cursor placed outside the buffer";
  } else if (StartsWith(call, "SetConsoleWindowInfo(")) {
    if (std::sscanf(call.c_str(), "SetConsoleWindowInfo(out,1,{%d,%d,%d,%d})",
                    &l, &t, &r, &bot) != 4) {
      return "unreadable call";
    }
    if (!RectInside(b, l, t, r, bot)) return "window placed outside the buffer";
  }
  return nullptr;
}

// What the fuzzer has done so far, for failure messages.
struct Rig {
  std::string log;
};

Buffer Current() {
  const fake::Console& c = fake::S().console;
  return Buffer{c.width, c.height};
}

void SetWindow(FuzzInput* in) {
  fake::Console& c = fake::S().console;
  const int16_t left = static_cast<int16_t>(TakeRange(in, 0, c.width - 1));
  const int16_t right = static_cast<int16_t>(TakeRange(in, left, c.width - 1));
  const int16_t top = static_cast<int16_t>(TakeRange(in, 0, c.height - 1));
  const int16_t bottom = static_cast<int16_t>(TakeRange(in, top, c.height - 1));
  // Mostly the whole width, as a console with no horizontal scroll bar.
  if (TakeByte(in) % 4 != 0) {
    c.window = {0, top, static_cast<int16_t>(c.width - 1), bottom};
  } else {
    c.window = {left, top, right, bottom};
  }
}

void SetCursor(FuzzInput* in) {
  fake::Console& c = fake::S().console;
  c.cursor = {static_cast<int16_t>(TakeRange(in, 0, c.width - 1)),
              static_cast<int16_t>(TakeRange(in, 0, c.height - 1))};
}

void SetBuffer(FuzzInput* in) {
  fake::Console& c = fake::S().console;
  const int16_t w = static_cast<int16_t>(TakeRange(in, 1, kMaxWidth));
  const int16_t h = static_cast<int16_t>(TakeRange(in, 1, kMaxHeight));
  const int16_t top = static_cast<int16_t>(TakeRange(in, 0, h - 1));
  const int16_t rows = static_cast<int16_t>(TakeRange(in, 1, h - top));
  c.attr = TakeByte(in);
  c.Make(w, h, top, rows);
  SetCursor(in);
}

// The bytes of one write: short ones mostly, now and then a long one made
// by repeating a pattern, so that runs of 1024 bytes are cut.
std::string TakeText(FuzzInput* in) {
  const uint8_t n = TakeByte(in);
  if (n != 255) return TakeBytes(in, n % 96);
  const size_t length = TakeU16(in) % (kLongest + 1);
  std::string pattern = TakeBytes(in, 16);
  if (pattern.empty()) pattern = "x";
  std::string text;
  while (text.size() < length) text += pattern;
  return text.substr(0, length);
}

enum Command {
  kPrintLine,
  kScreenPrint,
  kResize,
  kMoveCursor,
  kMoveWindow,
  kFailCellWrite,
  kFailQuery,
  kCommands
};

// Runs one write and checks the calls it made. After a failed buffer query
// the driver works from its fallback size, 80 by 25, whatever the buffer
// is, until the next query: calls in that stretch may reach outside this
// small buffer (a real console clips them) and are not checked.
template <typename Write>
void RunWrite(Rig* rig, const std::string& what, Write write) {
  fake::State& s = fake::S();
  const Buffer b = Current();
  int query = s.console.info_calls;
  s.calls.clear();
  write();
  bool fallback = false;
  for (const std::string& call : s.calls) {
    if (StartsWith(call, "GetConsoleScreenBufferInfo(")) {
      fallback = ++query == s.console.fail_info_call;
    } else if (!fallback) {
      if (const char* problem = CallProblem(call, b)) {
        FuzzFail(std::string(problem) + ": " + call + " on a buffer of " +
                 std::to_string(b.width) + "x" + std::to_string(b.height) +
                 ", in\n  " + rig->log + what);
      }
    }
  }
  if (!Inside(b, s.console.cursor.x, s.console.cursor.y)) {
    FuzzFail(rig->log + what + ": the console's cursor left the buffer");
  }
}

void Step(Rig* rig, FuzzInput* in) {
  fake::State& s = fake::S();
  const Command command = static_cast<Command>(TakeByte(in) % kCommands);
  switch (command) {
    case kPrintLine: {
      const uint8_t flag_pick = TakeByte(in);
      const uint32_t flags = flag_pick < 200 ? PrintFlagNewline : flag_pick & 7;
      const std::string text = TakeText(in);
      const std::string what = "PrintLine(" + Escaped(text.substr(0, 80)) +
                               " length " + std::to_string(text.size()) +
                               ", flags " + std::to_string(flags) + ")";
      RunWrite(rig, what, [&] {
        PrintLine(0, StrView(text.data(), static_cast<int32_t>(text.size())),
                  flags);
      });
      rig->log += what + "\n  ";
      break;
    }
    case kScreenPrint: {
      const std::string text = TakeText(in);
      if (text.empty()) break;
      const std::string what = "ConsoleScreenPrint(" +
                               Escaped(text.substr(0, 80)) + " length " +
                               std::to_string(text.size()) + ")";
      RunWrite(rig, what, [&] {
        // The driver is only ever handed writes for a console.
        if (!ConsoleIsDegenerate(ConsoleWindow())) {
          ConsoleScreenPrint(text.data(), static_cast<int32_t>(text.size()));
        }
      });
      rig->log += what + "\n  ";
      break;
    }
    case kResize:
      SetBuffer(in);
      rig->log += "buffer " + std::to_string(s.console.width) + "x" +
                  std::to_string(s.console.height) + "\n  ";
      break;
    case kMoveCursor:
      SetCursor(in);
      rig->log += "cursor {" + std::to_string(s.console.cursor.x) + "," +
                  std::to_string(s.console.cursor.y) + "}\n  ";
      break;
    case kMoveWindow:
      SetWindow(in);
      rig->log += "window {" + std::to_string(s.console.window.left) + "," +
                  std::to_string(s.console.window.top) + "," +
                  std::to_string(s.console.window.right) + "," +
                  std::to_string(s.console.window.bottom) + "}\n  ";
      break;
    case kFailCellWrite:
      s.console.fail_write_call = s.console.write_calls + 1 + TakeByte(in) % 4;
      rig->log += "cell write " + std::to_string(s.console.fail_write_call) +
                  " fails\n  ";
      break;
    case kFailQuery:
      s.console.fail_info_call = s.console.info_calls + 1 + TakeByte(in) % 4;
      rig->log += "buffer query " + std::to_string(s.console.fail_info_call) +
                  " fails\n  ";
      break;
    case kCommands:
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FreshProcess();
  FuzzInput in = FuzzInputOf(data, size);
  SetBuffer(&in);
  Rig rig;
  rig.log = "on a buffer of " + std::to_string(fake::S().console.width) + "x" +
            std::to_string(fake::S().console.height) + ", window rows " +
            std::to_string(fake::S().console.window.top) + ".." +
            std::to_string(fake::S().console.window.bottom) + ", cursor {" +
            std::to_string(fake::S().console.cursor.x) + "," +
            std::to_string(fake::S().console.cursor.y) + "}:\n  ";
  for (int i = 0; i < kMaxCommands && !FuzzAtEnd(in); ++i) Step(&rig, &in);
  return 0;
}
