// Counted byte strings and the operations the tool performs on them.
//
// A Text is a run of bytes with an explicit length; zero bytes are ordinary
// bytes. When a buffer is present the byte just past the last one is always a
// zero byte, so the buffer can be handed to C functions. Positions count from
// 1. Out-of-range counts and positions are answered by each operation's
// rules. A result that cannot be made for want of memory is never passed
// off as a value: the operation raises runtime error 4, out of memory
// (ErrRaise), and does not return.
//
// Ownership: a Text variable owns its buffer. Every operation returns a new
// Text; passed on as an rvalue it is a temporary, which the receiving
// operation consumes (releases) before it returns. Views (StrView,
// StrFromFixed) refer to bytes they do not own: consuming one frees nothing,
// and storing one into a variable copies its bytes.
#ifndef TORVELIN_RUNTIME_TEXT_H_
#define TORVELIN_RUNTIME_TEXT_H_

#include <cstdint>

struct Text {
  char* data = nullptr;  // owned buffer (or viewed bytes), or none
  int32_t length = 0;    // bytes in the text
  int32_t capacity = 0;  // bytes the buffer holds; kViewCapacity for a view

  static constexpr int32_t kViewCapacity = -1;

  Text() = default;
  Text(Text&& other) noexcept;
  Text& operator=(Text&& other) noexcept;  // as StrAssign
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  ~Text();

  bool is_view() const { return capacity == kViewCapacity; }
};

// A buffer of N characters and one terminator slot, all zero at declaration.
template <int32_t N>
struct FixedText {
  static_assert(N > 0, "a FixedText holds at least one character");
  static constexpr int32_t kCapacity = N;
  char bytes[N + 1] = {};
};

// What an operation reads a source through: a Text variable (read, kept), a
// temporary Text (read, then consumed), or a zero-terminated string (its
// bytes up to the first zero; nullptr is absent, read as empty). `length` is
// never negative, and 0 whenever `data` is nullptr.
struct Src {
  Src(const Text& t) : data(t.data), length(Count(t)) {}
  Src(Text&& t) : data(t.data), length(Count(t)), temp(&t) {}
  Src(const char* z);
  template <int32_t N>
  Src(const FixedText<N>& f) : Src(static_cast<const char*>(f.bytes)) {}

  const char* data = nullptr;
  int32_t length = 0;
  Text* temp = nullptr;  // the temporary to consume, if any

 private:
  static int32_t Count(const Text& t) {
    return t.data != nullptr && t.length > 0 ? t.length : 0;
  }
};

// Releases a source's temporary, if it has one.
void SrcRelease(Src& s);

void StrAssign(Text& dest, Src s);
void StrAssignFixedBytes(char* buffer, int32_t capacity, Src s);
template <int32_t N>
void StrAssignFixed(FixedText<N>& dest, Src s) {
  StrAssignFixedBytes(dest.bytes, N, s);
}
Text StrView(const char* bytes, int32_t length);
template <int32_t N>
Text StrFromFixed(const FixedText<N>& f) {
  return StrView(f.bytes, N);
}
Text StrConcat(Src a, Src b);
void StrConcatAssign(Text& dest, Src s);
int32_t StrLen(Src s);
Text StrLeft(Src s, int32_t count);
Text StrMid(Src s, int32_t start, int32_t count);
int32_t StrAsc(Src s, int32_t position);
Text StrUCase(Src s);
Text StrTrim(Src s);
int32_t StrCompare(Src a, Src b);
Text StrFromInt(int32_t value);
Text StrFromUInt(uint32_t value);
Text StrHex(uint32_t value, int32_t digits);
Text GetEnviron(Src name);
void StrDelete(Text& t);

// The argument store: the count and vector the process start-up received.
struct ArgStore {
  int32_t count;
  char** vector;
};

void RuntimeSetArgs(int32_t count, char** vector);
Text GetCommandArg(int32_t index);

#endif  // TORVELIN_RUNTIME_TEXT_H_
