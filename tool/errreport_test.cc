#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "runtime/error.h"
#include "runtime/runtime.h"
#include "test/expected.h"
#include "test/fake.h"
#include "test/process.h"
#include "tool/tool.h"

namespace {

// Each test starts as ReportMain leaves a fresh process: the report
// installed.
class ErrorReportTest : public ::testing::Test {
 protected:
  void SetUp() override { Fresh(); }
  void Fresh() {
    FreshProcess();
    ErrorReportInstall(&messages_);
  }

  ErrorMessages messages_;
};

static_assert(std::size(kErrorWording) == kErrorMessageCount,
              "a wording for each code");

TEST_F(ErrorReportTest, FillsTheTableInOrder) {
  for (int i = 0; i < kErrorMessageCount; ++i) {
    const Text& entry = messages_.entries[i];
    EXPECT_EQ(std::string(entry.data, entry.length), kErrorWording[i]) << i;
  }
}

// Installing registers the report and prints nothing; recording a failure
// code is not raising it.
TEST_F(ErrorReportTest, RegistersItselfAndPrintsNothingYet) {
  ErrSetNum(3);
  ErrSetNum(17);
  EXPECT_EQ(fake::S().out, "");
  EXPECT_EQ(fake::S().err, "");
  EXPECT_EQ(SetErrorHandler(nullptr), ErrorReport);
}

TEST_F(ErrorReportTest, ReportsARaisedError) {
  struct Case {
    int32_t number;
    int32_t line;
    const char* first_line;
  };
  const Case cases[] = {
      {0, 1, "ERROR: #0 at line #1; No error"},
      {4, 12, "ERROR: #4 at line #12; Out of memory"},
      {8, 99, "ERROR: #8 at line #99; No privileges"},
      {17, 3, "ERROR: #17 at line #3; End of file"},
      {18, 0, "ERROR: #18 at line #0"},
      {-1, 0, "ERROR: #-1 at line #0"},
      {-1, -3, "ERROR: #-1 at line #-3"},
      {5, -2147483647 - 1, "ERROR: #5 at line #-2147483648; Illegal resume"},
      {2147483647, 7, "ERROR: #2147483647 at line #7"},
  };
  for (const Case& c : cases) {
    Fresh();
    const ErrHandler handler =
        ThrowError(c.number, c.line, "mod", nullptr, nullptr);
    ASSERT_EQ(handler, ErrorReport);
    // The report allocates nothing: memory that has run out cannot stop it.
    fake::S().fail_from = fake::S().allocation_attempts + 1;
    EXPECT_EQ(RunToExit(handler), c.number) << c.first_line;
    EXPECT_EQ(fake::S().out, ErrorReportText(c.first_line));
    EXPECT_EQ(fake::S().err, "");
  }
}

}  // namespace
