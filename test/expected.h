// What the tool must print, as the tests expect it: written down here once,
// apart from the tool's own code, for every test that checks its output.
#ifndef TORVELIN_TEST_EXPECTED_H_
#define TORVELIN_TEST_EXPECTED_H_

// The usage text, line by line, without line ends.
inline constexpr const char* kUsageLines[] = {
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
static_assert(sizeof kUsageLines / sizeof kUsageLines[0] == 23,
              "the usage text has 23 lines");

// The registry keys the tool reads, and what its reader gives in place of a
// value it cannot open or query.
inline constexpr char kProductKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
inline constexpr char kCpuKey[] =
    "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";
inline constexpr char kOpenError[] = "ERROR_MyRegRead_RegOpenKeyEx!!!";
inline constexpr char kQueryError[] = "ERROR_MyRegRead_RegQueryValueEx!!!";

#endif  // TORVELIN_TEST_EXPECTED_H_
