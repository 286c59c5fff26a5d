// Decides between a 64-bit and a 32-bit system.
#include "tool/tool.h"

namespace {

constexpr char kX86Folder[] = "ProgramFiles(x86)";

}  // namespace

Text GetArchitecture() {
  Text id;
  StrAssign(id, MyRegRead(kHkeyLocalMachine,
                          "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                          "Identifier"));
  Text result;
  if (StrLen(id) <= 3) {
    StrAssign(result, "ERROR");
    return result;
  }
  bool not_x86 = StrCompare(StrUCase(StrLeft(id, 3)), "X86") != 0;
  bool has_x86_folder = StrLen(StrTrim(GetEnviron(kX86Folder))) >= 1;
  StrAssign(result, not_x86 && has_x86_folder ? "64-bit" : "32-bit");
  return result;
}
