// The thin layer between the runtime and the operating system.
//
// Every call here has the shape of the Windows or msvcrt function it is named
// after, so that the runtime and the tool can be written against Windows and
// still build and run elsewhere. Three implementations exist, each a set of
// files:
//   Windows (the shipped executables): win.cc, the real calls, and
//     regapi.cc, which finds the registry functions for it.
//   Host (a POSIX build): posix.cc; kernel.cc, the version from the kernel
//     release; crt.cc, msvcrt's functions made from the C library.
//   Fake (the unit tests and the fuzz targets): test/fake.cc and
//     test/fake_console.cc, a scriptable stand-in, with crt.cc. The unit
//     tests also compile kernel.cc and regapi.cc, to test them on the host.
// Only win.cc and posix.cc include operating-system headers.
#ifndef TORVELIN_PLATFORM_PLATFORM_H_
#define TORVELIN_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>

namespace plat {

using Handle = void*;  // nullptr is "no handle"
using RegKey = void*;

// Standard handle identifiers, as GetStdHandle takes them.
constexpr uint32_t kStdInput = static_cast<uint32_t>(-10);
constexpr uint32_t kStdOutput = static_cast<uint32_t>(-11);

constexpr uint32_t kEnableProcessedInput = 1;

struct Coord {
  int16_t x;
  int16_t y;
};

struct SmallRect {
  int16_t left;
  int16_t top;
  int16_t right;
  int16_t bottom;
};

// The fields of CONSOLE_SCREEN_BUFFER_INFO that the runtime reads.
struct ScreenBufferInfo {
  Coord size;
  Coord cursor;
  uint16_t attributes;
  SmallRect window;
};

// One console cell: the character byte and its attribute.
struct CharInfo {
  char ch;
  uint16_t attr;
};

// OSVERSIONINFOA, field for field: 148 bytes.
struct VersionInfo {
  uint32_t size;
  uint32_t major;
  uint32_t minor;
  uint32_t build;
  uint32_t platform_id;
  char csd[128];
};
static_assert(sizeof(VersionInfo) == 148, "OSVERSIONINFOA is 148 bytes");

// Standard handles and console.
Handle GetStdHandle(uint32_t which);
bool GetConsoleMode(Handle h, uint32_t* mode);
bool SetConsoleMode(Handle h, uint32_t mode);
bool GetConsoleScreenBufferInfo(Handle h, ScreenBufferInfo* info);
bool WriteFile(Handle h, const void* bytes, uint32_t count, uint32_t* written);

// The screen driver's calls. `region` is updated as WriteConsoleOutputA does.
bool WriteConsoleOutputA(Handle h, const CharInfo* cells, Coord size,
                         Coord origin, SmallRect* region);
bool ScrollConsoleScreenBufferA(Handle h, const SmallRect* source,
                                const SmallRect* clip, Coord dest,
                                const CharInfo* fill);
bool FillConsoleOutputAttribute(Handle h, uint16_t attr, uint32_t count,
                                Coord start, uint32_t* done);
bool FillConsoleOutputCharacterA(Handle h, char ch, uint32_t count, Coord start,
                                 uint32_t* done);
bool SetConsoleCursorPosition(Handle h, Coord pos);
bool SetConsoleWindowInfo(Handle h, bool absolute, const SmallRect* window);
bool Beep(uint32_t frequency, uint32_t duration);

// Version and registry. Root keys are the 32-bit HKEY values
// (0x80000002 is HKEY_LOCAL_MACHINE); results are Win32 error codes.
bool GetVersionExA(VersionInfo* info);
int32_t RegOpenKeyExA(uint32_t root, const char* path, uint32_t options,
                      uint32_t access, RegKey* key);
int32_t RegQueryValueExA(RegKey key, const char* name, uint32_t* reserved,
                         uint32_t* type, uint8_t* data, uint32_t* size);
int32_t RegCloseKey(RegKey key);

// The C runtime library.
char* ItoA(int32_t value, char* out, int radix);    // _itoa
char* UltoA(uint32_t value, char* out, int radix);  // _ultoa
bool IsLower(unsigned char c);  // _pctype / _isctype, class _LOWER
int ToUpper(int c);             // toupper
const char* GetEnv(const char* name);
void* Malloc(size_t n);
void* Realloc(void* p, size_t n);
void Free(void* p);
void ControlFp(uint32_t value, uint32_t mask);              // _controlfp
int Snprintf(char* buf, size_t n, const char* format, ...)  // _snprintf
    __attribute__((format(printf, 3, 4)));
void AtExit(void (*handler)());  // registers an exit-time handler
[[noreturn]] void Exit(int status);
void WriteStdErr(const char* bytes, size_t n);  // binary: no CR LF changes

}  // namespace plat

#endif  // TORVELIN_PLATFORM_PLATFORM_H_
