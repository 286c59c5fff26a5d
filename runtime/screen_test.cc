// The screen driver against the fake platform's simulated console: cells,
// cursor, window and the exact console calls of each write.
#include "runtime/screen.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "runtime/console.h"
#include "runtime/print.h"
#include "test/fake.h"
#include "test/process.h"

namespace {

using Calls = std::vector<std::string>;

Calls operator+(Calls a, const Calls& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The attribute the console reports for new text, and the one its cells
// start with, so that written and blanked cells can be told apart.
constexpr uint16_t kAttr = 30;
constexpr uint16_t kOldAttr = 0x4f;

std::string N(long v) { return std::to_string(v); }

const std::string kInfo = "GetConsoleScreenBufferInfo(out)";
const std::string kBeep = "Beep(1000,250)";

std::string Write(int n, int x, int y) {
  return "WriteConsoleOutputA(out,{" + N(n) + ",1},{0,0},{" + N(x) + "," +
         N(y) + "," + N(x + n - 1) + "," + N(y) + "})";
}
std::string Cursor(int x, int y) {
  return "SetConsoleCursorPosition(out,{" + N(x) + "," + N(y) + "})";
}
std::string Window(int l, int t, int r, int b) {
  return "SetConsoleWindowInfo(out,1,{" + N(l) + "," + N(t) + "," + N(r) + "," +
         N(b) + "})";
}
std::string Scroll(int l, int t, int r, int b, int x, int y, int attr = kAttr) {
  return "ScrollConsoleScreenBufferA(out,{" + N(l) + "," + N(t) + "," + N(r) +
         "," + N(b) + "},null,{" + N(x) + "," + N(y) + "},32," + N(attr) + ")";
}
Calls Blank(int row, int width) {
  return {"FillConsoleOutputAttribute(out," + N(kAttr) + "," + N(width) +
              ",{0," + N(row) + "})",
          "FillConsoleOutputCharacterA(out,32," + N(width) + ",{0," + N(row) +
              "})"};
}

std::string Rep(char c, int n) {
  return std::string(static_cast<size_t>(n), c);
}

struct Xy {
  int x, y;
  bool operator==(const Xy& o) const { return x == o.x && y == o.y; }
};
std::ostream& operator<<(std::ostream& os, const Xy& p) {
  return os << "{" << p.x << "," << p.y << "}";
}

struct Rect {
  int l, t, r, b;
  bool operator==(const Rect& o) const {
    return l == o.l && t == o.t && r == o.r && b == o.b;
  }
};
std::ostream& operator<<(std::ostream& os, const Rect& w) {
  return os << "{" << w.l << "," << w.t << "," << w.r << "," << w.b << "}";
}

// The calls of one write that neither moves the window nor fails the
// query: the query, the given calls, the cursor placed, the refresh.
Calls OneWrite(const Calls& calls, Xy cursor) {
  return Calls{kInfo} + calls + Calls{Cursor(cursor.x, cursor.y), kInfo};
}

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override { FreshProcess(); }

  fake::Console& C() { return fake::S().console; }
  Calls& Recorded() { return fake::S().calls; }

  // A console of w x h cells with the window on rows top..top+rows-1 and
  // WindowCache loaded from it, as the first print leaves things.
  void Open(int16_t w, int16_t h, int16_t top, int16_t rows) {
    Reshape(w, h, top, rows);
    ConsoleGetHandle();
    ConsoleRefreshWindow();
    Forget();
  }

  // Changes the console behind the driver's back, keeping the attribute.
  void Reshape(int16_t w, int16_t h, int16_t top, int16_t rows) {
    C().attr = kOldAttr;
    C().Make(w, h, top, rows);
    C().attr = kAttr;
  }

  void Forget() {
    Recorded().clear();
    C().info_calls = 0;
    C().write_calls = 0;
  }

  void Put(int y, const std::string& s) {
    for (size_t i = 0; i < s.size(); ++i)
      C().At(static_cast<int>(i), y).ch = s[i];
  }

  void Print(const std::string& s) {
    ConsoleScreenPrint(s.data(), static_cast<int32_t>(s.size()));
  }

  // Every row, trailing spaces dropped.
  std::vector<std::string> Screen() {
    std::vector<std::string> rows;
    for (int y = 0; y < C().height; ++y) {
      std::string r = C().Row(y);
      r.erase(r.find_last_not_of(' ') + 1);
      rows.push_back(r);
    }
    return rows;
  }

  // One letter per cell of row y: A new text's attribute, . the old one,
  // 7 the fallback.
  std::string Attrs(int y) {
    std::string s;
    for (int x = 0; x < C().width; ++x) {
      const uint16_t a = C().At(x, y).attr;
      s += a == kAttr ? 'A' : a == kOldAttr ? '.' : a == 7 ? '7' : '?';
    }
    return s;
  }

  Xy FakeCursor() { return {C().cursor.x, C().cursor.y}; }
  Rect FakeWindow() {
    return {C().window.left, C().window.top, C().window.right,
            C().window.bottom};
  }
  Rect Cache() {
    const WindowCache& w = console_state.window;
    return {w.left, w.top, w.right, w.bottom};
  }
};

TEST_F(ScreenTest, WritesAtTheCursorInTheCurrentAttribute) {
  Open(20, 4, 0, 4);
  C().cursor = {3, 1};
  Print("abc");
  EXPECT_EQ(Screen(), (std::vector<std::string>{"", "   abc", "", ""}));
  EXPECT_EQ(Attrs(1), "...AAA..............");
  EXPECT_EQ(FakeCursor(), (Xy{6, 1}));
  EXPECT_EQ(FakeWindow(), (Rect{0, 0, 19, 3}));
  EXPECT_EQ(Recorded(), (Calls{kInfo, Write(3, 3, 1), Cursor(6, 1), kInfo}));
  EXPECT_FALSE(console_state.PendingLineFeed);
}

// One write on a 20 x 4 console whose window is the whole buffer.
struct ControlCase {
  const char* name;
  Xy start;
  std::string bytes;
  std::vector<std::string> screen;
  Xy cursor;
  Calls calls;  // between the first query and the cursor placement
};

TEST_F(ScreenTest, ControlBytesAndWrapping) {
  // clang-format off
  const std::vector<ControlCase> cases = {
      {"tab at column 0", {0, 0}, "\tx", {"        x"}, {9, 0},
       {Write(9, 0, 0)}},
      {"tab at column 5", {0, 0}, "abcde\tx", {"abcde   x"}, {9, 0},
       {Write(9, 0, 0)}},
      {"tab at column 7", {0, 0}, "abcdefg\tx", {"abcdefg x"}, {9, 0},
       {Write(9, 0, 0)}},
      {"tab at column 8", {0, 0}, "abcdefgh\tx", {"abcdefgh        x"}, {17, 0},
       {Write(17, 0, 0)}},
      {"tab counts from the cursor's column", {5, 0}, "\tx", {"        x"}, {9, 0},
       {Write(4, 5, 0)}},
      {"tab spaces wrap with the text", {0, 0}, "abcdefghijklmnopq\tx",
       {"abcdefghijklmnopq", "    x"}, {5, 1}, {Write(20, 0, 0), Write(5, 0, 1)}},
      {"BEL sounds before the bytes ahead of it", {0, 0}, "a\ab", {"ab"}, {2, 0},
       {kBeep, Write(2, 0, 0)}},
      {"BEL alone", {4, 2}, "\a", {}, {4, 2},
       {kBeep}},
      {"BS lets the next byte overwrite", {0, 0}, "ab\bx", {"ax"}, {2, 0},
       {Write(2, 0, 0), Write(1, 1, 0)}},
      {"BS at the left edge changes nothing", {0, 0}, "\bx", {"x"}, {1, 0},
       {Write(1, 0, 0)}},
      {"BS never goes up a row", {0, 1}, "\b\bx", {"", "x"}, {1, 1},
       {Write(1, 0, 1)}},
      {"BS alone moves the cursor", {4, 2}, "\b", {}, {3, 2},
       {}},
      {"BS after LF on the bottom row", {0, 3}, "ab\n\b", {"", "", "ab"},
       {0, 3}, {Write(2, 0, 3), Scroll(0, 1, 19, 3, 0, 0)}},
      {"LF alone starts the next row at the left edge", {0, 0}, "ab\ncd",
       {"ab", "cd"}, {2, 1}, {Write(2, 0, 0), Write(2, 0, 1)}},
      {"LF from the middle of a row", {5, 0}, "\nx", {"", "x"}, {1, 1},
       {Write(1, 0, 1)}},
      {"CR returns to the left edge", {0, 0}, "abc\rx", {"xbc"}, {1, 0},
       {Write(3, 0, 0), Write(1, 0, 0)}},
      {"line end above the bottom row", {0, 0}, "ab\r\n", {"ab"}, {0, 1},
       {Write(2, 0, 0)}},
      {"wraps at the right edge, not at spaces", {0, 0}, "aaaaaaaaaa bbbbbbbbbbbb",
       {"aaaaaaaaaa bbbbbbbbb", "bbb"}, {3, 1}, {Write(20, 0, 0), Write(3, 0, 1)}},
      {"a row filled exactly above the bottom", {0, 0}, Rep('x', 20),
       {Rep('x', 20)}, {0, 1}, {Write(20, 0, 0)}},
      {"zero byte and 11, 12 are cells", {0, 0}, std::string("a\0\v\fb", 5),
       {std::string("a\0\v\fb", 5)}, {5, 0}, {Write(5, 0, 0)}},
  };
  // clang-format on
  for (const ControlCase& c : cases) {
    SCOPED_TRACE(c.name);
    FreshProcess();
    Open(20, 4, 0, 4);
    C().cursor = {static_cast<int16_t>(c.start.x),
                  static_cast<int16_t>(c.start.y)};
    Print(c.bytes);
    std::vector<std::string> screen = c.screen;
    screen.resize(4);
    EXPECT_EQ(Screen(), screen);
    EXPECT_EQ(FakeCursor(), c.cursor);
    EXPECT_EQ(FakeWindow(), (Rect{0, 0, 19, 3}));
    EXPECT_EQ(Recorded(), OneWrite(c.calls, c.cursor));
    EXPECT_FALSE(console_state.PendingLineFeed);
  }
}

TEST_F(ScreenTest, EveryOtherByteIsWrittenAsItsOwnCell) {
  std::string bytes;
  for (int b = 0; b < 256; ++b) {
    if (b != 7 && b != 8 && b != 9 && b != 10 && b != 13)
      bytes += static_cast<char>(b);
  }
  Open(80, 8, 0, 8);
  Print(bytes);
  for (int i = 0; i < 251; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(C().At(i % 80, i / 80).ch, bytes[static_cast<size_t>(i)]);
    EXPECT_EQ(C().At(i % 80, i / 80).attr, kAttr);
  }
  EXPECT_EQ(C().At(11, 3).ch, ' ');
  EXPECT_EQ(FakeCursor(), (Xy{11, 3}));
  EXPECT_EQ(Recorded(),
            (Calls{kInfo, Write(80, 0, 0), Write(80, 0, 1), Write(80, 0, 2),
                   Write(11, 0, 3), Cursor(11, 3), kInfo}));
}

TEST_F(ScreenTest, FullBottomRowOwesTheLineFeedToTheNextWrite) {
  // The window is the whole buffer: the owed line feed scrolls the buffer.
  Open(20, 4, 0, 4);
  Put(2, "above");
  C().cursor = {0, 3};
  Print(Rep('x', 20));
  EXPECT_EQ(Screen(),
            (std::vector<std::string>{"", "", "above", Rep('x', 20)}));
  EXPECT_EQ(FakeCursor(), (Xy{19, 3}));
  EXPECT_TRUE(console_state.PendingLineFeed);
  EXPECT_EQ(Recorded(), (Calls{kInfo, Write(20, 0, 3), Cursor(19, 3), kInfo}));

  Forget();
  Print("\r\n");
  // One row for the owed line feed, one for this one: an empty row between.
  EXPECT_EQ(Screen(),
            (std::vector<std::string>{"above", Rep('x', 20), "", ""}));
  EXPECT_EQ(FakeCursor(), (Xy{0, 3}));
  EXPECT_FALSE(console_state.PendingLineFeed);
  EXPECT_EQ(Attrs(3), Rep('A', 20));
  EXPECT_EQ(Recorded(),
            (Calls{kInfo, Scroll(0, 1, 19, 3, 0, 0), Scroll(0, 1, 19, 3, 0, 0),
                   Cursor(0, 3), kInfo}));
}

TEST_F(ScreenTest, OwedLineFeedMovesTheWindowWhenTheBufferHasRoom) {
  Open(20, 8, 0, 4);
  C().cursor = {0, 3};
  Print(Rep('x', 20));
  EXPECT_TRUE(console_state.PendingLineFeed);
  EXPECT_EQ(FakeWindow(), (Rect{0, 0, 19, 3}));

  Forget();
  Print("ab");
  EXPECT_EQ(Screen(), (std::vector<std::string>{"", "", "", Rep('x', 20), "ab",
                                                "", "", ""}));
  EXPECT_EQ(FakeCursor(), (Xy{2, 4}));
  EXPECT_EQ(FakeWindow(), (Rect{0, 1, 19, 4}));
  EXPECT_EQ(Cache(), (Rect{0, 1, 19, 4}));
  EXPECT_FALSE(console_state.PendingLineFeed);
  EXPECT_EQ(Recorded(), (Calls{kInfo, Write(2, 0, 4), Cursor(2, 4),
                               Window(0, 1, 19, 4), kInfo}));
}

// The console's cursor just below the view at its left edge (the window was
// scrolled up since, or the write's own LF took it there): a write that
// moves the cursor scrolls at once; one that does not, a lone BEL, owes the
// line feed as a text ending there would.
TEST_F(ScreenTest, CursorJustBelowTheViewScrollsOnlyAfterAMove) {
  struct Case {
    std::string bytes;
    int16_t row;  // the cursor's row before the write
    Xy cursor;
    Rect window;
    bool pending;
    Calls calls;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {"\a", 25, {79, 24}, {0, 0, 79, 24}, true,
       {kInfo, kBeep, Cursor(79, 24), kInfo}},
      {"\b", 25, {0, 25}, {0, 1, 79, 25}, false,
       {kInfo, Cursor(0, 25), Window(0, 1, 79, 25), kInfo}},
      {"\n\r", 24, {0, 25}, {0, 1, 79, 25}, false,
       {kInfo, Cursor(0, 25), Window(0, 1, 79, 25), kInfo}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.bytes[0]));
    FreshProcess();
    Open(80, 300, 0, 25);
    C().cursor = {0, c.row};
    Print(c.bytes);
    EXPECT_EQ(FakeCursor(), c.cursor);
    EXPECT_EQ(FakeWindow(), c.window);
    EXPECT_EQ(console_state.PendingLineFeed, c.pending);
    EXPECT_EQ(Recorded(), c.calls);
  }
}

