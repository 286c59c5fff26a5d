#include "platform/regapi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A loader with two modules. Each export is a function that records its
// module and name when called, so a test calls what it got to see where it
// came from.
struct World {
  const char* kernel32_lacks;  // an export KERNEL32 does not have, or ""
  bool advapi32;               // advapi32.dll can be loaded
  const char* advapi32_lacks;  // an export advapi32.dll does not have, or ""
  const char* sysdir;          // the system directory; nullptr: call fails
};
World world;
std::string loads;   // the paths loaded, ";" after each
std::string called;  // the last export called

char kernel32, advapi32;  // the modules are their addresses

template <int module, int name>
void Export() {
  static const char* const kModules[] = {"kernel32", "advapi32"};
  static const char* const kNames[] = {"open", "query", "close"};
  called = std::string(kModules[module]) + "." + kNames[name];
}

template <int module>
plat::Proc Exports(const char* name, const char* lacks) {
  if (std::strcmp(name, lacks) == 0) return nullptr;
  if (std::strcmp(name, "RegOpenKeyExA") == 0) return Export<module, 0>;
  if (std::strcmp(name, "RegQueryValueExA") == 0) return Export<module, 1>;
  if (std::strcmp(name, "RegCloseKey") == 0) return Export<module, 2>;
  return nullptr;
}

plat::Module Loaded(const char* name) {
  return std::strcmp(name, "kernel32.dll") == 0 ? &kernel32 : nullptr;
}
plat::Proc Find(plat::Module m, const char* name) {
  if (m == &kernel32) return Exports<0>(name, world.kernel32_lacks);
  if (m == &advapi32) return Exports<1>(name, world.advapi32_lacks);
  return nullptr;
}
unsigned SystemDir(char* path, unsigned size) {
  if (world.sysdir == nullptr) return 0;
  size_t n = std::strlen(world.sysdir);
  if (n >= size) return static_cast<unsigned>(n + 1);
  std::memcpy(path, world.sysdir, n + 1);
  return static_cast<unsigned>(n);
}
plat::Module Load(const char* path) {
  loads += std::string(path) + ";";
  return world.advapi32 && std::strcmp(path, "C:\\sys\\advapi32.dll") == 0
             ? &advapi32
             : nullptr;
}

// Calls the three found functions in order: "open query close" of their
// modules, or "none".
std::string Origin(const plat::RegProcs& p) {
  if (p.open == nullptr && p.query == nullptr && p.close == nullptr) {
    return "none";
  }
  std::string got;
  for (plat::Proc f : {p.open, p.query, p.close}) {
    if (f == nullptr) return got + "nullptr";
    f();
    got += called + " ";
  }
  return got;
}

TEST(FindRegistryTest, TakesKernel32sExportsOrLoadsAdvapi32ByFullPath) {
  const std::string kLong(plat::kMaxPath, 'x');
  const std::string kFits(plat::kMaxPath - 1, 'x');
  const std::string kernel = "kernel32.open kernel32.query kernel32.close ";
  const std::string advapi = "advapi32.open advapi32.query advapi32.close ";
  const std::string path = "C:\\sys\\advapi32.dll;";
  struct Case {
    World world;
    std::string origin;
    std::string loads;
  };
  const Case cases[] = {
      {{"", true, "", "C:\\sys"}, kernel, ""},
      {{"", false, "", nullptr}, kernel, ""},
      {{"RegOpenKeyExA", true, "", "C:\\sys"}, advapi, path},
      {{"RegQueryValueExA", true, "", "C:\\sys"}, advapi, path},
      {{"RegCloseKey", true, "", "C:\\sys"}, advapi, path},
      {{"RegCloseKey", false, "", "C:\\sys"}, "none", path},
      {{"RegOpenKeyExA", true, "RegOpenKeyExA", "C:\\sys"}, "none", path},
      {{"RegOpenKeyExA", true, "RegQueryValueExA", "C:\\sys"}, "none", path},
      {{"RegOpenKeyExA", true, "RegCloseKey", "C:\\sys"}, "none", path},
      {{"RegOpenKeyExA", true, "", nullptr}, "none", ""},
      {{"RegOpenKeyExA", true, "", kLong.c_str()}, "none", ""},
      {{"RegOpenKeyExA", true, "", kFits.c_str()},
       "none",
       kFits + "\\advapi32.dll;"},
  };
  const plat::Loader loader = {Loaded, Find, SystemDir, Load};
  for (const Case& c : cases) {
    world = c.world;
    loads.clear();
    SCOPED_TRACE(std::string(c.world.kernel32_lacks) + " / " +
                 (c.world.advapi32 ? c.world.advapi32_lacks : "no advapi32") +
                 " / " + (c.world.sysdir ? c.world.sysdir : "no sysdir"));
    EXPECT_EQ(Origin(plat::FindRegistry(loader)), c.origin);
    EXPECT_EQ(loads, c.loads);
  }
}

}  // namespace
