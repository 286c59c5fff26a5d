#include "runtime/runtime.h"

#include <gtest/gtest.h>

#include "runtime/console.h"
#include "runtime/error.h"
#include "runtime/print.h"
#include "runtime/screen.h"
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

}  // namespace