TEST_F(ScreenTest, FullRowThenLineEndLeavesOneEmptyRowAnywhere) {
  struct Case {
    int row;
    Xy cursor;
    Rect window;
    Calls calls;  // of the line end's write
  };
  // clang-format off
  const std::vector<Case> cases = {
      {0, {0, 2}, {0, 0, 19, 3}, {kInfo, Cursor(0, 2), kInfo}},
      {3, {0, 5}, {0, 2, 19, 5}, {kInfo, Cursor(0, 5), Window(0, 2, 19, 5), kInfo}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    FreshProcess();
    Open(20, 8, 0, 4);
    C().cursor = {0, static_cast<int16_t>(c.row)};
    Print(Rep('x', 20));
    Forget();
    Print("\r\n");
    EXPECT_EQ(C().Row(c.row), Rep('x', 20));
    EXPECT_EQ(C().Row(c.row + 1), Rep(' ', 20));
    EXPECT_EQ(FakeCursor(), c.cursor);
    EXPECT_EQ(FakeWindow(), c.window);
    EXPECT_EQ(Recorded(), c.calls);
  }
}

TEST_F(ScreenTest, LongWriteGoesOutInRunsOf1024CutAtTheRightEdge) {
  const std::string pattern = "abcdefghij klmnopqrstuvwxyz";
  std::string text;
  for (int i = 0; i < 3000; ++i)
    text += pattern[static_cast<size_t>(i) % pattern.size()];
  Open(100, 40, 0, 40);
  Print(text);
  for (int y = 0; y < 30; ++y) {
    SCOPED_TRACE(y);
    EXPECT_EQ(C().Row(y), text.substr(static_cast<size_t>(y) * 100, 100));
  }
  EXPECT_EQ(C().Row(30), Rep(' ', 100));
  EXPECT_EQ(FakeCursor(), (Xy{0, 30}));
  // 1024 = 10 rows + 24, 1024 = 76 + 9 rows + 48, 952 = 52 + 9 rows.
  Calls calls = {kInfo};
  for (int y = 0; y < 10; ++y) calls.push_back(Write(100, 0, y));
  calls.push_back(Write(24, 0, 10));
  calls.push_back(Write(76, 24, 10));
  for (int y = 11; y < 20; ++y) calls.push_back(Write(100, 0, y));
  calls.push_back(Write(48, 0, 20));
  calls.push_back(Write(52, 48, 20));
  for (int y = 21; y < 30; ++y) calls.push_back(Write(100, 0, y));
  calls.push_back(Cursor(0, 30));
  calls.push_back(kInfo);
  EXPECT_EQ(Recorded(), calls);
}

TEST_F(ScreenTest, WindowMovesDownTheBufferThenTheContentsScroll) {
  struct Step {
    std::string bytes;
    std::vector<std::string> screen;
    Rect window;
    Calls calls;
  };
  // clang-format off
  const std::vector<Step> steps = {
      {"a\r\n", {"r0", "r1", "r2", "a", "", ""}, {0, 1, 19, 4},
       {kInfo, Write(1, 0, 3), Cursor(0, 4), Window(0, 1, 19, 4), kInfo}},
      {"b\r\n", {"r0", "r1", "r2", "a", "b", ""}, {0, 2, 19, 5},
       {kInfo, Write(1, 0, 4), Cursor(0, 5), Window(0, 2, 19, 5), kInfo}},
      {"c\r\n", {"r1", "r2", "a", "b", "c", ""}, {0, 2, 19, 5},
       {kInfo, Write(1, 0, 5), Scroll(0, 1, 19, 5, 0, 0), Cursor(0, 5), kInfo}},
      {"d\r\n", {"r2", "a", "b", "c", "d", ""}, {0, 2, 19, 5},
       {kInfo, Write(1, 0, 5), Scroll(0, 1, 19, 5, 0, 0), Cursor(0, 5), kInfo}},
  };
  // clang-format on
  Open(20, 6, 0, 4);
  Put(0, "r0");
  Put(1, "r1");
  Put(2, "r2");
  C().cursor = {0, 3};
  for (size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(i);
    Forget();
    Print(steps[i].bytes);
    EXPECT_EQ(Screen(), steps[i].screen);
    EXPECT_EQ(FakeWindow(), steps[i].window);
    EXPECT_EQ(Cache(), steps[i].window);
    EXPECT_EQ(FakeCursor(), (Xy{0, steps[i].window.b}));
    EXPECT_EQ(Recorded(), steps[i].calls);
  }
  EXPECT_EQ(Attrs(5), Rep('A', 20));  // the row blanked by the scroll
}

// The cursor leaves a view at the buffer's last row by n line feeds.
struct LeaveCase {
  int feeds;
  std::vector<std::string> screen;
  Calls calls;  // between the first query and the cursor placement
};

TEST_F(ScreenTest, ViewIsBlankedWhenTheCursorLeavesItByTheBuffersHeight) {
  // clang-format off
  const std::vector<LeaveCase> cases = {
      {1, {"r1", "r2", "r3", ""}, {Scroll(0, 1, 19, 3, 0, 0)}},
      {2, {"r2", "r3", "", ""}, {Scroll(0, 2, 19, 3, 0, 0)}},
      // Moved up by 3 of 4 rows: rows 1 and 2 are neither moved nor filled.
      {3, {"r3", "", "", ""},
       Calls{Scroll(0, 3, 19, 3, 0, 0)} + Blank(1, 20) + Blank(2, 20) + Blank(3, 20)},
      {4, {"", "", "", ""}, Blank(0, 20) + Blank(1, 20) + Blank(2, 20) + Blank(3, 20)},
      {7, {"", "", "", ""}, Blank(0, 20) + Blank(1, 20) + Blank(2, 20) + Blank(3, 20)},
  };
  // clang-format on
  for (const LeaveCase& c : cases) {
    SCOPED_TRACE(c.feeds);
    FreshProcess();
    Open(20, 4, 0, 4);
    for (int y = 0; y < 4; ++y) Put(y, "r" + N(y));
    C().cursor = {2, 3};
    Print(Rep('\n', c.feeds));
    EXPECT_EQ(Screen(), c.screen);
    EXPECT_EQ(FakeCursor(), (Xy{0, 3}));
    EXPECT_EQ(FakeWindow(), (Rect{0, 0, 19, 3}));
    EXPECT_EQ(Recorded(), OneWrite(c.calls, {0, 3}));
    if (c.feeds >= 3) {
      EXPECT_EQ(Attrs(3), Rep('A', 20));
    }
  }
}

// The view two rows above the buffer's end: one write first moves it down
// by those two rows, then scrolls or blanks for the rest.
TEST_F(ScreenTest, ViewMovesToTheBuffersEndThenScrollsInOneWrite) {
  // clang-format off
  const std::vector<LeaveCase> cases = {
      {2, {"r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7"}, {}},
      {3, {"r1", "r2", "r3", "r4", "r5", "r6", "r7", ""}, {Scroll(0, 1, 19, 7, 0, 0)}},
      {7, {"r5", "r6", "r7", "", "", "", "", ""},
       Calls{Scroll(0, 5, 19, 7, 0, 0)} + Blank(3, 20) + Blank(4, 20) + Blank(5, 20) +
           Blank(6, 20) + Blank(7, 20)},
      {10, {"r0", "r1", "r2", "r3", "", "", "", ""},
       Blank(4, 20) + Blank(5, 20) + Blank(6, 20) + Blank(7, 20)},
  };
  // clang-format on
  for (const LeaveCase& c : cases) {
    SCOPED_TRACE(c.feeds);
    FreshProcess();
    Open(20, 8, 2, 4);
    for (int y = 0; y < 8; ++y) Put(y, "r" + N(y));
    C().cursor = {2, 5};
    Print(Rep('\n', c.feeds));
    EXPECT_EQ(Screen(), c.screen);
    EXPECT_EQ(FakeCursor(), (Xy{0, 7}));
    EXPECT_EQ(FakeWindow(), (Rect{0, 4, 19, 7}));
    EXPECT_EQ(Recorded(), (Calls{kInfo} + c.calls +
                           Calls{Cursor(0, 7), Window(0, 4, 19, 7), kInfo}));
  }
}

TEST_F(ScreenTest, FailedCellWriteDropsTheRestOfItsRun) {
  struct Case {
    const char* name;
    int fail;
    std::string bytes;
    std::vector<std::string> screen;
    Xy cursor;
    Calls calls;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {"later runs still written", 1, "abc\r\ndef", {"", "def"}, {3, 1},
       {Write(3, 0, 0), Write(3, 0, 1)}},
      {"first segment fails", 1, Rep('x', 30), {}, {0, 0},
       {Write(20, 0, 0)}},
      {"second segment fails", 2, Rep('x', 30), {Rep('x', 20)}, {0, 1},
       {Write(20, 0, 0), Write(10, 0, 1)}},
      // The cursor stayed at the left edge, so BS has nowhere to go.
      {"BS after a failed run", 1, "ab\bx", {"x"}, {1, 0},
       {Write(2, 0, 0), Write(1, 0, 0)}},
      // The failed run took the column round to the left edge: BS stays.
      {"BS after a failed run that wrapped", 2, "ab\b" + Rep('y', 19) + "\bx",
       {"ax"}, {2, 0}, {Write(2, 0, 0), Write(19, 1, 0), Write(1, 1, 0)}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FreshProcess();
    Open(20, 4, 0, 4);
    C().fail_write_call = c.fail;
    Print(c.bytes);
    std::vector<std::string> screen = c.screen;
    screen.resize(4);
    EXPECT_EQ(Screen(), screen);
    EXPECT_EQ(FakeCursor(), c.cursor);
    EXPECT_EQ(Recorded(), OneWrite(c.calls, c.cursor));
  }
}

TEST_F(ScreenTest, FailedQueryAssumes80By25WithAttribute7) {
  Open(80, 50, 0, 25);
  C().cursor = {7, 10};
  C().fail_info_call = 1;
  Print("ab");
  EXPECT_EQ(C().Row(0).substr(0, 3), "ab ");
  EXPECT_EQ(Attrs(0).substr(0, 3), "77.");
  EXPECT_EQ(FakeCursor(), (Xy{2, 0}));
  EXPECT_EQ(Recorded(), (Calls{kInfo, Write(2, 0, 0), Cursor(2, 0), kInfo}));
  EXPECT_EQ(Cache(), (Rect{0, 0, 79, 24}));  // the refresh succeeded

  // With 25 buffer rows assumed the view is at the buffer's end, so a line
  // feed past it scrolls the contents rather than moving the window.
  FreshProcess();
  Open(80, 50, 0, 25);
  C().fail_info_call = 1;
  Print(Rep('\n', 25));
  EXPECT_EQ(FakeCursor(), (Xy{0, 24}));
  EXPECT_EQ(FakeWindow(), (Rect{0, 0, 79, 24}));
  EXPECT_EQ(Recorded(), (Calls{kInfo, Scroll(0, 1, 79, 24, 0, 0, 7),
                               Cursor(0, 24), kInfo}));

  // The assumed size never moves the view: with the window at rows 100 to
  // 124 the text starts on row 100.
  FreshProcess();
  Open(80, 300, 100, 25);
  C().fail_info_call = 1;
  Print("ab");
  EXPECT_EQ(C().Row(100).substr(0, 3), "ab ");
  EXPECT_EQ(Recorded(),
            (Calls{kInfo, Write(2, 0, 100), Cursor(2, 100), kInfo}));

  // With the window on rows 1 to 25 the view ends below the assumed
  // buffer's last row: a line of 2047 bytes, one letter per row of 80,
  // moves the assumed rows 1 to 24 up rather than the view, and its last
  // 47 bytes go to row 25. The line end, queried again, then finds room in
  // the real buffer and moves the window down.
  FreshProcess();
  Open(80, 300, 1, 25);
  C().fail_info_call = 1;
  std::string line;
  for (int i = 0; i < 2047; ++i) line += static_cast<char>('a' + i / 80);
  Print(line);
  EXPECT_EQ(FakeCursor(), (Xy{47, 25}));
  C().fail_info_call = 0;
  Forget();
  Print("\r\n");
  EXPECT_EQ(C().Row(0), Rep('a', 80));
  EXPECT_EQ(C().Row(23), Rep('x', 80));
  EXPECT_EQ(C().Row(24), Rep(' ', 80));
  EXPECT_EQ(Attrs(24), Rep('7', 80));
  EXPECT_EQ(C().Row(25), Rep('z', 47) + Rep('y', 33));
  EXPECT_EQ(FakeCursor(), (Xy{0, 26}));
  EXPECT_EQ(FakeWindow(), (Rect{0, 2, 79, 26}));
  EXPECT_EQ(Recorded(),
            (Calls{kInfo, Cursor(0, 26), Window(0, 2, 79, 26), kInfo}));
}

// The view keeps the height of the window at the first write; a window
// made taller later no longer matches it.
TEST_F(ScreenTest, PartialViewScrollsOnlyItsOwnRows) {
  struct Case {
    int feeds;
    std::vector<std::string> screen;
    Calls calls;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {1, {"r1", "r2", "r3", "", "r4", "r5", "r6", "r7"}, {Scroll(0, 1, 19, 3, 0, 0)}},
      {2, {"r2", "r3", "", "", "r4", "r5", "r6", "r7"}, {Scroll(0, 2, 19, 3, 0, 0)}},
      {3, {"r3", "", "", "", "r4", "r5", "r6", "r7"},
       Calls{Scroll(0, 3, 19, 3, 0, 0)} + Blank(1, 20) + Blank(2, 20) + Blank(3, 20)},
      {4, {"", "", "", "", "r4", "r5", "r6", "r7"},
       Blank(0, 20) + Blank(1, 20) + Blank(2, 20) + Blank(3, 20)},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.feeds);
    FreshProcess();
    Open(20, 8, 0, 4);
    Print("\r");  // fixes the view at 4 rows
    C().window = {0, 0, 19, 5};
    ConsoleRefreshWindow();
    Forget();
    for (int y = 0; y < 8; ++y) Put(y, "r" + N(y));
    C().cursor = {2, 3};
    Print(Rep('\n', c.feeds));
    EXPECT_EQ(Screen(), c.screen);
    EXPECT_EQ(FakeCursor(), (Xy{0, 3}));
    EXPECT_EQ(FakeWindow(), (Rect{0, 0, 19, 5}));
    EXPECT_EQ(Recorded(), OneWrite(c.calls, {0, 3}));
    EXPECT_FALSE(console_state.PendingLineFeed);
  }
}

TEST_F(ScreenTest, PartialViewBelowAShorterWindowNeverMovesIt) {
  Open(20, 8, 0, 6);
  Print("\r");  // fixes the view at 6 rows
  C().window = {0, 0, 19, 3};
  ConsoleRefreshWindow();
  Forget();
  C().cursor = {0, 5};
  Print("a\r\n");
  EXPECT_EQ(Screen(),
            (std::vector<std::string>{"", "", "", "", "a", "", "", ""}));
  EXPECT_EQ(FakeCursor(), (Xy{0, 5}));
  EXPECT_EQ(FakeWindow(), (Rect{0, 0, 19, 3}));
  EXPECT_EQ(Recorded(), (Calls{kInfo, Write(1, 0, 5), Scroll(0, 1, 19, 5, 0, 0),
                               Cursor(0, 5), kInfo}));
}

// The view comes from the first write's window and the last write's
// buffer width; the console may have changed since. No cell may go outside
// the buffer, and every write must end.
TEST_F(ScreenTest, ViewIsClampedToAShorterWindowAtTheBuffersEnd) {
  Open(20, 8, 0, 8);
  Print("\r");  // fixes the view at 8 rows
  C().window = {0, 4, 19, 7};
  ConsoleRefreshWindow();
  Forget();
  for (int y = 4; y < 8; ++y) Put(y, "r" + N(y));
  C().cursor = {2, 7};
  Print("a\r\nb");
  EXPECT_EQ(Screen(), (std::vector<std::string>{"", "", "", "r4", "r5", "r6",
                                                "r7a", "b"}));
  EXPECT_EQ(FakeCursor(), (Xy{1, 7}));
  EXPECT_EQ(FakeWindow(), (Rect{0, 4, 19, 7}));
  EXPECT_EQ(Recorded(), (Calls{kInfo, Write(1, 2, 7), Scroll(0, 1, 19, 7, 0, 0),
                               Write(1, 0, 7), Cursor(1, 7), kInfo}));
}

TEST_F(ScreenTest, ViewIsClampedToABufferMadeShorterSinceTheLastWrite) {
  Open(20, 8, 0, 8);
  Print("\r");
  Reshape(20, 4, 0, 4);  // WindowCache still says rows 0 to 7
  C().cursor = {0, 3};
  Forget();
  Print("a\r\nb");
  EXPECT_EQ(Screen(), (std::vector<std::string>{"", "", "a", "b"}));
  EXPECT_EQ(FakeCursor(), (Xy{1, 3}));
  EXPECT_EQ(FakeWindow(), (Rect{0, 0, 19, 3}));
  EXPECT_EQ(Recorded(), (Calls{kInfo, Write(1, 0, 3), Scroll(0, 1, 19, 3, 0, 0),
                               Write(1, 0, 3), Cursor(1, 3), kInfo}));
  EXPECT_EQ(Cache(), (Rect{0, 0, 19, 3}));
}

TEST_F(ScreenTest, ViewIsClampedToABufferMadeNarrower) {
  Open(20, 4, 0, 4);
  Print("\r");
  Reshape(10, 4, 0, 4);  // WindowCache still says 20 columns
  Forget();
  Print(Rep('x', 15));
  EXPECT_EQ(Screen(),
            (std::vector<std::string>{Rep('x', 10), Rep('x', 5), "", ""}));
  EXPECT_EQ(FakeCursor(), (Xy{5, 1}));
  EXPECT_EQ(Recorded(), (Calls{kInfo, Write(10, 0, 0), Write(5, 0, 1),
                               Cursor(5, 1), kInfo}));

  // One column is a console still: its cells, in its attribute.
  Reshape(1, 4, 0, 4);
  Print("xy");
  EXPECT_EQ(Screen(), (std::vector<std::string>{"x", "y", "", ""}));
  EXPECT_EQ(Attrs(0) + Attrs(1), "AA");
}

TEST_F(ScreenTest, CursorRightOfTheViewStartsOnTheNextRow) {
  struct Case {
    Xy start;
    std::vector<std::string> screen;
    Xy cursor;
    Calls calls;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {{15, 1}, {"", "", "a       b", ""}, {9, 2}, {Write(9, 0, 2)}},
      {{15, 3}, {"", "", "", "a       b"}, {9, 3}, {Scroll(0, 1, 19, 3, 0, 0), Write(9, 0, 3)}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.start.y);
    FreshProcess();
    Open(10, 4, 0, 4);
    Print("\r");
    Reshape(20, 4, 0, 4);  // WindowCache still says 10 columns
    C().cursor = {static_cast<int16_t>(c.start.x),
                  static_cast<int16_t>(c.start.y)};
    Forget();
    Print("a\tb");  // the tab counts from the next row's left edge
    EXPECT_EQ(Screen(), c.screen);
    EXPECT_EQ(FakeCursor(), c.cursor);
    EXPECT_EQ(Recorded(), OneWrite(c.calls, c.cursor));
  }
}

// The console's calls for one write: a query first and last, the cursor
// placed once, and each cell write a single row segment inside the view.
void ExpectOneWritesShape(const Calls& calls, int width) {
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls.front(), kInfo);
  EXPECT_EQ(calls.back(), kInfo);
  int queries = 0, cursors = 0;
  size_t cursor_at = 0;
  for (size_t i = 0; i < calls.size(); ++i) {
    const std::string& line = calls[i];
    if (line == kInfo) ++queries;
    if (line.rfind("SetConsoleCursorPosition(", 0) == 0) {
      ++cursors;
      cursor_at = i;
    }
    int n, one, ox, oy, l, t, r, b;
    if (std::sscanf(line.c_str(),
                    "WriteConsoleOutputA(out,{%d,%d},{%d,%d},{%d,%d,%d,%d})",
                    &n, &one, &ox, &oy, &l, &t, &r, &b) == 8) {
      SCOPED_TRACE(line);
      EXPECT_EQ(one, 1);
      EXPECT_EQ(ox, 0);
      EXPECT_EQ(oy, 0);
      EXPECT_EQ(t, b);
      EXPECT_EQ(r - l + 1, n);
      EXPECT_GE(n, 1);
      EXPECT_GE(l, 0);
      EXPECT_LT(r, width);
    }
  }
  EXPECT_EQ(queries, 2);
  EXPECT_EQ(cursors, 1);
  EXPECT_GE(cursor_at + 3, calls.size());
}

