// Fuzzes the registry reader: a ProductType value of any type, any size
// from 0 to 3000 bytes and any bytes, or a key or value that cannot be
// read, through MyRegRead. The text it returns must be the rendering the
// reader's rules give; the key must be closed after every successful open
// and no allocation may be left.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "runtime/text.h"
#include "test/expected.h"
#include "test/fake.h"
#include "test/process.h"
#include "tool/tool.h"

namespace {

const char* const kKey = kProductKey;
const char kName[] = "ProductType";

constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr size_t kWorkCapacity = 2048;
constexpr size_t kLargest = 3000;

enum Scenario { kNoKey, kOpenFails, kQueryFails, kNoValue, kValue };

// What MyRegRead returns for a value that was read: its rendering, cut at
// the first zero byte as the reader's work buffer cuts it.
std::string Rendering(uint32_t type, const std::string& data) {
  if (data.size() > kWorkCapacity) return kQueryError;
  std::string out;
  if (type == kRegDword) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) {
      uint32_t byte = i < data.size() ? static_cast<unsigned char>(data[i]) : 0;
      v |= byte << (8 * i);
    }
    out = std::to_string(v);
  } else if (type == kRegBinary) {
    for (unsigned char c : data) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", c);
      out += hex;
    }
    out = out.substr(0, kWorkCapacity);
  } else {
    // Every other type is text: its last byte goes only when it is the
    // terminating zero.
    size_t count = data.size();
    if (count > 0 && data[count - 1] == '\0') --count;
    out = data.substr(0, count);
  }
  return out.substr(0, out.find('\0'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzInput in = FuzzInputOf(bytes, size);
  const uint8_t pick = TakeByte(&in);
  // Mostly values that can be read; now and then each failure.
  const Scenario scenario = pick < 8 ? static_cast<Scenario>(pick % 4) : kValue;
  const uint8_t type_pick = TakeByte(&in);
  const uint32_t type = type_pick < 240 ? type_pick % 12u : TakeU32(&in);
  const size_t length = TakeU16(&in) % (kLargest + 1);
  // The rest of the input, repeated to the value's size (zeros if none).
  const std::string pattern = TakeBytes(&in, kLargest);
  std::string data(length, '\0');
  for (size_t i = 0; i < length && !pattern.empty(); ++i) {
    data[i] = pattern[i % pattern.size()];
  }

  FreshProcess();
  fake::State& s = fake::S();
  if (scenario != kNoKey) {
    fake::RegKey& key = s.registry[kKey];
    key.open_fails = scenario == kOpenFails;
    if (scenario == kQueryFails) key.query_error = 1;
    if (scenario != kNoValue) key.values[kName] = fake::RegValue{type, data};
  }

  std::string want;
  std::vector<std::string> calls = {std::string("RegOpenKeyExA(0x80000002,") +
                                    kKey + ",0,0x20019)"};
  if (scenario == kNoKey || scenario == kOpenFails) {
    want = kOpenError;
  } else {
    want = scenario == kValue ? Rendering(type, data) : kQueryError;
    calls.push_back(std::string("RegQueryValueExA(") + kKey + "," + kName +
                    ",2048)");
    calls.push_back(std::string("RegCloseKey(") + kKey + ")");
  }

  const std::string what = "type " + std::to_string(type) + ", " +
                           std::to_string(length) + " bytes " +
                           Escaped(data.substr(0, 64)) + ", scenario " +
                           std::to_string(scenario);
  {
    Text got;
    StrAssign(got, MyRegRead(kHkeyLocalMachine, kKey, kName));
    if (got.data != nullptr && got.data[got.length] != '\0') {
      FuzzFail(what + ": result not terminated");
    }
    std::string text = got.length > 0 ? std::string(got.data, got.length) : "";
    if (text != want) {
      FuzzFail(what + ": read " + Escaped(text) + ", want " + Escaped(want));
    }
  }
  if (s.calls != calls) {
    std::string seen;
    for (const std::string& c : s.calls) seen += "\n  " + c;
    FuzzFail(what + ": platform calls were" + seen);
  }
  if (s.open_keys != 0) FuzzFail(what + ": the key was left open");
  if (s.allocations != 0) {
    FuzzFail(what + ": " + std::to_string(s.allocations) +
             " allocations not released");
  }
  return 0;
}
