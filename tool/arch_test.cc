#include <gtest/gtest.h>

#include <string>

#include "test/expected.h"
#include "test/fake.h"
#include "test/process.h"
#include "tool/tool.h"

namespace {

TEST(ArchitectureTest, IdentifierAndProgramFilesDecide) {
  const char* kUnset = nullptr;
  struct Case {
    const char* identifier;  // nullptr: no key
    const char* program_files_x86;
    const char* want;  // "ERROR": decided before the environment is read
  } cases[] = {
      {"x86 Family 6 Model 15 Stepping 1", "C:\\Program Files (x86)", "32-bit"},
      {"X86 Family 6", "C:\\Program Files (x86)", "32-bit"},
      {"Intel64 Family 6 Model 58", "C:\\Program Files (x86)", "64-bit"},
      {"AMD64 Family 23 Model 1", "D:\\x", "64-bit"},
      {"Intel64 Family 6 Model 58", kUnset, "32-bit"},
      {"Intel64 Family 6 Model 58", "", "32-bit"},
      {"Intel64 Family 6 Model 58", "   ", "32-bit"},
      {"abcd", "x", "64-bit"},
      {"x86a", "x", "32-bit"},
      {"x86", "x", "ERROR"},
      {"ab", "x", "ERROR"},
      {"", "x", "ERROR"},
      {nullptr, "C:\\Program Files (x86)", "64-bit"},
      {nullptr, kUnset, "32-bit"},
  };
  for (const Case& c : cases) {
    FreshProcess();
    if (c.identifier != nullptr) {
      fake::S().registry[kCpuKey].values["Identifier"] = {
          1, std::string(c.identifier) + '\0'};
    }
    if (c.program_files_x86 != nullptr) {
      fake::S().env["ProgramFiles(x86)"] = c.program_files_x86;
    }
    Text t;
    StrAssign(t, GetArchitecture());
    EXPECT_EQ(std::string(t.data, static_cast<size_t>(t.length)), c.want)
        << (c.identifier ? c.identifier : "(no key)");
    int opens = 0, envs = 0;
    for (const std::string& call : fake::S().calls) {
      opens += call.rfind("RegOpenKeyExA", 0) == 0;
      envs += call == "getenv(ProgramFiles(x86))";
    }
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(envs, c.want == std::string("ERROR") ? 0 : 1);
  }
}

}  // namespace
