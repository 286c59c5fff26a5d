// Fuzzes the text layer. The input is read as a run of operations on four
// Text variables and a small FixedText; every result is checked against a
// plain std::string version of the same rule, every buffer must end in a
// zero byte, every temporary must be consumed, and at the end no
// allocation may be left. Allocations fail on demand: the operation during
// which one fails ends the run with runtime error 4's abort message, and
// every buffer is still released.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "runtime/text.h"
#include "test/expected.h"
#include "test/fake.h"
#include "test/process.h"

namespace {

constexpr int kVars = 4;
constexpr int32_t kFixedCapacity = 8;
constexpr size_t kFixedBytes = kFixedCapacity + 1;
// Appends stop here: a text appended to itself doubles at every step.
constexpr size_t kLongest = 4096;
constexpr int kMaxSteps = 256;

// The rules, written plainly over std::string.

std::string RefLeft(const std::string& s, int32_t count) {
  if (s.empty() || count <= 0) return "";
  return s.substr(0, static_cast<size_t>(count));
}

std::string RefMid(const std::string& s, int32_t start, int32_t count) {
  int64_t n = static_cast<int64_t>(s.size());
  if (n == 0 || start < 1 || start > n || count == 0) return "";
  int64_t take = count < 0 ? n : count;
  if (start + take - 1 > n) take = n - start + 1;
  return s.substr(static_cast<size_t>(start - 1), static_cast<size_t>(take));
}

int32_t RefAsc(const std::string& s, int32_t position) {
  if (position < 1 || static_cast<int64_t>(position) > int64_t(s.size())) {
    return 0;
  }
  return static_cast<unsigned char>(s[static_cast<size_t>(position - 1)]);
}

std::string RefUCase(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

std::string RefTrim(const std::string& s) {
  size_t first = 0;
  while (first < s.size() && s[first] == ' ') ++first;
  size_t end = s.size();
  while (end > first && (s[end - 1] == ' ' || s[end - 1] == '\0')) --end;
  return s.substr(first, end - first);
}

int32_t RefCompare(const std::string& a, const std::string& b) {
  size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x != y) return x > y ? 1 : -1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() > b.size() ? 1 : -1;
}

std::string RefHex(uint32_t value, int32_t digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string all;  // all eight digits, lowest last
  for (int i = 7; i >= 0; --i) all += kDigits[(value >> (4 * i)) & 0xF];
  if (digits <= 0) {
    size_t first = all.find_first_not_of('0');
    return first == std::string::npos ? "0" : all.substr(first);
  }
  size_t width = digits < 8 ? static_cast<size_t>(digits) : 8;
  return all.substr(8 - width);
}

// A zero-terminated source: its bytes before the first zero.
std::string UpToZero(const std::string& s) { return s.substr(0, s.find('\0')); }

// The whole FixedText after storing `src` into it.
std::string RefAssignFixed(std::string before, const std::string& src) {
  const size_t n = kFixedCapacity;
  if (src.empty()) return std::string(kFixedBytes, '\0');
  size_t m = src.size() < n ? src.size() : n;
  before.replace(0, m, src, 0, m);
  before[m] = '\0';
  for (size_t i = m + 1; i + 1 <= n; ++i) before[i] = '\0';
  return before;
}

// The program's state, and what it should be.

struct World {
  Text vars[kVars];
  std::string want[kVars];
  FixedText<kFixedCapacity> fixed;
  std::string fixed_want;
};

std::string Bytes(const Text& t, const std::string& what) {
  if (t.length < 0) FuzzFail(what + ": negative length");
  if (t.length == 0) return "";
  if (t.data == nullptr) FuzzFail(what + ": length without a buffer");
  return std::string(t.data, static_cast<size_t>(t.length));
}

// An owned buffer holds its text and is followed by a zero byte.
void CheckTerminated(const Text& t, const std::string& what) {
  if (t.data == nullptr || t.is_view()) return;
  if (t.capacity < t.length) FuzzFail(what + ": capacity below length");
  if (t.data[t.length] != '\0') FuzzFail(what + ": buffer not terminated");
}

void CheckWorld(const World& w, const std::string& after) {
  for (int i = 0; i < kVars; ++i) {
    const std::string what =
        "after " + after + ", variable " + std::to_string(i);
    CheckTerminated(w.vars[i], what);
    if (w.vars[i].is_view()) FuzzFail(what + " holds a view");
    std::string got = Bytes(w.vars[i], what);
    if (got != w.want[i]) {
      FuzzFail(what + " is " + Escaped(got) + ", want " + Escaped(w.want[i]));
    }
  }
  std::string fixed(w.fixed.bytes, kFixedBytes);
  if (fixed != w.fixed_want) {
    FuzzFail("after " + after + ", the FixedText is " + Escaped(fixed) +
             ", want " + Escaped(w.fixed_want));
  }
}

// Sources: the forms an operation's operand can take.

enum SourceKind {
  kVariable,       // a Text variable, read and kept
  kLiteral,        // a zero-terminated string
  kView,           // StrView over part of a variable's buffer
  kOwnedTemp,      // a temporary that owns its buffer
  kMovedVariable,  // a variable handed over as a temporary, so consumed
  kFixedSource,    // the FixedText as a zero-terminated string
  kFixedView,      // StrFromFixed: all its character positions
  kSourceKinds
};

struct Source {
  SourceKind kind = kLiteral;
  int var = 0;
  std::string literal;
  Text temp;
  std::string sees;  // the bytes the operation should read
};

// Moves a freshly made text into an empty holder without the assignment
// rules, which would copy a view.
void Adopt(Text* into, Text&& from) {
  into->data = from.data;
  into->length = from.length;
  into->capacity = from.capacity;
  from.data = nullptr;
  from.length = 0;
  from.capacity = 0;
}

void MakeSource(World* w, FuzzInput* in, Source* s) {
  s->kind = static_cast<SourceKind>(TakeByte(in) % kSourceKinds);
  s->var = TakeByte(in) % kVars;
  const std::string& var_want = w->want[s->var];
  switch (s->kind) {
    case kVariable:
    case kMovedVariable:
      s->sees = var_want;
      break;
    case kLiteral:
      s->literal = TakeBytes(in, TakeByte(in) % 24);
      s->sees = UpToZero(s->literal);
      break;
    case kView: {
      size_t n = var_want.size();
      size_t off = TakeByte(in) % (n + 1);
      size_t len = TakeByte(in) % (n - off + 1);
      const char* base = w->vars[s->var].data;
      Adopt(&s->temp, StrView(base == nullptr ? nullptr : base + off,
                              static_cast<int32_t>(len)));
      s->sees = var_want.substr(off, len);
      break;
    }
    case kOwnedTemp: {
      // Bytes of any kind, zeros included, in a buffer of its own.
      s->literal = TakeBytes(in, TakeByte(in) % 24);
      StrAssign(s->temp, StrView(s->literal.data(),
                                 static_cast<int32_t>(s->literal.size())));
      s->sees = Bytes(s->temp, "a temporary");
      if (s->sees != s->literal) {
        FuzzFail("a copied temporary is " + Escaped(s->sees) + ", want " +
                 Escaped(s->literal));
      }
      break;
    }
    case kFixedSource:
      s->sees = UpToZero(w->fixed_want);
      break;
    case kFixedView:
      Adopt(&s->temp, StrFromFixed(w->fixed));
      s->sees = w->fixed_want.substr(0, kFixedCapacity);
      break;
    case kSourceKinds:
      break;
  }
}

Src Pass(World* w, Source& s) {
  switch (s.kind) {
    case kVariable:
      return Src(w->vars[s.var]);
    case kLiteral:
      return Src(s.literal.c_str());
    case kMovedVariable:
      return Src(static_cast<Text&&>(w->vars[s.var]));
    case kFixedSource:
      return Src(w->fixed);
    default:
      return Src(static_cast<Text&&>(s.temp));
  }
}

const char* KindName(SourceKind k) {
  static const char* const kNames[] = {"variable",  "literal",   "view",
                                       "temporary", "moved var", "fixed",
                                       "fixed view"};
  return k < kSourceKinds ? kNames[k] : "?";
}

std::string Describe(const Source& s) {
  return std::string(KindName(s.kind)) + " " + std::to_string(s.var) + " " +
         Escaped(s.sees);
}

// After the operation: temporaries are gone, and a variable handed over as
// one is empty now (unless it is `dest`, which the operation filled).
void Consumed(World* w, Source& s, int dest, const std::string& what) {
  if (s.temp.data != nullptr || s.temp.length != 0) {
    FuzzFail(what + ": a temporary operand was not consumed");
  }
  if (s.kind == kMovedVariable && s.var != dest) w->want[s.var].clear();
}

// Checks a produced text against the rule.
void ExpectText(const Text& got, const std::string& want,
                const std::string& what) {
  CheckTerminated(got, what);
  std::string bytes = Bytes(got, what);
  if (bytes != want) {
    FuzzFail(what + " gave " + Escaped(bytes) + ", want " + Escaped(want));
  }
}

void ExpectNumber(int32_t got, int32_t want, const std::string& what) {
  if (got != want) {
    FuzzFail(what + " gave " + std::to_string(got) + ", want " +
             std::to_string(want));
  }
}

// A count, position or digit count: mostly the edges that matter.
int32_t TakeCount(FuzzInput* in, size_t length) {
  const int32_t len = static_cast<int32_t>(length);
  switch (TakeByte(in) % 12) {
    case 0:
      return INT32_MIN;
    case 1:
      return INT32_MIN + 1;
    case 2:
      return -1;
    case 3:
      return 0;
    case 4:
      return 1;
    case 5:
      return len - 1;
    case 6:
      return len;
    case 7:
      return len + 1;
    case 8:
      return INT32_MAX;
    case 9:
      return INT32_MAX - (len > 0 ? len - 1 : 0);  // start + count ends there
    case 10:
      return static_cast<int32_t>(TakeU32(in));
    default:
      return TakeRange(in, -3, 20);
  }
}

uint32_t TakeNumber(FuzzInput* in) {
  static const uint32_t kEdges[] = {
      0, 1, 9, 10, 0x7fffffff, 0x80000000, 0xffffffff, 0xfffffffe, 0xabc};
  uint8_t pick = TakeByte(in);
  if (pick < sizeof kEdges / sizeof kEdges[0]) return kEdges[pick];
  return TakeU32(in);
}

// Stores a produced text into a variable: an owned temporary moves in
// without allocating, so the variable holds exactly what was produced.
void Keep(World* w, int dest, Text&& t) {
  std::string bytes = Bytes(t, "a result");
  StrAssign(w->vars[dest], static_cast<Text&&>(t));
  w->want[dest] = bytes;
}

enum Op {
  kAssign,
  kConcat,
  kConcatAssign,
  kLeft,
  kMid,
  kAsc,
  kUCase,
  kTrim,
  kCompare,
  kLen,
  kHex,
  kFromInt,
  kFromUInt,
  kAssignFixed,
  kDelete,
  kFailLater,
  kOps
};

// Reads one operation, runs it and checks it; returns its description.
std::string Step(World* w, FuzzInput* in) {
  const Op op = static_cast<Op>(TakeByte(in) % kOps);
  const int dest = TakeByte(in) % kVars;
  Source a;
  Source b;
  const long before = fake::S().allocation_attempts;
  std::string what;
  switch (op) {
    case kAssign: {
      MakeSource(w, in, &a);
      what = "StrAssign(var " + std::to_string(dest) + ", " + Describe(a) + ")";
      StrAssign(w->vars[dest], Pass(w, a));
      Consumed(w, a, dest, what);
      ExpectText(w->vars[dest], a.sees, what);
      w->want[dest] = Bytes(w->vars[dest], what);
      break;
    }
    case kConcat: {
      MakeSource(w, in, &a);
      MakeSource(w, in, &b);
      if (a.sees.size() + b.sees.size() > kLongest) break;
      what = "StrConcat(" + Describe(a) + ", " + Describe(b) + ")";
      Text r = StrConcat(Pass(w, a), Pass(w, b));
      Consumed(w, a, -1, what);
      Consumed(w, b, -1, what);
      ExpectText(r, a.sees + b.sees, what);
      Keep(w, dest, static_cast<Text&&>(r));
      break;
    }
    case kConcatAssign: {
      MakeSource(w, in, &a);
      const std::string old = w->want[dest];
      if (old.size() + a.sees.size() > kLongest) break;
      what = "StrConcatAssign(var " + std::to_string(dest) + " " +
             Escaped(old) + ", " + Describe(a) + ")";
      StrConcatAssign(w->vars[dest], Pass(w, a));
      Consumed(w, a, dest, what);
      ExpectText(w->vars[dest], old + a.sees, what);
      w->want[dest] = old + a.sees;
      break;
    }
    case kLeft: {
      MakeSource(w, in, &a);
      const int32_t count = TakeCount(in, a.sees.size());
      what = "StrLeft(" + Describe(a) + ", " + std::to_string(count) + ")";
      Text r = StrLeft(Pass(w, a), count);
      Consumed(w, a, -1, what);
      ExpectText(r, RefLeft(a.sees, count), what);
      Keep(w, dest, static_cast<Text&&>(r));
      break;
    }
    case kMid: {
      MakeSource(w, in, &a);
      const int32_t start_at = TakeCount(in, a.sees.size());
      const int32_t count = TakeCount(in, a.sees.size());
      what = "StrMid(" + Describe(a) + ", " + std::to_string(start_at) + ", " +
             std::to_string(count) + ")";
      Text r = StrMid(Pass(w, a), start_at, count);
      Consumed(w, a, -1, what);
      ExpectText(r, RefMid(a.sees, start_at, count), what);
      Keep(w, dest, static_cast<Text&&>(r));
      break;
    }
    case kAsc: {
      MakeSource(w, in, &a);
      const int32_t pos = TakeCount(in, a.sees.size());
      what = "StrAsc(" + Describe(a) + ", " + std::to_string(pos) + ")";
      const int32_t got = StrAsc(Pass(w, a), pos);
      Consumed(w, a, -1, what);
      ExpectNumber(got, RefAsc(a.sees, pos), what);
      break;
    }
    case kUCase:
    case kTrim: {
      MakeSource(w, in, &a);
      what = std::string(op == kUCase ? "StrUCase(" : "StrTrim(") +
             Describe(a) + ")";
      Text r = op == kUCase ? StrUCase(Pass(w, a)) : StrTrim(Pass(w, a));
      Consumed(w, a, -1, what);
      ExpectText(r, op == kUCase ? RefUCase(a.sees) : RefTrim(a.sees), what);
      Keep(w, dest, static_cast<Text&&>(r));
      break;
    }
    case kCompare: {
      MakeSource(w, in, &a);
      MakeSource(w, in, &b);
      what = "StrCompare(" + Describe(a) + ", " + Describe(b) + ")";
      const int32_t got = StrCompare(Pass(w, a), Pass(w, b));
      Consumed(w, a, -1, what);
      Consumed(w, b, -1, what);
      ExpectNumber(got, RefCompare(a.sees, b.sees), what);
      break;
    }
    case kLen: {
      MakeSource(w, in, &a);
      what = "StrLen(" + Describe(a) + ")";
      const int32_t got = StrLen(Pass(w, a));
      Consumed(w, a, -1, what);
      ExpectNumber(got, static_cast<int32_t>(a.sees.size()), what);
      break;
    }
    case kHex: {
      const uint32_t value = TakeNumber(in);
      const int32_t digits = TakeCount(in, 8);
      what = "StrHex(" + std::to_string(value) + ", " + std::to_string(digits) +
             ")";
      Text r = StrHex(value, digits);
      ExpectText(r, RefHex(value, digits), what);
      Keep(w, dest, static_cast<Text&&>(r));
      break;
    }
    case kFromInt:
    case kFromUInt: {
      const uint32_t value = TakeNumber(in);
      Text r;
      std::string want;
      if (op == kFromInt) {
        what = "StrFromInt(" + std::to_string(int32_t(value)) + ")";
        Adopt(&r, StrFromInt(static_cast<int32_t>(value)));
        want = std::to_string(static_cast<int32_t>(value));
      } else {
        what = "StrFromUInt(" + std::to_string(value) + ")";
        Adopt(&r, StrFromUInt(value));
        want = std::to_string(value);
      }
      ExpectText(r, want, what);
      Keep(w, dest, static_cast<Text&&>(r));
      break;
    }
    case kAssignFixed: {
      MakeSource(w, in, &a);
      what = "StrAssignFixed(" + Describe(a) + ")";
      StrAssignFixed(w->fixed, Pass(w, a));
      Consumed(w, a, -1, what);
      w->fixed_want = RefAssignFixed(w->fixed_want, a.sees);
      break;
    }
    case kDelete:
      what = "StrDelete(var " + std::to_string(dest) + ")";
      StrDelete(w->vars[dest]);
      w->want[dest].clear();
      break;
    case kFailLater:
      fake::S().fail_allocation = before + 1 + TakeByte(in) % 8;
      what = "fail allocation " + std::to_string(fake::S().fail_allocation);
      break;
    case kOps:
      break;
  }
  return what;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FreshProcess();
  FuzzInput in = FuzzInputOf(data, size);
  {
    World w;
    w.fixed_want.assign(kFixedBytes, '\0');
    for (int step = 0; step < kMaxSteps && !FuzzAtEnd(in); ++step) {
      std::string what;
      try {
        what = Step(&w, &in);
      } catch (const fake::ExitCalled& e) {
        const fake::State& st = fake::S();
        if (e.status != 4 || st.fail_allocation == 0 ||
            st.fail_allocation > st.allocation_attempts ||
            st.err != OutOfMemoryAbort()) {
          FuzzFail("an operation ended the run with status " +
                   std::to_string(e.status) + " and " + Escaped(st.err));
        }
        break;
      }
      CheckWorld(w, what.empty() ? "a skipped step" : what);
    }
    for (Text& t : w.vars) StrDelete(t);
  }
  if (fake::S().allocations != 0) {
    FuzzFail(std::to_string(fake::S().allocations) +
             " allocations not released at the end");
  }
  return 0;
}