TEST_F(ScreenTest, OneWriteMatchesTheSameBytesWrittenOneByOne) {
  std::string text;
  for (int i = 0; i < 120; ++i) {
    text += "word" + N(i) + (i % 7 == 0 ? "\t" : " ");
    if (i % 11 == 0) text += "\r\n";
    if (i % 13 == 0) text += "xy\b";
    if (i % 17 == 0) text += "\a";
    if (i % 19 == 0) text += Rep('=', 30) + "\r\n";
  }
  Open(30, 20, 0, 5);
  Print(text);
  ExpectOneWritesShape(Recorded(), 30);
  const std::vector<std::string> screen = Screen();
  const Xy cursor = FakeCursor();
  const Rect window = FakeWindow();
  const bool pending = console_state.PendingLineFeed;
  EXPECT_EQ(window.b, 19);  // the window went down the buffer to its end

  FreshProcess();
  Open(30, 20, 0, 5);
  for (char ch : text) {
    Forget();
    Print(std::string(1, ch));
    ExpectOneWritesShape(Recorded(), 30);
  }
  EXPECT_EQ(Screen(), screen);
  EXPECT_EQ(FakeCursor(), cursor);
  EXPECT_EQ(FakeWindow(), window);
  EXPECT_EQ(console_state.PendingLineFeed, pending);
}

