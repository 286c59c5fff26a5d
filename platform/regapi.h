// Where the registry functions come from on Windows.
//
// RegOpenKeyExA, RegQueryValueExA and RegCloseKey live in advapi32.dll, and
// Windows 7 and later (and Wine) also export them from KERNEL32, which every
// process has loaded. FindRegistry takes the three from KERNEL32 when it
// exports all of them, asking only for a module already loaded, so that
// nothing is loaded and no search order is involved. Otherwise it loads
// advapi32.dll by its full path in the system directory, never from the
// executable's or the current folder, and takes the three from there. The
// three come from one module, all or none.
//
// The loader's calls come in as a record of plain procedures: win.cc passes
// the real ones, and a test passes its own, so the choice is the same code
// in both.
#ifndef TORVELIN_PLATFORM_REGAPI_H_
#define TORVELIN_PLATFORM_REGAPI_H_

namespace plat {

using Module = void*;     // a loaded module; nullptr is "none"
using Proc = void (*)();  // an export, its type erased; nullptr is "none"

// The longest system directory that is used, as GetSystemDirectoryA counts
// it: MAX_PATH.
constexpr unsigned kMaxPath = 260;

// The loader's calls, each shaped as the Windows call it stands for.
struct Loader {
  // GetModuleHandleA: the named module if it is loaded; never loads it.
  Module (*loaded)(const char* name);
  // GetProcAddress.
  Proc (*find)(Module module, const char* name);
  // GetSystemDirectoryA: writes the path and its terminator into `size`
  // bytes at `path` and returns its length; returns 0 on failure, and a
  // number of `size` or more when the path does not fit.
  unsigned (*system_dir)(char* path, unsigned size);
  // LoadLibraryExA of a full path; the module's own imports are found
  // beside it.
  Module (*load)(const char* path);
};

// The three registry functions, all set or all nullptr.
struct RegProcs {
  Proc open;   // RegOpenKeyExA
  Proc query;  // RegQueryValueExA
  Proc close;  // RegCloseKey
};

// Finds the three functions as described above. A module it loads stays
// loaded.
RegProcs FindRegistry(const Loader& loader);

}  // namespace plat

#endif  // TORVELIN_PLATFORM_REGAPI_H_
