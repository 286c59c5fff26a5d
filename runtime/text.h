// Counted byte strings and the operations the tool performs on them.
//
// A Text is a run of bytes with an explicit length; zero bytes are ordinary
// bytes. An owned buffer always has a zero byte just past the last one, so
// it can be handed to C functions; a view's bytes are followed by whatever
// follows them (StrView("ABC", 2) by C). Positions count from 1.
// Out-of-range counts and positions are answered by each operation's rules.
// A result that cannot be made for want of memory, or longer than INT32_MAX
// bytes, is never passed off as a value: the operation raises runtime error
// 4, out of memory (ErrRaise), and does not return.
//
// Ownership: a Text variable owns its buffer. An operation that returns a
// Text returns a new one; passed on as an rvalue it is a temporary, which
// the receiving operation consumes (releases) before it returns. Views
// (StrView, StrFromFixed) refer to bytes they do not own: consuming one
// frees nothing. Assigning a view to a variable (StrAssign, or `=`) copies
// its bytes; initialising a variable from one (`Text t = StrView(...)`)
// keeps the view, which must then not outlive its bytes.
#ifndef TORVELIN_RUNTIME_TEXT_H_
#define TORVELIN_RUNTIME_TEXT_H_

#include <cstdint>

struct Text {
  char* data = nullptr;  // owned buffer (or viewed bytes), or none
  int32_t length = 0;    // bytes in the text
  // The length the buffer can hold, its zero byte not counted (the buffer
  // is one byte longer); kViewCapacity for a view.
  int32_t capacity = 0;

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

// Releases a source's temporary, if it has one, and leaves `s` empty.
void SrcRelease(Src& s);

// Stores the source's bytes in `dest`: an owned temporary hands its buffer
// over, an owned buffer large enough is reused, otherwise one of exactly the
// source's length is allocated; an empty source frees dest's buffer. The
// source may lie inside dest.
void StrAssign(Text& dest, Src s);
// Copies at most `capacity` bytes, a zero after them, and zeroes the rest of
// the character positions (an empty source zeroes all capacity + 1 bytes);
// no buffer or capacity <= 0 stores nothing. Never allocates; a temporary is
// consumed either way.
void StrAssignFixedBytes(char* buffer, int32_t capacity, Src s);
template <int32_t N>
void StrAssignFixed(FixedText<N>& dest, Src s) {
  StrAssignFixedBytes(dest.bytes, N, s);
}
// A view of `length` bytes; the empty text when bytes is nullptr or length
// <= 0. Never allocates.
Text StrView(const char* bytes, int32_t length);
// A view of all N character positions, the zeros after the text included.
template <int32_t N>
Text StrFromFixed(const FixedText<N>& f) {
  return StrView(f.bytes, N);
}
// a's bytes then b's, in a new buffer; the empty text, unallocated, when
// both are empty.
Text StrConcat(Src a, Src b);
// Appends the source to `dest`; the source may lie inside dest, its zero
// byte included. Onto an empty text it is StrAssign. A view, or a buffer
// too small, becomes an owned buffer of half again the length needed (at
// most INT32_MAX), so that a run of appends does not allocate at every step.
void StrConcatAssign(Text& dest, Src s);
// The source's byte count.
int32_t StrLen(Src s);
// The first `count` bytes: the whole text when count is past its end,
// empty when count <= 0.
Text StrLeft(Src s, int32_t count);
// `count` bytes from position `start`, cut at the end; a negative count takes
// the rest, count 0 or a start outside 1..length gives the empty text.
Text StrMid(Src s, int32_t start, int32_t count);
// The byte at `position` as 0 to 255; 0 when position is outside 1..length.
int32_t StrAsc(Src s, int32_t position);
// A copy with a to z (the C locale's lower case) made upper case.
Text StrUCase(Src s);
// A copy without leading spaces, nor trailing spaces and zero bytes; other
// white space stays.
Text StrTrim(Src s);
// -1, 0 or 1 as a orders before, with or after b: bytes compared as unsigned
// values, then a text before any longer one it begins.
int32_t StrCompare(Src a, Src b);
// The value in decimal, with a minus sign when negative.
Text StrFromInt(int32_t value);
// The value in decimal.
Text StrFromUInt(uint32_t value);
// The value in upper-case hex, in the low `digits` digits (zero-padded, at
// most 8); digits <= 0 takes as many as the value needs, at least one.
Text StrHex(uint32_t value, int32_t digits);
// The environment variable named by the bytes before the name's first zero
// (all of them when it holds none); empty when it is unset or the name is
// empty.
Text GetEnviron(Src name);
// Frees an owned buffer, forgets a view, and leaves `t` empty.
void StrDelete(Text& t);

// The argument store: the count and vector the process start-up received.
struct ArgStore {
  int32_t count;
  char** vector;
};

// Keeps the pointers, not copies: the vector must outlive its readers.
void RuntimeSetArgs(int32_t count, char** vector);
// A copy of argument `index` (0 is the program name); empty at or past the
// count or with no vector. A negative index joins every argument after the
// program name, one space between neighbours.
Text GetCommandArg(int32_t index);

#endif  // TORVELIN_RUNTIME_TEXT_H_
