// The version query and its five output forms.
#include <cstring>

#include "platform/platform.h"
#include "runtime/print.h"
#include "tool/tool.h"

namespace {

void PrintLabelled(const char* label, Text&& value) {
  PrintLine(0, StrConcat(label, static_cast<Text&&>(value)), PrintFlagNewline);
}

Text ProductType() {
  return MyRegRead(kHkeyLocalMachine,
                   "SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
                   "ProductType");
}

}  // namespace

void VersionReport(const Text& mode) {
  plat::VersionInfo v;
  std::memset(&v, 0, sizeof v);
  v.size = sizeof v;
  if (!plat::GetVersionExA(&v)) {
    PrintLine(0, "ERROR: Function GetVersionEx failed!!!", PrintFlagNewline);
    return;
  }
  if (StrCompare(mode, "BUILD_ONLY") == 0) {
    PrintLine(0, StrFromUInt(v.build), PrintFlagNewline);
  } else if (StrCompare(mode, "OS_ONLY") == 0) {
    PrintLine(0,
              StrConcat(StrConcat(StrConcat(StrFromUInt(v.platform_id), "."),
                                  StrConcat(StrFromUInt(v.major), ".")),
                        StrFromUInt(v.minor)),
              PrintFlagNewline);
  } else if (StrCompare(mode, "PRODUCTTYPE_ONLY") == 0) {
    PrintLine(0, ProductType(), PrintFlagNewline);
  } else if (StrCompare(mode, "ARCHITECTURE_ONLY") == 0) {
    PrintLine(0, GetArchitecture(), PrintFlagNewline);
  } else {
    PrintLabelled("Platform ID ......: ", StrFromUInt(v.platform_id));
    PrintLabelled("Major Version ....: ", StrFromUInt(v.major));
    PrintLabelled("Minor Version ....: ", StrFromUInt(v.minor));
    PrintLabelled("Build ............: ", StrFromUInt(v.build));
    PrintLabelled("Product Type .....: ", ProductType());
    PrintLabelled("Architecture .....: ", GetArchitecture());
  }
}
