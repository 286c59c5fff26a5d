#include "platform/kernel.h"

#include <gtest/gtest.h>

namespace {

TEST(KernelVersionTest, LeadingNumbersJoinedByDots) {
  const struct {
    const char* release;
    uint32_t want[3];
  } cases[] = {
      {"6.8-rc1", {6, 8, 0}},
      {"6.1.0-13-amd64", {6, 1, 0}},
      {"5.15.153.1-microsoft-standard-WSL2", {5, 15, 153}},
      {"6", {6, 0, 0}},
      {"99999999999.4294967295.4294967296",
       {4294967295, 4294967295, 4294967295}},
      {"", {0, 0, 0}},
  };
  for (const auto& c : cases) {
    uint32_t got[3] = {9, 9, 9};
    plat::KernelVersion(c.release, got);
    EXPECT_EQ(got[0], c.want[0]) << c.release;
    EXPECT_EQ(got[1], c.want[1]) << c.release;
    EXPECT_EQ(got[2], c.want[2]) << c.release;
  }
}

}  // namespace
