#include "runtime/print.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/console.h"
#include "runtime/error.h"
#include "test/fake.h"
#include "test/process.h"

namespace {

using Calls = std::vector<std::string>;

std::string Bytes(int n, char c) {
  return std::string(static_cast<size_t>(n), c);
}

void Print(const std::string& s, uint32_t flags) {
  PrintLine(0, StrView(s.data(), static_cast<int32_t>(s.size())), flags);
}

TEST(PrintTest, FirstPrintSetsUpThenWritesTextAndLineEnd) {
  FreshProcess();
  fake::S().input_mode = 0x1f6;
  Print("abc", PrintFlagNewline);
  EXPECT_EQ(fake::S().out, "abc\r\n");
  EXPECT_EQ(
      fake::S().calls,
      (Calls{"GetStdHandle(-10)", "GetStdHandle(-11)", "GetConsoleMode(in)",
             "SetConsoleMode(in,503)", "GetConsoleScreenBufferInfo(out)",
             "GetConsoleScreenBufferInfo(out)", "WriteFile(out,3)",
             "WriteFile(out,2)"}));
  EXPECT_EQ(fake::S().input_mode, 0x1f7u);
  EXPECT_EQ(ErrGetNum(), 0);

  fake::S().calls.clear();
  Print("d", PrintFlagNewline);
  EXPECT_EQ(fake::S().calls, (Calls{"WriteFile(out,1)", "WriteFile(out,2)"}));
}

TEST(PrintTest, InputThatIsNoConsoleKeepsItsMode) {
  FreshProcess();
  fake::S().input_is_console = false;
  Print("", PrintFlagNewline);
  EXPECT_EQ(fake::S().calls,
            (Calls{"GetStdHandle(-10)", "GetStdHandle(-11)",
                   "GetConsoleMode(in)", "GetConsoleScreenBufferInfo(out)",
                   "GetConsoleScreenBufferInfo(out)", "WriteFile(out,2)"}));
}

TEST(PrintTest, NoInputHandleIsNotQueried) {
  FreshProcess();
  fake::S().input = nullptr;
  Print("x", PrintFlagNewline);
  EXPECT_EQ(fake::S().calls[2], "GetConsoleScreenBufferInfo(out)");
  EXPECT_EQ(fake::S().out, "x\r\n");
}

TEST(PrintTest, FlagsDecideWhatFollowsTheText) {
  struct Case {
    const char* text;
    uint32_t flags;
    std::string out;
  } cases[] = {
      {"", PrintFlagNewline, "\r\n"},
      {"", 0, ""},
      {"ab", 0, "ab"},
      {"ab", PrintFlagNewlineAlt, "ab\r\n"},
      {"ab", PrintFlagNewline | PrintFlagZone, "ab\r\n"},
      {"ab", PrintFlagZone, "ab" + Bytes(13, ' ')},  // column 1: zone at 15
      {"a\x07\x08\tb\nc", PrintFlagNewline, "a\x07\x08\tb\nc\r\n"},
  };
  for (const Case& c : cases) {
    FreshProcess();
    Print(c.text, c.flags);
    EXPECT_EQ(fake::S().out, c.out) << c.text << " flags " << c.flags;
  }
}

TEST(PrintTest, AbsentTextWritesOnlyTheLineEnd) {
  FreshProcess();
  PrintLine(0, static_cast<const char*>(nullptr), PrintFlagNewline);
  EXPECT_EQ(fake::S().out, "\r\n");
}

TEST(PrintTest, ZoneFillsOnARedirectedOutput) {
  struct Case {
    int text_bytes;  // written after a line end
    std::string fill;
  } cases[] = {
      {0, Bytes(14, ' ')}, {13, " "},    {14, Bytes(14, ' ')}, {55, " "},
      {56, "\r\n"},        {79, "\r\n"}, {80, Bytes(14, ' ')},
  };
  for (const Case& c : cases) {
    FreshProcess();
    Print("", PrintFlagNewline);
    Print(Bytes(c.text_bytes, 'x'), 0);
    fake::S().out.clear();
    PrintZone(FileFromNumber(0));
    EXPECT_EQ(fake::S().out, c.fill) << c.text_bytes;
  }
}

// On a console the width is the buffer's and the column starts at the
// cursor's. The zone test is unsigned: below 14 columns it never ends the
// line. The fill is drawn by the screen driver.
TEST(PrintTest, ZoneFillsThroughTheConsole) {
  struct Case {
    int16_t width, cursor_x;
    int fail_info_call;  // 2: the query for the cursor's column
    int32_t column;      // the entry's column after the fill
    int16_t x, y;        // the console's cursor after the fill
  } cases[] = {
      {10, 0, 0, 4, 4, 1},   {13, 0, 0, 1, 1, 1},   {14, 0, 0, 0, 0, 1},
      {28, 0, 0, 0, 0, 1},   {29, 0, 0, 14, 14, 0}, {80, 5, 0, 14, 14, 0},
      {80, 5, 2, 14, 19, 0},
  };
  for (const Case& c : cases) {
    FreshProcess();
    fake::S().console.Make(c.width, 4, 0, 4);
    fake::S().console.cursor.x = c.cursor_x;
    fake::S().console.fail_info_call = c.fail_info_call;
    PrintZone(FileFromNumber(0));
    const std::string what = "width " + std::to_string(c.width) + " cursor " +
                             std::to_string(c.cursor_x);
    EXPECT_EQ(FileFromNumber(0)->column, c.column) << what;
    EXPECT_EQ(fake::S().console.cursor.x, c.x) << what;
    EXPECT_EQ(fake::S().console.cursor.y, c.y) << what;
    EXPECT_EQ(fake::S().out, "") << what;
  }
}

TEST(PrintTest, ZoneFillAsTheFirstWriteIsOneSpace) {
  FreshProcess();
  PrintZone(FileFromNumber(0));
  EXPECT_EQ(fake::S().out, " ");
}

TEST(PrintTest, ColumnFollowsTheLastLineEndModuloTheWidth) {
  struct Case {
    std::string text;
    int32_t column;
  } cases[] = {
      {Bytes(100, 'x'), 20}, {"ab\rcd", 2},       {"ab\ncde", 3},
      {"abc\r\n", 0},        {Bytes(80, 'x'), 0}, {"\nab", 2},
  };
  for (const Case& c : cases) {
    FreshProcess();
    Print("", PrintFlagNewline);
    Print(c.text, 0);
    EXPECT_EQ(FileFromNumber(0)->column, c.column) << c.text;
    EXPECT_EQ(FileFromNumber(0)->width, 80);
  }
}

TEST(PrintTest, FileNumbersWithoutAnOpenEntryWriteNothing) {
  for (int32_t file : {1, 255, -1, 256, -2}) {
    FreshProcess();
    Text t;
    StrAssign(t, "abc");
    PrintLine(file, static_cast<Text&&>(t), PrintFlagNewline);
    EXPECT_EQ(t.data, nullptr) << "the temporary is consumed";
    EXPECT_EQ(fake::S().out, "") << file;
    EXPECT_EQ(ErrGetNum(), 1) << file;
    PrintZone(FileFromNumber(file));
    EXPECT_EQ(fake::S().out, "") << file;
    EXPECT_EQ(ErrGetNum(), 1) << file;
  }
  FreshProcess();
  Print("a", PrintFlagNewline);
  EXPECT_EQ(ErrGetNum(), 0);
}

TEST(PrintTest, ByteStreamRetriesShortWritesAndDropsTheRestOnFailure) {
  struct Case {
    std::vector<int64_t> script;  // what each WriteFile call takes
    std::string out;
    Calls writes;
  } cases[] = {
      {{2},
       "hello\r\n",
       {"WriteFile(out,5)", "WriteFile(out,3)", "WriteFile(out,2)"}},
      {{1, 1, 1, 1, 1, 1},
       "hello\r\n",
       {"WriteFile(out,5)", "WriteFile(out,4)", "WriteFile(out,3)",
        "WriteFile(out,2)", "WriteFile(out,1)", "WriteFile(out,2)",
        "WriteFile(out,1)"}},
      {{-1}, "\r\n", {"WriteFile(out,5)", "WriteFile(out,2)"}},
      {{3, -1},
       "hel\r\n",
       {"WriteFile(out,5)", "WriteFile(out,2)", "WriteFile(out,2)"}},
      // Success with nothing taken ends the write instead of spinning.
      {{0}, "\r\n", {"WriteFile(out,5)", "WriteFile(out,2)"}},
      {{2, 0, -1, -1},
       "he",
       {"WriteFile(out,5)", "WriteFile(out,3)", "WriteFile(out,2)"}},
  };
  for (const Case& c : cases) {
    FreshProcess();
    ConsoleEntryInit();  // set-up done, nothing written
    fake::S().calls.clear();
    fake::S().write_script.assign(c.script.begin(), c.script.end());
    Print("hello", PrintFlagNewline);
    EXPECT_EQ(fake::S().out, c.out);
    EXPECT_EQ(fake::S().calls, c.writes);
    EXPECT_EQ(ErrGetNum(), 0);
    EXPECT_EQ(FileFromNumber(0)->column, 0);
  }
}

TEST(PrintTest, ADegenerateConsoleTakesTheByteStream) {
  struct Case {
    int16_t width, height, window_rows;
  } cases[] = {
      {80, 300, 1},  // a window one row high
      {1, 300, 25},  // a buffer one column wide
      {0, 300, 25},  // a query that succeeds with no columns
      {80, 0, 25},   // or no rows
  };
  for (const Case& c : cases) {
    FreshProcess();
    fake::S().console.Make(c.width, c.height, 0, c.window_rows);
    Print("ab", PrintFlagNewline);
    EXPECT_EQ(fake::S().out, "ab\r\n");
    EXPECT_EQ(fake::S().calls.back(), "WriteFile(out,2)");
  }
}

}  // namespace
