// The platform on Windows: straight calls into the Win32 API and msvcrt.
//
// The registry calls are the exception: the executable does not import
// them, so that it imports KERNEL32 and msvcrt alone. The first registry
// call finds the three functions (platform/regapi.h): in the loaded KERNEL32
// when it exports them, otherwise in advapi32.dll, loaded by its full path
// in the system directory. (A full path, because the flag that limits the
// search to the system directory is missing on Vista and 7 without an
// update; a 32-bit process on 64-bit Windows is redirected to the 32-bit
// system DLL.) When they cannot be had, every registry call fails as a
// missing key does.
#include <ctype.h>
#include <fcntl.h>
#include <float.h>
#include <io.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "platform/platform.h"
#include "platform/regapi.h"

// Asks the C runtime's start-up to expand wildcard patterns in arguments
// when it splits the command line. On purpose, although the tool takes no
// file names: callers get the answer for the expanded argument, so -?
// prints the usage text, but in a folder holding a file named -b it
// arrives as -b and prints the build number. Turning expansion off, or
// leaving it to the toolchain's default, would change such answers.
extern "C" {
int _dowildcard = -1;
}

static_assert(sizeof(plat::Coord) == sizeof(COORD), "COORD layout");
static_assert(sizeof(plat::SmallRect) == sizeof(SMALL_RECT), "SMALL_RECT");
static_assert(sizeof(plat::VersionInfo) == sizeof(OSVERSIONINFOA), "version");
// A cell is laid out as CHAR_INFO: the character byte first (the low byte of
// the character union), the attribute at offset 2. The ANSI call reads only
// that byte of the union, so cells go to the console as they are.
static_assert(sizeof(plat::CharInfo) == sizeof(CHAR_INFO), "CHAR_INFO size");
static_assert(offsetof(plat::CharInfo, ch) == offsetof(CHAR_INFO, Char),
              "CHAR_INFO character");
static_assert(offsetof(plat::CharInfo, attr) == offsetof(CHAR_INFO, Attributes),
              "CHAR_INFO attribute");

namespace plat {

namespace {

COORD ToCoord(Coord c) { return COORD{c.x, c.y}; }
SMALL_RECT ToRect(const SmallRect& r) {
  return SMALL_RECT{r.left, r.top, r.right, r.bottom};
}
HKEY ToKey(uint32_t root) {
  // Predefined keys are 32-bit values, sign-extended into a handle.
  return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(root)));
}

// The registry functions, all three found or none.
struct Registry {
  bool found;  // the search has been made
  LONG(WINAPI* open)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
  LONG(WINAPI* query)(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
  LONG(WINAPI* close)(HKEY);
};
Registry registry;  // zero until the first registry call

static_assert(kMaxPath == MAX_PATH, "the system directory's limit");

// The loader's calls for FindRegistry. Exports travel as Proc, a function
// without parameters, which keeps the casts free of warnings.
Module Loaded(const char* name) { return ::GetModuleHandleA(name); }
Proc Find(Module m, const char* name) {
  return reinterpret_cast<Proc>(
      ::GetProcAddress(static_cast<HMODULE>(m), name));
}
unsigned SystemDir(char* path, unsigned size) {
  return ::GetSystemDirectoryA(path, size);
}
Module Load(const char* path) {
  return ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

template <typename F>
void Set(Proc p, F* f) {
  *f = reinterpret_cast<F>(p);
}

const Registry& FindOnce() {
  if (registry.found) return registry;
  registry.found = true;
  static const Loader kLoader = {Loaded, Find, SystemDir, Load};
  RegProcs p = FindRegistry(kLoader);
  Set(p.open, &registry.open);
  Set(p.query, &registry.query);
  Set(p.close, &registry.close);
  return registry;
}

}  // namespace

Handle GetStdHandle(uint32_t which) {
  HANDLE h = ::GetStdHandle(static_cast<DWORD>(which));
  return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

bool GetConsoleMode(Handle h, uint32_t* mode) {
  DWORD m = 0;
  if (!::GetConsoleMode(h, &m)) return false;
  *mode = m;
  return true;
}

bool SetConsoleMode(Handle h, uint32_t mode) {
  return ::SetConsoleMode(h, mode) != 0;
}

bool GetConsoleScreenBufferInfo(Handle h, ScreenBufferInfo* info) {
  CONSOLE_SCREEN_BUFFER_INFO i;
  if (!::GetConsoleScreenBufferInfo(h, &i)) return false;
  info->size = Coord{i.dwSize.X, i.dwSize.Y};
  info->cursor = Coord{i.dwCursorPosition.X, i.dwCursorPosition.Y};
  info->attributes = i.wAttributes;
  info->window = SmallRect{i.srWindow.Left, i.srWindow.Top, i.srWindow.Right,
                           i.srWindow.Bottom};
  return true;
}

bool WriteFile(Handle h, const void* bytes, uint32_t count, uint32_t* written) {
  DWORD done = 0;
  BOOL ok = ::WriteFile(h, bytes, count, &done, nullptr);
  *written = done;
  return ok != 0;
}

bool WriteConsoleOutputA(Handle h, const CharInfo* cells, Coord size,
                         Coord origin, SmallRect* region) {
  SMALL_RECT r = ToRect(*region);
  BOOL ok = ::WriteConsoleOutputA(h, reinterpret_cast<const CHAR_INFO*>(cells),
                                  ToCoord(size), ToCoord(origin), &r);
  *region = SmallRect{r.Left, r.Top, r.Right, r.Bottom};
  return ok != 0;
}

bool ScrollConsoleScreenBufferA(Handle h, const SmallRect* source,
                                const SmallRect* clip, Coord dest,
                                const CharInfo* fill) {
  SMALL_RECT s = ToRect(*source);
  SMALL_RECT c;
  if (clip != nullptr) c = ToRect(*clip);
  CHAR_INFO f;
  f.Char.AsciiChar = fill->ch;
  f.Attributes = fill->attr;
  return ::ScrollConsoleScreenBufferA(h, &s, clip != nullptr ? &c : nullptr,
                                      ToCoord(dest), &f) != 0;
}

bool FillConsoleOutputAttribute(Handle h, uint16_t attr, uint32_t count,
                                Coord start, uint32_t* done) {
  DWORD d = 0;
  BOOL ok = ::FillConsoleOutputAttribute(h, attr, count, ToCoord(start), &d);
  *done = d;
  return ok != 0;
}

bool FillConsoleOutputCharacterA(Handle h, char ch, uint32_t count, Coord start,
                                 uint32_t* done) {
  DWORD d = 0;
  BOOL ok = ::FillConsoleOutputCharacterA(h, ch, count, ToCoord(start), &d);
  *done = d;
  return ok != 0;
}

bool SetConsoleCursorPosition(Handle h, Coord pos) {
  return ::SetConsoleCursorPosition(h, ToCoord(pos)) != 0;
}

bool SetConsoleWindowInfo(Handle h, bool absolute, const SmallRect* window) {
  SMALL_RECT r = ToRect(*window);
  return ::SetConsoleWindowInfo(h, absolute ? TRUE : FALSE, &r) != 0;
}

bool Beep(uint32_t frequency, uint32_t duration) {
  return ::Beep(frequency, duration) != 0;
}

bool GetVersionExA(VersionInfo* info) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(info)) != 0;
#pragma GCC diagnostic pop
}

