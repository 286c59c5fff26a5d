#include "runtime/runtime.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/console.h"
#include "runtime/error.h"
#include "runtime/print.h"
#include "runtime/screen.h"
#include "test/fake.h"
#include "test/process.h"

namespace {

// Whatever the last run left behind, the runtime is back as at load.
TEST(RuntimeResetTest, PutsEveryGlobalBackAsAtLoad) {
  FreshProcess();
  fake::S().console.Make(20, 4, 0, 4);
  fake::S().console.cursor = {0, 3};
  PrintLine(0, "xxxxxxxxxxxxxxxxxxxx", 0);  // fixes the view, owes a line feed
  ASSERT_TRUE(console_state.PendingLineFeed);
  ErrSetNum(7);
  char arg0[] = "tool", arg1[] = "/o";
  char* argv[] = {arg0, arg1, nullptr};
  RuntimeSetArgs(2, argv);
  RuntimeInit();

  fake::Reset();
  RuntimeReset();
  EXPECT_EQ(InitCount, 0);
  EXPECT_EQ(ErrGetNum(), 0);
  EXPECT_EQ(StrLen(GetCommandArg(1)), 0);
  EXPECT_FALSE(console_state.PendingLineFeed);
  EXPECT_EQ(view_rows.top, -1);
  EXPECT_EQ(view_rows.bottom, -1);
  PrintLine(0, "ab", PrintFlagNewline);
  EXPECT_EQ(fake::S().out, "ab\r\n");
  EXPECT_EQ(fake::S().calls.front(), "GetStdHandle(-10)");
}

// Slots 0 to 4, each one record of at most kContextSlotBytes, the same
// record every time.
TEST(RuntimeContextTest, FiveSlotsOfOneRecordEach) {
  FreshProcess();
  EXPECT_EQ(RuntimeGetContext(-1, 8), nullptr);
  EXPECT_EQ(RuntimeGetContext(kContextSlots, 8), nullptr);
  EXPECT_EQ(RuntimeGetContext(4, kContextSlotBytes + 1), nullptr);
  void* last = RuntimeGetContext(4, kContextSlotBytes);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(RuntimeGetContext(4, 1), last);
  EXPECT_NE(RuntimeGetContext(3, 1), last);
}

// Only the end matching the first start-up does the exit work; an end
// without a start-up changes the count and nothing else.
TEST(RuntimeNestingTest, OnlyTheOutermostEndWritesThePendingMessage) {
  fake::Reset();
  RuntimeReset();
  RuntimeInit();
  RuntimeInit();
  // Extended precision and rounding to nearest, set once.
  EXPECT_EQ(fake::S().calls, std::vector<std::string>{"ControlFp(0,0x30300)"});
  runtime_state.PendingAbortMessage = "pending\r\n";
  RuntimeExit();
  EXPECT_EQ(fake::S().err, "");
  EXPECT_EQ(InitCount, 1);
  RuntimeExit();
  EXPECT_EQ(fake::S().err, "pending\r\n");
  RuntimeExit();
  EXPECT_EQ(fake::S().err, "pending\r\n");
  EXPECT_EQ(InitCount, -1);
  // A start-up from below zero is not the first one: nothing is cleared.
  RuntimeInit();
  EXPECT_STREQ(runtime_state.PendingAbortMessage, "pending\r\n");
}

// The first start-up forgets what an earlier run left: its arguments, its
// error number, a line feed owed to the console and an abort message.
TEST(RuntimeNestingTest, TheFirstStartUpForgetsAnEarlierRun) {
  fake::Reset();
  RuntimeReset();
  fake::S().console.Make(20, 4, 0, 4);
  fake::S().console.cursor = {5, 1};
  char arg0[] = "tool", arg1[] = "/o";
  char* argv[] = {arg0, arg1, nullptr};
  RuntimeSetArgs(2, argv);
  ErrSetNum(7);
  console_state.PendingLineFeed = true;
  runtime_state.PendingAbortMessage = "pending\r\n";
  RuntimeInit();
  EXPECT_EQ(StrLen(GetCommandArg(-1)), 0);
  EXPECT_EQ(ErrGetNum(), 0);
  PrintLine(0, "ab", 0);
  EXPECT_EQ(fake::S().console.Row(1), "     ab             ");
  RuntimeExit();
  EXPECT_EQ(fake::S().err, "");
}

TEST(RuntimeNestingTest, NormalEndWritesNothing) {
  FreshProcess();
  EXPECT_EQ(RunToExit([] { ProgramEnd(0); }), 0);
  EXPECT_EQ(fake::S().err, "");
  EXPECT_EQ(InitCount, 0);
}

}  // namespace
