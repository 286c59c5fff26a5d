// What every fuzz target shares: reading the fuzzer's bytes as a stream of
// small decisions, and stopping with a readable message when a check fails.
#ifndef TORVELIN_FUZZ_FUZZ_INPUT_H_
#define TORVELIN_FUZZ_FUZZ_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// The input, read front to back. Past its end every read gives zeros, so a
// short input is still a complete (if dull) run.
struct FuzzInput {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

inline FuzzInput FuzzInputOf(const uint8_t* data, size_t size) {
  return FuzzInput{data, size, 0};
}

inline bool FuzzAtEnd(const FuzzInput& in) { return in.pos >= in.size; }

inline uint8_t TakeByte(FuzzInput* in) {
  return in->pos < in->size ? in->data[in->pos++] : 0;
}

inline uint16_t TakeU16(FuzzInput* in) {
  uint16_t lo = TakeByte(in);
  return static_cast<uint16_t>(lo | (TakeByte(in) << 8));
}

inline uint32_t TakeU32(FuzzInput* in) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i)
    v |= static_cast<uint32_t>(TakeByte(in)) << (8 * i);
  return v;
}

// A number from lo to hi inclusive (hi >= lo, both small).
inline int32_t TakeRange(FuzzInput* in, int32_t lo, int32_t hi) {
  return lo + static_cast<int32_t>(TakeByte(in) % (hi - lo + 1));
}

// Up to n bytes, fewer when the input ends first.
inline std::string TakeBytes(FuzzInput* in, size_t n) {
  size_t left = in->size - (in->pos < in->size ? in->pos : in->size);
  if (n > left) n = left;
  std::string s(reinterpret_cast<const char*>(in->data + in->pos), n);
  in->pos += n;
  return s;
}

// The bytes as C escapes, for failure messages.
inline std::string Escaped(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c >= 32 && c < 127 && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    }
  }
  return out + "\"";
}

// Reports a broken expectation and stops the run; libFuzzer keeps the input
// that led here.
[[noreturn]] inline void FuzzFail(const std::string& what) {
  std::fprintf(stderr, "\n*** CHECK FAILED: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

#endif  // TORVELIN_FUZZ_FUZZ_INPUT_H_
