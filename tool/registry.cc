// Reads one registry value and renders it as text.

#include "platform/platform.h"
#include "tool/tool.h"

namespace {

constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr int32_t kWorkCapacity = 2048;

}  // namespace

Text MyRegRead(uint32_t root, const char* path, const char* name) {
  FixedText<kWorkCapacity> work;
  Text hex;
  plat::RegKey key = nullptr;
  if (plat::RegOpenKeyExA(root, path, 0, kKeyRead, &key) != 0) {
    StrAssignFixed(work, "ERROR_MyRegRead_RegOpenKeyEx!!!");
  } else {
    uint32_t type = 0;
    uint32_t size = kWorkCapacity;
    const int32_t status =
        plat::RegQueryValueExA(key, name, nullptr, &type,
                               reinterpret_cast<uint8_t*>(work.bytes), &size);
    // A query that succeeds never reports more than the buffer's capacity,
    // but a hooked one can: nothing past the buffer is ever read.
    if (size > kWorkCapacity) size = kWorkCapacity;
    // Closed before the data is rendered: running out of memory there ends
    // the program, and no key is left open behind it.
    plat::RegCloseKey(key);
    if (status != 0) {
      StrAssignFixed(work, "ERROR_MyRegRead_RegQueryValueEx!!!");
    } else if (type == kRegDword) {
      uint32_t value = 0;
      for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(work.bytes[i]);
      }
      StrAssignFixed(work, StrFromUInt(value));
    } else if (type == kRegBinary) {
      for (uint32_t i = 1; i <= size; ++i) {
        StrConcatAssign(
            hex,
            StrHex(
                static_cast<uint32_t>(StrAsc(
                    StrMid(StrFromFixed(work), static_cast<int32_t>(i), 1), 1)),
                2));
      }
      StrAssignFixed(work, StrLeft(hex, kWorkCapacity));
    } else {
      // Strings and every other type: the data, without its terminating zero
      // byte when it has one. Data stored without a terminator keeps all its
      // characters.
      int32_t count = static_cast<int32_t>(size);
      if (count > 0 && work.bytes[count - 1] == 0) --count;
      StrAssignFixed(work, StrLeft(StrFromFixed(work), count));
    }
  }
  StrDelete(hex);
  Text result;
  StrAssign(result, work);
  return result;
}
