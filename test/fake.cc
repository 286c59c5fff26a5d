// The fake platform's handles, byte stream, registry, version, environment,
// C runtime and exit. The simulated console is in fake_console.cc.
#include "test/fake.h"

#include <malloc.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fake {

plat::Handle const kInput = reinterpret_cast<plat::Handle>(0x10);
plat::Handle const kOutput = reinterpret_cast<plat::Handle>(0x20);

State& S() {
  static State state;
  return state;
}

void Reset() { S() = State{}; }

std::string HandleName(plat::Handle h) {
  if (h == kInput) return "in";
  if (h == kOutput) return "out";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%p", h);
  return buf;
}

namespace {

void Record(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Record(const char* format, ...) {
  char buf[4096];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  S().calls.push_back(buf);
}

// Registry keys handed out: each remembers the path it was opened with.
struct OpenKey {
  std::string path;
};

bool NextAllocationFails() {
  State& s = S();
  ++s.allocation_attempts;
  return (s.fail_allocation != 0 &&
          s.allocation_attempts == s.fail_allocation) ||
         (s.fail_from != 0 && s.allocation_attempts >= s.fail_from);
}

}  // namespace

}  // namespace fake

namespace plat {

using fake::Record;
using fake::S;
using fake::State;

Handle GetStdHandle(uint32_t which) {
  Record("GetStdHandle(%d)", static_cast<int32_t>(which));
  if (which == kStdInput) return S().input;
  if (which == kStdOutput) return S().output;
  return nullptr;
}

bool GetConsoleMode(Handle h, uint32_t* mode) {
  Record("GetConsoleMode(%s)", fake::HandleName(h).c_str());
  if (h != fake::kInput || !S().input_is_console) return false;
  *mode = S().input_mode;
  return true;
}

bool SetConsoleMode(Handle h, uint32_t mode) {
  Record("SetConsoleMode(%s,%u)", fake::HandleName(h).c_str(), mode);
  if (h != fake::kInput || !S().input_is_console) return false;
  S().input_mode = mode;
  return true;
}

bool WriteFile(Handle h, const void* bytes, uint32_t count, uint32_t* written) {
  Record("WriteFile(%s,%u)", fake::HandleName(h).c_str(), count);
  *written = 0;
  if (h != fake::kOutput) return false;
  State& s = S();
  uint64_t take = count;
  if (!s.write_script.empty()) {
    int64_t step = s.write_script.front();
    s.write_script.pop_front();
    if (step < 0) return false;
    if (static_cast<uint64_t>(step) < take) take = static_cast<uint64_t>(step);
  }
  s.out.append(static_cast<const char*>(bytes), take);
  *written = static_cast<uint32_t>(take);
  return true;
}

bool GetVersionExA(VersionInfo* info) {
  Record("GetVersionExA(%u)", info->size);
  if (!S().version_ok) return false;
  uint32_t size = info->size;
  *info = S().version;
  info->size = size;
  return true;
}

int32_t RegOpenKeyExA(uint32_t root, const char* path, uint32_t options,
                      uint32_t access, RegKey* key) {
  Record("RegOpenKeyExA(0x%x,%s,%u,0x%x)", root, path, options, access);
  auto it = S().registry.find(path);
  if (it == S().registry.end()) return 2;  // ERROR_FILE_NOT_FOUND
  if (it->second.open_fails) return 5;     // ERROR_ACCESS_DENIED
  *key = new fake::OpenKey{path};
  ++S().open_keys;
  return 0;
}

int32_t RegQueryValueExA(RegKey key, const char* name, uint32_t* reserved,
                         uint32_t* type, uint8_t* data, uint32_t* size) {
  auto* open = static_cast<fake::OpenKey*>(key);
  Record("RegQueryValueExA(%s,%s,%u)", open->path.c_str(), name, *size);
  if (reserved != nullptr) return 87;  // ERROR_INVALID_PARAMETER
  fake::RegKey& k = S().registry[open->path];
  if (k.query_error != 0) return k.query_error;
  auto it = k.values.find(name);
  if (it == k.values.end()) return 2;
  const fake::RegValue& v = it->second;
  *type = v.type;
  if (v.reported != 0) {
    std::memcpy(data, v.data.data(), std::min<size_t>(v.data.size(), *size));
    *size = v.reported;
    return 0;
  }
  if (v.data.size() > *size) {
    *size = static_cast<uint32_t>(v.data.size());
    return 234;  // ERROR_MORE_DATA
  }
  std::memcpy(data, v.data.data(), v.data.size());
  *size = static_cast<uint32_t>(v.data.size());
  return 0;
}

int32_t RegCloseKey(RegKey key) {
  auto* open = static_cast<fake::OpenKey*>(key);
  Record("RegCloseKey(%s)", open->path.c_str());
  delete open;
  --S().open_keys;
  return 0;
}

const char* GetEnv(const char* name) {
  Record("getenv(%s)", name);
  auto it = S().env.find(name);
  return it == S().env.end() ? nullptr : it->second.c_str();
}

void* Malloc(size_t n) {
  if (fake::NextAllocationFails()) return nullptr;
  void* p = std::malloc(n);
  if (p != nullptr) ++S().allocations;
  return p;
}

// Always moves the block, and scribbles over the old one before it is
// freed: a pointer still held into the old block reads 0xDD, not the bytes
// it expects, even where the C library would have grown it in place.
void* Realloc(void* p, size_t n) {
  if (fake::NextAllocationFails()) return nullptr;
  void* q = std::malloc(n);
  if (q == nullptr) return nullptr;
  if (p == nullptr) {
    ++S().allocations;
    return q;
  }
  const size_t old = malloc_usable_size(p);
  std::memcpy(q, p, old < n ? old : n);
  std::memset(p, 0xDD, old);
  std::free(p);
  return q;
}

void Free(void* p) {
  if (p != nullptr) --S().allocations;
  std::free(p);
}

void ControlFp(uint32_t value, uint32_t mask) {
  Record("ControlFp(%u,0x%x)", value, mask);
}

void AtExit(void (*handler)()) { S().exit_handlers.push_back(handler); }

void Exit(int status) {
  Record("Exit(%d)", status);
  std::vector<void (*)()> handlers;
  handlers.swap(S().exit_handlers);
  for (auto it = handlers.rbegin(); it != handlers.rend(); ++it) (*it)();
  throw fake::ExitCalled{status};
}

void WriteStdErr(const char* bytes, size_t n) { S().err.append(bytes, n); }

}  // namespace plat
