#include "tool/tool.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test/expected.h"
#include "test/fake.h"
#include "test/process.h"

namespace {

using Calls = std::vector<std::string>;

std::string AsString(const Text& t) {
  return std::string(t.data != nullptr ? t.data : "",
                     static_cast<size_t>(t.length));
}

void SetValue(const char* key, const char* name, uint32_t type,
              const std::string& data, uint32_t reported = 0) {
  fake::S().registry[key].values[name] = fake::RegValue{type, data, reported};
}

std::string Read(const char* key, const char* name) {
  Text t;
  StrAssign(t, MyRegRead(kHkeyLocalMachine, key, name));
  return AsString(t);
}

// The calls of a read whose key opens.
Calls ReadCalls(const char* key, const char* name) {
  return {std::string("RegOpenKeyExA(0x80000002,") + key + ",0,0x20019)",
          std::string("RegQueryValueExA(") + key + "," + name + ",2048)",
          std::string("RegCloseKey(") + key + ")"};
}

TEST(RegReadTest, RendersEachTypeOfValue) {
  std::string ab1024;
  for (int i = 0; i < 1024; ++i) ab1024 += "AB";
  struct Case {
    uint32_t type;
    std::string data;
    std::string want;
    uint32_t reported = 0;  // a hooked query's claim, not what it copied
  } cases[] = {
      {1, std::string("WinNT\0", 6), "WinNT"},
      {1, "WinNT", "WinNT"},  // no terminator: nothing is lost
      // Only a zero last byte is a terminator; any other is data.
      {1, std::string("WinNT\x01", 6), std::string("WinNT\x01", 6)},
      {1, "", ""},
      {1, std::string("\0", 1), ""},
      {1, std::string("Win\0NT\0", 7), "Win"},
      {2, std::string("%SystemRoot%\0", 13), "%SystemRoot%"},
      {7, std::string("a\0b\0\0", 5), "a"},
      {4, std::string("\x01\0\0\0", 4), "1"},
      {4, "\xff\xff\xff\xff", "4294967295"},
      {4, "\x01\x01", "257"},  // missing bytes read as zero
      {4, "", "0"},
      {3, std::string("\0\x1a\xff", 3), "001AFF"},
      {3, "", ""},
      {3, std::string(1500, '\xab'), ab1024},
      {0, "xyz", "xyz"},
      {11, std::string("ab\0cd\0\0\0", 8), "ab"},
      {1, std::string(2048, 'x'), std::string(2048, 'x')},
      {1, std::string(2049, 'x'), kQueryError},
      {1, std::string(3000, 'x'), kQueryError},
      {1, std::string("WinNT\0", 6), "Win", 3},  // the size decides
      {1, std::string(2048, 'A'), std::string(2048, 'A'), 4000},
      {3, std::string(2048, '\xab'), ab1024, 4000},
  };
  for (const Case& c : cases) {
    FreshProcess();
    SetValue(kProductKey, "ProductType", c.type, c.data, c.reported);
    EXPECT_EQ(Read(kProductKey, "ProductType"), c.want)
        << "type " << c.type << " size " << c.data.size();
    EXPECT_EQ(fake::S().calls, ReadCalls(kProductKey, "ProductType"));
    EXPECT_EQ(fake::S().open_keys, 0);
  }
}

// An allocation failing anywhere never changes what the registry is asked
// for, so no other key's or value's data can come back: the read gives the
// value or ends the program.
TEST(RegReadTest, RunningOutOfMemoryAsksForTheSameValue) {
  for (long n = 1; n <= 3; ++n) {
    FreshProcess();
    SetValue(kProductKey, "ProductType", 1, std::string("WinNT\0", 6));
    fake::S().fail_allocation = n;
    std::string got;
    const int status =
        RunToExit([&] { got = Read(kProductKey, "ProductType"); });
    std::vector<std::string> want = ReadCalls(kProductKey, "ProductType");
    if (status == kDidNotExit) {
      EXPECT_EQ(got, "WinNT") << n;
    } else {
      EXPECT_EQ(status, 4) << n;
      want.push_back("Exit(4)");
    }
    EXPECT_EQ(fake::S().calls, want) << n;
  }
}

TEST(RegReadTest, FailuresGiveTheErrorTexts) {
  FreshProcess();
  EXPECT_EQ(Read(kProductKey, "ProductType"), kOpenError);
  EXPECT_EQ(fake::S().calls.size(), 1u) << "a failed open closes nothing";

  FreshProcess();
  fake::S().registry[kProductKey].open_fails = true;
  EXPECT_EQ(Read(kProductKey, "ProductType"), kOpenError);
  EXPECT_EQ(fake::S().calls.size(), 1u);

  FreshProcess();
  SetValue(kProductKey, "Other", 1, "x");
  EXPECT_EQ(Read(kProductKey, "ProductType"), kQueryError);
  EXPECT_EQ(fake::S().calls.back(),
            std::string("RegCloseKey(") + kProductKey + ")");
  EXPECT_EQ(fake::S().open_keys, 0);

  FreshProcess();
  SetValue(kProductKey, "ProductType", 1, "WinNT");
  fake::S().registry[kProductKey].query_error = 5;
  EXPECT_EQ(Read(kProductKey, "ProductType"), kQueryError);
  EXPECT_EQ(fake::S().open_keys, 0);
}

TEST(ArchitectureTest, IdentifierAndProgramFilesDecide) {
  const char* kUnset = nullptr;
  struct Case {
    const char* identifier;  // nullptr: no key
    const char* program_files_x86;
    const char* want;
    bool reads_env;
  } cases[] = {
      {"x86 Family 6 Model 15 Stepping 1", "C:\\Program Files (x86)", "32-bit",
       true},
      {"X86 Family 6", "C:\\Program Files (x86)", "32-bit", true},
      {"Intel64 Family 6 Model 58", "C:\\Program Files (x86)", "64-bit", true},
      {"AMD64 Family 23 Model 1", "D:\\x", "64-bit", true},
      {"Intel64 Family 6 Model 58", kUnset, "32-bit", true},
      {"Intel64 Family 6 Model 58", "", "32-bit", true},
      {"Intel64 Family 6 Model 58", "   ", "32-bit", true},
      {"abcd", "x", "64-bit", true},
      {"x86a", "x", "32-bit", true},
      {"x86", "x", "ERROR", false},
      {"ab", "x", "ERROR", false},
      {"", "x", "ERROR", false},
      {nullptr, "C:\\Program Files (x86)", "64-bit", true},
      {nullptr, kUnset, "32-bit", true},
  };
  for (const Case& c : cases) {
    FreshProcess();
    if (c.identifier != nullptr) {
      SetValue(kCpuKey, "Identifier", 1,
               std::string(c.identifier) + std::string(1, '\0'));
    }
    if (c.program_files_x86 != nullptr) {
      fake::S().env["ProgramFiles(x86)"] = c.program_files_x86;
    }
    Text t;
    StrAssign(t, GetArchitecture());
    EXPECT_EQ(AsString(t), c.want)
        << (c.identifier ? c.identifier : "(no key)");
    int opens = 0, envs = 0;
    for (const std::string& call : fake::S().calls) {
      opens += call.rfind("RegOpenKeyExA", 0) == 0;
      envs += call == "getenv(ProgramFiles(x86))";
    }
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(envs, c.reads_env ? 1 : 0);
  }
}

// Runs the tool's main routine with the given arguments, on the Windows 7 of
// FreshWindows7 made to report the given build, platform and version (5.1
// unless given).
struct ToolRun {
  int status;
  std::string out;
  Calls calls;
};

ToolRun RunTool(std::vector<std::string> args, bool version_ok = true,
                uint32_t build = 2600, uint32_t platform = 2,
                uint32_t major = 5, uint32_t minor = 1) {
  FreshWindows7();
  fake::State& s = fake::S();
  s.version_ok = version_ok;
  s.version.major = major;
  s.version.minor = minor;
  s.version.build = build;
  s.version.platform_id = platform;
  args.insert(args.begin(), "torvelin.exe");
  const int status = RunReportMain(args);
  return ToolRun{status, s.out, s.calls};
}

TEST(ReportMainTest, ArgumentsSelectTheForm) {
  const std::string kUsage = UsageText();
  const std::string kReport =
      Printed(ReportLines({"2", "5", "1", "2600", "WinNT", "64-bit"}));
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
  ToolRun r = RunTool({});
  // Each line is two writes: the fourth line ends with the eighth.
  size_t fourth_line = 0, first_open = 0, writes = 0;
  for (size_t i = 0; i < r.calls.size(); ++i) {
    if (r.calls[i].rfind("WriteFile", 0) == 0 && ++writes == 8) fourth_line = i;
    if (r.calls[i].rfind("RegOpenKeyExA", 0) == 0 && first_open == 0)
      first_open = i;
  }
  ASSERT_NE(fourth_line, 0u);
  EXPECT_LT(fourth_line, first_open);
}

TEST(ReportMainTest, FullUnsignedNumbers) {
  EXPECT_EQ(RunTool({"/b"}, true, 4294967295u).out, "4294967295\r\n");
  EXPECT_EQ(RunTool({"/b"}, true, 0x80000000u).out, "2147483648\r\n");
  const uint32_t kHigh[3] = {0x80000002u, 4294967295u, 0x80000000u};
  EXPECT_EQ(RunTool({"/o"}, true, 1, kHigh[0], kHigh[1], kHigh[2]).out,
            "2147483650.4294967295.2147483648\r\n");
  EXPECT_EQ(
      RunTool({}, true, 1, kHigh[0], kHigh[1], kHigh[2]).out.substr(0, 96),
      Printed(ReportLines({"2147483650", "4294967295", "2147483648"})));
}

}  // namespace
