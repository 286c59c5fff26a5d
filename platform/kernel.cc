#include "platform/kernel.h"

#include <cstdint>

namespace plat {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

void KernelVersion(const char* release, uint32_t numbers[3]) {
  numbers[0] = numbers[1] = numbers[2] = 0;
  const char* p = release;
  for (int i = 0; i < 3 && IsDigit(*p); ++i) {
    uint32_t v = 0;
    for (; IsDigit(*p); ++p) {
      const uint32_t digit = static_cast<uint32_t>(*p - '0');
      v = v > (UINT32_MAX - digit) / 10 ? UINT32_MAX : v * 10 + digit;
    }
    numbers[i] = v;
    if (*p != '.') break;
    ++p;
  }
}

}  // namespace plat