int32_t RegOpenKeyExA(uint32_t root, const char* path, uint32_t options,
                      uint32_t access, RegKey* key) {
  const Registry& reg = FindOnce();
  HKEY k = nullptr;
  LONG r = reg.open != nullptr
               ? reg.open(ToKey(root), path, options, access, &k)
               : ERROR_FILE_NOT_FOUND;
  *key = k;
  return r;
}

int32_t RegQueryValueExA(RegKey key, const char* name, uint32_t* reserved,
                         uint32_t* type, uint8_t* data, uint32_t* size) {
  const Registry& reg = FindOnce();
  if (reg.query == nullptr) return ERROR_INVALID_HANDLE;
  DWORD t = 0;
  DWORD s = *size;
  LONG r = reg.query(static_cast<HKEY>(key), name,
                     reinterpret_cast<LPDWORD>(reserved), &t, data, &s);
  *type = t;
  *size = s;
  return r;
}

int32_t RegCloseKey(RegKey key) {
  const Registry& reg = FindOnce();
  if (reg.close == nullptr) return ERROR_INVALID_HANDLE;
  return reg.close(static_cast<HKEY>(key));
}

char* ItoA(int32_t value, char* out, int radix) {
  return _itoa(value, out, radix);
}
char* UltoA(uint32_t value, char* out, int radix) {
  return _ultoa(value, out, radix);
}

bool IsLower(unsigned char c) {
  if (MB_CUR_MAX == 1) return (_pctype[c] & _LOWER) != 0;
  return _isctype(c, _LOWER) != 0;
}

int ToUpper(int c) { return toupper(c); }
const char* GetEnv(const char* name) { return getenv(name); }
void* Malloc(size_t n) { return malloc(n); }
void* Realloc(void* p, size_t n) { return realloc(p, n); }
void Free(void* p) { free(p); }

void ControlFp(uint32_t value, uint32_t mask) {
#if defined(_M_X64) || defined(__x86_64__)
  // The x64 unit has no precision control, and msvcrt rejects that mask:
  // only the rounding field is set.
  mask &= _MCW_RC;
#endif
  _controlfp(value, mask);
}

int Snprintf(char* buf, size_t n, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int r = _vsnprintf(buf, n, format, args);
  va_end(args);
  return r;
}

void AtExit(void (*handler)()) { atexit(handler); }
void Exit(int status) { exit(status); }

void WriteStdErr(const char* bytes, size_t n) {
  _setmode(_fileno(stderr), _O_BINARY);
  fwrite(bytes, 1, n, stderr);
  fflush(stderr);
}

}  // namespace plat
