#include "runtime/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "test/expected.h"
#include "test/fake.h"
#include "test/process.h"

using namespace std::string_literals;

namespace {

// A view over a std::string's bytes (zero bytes included).
Text V(const std::string& s) {
  return StrView(s.data(), static_cast<int32_t>(s.size()));
}

// A variable owning a copy of `s`.
Text Owned(const std::string& s) {
  Text t;
  StrAssign(t, V(s));
  return t;
}

// The bytes of a result, after checking the invariants every owned text
// keeps: room for its length and a zero byte after the last one.
std::string Bytes(Text t) {
  if (t.data == nullptr) {
    EXPECT_EQ(t.length, 0);
    return "";
  }
  if (!t.is_view()) {
    EXPECT_GE(t.capacity, t.length);
    EXPECT_EQ(t.data[t.length], 0) << "missing terminator";
  }
  return std::string(t.data, static_cast<size_t>(t.length));
}

std::string Bytes(const Text* t) {
  return t->data == nullptr ? "" : std::string(t->data, t->length);
}

// Every test starts from a fresh process and must give back all it
// allocated.
class TextTest : public ::testing::Test {
 protected:
  void SetUp() override { FreshProcess(); }
  void TearDown() override {
    EXPECT_EQ(fake::S().allocations, 0) << "buffers left allocated";
  }
};

TEST_F(TextTest, MoveConstructionStealsAndDestructionFrees) {
  {
    Text a = Owned("abc");
    char* buffer = a.data;
    Text b(static_cast<Text&&>(a));
    EXPECT_EQ(b.data, buffer);
    EXPECT_EQ(a.data, nullptr);
    EXPECT_EQ(a.length, 0);
    EXPECT_EQ(fake::S().allocations, 1);
  }
  EXPECT_EQ(fake::S().allocations, 0);
}

TEST_F(TextTest, MoveAssignmentTakesOwnedBufferAndCopiesViews) {
  Text t = Owned("old");
  Text fresh = Owned("brand new");
  char* buffer = fresh.data;
  t = static_cast<Text&&>(fresh);
  EXPECT_EQ(t.data, buffer);  // taken over, not copied
  EXPECT_EQ(fresh.data, nullptr);
  EXPECT_EQ(fake::S().allocations, 1);

  std::string bytes = "viewed";
  t = V(bytes);
  EXPECT_FALSE(t.is_view());
  EXPECT_NE(t.data, bytes.data());
  EXPECT_EQ(Bytes(&t), "viewed");

  t = static_cast<Text&&>(t);  // storing a variable into itself keeps it
  EXPECT_EQ(Bytes(&t), "viewed");
}

TEST_F(TextTest, AssignStoresAndReleases) {
  Text t;
  StrAssign(t, "abc");
  EXPECT_EQ(Bytes(&t), "abc");

  char* buffer = t.data;
  long attempts = fake::S().allocation_attempts;
  StrAssign(t, "xyz");  // same length: the buffer is reused
  EXPECT_EQ(t.data, buffer);
  EXPECT_EQ(fake::S().allocation_attempts, attempts);
  EXPECT_EQ(Bytes(&t), "xyz");
  StrAssign(t, "wxyz");  // too small: a new buffer, the old one freed
  EXPECT_EQ(Bytes(&t), "wxyz");
  EXPECT_EQ(fake::S().allocations, 1);

  StrAssign(t, "");
  EXPECT_EQ(t.data, nullptr);
  EXPECT_EQ(fake::S().allocations, 0);

  StrAssign(t, static_cast<const char*>(nullptr));
  EXPECT_EQ(t.data, nullptr);

  StrAssign(t, V("a\0b"s));  // zero bytes of a text are kept
  EXPECT_EQ(Bytes(&t), "a\0b"s);
}

TEST_F(TextTest, AssignOfOwnedTemporaryMovesTheBuffer) {
  Text t = Owned("old");
  long attempts = fake::S().allocation_attempts;
  StrAssign(t, StrLeft("abcdef", 4));
  EXPECT_EQ(fake::S().allocation_attempts, attempts + 1);  // StrLeft's only
  EXPECT_EQ(fake::S().allocations, 1);
  EXPECT_EQ(Bytes(&t), "abcd");
}

TEST_F(TextTest, AssignFromInsideItsOwnBuffer) {
  Text t = Owned("abcdef");
  StrAssign(t, StrView(t.data + 1, 4));
  EXPECT_EQ(Bytes(&t), "bcde");
  StrAssign(t, t);
  EXPECT_EQ(Bytes(&t), "bcde");

  // A view held in a variable is copied out before anything is released.
  std::string bytes = "viewed";
  Text v = V(bytes);
  EXPECT_TRUE(v.is_view());
  StrAssign(v, StrView(v.data + 2, 3));
  EXPECT_FALSE(v.is_view());
  EXPECT_EQ(Bytes(&v), "ewe");
  EXPECT_EQ(bytes, "viewed");
}

TEST_F(TextTest, FixedTextAsSourceAndView) {
  FixedText<2048> f;
  StrAssignFixed(f, "ab");
  Text t;
  StrAssign(t, f);
  EXPECT_EQ(Bytes(&t), "ab");
  EXPECT_EQ(StrLen(f), 2);

  Text all = StrFromFixed(f);
  EXPECT_TRUE(all.is_view());
  EXPECT_EQ(all.length, 2048);
  EXPECT_EQ(fake::S().allocations, 1);  // only t: a view copies nothing
  EXPECT_EQ(Bytes(StrMid(all, 3, 1)), "\0"s);
  EXPECT_EQ(StrAsc(StrMid(all, 3, 1), 1), 0);
  EXPECT_EQ(StrAsc(all, 2048), 0);
  EXPECT_EQ(StrAsc(all, 2049), 0);
}

TEST_F(TextTest, AssignFixedCutsAndClears) {
  FixedText<2048> f;
  StrAssignFixed(f, V(std::string(3000, 'x')));
  EXPECT_EQ(std::string(f.bytes, 2048), std::string(2048, 'x'));
  EXPECT_EQ(f.bytes[2048], 0);

  StrAssignFixed(f, V(std::string(31, 'y')));
  EXPECT_EQ(std::string(f.bytes, 31), std::string(31, 'y'));
  EXPECT_EQ(std::string(f.bytes + 31, 2048 - 31), std::string(2048 - 31, 0));
}

TEST_F(TextTest, AssignFixedSmallBuffer) {
  // The terminator slot is preset to Z to show when it is written.
  struct Case {
    std::string source;
    std::string bytes;  // all five bytes afterwards
  } cases[] = {
      {"", "\0\0\0\0\0"s},   {"ab", "ab\0\0Z"s}, {"abcd", "abcd\0"s},
      {"abcdef", "abcd\0"s}, {"abc", "abc\0Z"s}, {"a\0c"s, "a\0c\0Z"s},
  };
  for (const Case& c : cases) {
    FixedText<4> f;
    std::memcpy(f.bytes, "qqqqZ", 5);
    StrAssignFixed(f, V(c.source));
    EXPECT_EQ(std::string(f.bytes, 5), c.bytes) << c.source;
  }
}

// The answers of the operations that make new texts: one call a line, with
// the exact bytes it must give.
TEST_F(TextTest, Results) {
  struct Case {
    Text got;
    std::string want;
  } cases[] = {
      {StrLeft("abc", 0), ""},
      {StrLeft("a", 1), "a"},
      {StrLeft("abc", -1), ""},
      {StrLeft("abc", 2), "ab"},
      {StrLeft("abc", 5), "abc"},
      {StrLeft("abc", INT32_MAX), "abc"},
      {StrLeft("", 3), ""},
      {StrLeft(V("a\0c"s), 2), "a\0"s},
      {StrMid("abcdef", 3, 2), "cd"},
      {StrMid("abcdef", 5, 10), "ef"},
      {StrMid("abcdef", 2, -1), "bcdef"},
      {StrMid("abcdef", 6, 1), "f"},
      {StrMid("a", 1, 1), "a"},
      {StrMid("abcdef", 0, 1), ""},
      {StrMid("abcdef", 7, 1), ""},
      {StrMid("abcdef", 2, 0), ""},
      {StrMid("abcdef", 3, -7), "cdef"},
      {StrMid("abcdef", INT32_MIN, 1), ""},
      {StrMid("abcdef", 1, INT32_MIN), "abcdef"},
      {StrMid("", 1, 1), ""},
      // start + count - 1 is beyond 32 bits in these.
      {StrMid("abcdef", 2, INT32_MAX), "bcdef"},
      {StrMid("abcdef", 6, INT32_MAX), "f"},
      {StrMid("abcdef", INT32_MAX, INT32_MAX), ""},
      {StrUCase("/o"), "/O"},
      {StrUCase("x86"), "X86"},
      {StrUCase("\xe4"), "\xe4"},
      {StrUCase("09!@[`{~AZ"), "09!@[`{~AZ"},
      {StrUCase(V("az\0"s)), "AZ\0"s},
      {StrUCase(""), ""},
      {StrTrim("   /b  "), "/b"},
      {StrTrim("\tab"), "\tab"},
      {StrTrim(V("ab\0\0"s)), "ab"},
      {StrTrim(V("\0ab"s)), "\0ab"s},
      {StrTrim("    "), ""},
      {StrTrim(V("\0  "s)), ""},
      {StrTrim(V(" \0 \0"s)), ""},
      {StrTrim(V(" a\0b \0"s)), "a\0b"s},
      {StrTrim(" ab\r\n"), "ab\r\n"},
      {StrFromInt(-1), "-1"},
      {StrFromInt(0), "0"},
      {StrFromInt(INT32_MIN), "-2147483648"},
      {StrFromInt(42), "42"},
      {StrFromUInt(4294967295u), "4294967295"},
      {StrFromUInt(0), "0"},
      {StrHex(0, 2), "00"},
      {StrHex(10, 2), "0A"},
      {StrHex(255, 2), "FF"},
      {StrHex(256, 2), "00"},
      {StrHex(0xABC, 2), "BC"},
      {StrHex(5, 12), "00000005"},
      {StrHex(0x1F, 1), "F"},
      {StrHex(0, 0), "0"},
      {StrHex(0xABC, 0), "ABC"},
      {StrHex(4294967295u, 0), "FFFFFFFF"},
      {StrHex(0xABC, -3), "ABC"},
      {StrHex(0x10000000, 0), "10000000"},
      {StrHex(0xDEADBEEF, 3), "EEF"},
      {StrHex(7, INT32_MIN), "7"},
      {StrConcat("", ""), ""},
      {StrConcat("ab", ""), "ab"},
      {StrConcat("", "cd"), "cd"},
      {StrConcat(V("a\0"s), V("\0b"s)), "a\0\0b"s},
      {StrConcat(StrFromUInt(2), StrConcat(".", StrFromUInt(6))), "2.6"},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    EXPECT_EQ(Bytes(std::move(cases[i].got)), cases[i].want) << "case " << i;
  }
}

TEST_F(TextTest, NumericAnswers) {
  Text empty;
  struct Case {
    int32_t got;
    int32_t want;
  } cases[] = {
      {StrAsc("", 1), 0},
      {StrAsc("A", 1), 65},
      {StrAsc("A", 0), 0},
      {StrAsc("A", 2), 0},
      {StrAsc("\xff", 1), 255},
      {StrAsc(V("a\0b"s), 2), 0},
      {StrAsc(V("a\0b"s), 3), 98},
      {StrAsc("A", INT32_MIN), 0},
      {StrAsc(static_cast<const char*>(nullptr), 1), 0},
      {StrLen(V("a\0b"s)), 3},
      {StrLen("a\0b"), 1},
      {StrLen(static_cast<const char*>(nullptr)), 0},
      {StrCompare(empty, static_cast<const char*>(nullptr)), 0},
      {StrCompare("a", ""), 1},
      {StrCompare("", "a"), -1},
      {StrCompare("ab", "abc"), -1},
      {StrCompare("b", "abc"), 1},
      {StrCompare("\xe4", "a"), 1},
      {StrCompare("a", "\xe4"), -1},
      {StrCompare("OS_ONLY", StrView("OS_ONLY", 7)), 0},
      {StrCompare(V("a\0b"s), V("a\0c"s)), -1},
      {StrCompare(Owned("a\0"s), "a"), 1},  // the lengths differ
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
  }
}

TEST_F(TextTest, Environ) {
  fake::S().env["EMPTY"] = "";
  fake::S().env["SPACES"] = "   ";
  fake::S().env["ProgramFiles(x86)"] = "C:\\Program Files (x86)";
  fake::S().env["ZERO"] = "x\0y"s;
  fake::S().env["AB"] = "ab";
  struct Case {
    std::string name;
    std::string want;
  } cases[] = {
      {"UNSET", ""},     {"EMPTY", ""},
      {"SPACES", "   "}, {"ProgramFiles(x86)", "C:\\Program Files (x86)"},
      {"ZERO", "x"},     {"AB\0CD"s, "ab"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Bytes(GetEnviron(V(c.name))), c.want) << c.name;
  }
  // A view need not be followed by a zero byte; its length ends the name.
  EXPECT_EQ(Bytes(GetEnviron(StrView("ABC", 2))), "ab");
  EXPECT_EQ(fake::S().calls.back(), "getenv(AB)");
  // Just too long for the stack copy of a name.
  std::string name(256, 'N');
  fake::S().env[name] = "n";
  EXPECT_EQ(Bytes(GetEnviron(StrView((name + "X").c_str(), 256))), "n");

  size_t calls = fake::S().calls.size();
  EXPECT_EQ(Bytes(GetEnviron(static_cast<const char*>(nullptr))), "");
  EXPECT_EQ(fake::S().calls.size(), calls);  // nothing to look up
}

class TextArgTest : public TextTest {
 protected:
  void Use(std::vector<std::string> args) {
    storage_ = std::move(args);
    pointers_.clear();
    for (std::string& a : storage_) pointers_.push_back(&a[0]);
    pointers_.push_back(nullptr);
    RuntimeSetArgs(static_cast<int32_t>(storage_.size()), pointers_.data());
  }

