// Counted byte strings: storage, the operations on them, and the argument
// store.
//
// Buffers come from the platform's Malloc / Realloc / Free only, and always
// hold one byte more than their capacity, so that a zero byte can follow the
// last byte of the text. Memory that cannot be had raises the out-of-memory
// runtime error, and so does a text longer than the longest there can be:
// no operation ever passes an incomplete result off as a value. Every
// temporary handed to an operation is released before that operation
// returns.
#include "runtime/text.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/platform.h"
#include "runtime/error.h"
#include "runtime/runtime.h"

namespace {

constexpr int32_t kMaxLength = INT32_MAX;

// The bytes before the first zero of a zero-terminated string; nullptr is 0.
int32_t ZeroTerminatedLength(const char* z) {
  if (z == nullptr) return 0;
  size_t n = std::strlen(z);
  return n > static_cast<size_t>(kMaxLength) ? kMaxLength
                                             : static_cast<int32_t>(n);
}

bool Owns(const Text& t) { return t.data != nullptr && !t.is_view(); }

// Takes the buffer (or view) of `from` into `to`, which holds none, and
// leaves `from` empty.
void Take(Text& to, Text& from) {
  to.data = from.data;
  to.length = from.length;
  to.capacity = from.capacity;
  from.data = nullptr;
  from.length = 0;
  from.capacity = 0;
}

// A fresh buffer of exactly n bytes plus the terminator, which is written;
// the empty text when n <= 0.
Text NewText(int32_t n) {
  Text t;
  if (n <= 0) return t;
  char* p = static_cast<char*>(plat::Malloc(static_cast<size_t>(n) + 1));
  if (p == nullptr) ErrRaise(kErrOutOfMemory);
  p[n] = 0;
  t.data = p;
  t.length = n;
  t.capacity = n;
  return t;
}

Text CopyText(const char* bytes, int32_t n) {
  Text t = NewText(n);
  if (t.data != nullptr) std::memcpy(t.data, bytes, static_cast<size_t>(n));
  return t;
}

// Releases the source's temporary unless it is `keep` itself: an operation
// that is handed its own destination as a temporary must not empty the
// result it has just stored there.
void ReleaseUnless(Src& s, const Text* keep) {
  if (s.temp == keep) {
    s.temp = nullptr;
    return;
  }
  SrcRelease(s);
}

// True when `p` lies within the buffer of `t` (terminator slot included).
// Compared as integers: the pointers may belong to unrelated objects.
bool PointsInto(const Text& t, const char* p) {
  if (!Owns(t) || p == nullptr) return false;
  uintptr_t start = reinterpret_cast<uintptr_t>(t.data);
  uintptr_t at = reinterpret_cast<uintptr_t>(p);
  return at >= start && at - start <= static_cast<uintptr_t>(t.capacity);
}

}  // namespace

Text::Text(Text&& other) noexcept { Take(*this, other); }

Text& Text::operator=(Text&& other) noexcept {
  StrAssign(*this, Src(static_cast<Text&&>(other)));
  return *this;
}

Text::~Text() {
  if (Owns(*this)) plat::Free(data);
}

Src::Src(const char* z) : data(z), length(ZeroTerminatedLength(z)) {}

void SrcRelease(Src& s) {
  if (s.temp != nullptr) StrDelete(*s.temp);
  s.temp = nullptr;
  s.data = nullptr;
  s.length = 0;
}

void StrDelete(Text& t) {
  if (Owns(t)) plat::Free(t.data);
  t.data = nullptr;
  t.length = 0;
  t.capacity = 0;
}

void StrAssign(Text& dest, Src s) {
  int32_t n = s.length;
  if (s.temp == &dest) {
    // Storing a variable's own temporary into it: nothing moves.
    if (n == 0) StrDelete(dest);
    s.temp = nullptr;
    return;
  }
  if (n == 0) {
    StrDelete(dest);
    SrcRelease(s);
    return;
  }
  if (s.temp != nullptr && Owns(*s.temp)) {
    // An owned temporary hands its buffer over without a copy.
    StrDelete(dest);
    Take(dest, *s.temp);
    s.temp = nullptr;
    return;
  }
  if (Owns(dest) && dest.capacity >= n) {
    // The source may lie inside this very buffer, so move, not copy.
    std::memmove(dest.data, s.data, static_cast<size_t>(n));
    dest.data[n] = 0;
    dest.length = n;
    SrcRelease(s);
    return;
  }
  // Copy into the new buffer before the old one goes: the source may be a
  // view into it.
  Text fresh = CopyText(s.data, n);
  StrDelete(dest);
  Take(dest, fresh);
  SrcRelease(s);
}

