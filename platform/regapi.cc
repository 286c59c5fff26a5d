#include "platform/regapi.h"

#include <cstring>

namespace plat {

namespace {

// All three exports of `module`, or none.
RegProcs Take(const Loader& loader, Module module) {
  RegProcs none = {nullptr, nullptr, nullptr};
  if (module == nullptr) return none;
  RegProcs p = {loader.find(module, "RegOpenKeyExA"),
                loader.find(module, "RegQueryValueExA"),
                loader.find(module, "RegCloseKey")};
  return p.open != nullptr && p.query != nullptr && p.close != nullptr ? p
                                                                       : none;
}

}  // namespace

RegProcs FindRegistry(const Loader& loader) {
  RegProcs p = Take(loader, loader.loaded("kernel32.dll"));
  if (p.open != nullptr) return p;
  static const char kDll[] = "\\advapi32.dll";
  char path[kMaxPath + sizeof(kDll)];
  unsigned n = loader.system_dir(path, kMaxPath);
  if (n == 0 || n >= kMaxPath) return p;
  std::memcpy(path + n, kDll, sizeof(kDll));
  return Take(loader, loader.load(path));
}

}  // namespace plat
