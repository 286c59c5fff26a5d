// The platform on a POSIX host. Standard output is always a byte stream (the
// console queries fail), the registry has no keys, and the version comes
// from the kernel release.
#include <signal.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/kernel.h"
#include "platform/platform.h"

namespace plat {

namespace {

// File descriptors travel in handles offset by one, so that descriptor 0
// is not the null handle.
Handle FromFd(int fd) {
  return reinterpret_cast<Handle>(static_cast<intptr_t>(fd) + 1);
}
int ToFd(Handle h) {
  return static_cast<int>(reinterpret_cast<intptr_t>(h) - 1);
}

}  // namespace

Handle GetStdHandle(uint32_t which) {
  if (which == kStdInput) return FromFd(0);
  if (which == kStdOutput) {
    // A reader who has gone makes a failed write, not a killed process.
    signal(SIGPIPE, SIG_IGN);
    return FromFd(1);
  }
  return nullptr;
}

bool GetConsoleMode(Handle, uint32_t*) { return false; }
bool SetConsoleMode(Handle, uint32_t) { return false; }
bool GetConsoleScreenBufferInfo(Handle, ScreenBufferInfo*) { return false; }

bool WriteFile(Handle h, const void* bytes, uint32_t count, uint32_t* written) {
  *written = 0;
  ssize_t r;
  do {
    r = write(ToFd(h), bytes, count);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return false;
  *written = static_cast<uint32_t>(r);
  return true;
}

bool WriteConsoleOutputA(Handle, const CharInfo*, Coord, Coord, SmallRect*) {
  return false;
}
bool ScrollConsoleScreenBufferA(Handle, const SmallRect*, const SmallRect*,
                                Coord, const CharInfo*) {
  return false;
}
bool FillConsoleOutputAttribute(Handle, uint16_t, uint32_t, Coord, uint32_t*) {
  return false;
}
bool FillConsoleOutputCharacterA(Handle, char, uint32_t, Coord, uint32_t*) {
  return false;
}
bool SetConsoleCursorPosition(Handle, Coord) { return false; }
bool SetConsoleWindowInfo(Handle, bool, const SmallRect*) { return false; }
bool Beep(uint32_t, uint32_t) { return false; }

// Major, minor and build come from the kernel release (KernelVersion); the
// platform identifier is 0, since no Windows platform is running.
bool GetVersionExA(VersionInfo* info) {
  struct utsname u;
  if (uname(&u) != 0) return false;
  uint32_t numbers[3];
  KernelVersion(u.release, numbers);
  info->major = numbers[0];
  info->minor = numbers[1];
  info->build = numbers[2];
  info->platform_id = 0;
  return true;
}

int32_t RegOpenKeyExA(uint32_t, const char*, uint32_t, uint32_t, RegKey*) {
  return 2;  // ERROR_FILE_NOT_FOUND: there is no registry here
}
int32_t RegQueryValueExA(RegKey, const char*, uint32_t*, uint32_t*, uint8_t*,
                         uint32_t*) {
  return 6;  // ERROR_INVALID_HANDLE
}
int32_t RegCloseKey(RegKey) { return 6; }

const char* GetEnv(const char* name) { return std::getenv(name); }
void* Malloc(size_t n) { return std::malloc(n); }
void* Realloc(void* p, size_t n) { return std::realloc(p, n); }
void Free(void* p) { std::free(p); }

// The runtime sets the unit once, at start-up, to round to nearest, and
// the host's unit has no precision control that the tool depends on. A
// process here already starts that way (C's default floating-point
// environment), so there is nothing to set, and no maths library to load.
void ControlFp(uint32_t, uint32_t) {}

void AtExit(void (*handler)()) { std::atexit(handler); }
void Exit(int status) { std::exit(status); }

void WriteStdErr(const char* bytes, size_t n) {
  while (n > 0) {
    ssize_t r = write(2, bytes, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return;
    bytes += r;
    n -= static_cast<size_t>(r);
  }
}

}  // namespace plat
