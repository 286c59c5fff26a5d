// The fake platform's simulated console, as the screen driver's tests rely
// on it.
#include "test/fake.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

class FakeConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    fake::S().console.Make(4, 3, 0, 2);
  }
  fake::Console& C() { return fake::S().console; }
  std::string Rows() {
    return C().Row(0) + "|" + C().Row(1) + "|" + C().Row(2);
  }
};

TEST_F(FakeConsoleTest, WriteIsClippedToTheBuffer) {
  const plat::CharInfo cells[3] = {{'a', 1}, {'b', 2}, {'c', 3}};
  plat::SmallRect region = {2, 1, 4, 1};
  EXPECT_TRUE(
      plat::WriteConsoleOutputA(fake::kOutput, cells, {3, 1}, {0, 0}, &region));
  EXPECT_EQ(Rows(), "    |  ab|    ");
  EXPECT_EQ(C().At(3, 1).attr, 2);
  EXPECT_EQ(region.left, 2);
  EXPECT_EQ(region.right, 3);
  region = {0, 5, 2, 5};
  EXPECT_TRUE(
      plat::WriteConsoleOutputA(fake::kOutput, cells, {3, 1}, {0, 0}, &region));
  EXPECT_LT(region.bottom, region.top);
  C().fail_write_call = 3;
  region = {0, 0, 2, 0};
  EXPECT_FALSE(
      plat::WriteConsoleOutputA(fake::kOutput, cells, {3, 1}, {0, 0}, &region));
  EXPECT_EQ(Rows(), "    |  ab|    ");
  EXPECT_EQ(fake::S().calls.back(),
            "WriteConsoleOutputA(out,{3,1},{0,0},{0,0,2,0})");
}

TEST_F(FakeConsoleTest, ScrollMovesAndFillsTheUncoveredSource) {
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x)
      C().At(x, y).ch = static_cast<char>('a' + 4 * y + x);
  const plat::SmallRect source = {0, 1, 3, 5};  // clipped to rows 1 and 2
  const plat::CharInfo fill = {'.', 9};
  EXPECT_TRUE(plat::ScrollConsoleScreenBufferA(fake::kOutput, &source, nullptr,
                                               {0, 0}, &fill));
  EXPECT_EQ(Rows(), "efgh|ijkl|....");
  EXPECT_EQ(C().At(0, 2).attr, 9);
  EXPECT_EQ(fake::S().calls.back(),
            "ScrollConsoleScreenBufferA(out,{0,1,3,5},null,{0,0},46,9)");
}

TEST_F(FakeConsoleTest, WindowOutsideTheBufferIsRefused) {
  const plat::SmallRect cases[] = {
      {0, 1, 3, 3}, {0, 1, 4, 2}, {-1, 0, 3, 1}, {0, 2, 3, 1}};
  for (const plat::SmallRect& r : cases) {
    EXPECT_FALSE(plat::SetConsoleWindowInfo(fake::kOutput, true, &r));
    EXPECT_EQ(C().window.top, 0);
    EXPECT_EQ(C().window.bottom, 1);
  }
  const plat::SmallRect ok = {0, 1, 3, 2};
  EXPECT_TRUE(plat::SetConsoleWindowInfo(fake::kOutput, true, &ok));
  EXPECT_EQ(C().window.top, 1);
  EXPECT_EQ(C().window.bottom, 2);
}

TEST_F(FakeConsoleTest, QueryOnlyOnTheOutputConsole) {
  plat::ScreenBufferInfo info = {};
  C().cursor = {1, 2};
  C().attr = 0x1f;
  EXPECT_TRUE(plat::GetConsoleScreenBufferInfo(fake::kOutput, &info));
  EXPECT_EQ(info.size.x, 4);
  EXPECT_EQ(info.size.y, 3);
  EXPECT_EQ(info.cursor.y, 2);
  EXPECT_EQ(info.attributes, 0x1f);
  EXPECT_EQ(info.window.bottom, 1);
  EXPECT_FALSE(plat::GetConsoleScreenBufferInfo(fake::kInput, &info));
  C().fail_info_call = 3;
  EXPECT_FALSE(plat::GetConsoleScreenBufferInfo(fake::kOutput, &info));
  EXPECT_TRUE(plat::GetConsoleScreenBufferInfo(fake::kOutput, &info));
  C().present = false;
  EXPECT_FALSE(plat::GetConsoleScreenBufferInfo(fake::kOutput, &info));
  EXPECT_EQ(C().info_calls, 5);
  EXPECT_EQ(fake::S().calls, (Calls{"GetConsoleScreenBufferInfo(out)",
                                    "GetConsoleScreenBufferInfo(in)",
                                    "GetConsoleScreenBufferInfo(out)",
                                    "GetConsoleScreenBufferInfo(out)",
                                    "GetConsoleScreenBufferInfo(out)"}));
}

}  // namespace