void StrAssignFixedBytes(char* buffer, int32_t capacity, Src s) {
  if (buffer == nullptr || capacity <= 0) {
    SrcRelease(s);
    return;
  }
  int32_t n = s.length;
  if (n == 0) {
    std::memset(buffer, 0, static_cast<size_t>(capacity) + 1);
    SrcRelease(s);
    return;
  }
  if (n > capacity) n = capacity;
  std::memmove(buffer, s.data, static_cast<size_t>(n));
  buffer[n] = 0;
  // Clear the rest of the character positions; the terminator slot at
  // `capacity` was zeroed at declaration and is only written above, when
  // the source fills every position.
  if (n + 1 < capacity) {
    std::memset(buffer + n + 1, 0, static_cast<size_t>(capacity - n - 1));
  }
  SrcRelease(s);
}

Text StrView(const char* bytes, int32_t length) {
  Text t;
  if (bytes == nullptr || length <= 0) return t;
  t.data = const_cast<char*>(bytes);
  t.length = length;
  t.capacity = Text::kViewCapacity;
  return t;
}

Text StrConcat(Src a, Src b) {
  int64_t la = a.length;
  int64_t lb = b.length;
  if (la + lb > kMaxLength) ErrRaise(kErrOutOfMemory);
  Text t = NewText(static_cast<int32_t>(la + lb));
  if (la > 0) std::memcpy(t.data, a.data, static_cast<size_t>(la));
  if (lb > 0) std::memcpy(t.data + la, b.data, static_cast<size_t>(lb));
  SrcRelease(a);
  SrcRelease(b);
  return t;
}

void StrConcatAssign(Text& dest, Src s) {
  int32_t n = s.length;
  if (n == 0) {
    ReleaseUnless(s, &dest);
    return;
  }
  int32_t old = Src(dest).length;
  if (old == 0) {
    StrAssign(dest, s);
    return;
  }
  int64_t needed = static_cast<int64_t>(old) + n;
  if (needed > kMaxLength) ErrRaise(kErrOutOfMemory);
  const char* from = s.data;
  if (!Owns(dest) || dest.capacity < needed) {
    // Grow by half again what is needed, so that a run of appends does not
    // reallocate at every step.
    int64_t room = needed + needed / 2;
    if (room > kMaxLength) room = kMaxLength;
    size_t bytes = static_cast<size_t>(room) + 1;
    // Realloc may move the buffer; a source inside it moves along. A view
    // held in a variable is copied instead: its bytes are not ours to
    // resize.
    const bool owned = Owns(dest);
    const ptrdiff_t offset = PointsInto(dest, from) ? from - dest.data : -1;
    char* p = static_cast<char*>(owned ? plat::Realloc(dest.data, bytes)
                                       : plat::Malloc(bytes));
    if (p == nullptr) ErrRaise(kErrOutOfMemory);
    if (!owned) std::memcpy(p, dest.data, static_cast<size_t>(old));
    if (offset >= 0) from = p + offset;
    dest.data = p;
    dest.capacity = static_cast<int32_t>(room);
  }
  std::memmove(dest.data + old, from, static_cast<size_t>(n));
  dest.length = static_cast<int32_t>(needed);
  dest.data[dest.length] = 0;
  ReleaseUnless(s, &dest);
}

int32_t StrLen(Src s) {
  int32_t n = s.length;
  SrcRelease(s);
  return n;
}

Text StrLeft(Src s, int32_t count) {
  int32_t n = s.length;
  Text t;
  if (n > 0 && count > 0) t = CopyText(s.data, count < n ? count : n);
  SrcRelease(s);
  return t;
}

Text StrMid(Src s, int32_t start, int32_t count) {
  int32_t n = s.length;
  Text t;
  if (n > 0 && start >= 1 && start <= n && count != 0) {
    int64_t take = count < 0 ? n : count;
    // In 64 bits, start + count - 1 cannot overflow.
    if (start + take - 1 > n) take = static_cast<int64_t>(n) - start + 1;
    t = CopyText(s.data + (start - 1), static_cast<int32_t>(take));
  }
  SrcRelease(s);
  return t;
}

