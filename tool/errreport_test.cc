#include <gtest/gtest.h>

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

TEST_F(ErrorReportTest, FillsTheTableInOrder) {
  const char* const expected[kErrorMessageCount] = {
      "No error",
      "Illegal function call",
      "File not found",
      "File I/O error",
      "Out of memory",
      "Illegal resume",
      "Out of bounds array access",
      "Null pointer access",
      "No privileges",
      "Interrupted signal",
      "Illegal instruction signal",
      "Floating point error signal",
      "Segmentation violation signal",
      "Termination request signal",
      "Abnormal termination signal",
      "Quit request signal",
      "Return without gosub",
      "End of file",
  };
  for (int i = 0; i < kErrorMessageCount; ++i) {
    const Text& entry = messages_.entries[i];
    EXPECT_EQ(std::string(entry.data, entry.length), expected[i]) << i;
  }
}

TEST_F(ErrorReportTest, RegistersItselfAndPrintsNothingYet) {
  EXPECT_EQ(SetErrorHandler(nullptr), ErrorReport);
  EXPECT_EQ(fake::S().out, "");
  EXPECT_EQ(fake::S().err, "");
}

// Recording a failure code is not raising it: the report stays unprinted.
TEST_F(ErrorReportTest, RecordedNumbersDoNotEnterTheReport) {
  ErrSetNum(3);
  ErrSetNum(17);
  EXPECT_EQ(fake::S().out, "");
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
