#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test/expected.h"
#include "test/fake.h"
#include "test/process.h"
#include "tool/tool.h"

namespace {

// Runs the tool's main routine with the given arguments, on the Windows 7 of
// FreshWindows7 made to report the given build, platform and version (5.1
// unless given).
struct ToolRun {
  int status;
  std::string out;
};

ToolRun RunTool(std::vector<std::string> args, uint32_t build = 2600,
                uint32_t platform = 2, uint32_t major = 5, uint32_t minor = 1) {
  FreshWindows7();
  fake::State& s = fake::S();
  s.version.major = major;
  s.version.minor = minor;
  s.version.build = build;
  s.version.platform_id = platform;
  args.insert(args.begin(), "torvelin.exe");
  const int status = RunReportMain(args);
  return ToolRun{status, s.out};
}

TEST(ReportMainTest, ArgumentsSelectTheForm) {
  const std::string kUsage = UsageText();
  // GCC 16 takes the freeing of the temporary vector's strings, inlined from
  // the standard library, for the freeing of a pointer 32 bytes into its
  // block (-Wfree-nonheap-object): a false positive, silenced here alone.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wfree-nonheap-object"
  const std::string kReport =
      Printed(ReportLines({"2", "5", "1", "2600", "WinNT", "64-bit"}));
#pragma GCC diagnostic pop
  struct Case {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{}, kReport},          {{""}, kReport},
      {{"   "}, kReport},     {{"/o"}, "2.5.1\r\n"},
      {{"/O"}, "2.5.1\r\n"},  {{"-o"}, "2.5.1\r\n"},
      {{"-O"}, "2.5.1\r\n"},  {{"/b"}, "2600\r\n"},
      {{"-B"}, "2600\r\n"},   {{" /b "}, "2600\r\n"},
      {{"/p"}, "WinNT\r\n"},  {{"-P"}, "WinNT\r\n"},
      {{"/a"}, "64-bit\r\n"}, {{"-A", "x y", "/o"}, "64-bit\r\n"},
      {{"/OB"}, kUsage},      {{"/"}, kUsage},
      {{"O"}, kUsage},        {{"--"}, kUsage},
      {{"/x"}, kUsage},       {{"/?"}, kUsage},
      {{"o/"}, kUsage},       {{"/\xef"}, kUsage},
      {{"\t/o"}, kUsage},     {{std::string(100000, 'x')}, kUsage},
  };
  for (const Case& c : cases) {
    ToolRun r = RunTool(c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out)
        << (c.args.empty() ? "(none)" : c.args[0].substr(0, 10));
    EXPECT_EQ(fake::S().err, "");
  }
}

TEST(ReportMainTest, TheReportReadsTheRegistryAfterTheNumbersArePrinted) {
  RunTool({});
  const std::vector<std::string>& calls = fake::S().calls;
  // Each line is two writes: the fourth line ends with the eighth.
  size_t fourth_line = 0, first_open = 0, writes = 0;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].rfind("WriteFile", 0) == 0 && ++writes == 8) fourth_line = i;
    if (calls[i].rfind("RegOpenKeyExA", 0) == 0 && first_open == 0)
      first_open = i;
  }
  ASSERT_NE(fourth_line, 0u);
  EXPECT_LT(fourth_line, first_open);
}

TEST(ReportMainTest, FullUnsignedNumbers) {
  EXPECT_EQ(RunTool({"/b"}, 4294967295u).out, "4294967295\r\n");
  EXPECT_EQ(RunTool({"/b"}, 0x80000000u).out, "2147483648\r\n");
  const uint32_t kHigh[3] = {0x80000002u, 4294967295u, 0x80000000u};
  EXPECT_EQ(RunTool({"/o"}, 1, kHigh[0], kHigh[1], kHigh[2]).out,
            "2147483650.4294967295.2147483648\r\n");
  EXPECT_EQ(RunTool({}, 1, kHigh[0], kHigh[1], kHigh[2]).out.substr(0, 96),
            Printed(ReportLines({"2147483650", "4294967295", "2147483648"})));
}

}  // namespace