 private:
  std::vector<std::string> storage_;
  std::vector<char*> pointers_;
};

TEST_F(TextArgTest, Reads) {
  struct Case {
    std::vector<std::string> args;
    int32_t index;
    std::string want;
  } cases[] = {
      {{"tool.exe"}, 1, ""},
      {{"tool.exe"}, -1, ""},
      {{"tool.exe"}, 0, "tool.exe"},
      {{"tool.exe", "/a", "x y"}, 2, "x y"},
      {{"tool.exe", "/a", "x y"}, -1, "/a x y"},
      {{"tool.exe", "/a", "x y"}, 3, ""},
      {{"tool.exe", "/a", "x y"}, INT32_MAX, ""},
      {{"tool.exe", "/a", "x y"}, INT32_MIN, "/a x y"},
      {{"tool.exe", "/b"}, 1, "/b"},
      {{"tool.exe", "/b"}, -1, "/b"},
      {{"tool.exe", "", ""}, -1, " "},
      {{"tool.exe", "", "a", ""}, -5, " a "},
  };
  for (const Case& c : cases) {
    Use(c.args);
    EXPECT_EQ(Bytes(GetCommandArg(c.index)), c.want) << c.index;
  }
}

TEST_F(TextArgTest, NoStoreGivesEmpty) {
  RuntimeSetArgs(0, nullptr);
  EXPECT_EQ(Bytes(GetCommandArg(0)), "");
  EXPECT_EQ(Bytes(GetCommandArg(-1)), "");
}

TEST_F(TextTest, ConcatAssign) {
  Text t;
  StrConcatAssign(t, "");
  EXPECT_EQ(t.data, nullptr);
  StrConcatAssign(t, "00");
  EXPECT_EQ(Bytes(&t), "00");

  char* buffer = t.data;
  StrConcatAssign(t, V(""));
  EXPECT_EQ(t.data, buffer);
  EXPECT_EQ(Bytes(&t), "00");

  StrConcatAssign(t, StrHex(0xAB, 2));
  StrConcatAssign(t, V("\0"s));
  EXPECT_EQ(Bytes(&t), "00AB\0"s);
  EXPECT_EQ(t.data[t.length], 0);
}

TEST_F(TextTest, ConcatAssignOfItselfDoubles) {
  Text t = Owned("ab");
  std::string want = "ab";
  for (int i = 0; i < 12; ++i) {
    StrConcatAssign(t, t);  // grows while reading from the old buffer
    want += want;
    ASSERT_EQ(Bytes(&t), want) << i;
    ASSERT_EQ(t.data[t.length], 0);
  }
  // A part of itself, and itself handed over as a temporary.
  Text u = Owned("abcdef");
  StrConcatAssign(u, StrView(u.data + 1, 3));
  EXPECT_EQ(Bytes(&u), "abcdefbcd");
  StrConcatAssign(u, static_cast<Text&&>(u));
  EXPECT_EQ(Bytes(&u), "abcdefbcdabcdefbcd");
}

TEST_F(TextTest, ConcatAssignOntoAView) {
  std::string bytes = "ab";
  Text v = V(bytes);
  StrConcatAssign(v, "cd");
  EXPECT_FALSE(v.is_view());
  EXPECT_EQ(Bytes(&v), "abcd");
  EXPECT_EQ(bytes, "ab");
}

// Each operation, handed an owned temporary, must release it before it
// returns: the variable is empty and its buffer freed right after the call.
TEST_F(TextTest, TemporariesAreConsumed) {
  fake::S().env["abc"] = "value";
  FixedText<8> f;
  struct Case {
    const char* name;
    std::function<void(Text&&)> run;
  } cases[] = {
      {"Len", [](Text&& t) { StrLen(std::move(t)); }},
      {"Left", [](Text&& t) { StrLeft(std::move(t), 2); }},
      {"Left0", [](Text&& t) { StrLeft(std::move(t), 0); }},
      {"Mid", [](Text&& t) { StrMid(std::move(t), 2, 1); }},
      {"MidOut", [](Text&& t) { StrMid(std::move(t), 9, 1); }},
      {"Asc", [](Text&& t) { StrAsc(std::move(t), 1); }},
      {"AscOut", [](Text&& t) { StrAsc(std::move(t), 0); }},
      {"UCase", [](Text&& t) { StrUCase(std::move(t)); }},
      {"Trim", [](Text&& t) { StrTrim(std::move(t)); }},
      {"CompareA", [](Text&& t) { StrCompare(std::move(t), "x"); }},
      {"CompareB", [](Text&& t) { StrCompare("x", std::move(t)); }},
      {"ConcatA", [](Text&& t) { StrConcat(std::move(t), "x"); }},
      {"ConcatB", [](Text&& t) { StrConcat("", std::move(t)); }},
      {"Environ", [](Text&& t) { GetEnviron(std::move(t)); }},
      {"Fixed", [&f](Text&& t) { StrAssignFixed(f, std::move(t)); }},
      {"ConcatAssign",
       [](Text&& t) {
         Text d = Owned("d");
         StrConcatAssign(d, std::move(t));
       }},
      {"Assign",
       [](Text&& t) {
         Text d;
         StrAssign(d, std::move(t));
       }},
  };
  for (const Case& c : cases) {
    Text t = Owned("abc");
    c.run(std::move(t));
    EXPECT_EQ(t.data, nullptr) << c.name;
    EXPECT_EQ(fake::S().allocations, 0) << c.name;
  }
  // Views are released without freeing their bytes.
  std::string bytes = "abc";
  EXPECT_EQ(StrLen(V(bytes)), 3);
  EXPECT_EQ(Bytes(StrUCase(V(bytes))), "ABC");
  EXPECT_EQ(bytes, "abc");
}

// Failing each allocation in turn: the operation raises out of memory (here
// with no handler: the abort message and status 4) instead of returning an
// incomplete result, and what it had made before is released.
TEST_F(TextTest, EachFailedAllocationRaisesOutOfMemory) {
  std::string long_name(300, 'N');  // too long to be copied on the stack
  struct Case {
    const char* name;
    std::function<Text()> run;
    std::string want;  // with no failure
  } cases[] = {
      {"Left", [] { return StrLeft(StrUCase("abc"), 2); }, "AB"},
      {"Mid", [] { return StrMid(StrTrim(" abc "), 2, 1); }, "b"},
      {"Trim", [] { return StrTrim(StrConcat(" a", "b ")); }, "ab"},
      {"Concat",
       [] {
         Text a = StrFromInt(-5);
         return StrConcat(std::move(a), StrFromUInt(7));
       },
       "-57"},
      {"Hex",
       [] {
         Text a = StrHex(1, 2);
         return StrConcat(std::move(a), StrHex(2, 0));
       },
       "012"},
      {"Environ", [] { return GetEnviron(StrLeft("NAMES", 4)); }, "value"},
      {"LongName", [&] { return GetEnviron(V(long_name)); }, "long"},
      {"View", [] { return StrUCase(StrView("ab", 2)); }, "AB"},
      {"Arg",
       [] {
         Text a = GetCommandArg(0);
         return StrConcat(std::move(a), GetCommandArg(-1));
       },
       "tool/a b"},
      {"Stores",
       [] {
         Text t;
         StrAssign(t, StrMid("abcdef", 2, 3));
         StrConcatAssign(t, t);
         StrConcatAssign(t, "much longer");
         StrAssign(t, "and longer still");
         return t;
       },
       "and longer still"},
      {"OntoView",
       [] {
         Text t = StrView("ab", 2);
         StrConcatAssign(t, "c");
         return t;
       },
       "abc"},
  };
  char arg0[] = "tool", arg1[] = "/a", arg2[] = "b";
  char* argv[] = {arg0, arg1, arg2, nullptr};
  for (const Case& c : cases) {
    for (long k = 0;; ++k) {
      FreshProcess();
      fake::S().env["NAME"] = "value";
      fake::S().env[long_name] = "long";
      RuntimeSetArgs(3, argv);
      fake::S().fail_allocation = k;
      std::string got;
      const int status = RunToExit([&] { got = Bytes(c.run()); });
      EXPECT_EQ(fake::S().allocations, 0) << c.name << " failing " << k;
      if (k == 0) {
        EXPECT_EQ(got, c.want) << c.name;
        continue;
      }
      if (k > fake::S().allocation_attempts) break;
      EXPECT_EQ(status, 4) << c.name << " failing " << k;
      EXPECT_EQ(fake::S().err, OutOfMemoryAbort())
          << c.name << " failing " << k;
    }
  }
}

// Sums beyond the longest text there can be are refused as memory that
// cannot be had, before anything is copied or allocated.
TEST_F(TextTest, LongerThanAnyTextRaisesOutOfMemory) {
  char byte = 'x';
  const std::function<void()> runs[] = {
      [&] { StrConcat(StrView(&byte, INT32_MAX), StrView(&byte, 1)); },
      [&] { StrConcat(StrView(&byte, INT32_MAX), StrView(&byte, INT32_MAX)); },
      [&] {
        Text v = StrView(&byte, INT32_MAX);
        StrConcatAssign(v, "y");
      },
  };
  for (const auto& run : runs) {
    FreshProcess();
    EXPECT_EQ(RunToExit(run), 4);
    EXPECT_EQ(fake::S().err, OutOfMemoryAbort());
    EXPECT_EQ(fake::S().allocation_attempts, 0);
  }
}

}  // namespace
