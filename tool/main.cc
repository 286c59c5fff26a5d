// The tool's main routine: reads the first argument, picks the output form
// and prints either the usage text or the version report.
// README.md (Layout) tells the whole run, from start-up to end.
#include "runtime/print.h"
#include "runtime/runtime.h"
#include "runtime/text.h"
#include "tool/tool.h"

namespace {

const char* const kUsage[] = {
    "",
    "",
    "Prints information about the os version and build. The output can be",
    "formatted for usage in batch files:",
    "",
    "TORVELIN.EXE [/O | /B | /P | /A]",
    "",
    "/O  Returns the os version only (PlatformID.MajorVersion.MinorVersion)",
    "/B  Returns the build number only",
    "/P  Returns the product type only",
    "/A  Returns the architecture only (64-bit / 32-bit)",
    "",
    "Example batch file:",
    "",
    "@ECHO off",
    "FOR /f %%i in ('torvelin.exe /o') do set QUENLITH=%%i",
    "ECHO %QUENLITH%",
    "",
    "Look at the Microsoft Knowledge Base for the returned os versions.",
    "Windows XP returns 2.5.1 for example. Currently known product types",
    "are WinNT for clients and LanmanNT or ServerNT for servers.",
    "",
    "",
};

// Each switch letter and the output form it selects.
struct Switch {
  const char* letter;
  const char* mode;
};
const Switch kSwitches[] = {
    {"O", "OS_ONLY"},
    {"B", "BUILD_ONLY"},
    {"P", "PRODUCTTYPE_ONLY"},
    {"A", "ARCHITECTURE_ONLY"},
};

}  // namespace

void ReportMain(int32_t argc, char** argv) {
  RuntimeSetArgs(argc, argv);
  ErrorMessages messages;
  ErrorReportInstall(&messages);

  Text arg;
  Text OutputMode;
  bool ShowHelp = false;
  StrAssign(arg, StrTrim(GetCommandArg(1)));
  if (StrLen(arg) != 0) {
    bool two_chars = StrLen(arg) == 2;
    Text first = StrLeft(arg, 1);
    bool leader = StrCompare(first, "/") == 0 || StrCompare(first, "-") == 0;
    if (two_chars && leader) {
      Text letter;
      StrAssign(letter, StrUCase(StrMid(arg, 2, 1)));
      ShowHelp = true;
      for (const Switch& s : kSwitches) {
        if (StrCompare(letter, s.letter) == 0) {
          StrAssign(OutputMode, s.mode);
          ShowHelp = false;
          break;
        }
      }
    } else {
      ShowHelp = true;
    }
  }

  if (ShowHelp) {
    for (const char* line : kUsage) PrintLine(0, line, PrintFlagNewline);
  } else {
    VersionReport(OutputMode);
  }
  ProgramEnd(0);
}
