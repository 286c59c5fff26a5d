// The version report tool: its main routine and the pieces it is made of.
#ifndef TORVELIN_TOOL_TOOL_H_
#define TORVELIN_TOOL_TOOL_H_

#include <cstdint>

#include "runtime/error.h"
#include "runtime/text.h"

constexpr uint32_t kHkeyLocalMachine = 0x80000002;
// One wording for each runtime error code.
constexpr int32_t kErrorMessageCount = kRuntimeErrorCount;

// The tool's wording for the runtime error codes 0 to 17.
struct ErrorMessages {
  Text entries[kErrorMessageCount];
};

// The main routine. Never returns; every path ends with exit status 0, but
// for running out of memory, which ends with status 4: in ErrorReport once
// ErrorReportInstall has registered it, and before that (while it fills the
// table) in the runtime's abort message on standard error.
[[noreturn]] void ReportMain(int32_t argc, char** argv);

// Prints the report form that `mode` names (OS_ONLY, BUILD_ONLY,
// PRODUCTTYPE_ONLY, ARCHITECTURE_ONLY; anything else the six-line report),
// or the one error line when the version query fails.
void VersionReport(const Text& mode);

// Reads one registry value as text, or one of the two error texts. The key
// path and value name go to the registry exactly as given, zero-terminated;
// nothing is allocated before the registry has answered, so running out of
// memory can never make it ask for another key or value. A DWORD reads as
// its decimal number, binary data as two hex digits a byte (2048 digits at
// most), any other type as its bytes before the first zero; an empty string
// value needs no allocation at all.
Text MyRegRead(uint32_t root, const char* path, const char* name);

// "ERROR" for a processor identifier of 3 bytes or fewer; "64-bit" when it
// does not begin with x86 (any case) and ProgramFiles(x86) holds more than
// spaces; "32-bit" otherwise. A registry error text is an identifier too.
Text GetArchitecture();

// Fills the table and registers ErrorReport as the runtime's error handler.
void ErrorReportInstall(ErrorMessages* messages);
// The handler: prints the four-line report and ends with the error's number
// as the exit status. Allocates nothing, so running out of memory can raise
// it at any point.
[[noreturn]] void ErrorReport();

#endif  // TORVELIN_TOOL_TOOL_H_