TEST_F(ScreenTest, PrintLineDrawsOnTheConsole) {
  C().attr = kOldAttr;
  C().Make(20, 8, 0, 4);
  C().attr = kAttr;
  C().cursor = {0, 3};
  PrintLine(0, "hello", PrintFlagNewline);
  PrintLine(0, Rep('x', 20).c_str(), PrintFlagNewline);
  EXPECT_EQ(Screen(), (std::vector<std::string>{"", "", "", "hello",
                                                Rep('x', 20), "", "", ""}));
  EXPECT_EQ(FakeCursor(), (Xy{0, 6}));
  EXPECT_EQ(FakeWindow(), (Rect{0, 3, 19, 6}));
  EXPECT_EQ(Recorded(),
            (Calls{"GetStdHandle(-10)", "GetStdHandle(-11)",
                   "GetConsoleMode(in)", "SetConsoleMode(in,503)", kInfo,
                   kInfo,  // window load, then the cursor's column
                   kInfo, Write(5, 0, 3), Cursor(5, 3), kInfo,  // hello
                   kInfo, Cursor(0, 4), Window(0, 1, 19, 4), kInfo,
                   // The full row is the view's bottom one: the line feed
                   // is owed, and the line end makes up for it.
                   kInfo, Write(20, 0, 4), Cursor(19, 4), kInfo, kInfo,
                   Cursor(0, 6), Window(0, 3, 19, 6), kInfo}));
  EXPECT_TRUE(fake::S().out.empty());
}

}  // namespace
