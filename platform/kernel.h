// The host build's stand-in for a Windows version: numbers read from the
// kernel's release string.
#ifndef TORVELIN_PLATFORM_KERNEL_H_
#define TORVELIN_PLATFORM_KERNEL_H_

#include <cstdint>

namespace plat {

// The release's leading numbers, up to three, joined by dots: "6.8-rc1"
// gives 6, 8, 0 and "5.15.153.1-WSL2" gives 5, 15, 153. They end at the
// first separator that is not a dot; a number that is missing is 0, and one
// too large for 32 bits is 4294967295.
void KernelVersion(const char* release, uint32_t numbers[3]);

}  // namespace plat

#endif  // TORVELIN_PLATFORM_KERNEL_H_
