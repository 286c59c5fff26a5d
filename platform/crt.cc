// The msvcrt functions the runtime uses, for hosts that have no msvcrt:
// built from the C library with msvcrt's results.
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace plat {

namespace {

// Digits of v in the radix (2 to 36; anything else is taken as 10), most
// significant first, after an optional minus sign.
char* Digits(uint32_t v, bool negative, char* out, int radix) {
  if (radix < 2 || radix > 36) radix = 10;
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  char reversed[33];
  int n = 0;
  do {
    reversed[n++] = kDigits[v % static_cast<uint32_t>(radix)];
    v /= static_cast<uint32_t>(radix);
  } while (v != 0);
  char* p = out;
  if (negative) *p++ = '-';
  while (n > 0) *p++ = reversed[--n];
  *p = 0;
  return out;
}

}  // namespace

// As _itoa: only radix 10 shows a sign; other radixes show the bits.
char* ItoA(int32_t value, char* out, int radix) {
  bool negative = radix == 10 && value < 0;
  uint32_t magnitude = static_cast<uint32_t>(value);
  if (negative) magnitude = 0u - magnitude;
  return Digits(magnitude, negative, out, radix);
}

char* UltoA(uint32_t value, char* out, int radix) {
  return Digits(value, false, out, radix);
}

// The C locale, which the tool never changes: exactly a to z are lower case.
bool IsLower(unsigned char c) { return std::islower(c) != 0; }
int ToUpper(int c) { return std::toupper(c); }

// As _snprintf: output that does not fit with a terminator fills all n
// bytes and is not terminated; it reports n when it is exactly n bytes long
// and -1 when it is longer.
int Snprintf(char* buf, size_t n, const char* format, ...) {
  va_list args;
  va_list again;
  va_start(args, format);
  va_copy(again, args);
  const int r = std::vsnprintf(buf, n, format, args);
  va_end(args);
  if (r >= 0 && n > 0 && static_cast<size_t>(r) >= n) {
    // vsnprintf gave the last byte to its terminator: put the output's own
    // byte there.
    char* whole = static_cast<char*>(std::malloc(static_cast<size_t>(r) + 1));
    if (whole != nullptr) {
      std::vsnprintf(whole, static_cast<size_t>(r) + 1, format, again);
      buf[n - 1] = whole[n - 1];
      std::free(whole);
    }
  }
  va_end(again);
  if (r < 0 || static_cast<size_t>(r) > n) return -1;
  return r;
}

}  // namespace plat
