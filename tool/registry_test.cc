#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test/expected.h"
#include "test/fake.h"
#include "test/process.h"
#include "tool/tool.h"

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

}  // namespace