int32_t StrAsc(Src s, int32_t position) {
  int32_t n = s.length;
  int32_t value = 0;
  if (position >= 1 && position <= n) {
    value = static_cast<unsigned char>(s.data[position - 1]);
  }
  SrcRelease(s);
  return value;
}

Text StrUCase(Src s) {
  int32_t n = s.length;
  Text t = CopyText(s.data, n);
  for (int32_t i = 0; i < t.length; ++i) {
    unsigned char c = static_cast<unsigned char>(t.data[i]);
    if (plat::IsLower(c)) t.data[i] = static_cast<char>(plat::ToUpper(c));
  }
  SrcRelease(s);
  return t;
}

Text StrTrim(Src s) {
  int32_t n = s.length;
  int32_t first = 0;
  while (first < n && s.data[first] == ' ') ++first;
  int32_t end = n;
  while (end > first && (s.data[end - 1] == ' ' || s.data[end - 1] == 0)) {
    --end;
  }
  Text t = CopyText(s.data + first, end - first);
  SrcRelease(s);
  return t;
}

int32_t StrCompare(Src a, Src b) {
  int32_t la = a.length;
  int32_t lb = b.length;
  int32_t common = la < lb ? la : lb;
  int32_t result = 0;
  if (common > 0) {
    // memcmp orders bytes as unsigned values.
    int c = std::memcmp(a.data, b.data, static_cast<size_t>(common));
    result = c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  if (result == 0) result = la < lb ? -1 : la > lb ? 1 : 0;
  SrcRelease(a);
  SrcRelease(b);
  return result;
}

Text StrFromInt(int32_t value) {
  char digits[40] = {};  // room for any radix, sign and terminator
  plat::ItoA(value, digits, 10);
  return CopyText(digits, ZeroTerminatedLength(digits));
}

Text StrFromUInt(uint32_t value) {
  char digits[40] = {};
  plat::UltoA(value, digits, 10);
  return CopyText(digits, ZeroTerminatedLength(digits));
}

Text StrHex(uint32_t value, int32_t digits) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  constexpr int32_t kMaxDigits = 8;
  char out[kMaxDigits];
  int32_t width;
  if (digits <= 0) {
    width = 1;
    while (width < kMaxDigits && (value >> (4 * width)) != 0) ++width;
  } else {
    width = digits < kMaxDigits ? digits : kMaxDigits;
  }
  for (int32_t i = 0; i < width; ++i) {
    out[width - 1 - i] = kHexDigits[(value >> (4 * i)) & 0xF];
  }
  return CopyText(out, width);
}

Text GetEnviron(Src name) {
  Text t;
  int32_t n = name.length;
  if (n > 0) {
    // The name ends at its first zero byte. A view need not be followed by
    // one, so a name without a zero inside it is looked up from a
    // terminated copy rather than read past its end.
    const char* z = name.data;
    char small[256];
    Text copy;
    if (std::memchr(name.data, 0, static_cast<size_t>(n)) == nullptr) {
      if (n < static_cast<int32_t>(sizeof small)) {
        std::memcpy(small, name.data, static_cast<size_t>(n));
        small[n] = 0;
        z = small;
      } else {
        copy = CopyText(name.data, n);
        z = copy.data;
      }
    }
    const char* value = plat::GetEnv(z);
    t = CopyText(value, ZeroTerminatedLength(value));
  }
  SrcRelease(name);
  return t;
}

void RuntimeSetArgs(int32_t count, char** vector) {
  runtime_state.args.count = count;
  runtime_state.args.vector = vector;
}

Text GetCommandArg(int32_t index) {
  int32_t count = runtime_state.args.count;
  char** vector = runtime_state.args.vector;
  if (vector == nullptr || index >= count) return Text();
  if (index >= 0) {
    const char* arg = vector[index];
    return CopyText(arg, ZeroTerminatedLength(arg));
  }
  // Every argument after the program name, one space between neighbours.
  if (count <= 1) return Text();
  int64_t total = count - 2;
  for (int32_t i = 1; i < count; ++i) {
    total += ZeroTerminatedLength(vector[i]);
    if (total > kMaxLength) ErrRaise(kErrOutOfMemory);
  }
  Text t = NewText(static_cast<int32_t>(total));
  char* out = t.data;
  for (int32_t i = 1; i < count; ++i) {
    if (i > 1) *out++ = ' ';
    int32_t n = ZeroTerminatedLength(vector[i]);
    if (n > 0) std::memcpy(out, vector[i], static_cast<size_t>(n));
    out += n;
  }
  return t;
}
