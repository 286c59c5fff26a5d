// What the tool must print, as the tests expect it: written down here once,
// apart from the tool's own code, for every test that checks its output.
#ifndef TORVELIN_TEST_EXPECTED_H_
#define TORVELIN_TEST_EXPECTED_H_

#include <cstddef>
#include <string>
#include <vector>

// The usage text (kUsageLines), the report's labels (kLabels), the
// reader's error texts (kOpenError, kQueryError), the failed version
// query's line (kVersionError), the lines that end the error report
// (kErrorReportTail), its wording for each runtime error code
// (kErrorWording) and the runtime's abort message for running out of
// memory (kOutOfMemoryAbortLines), from test/texts/.
#include "test/texts.h"

// What printing these lines gives: each line followed by CR LF.
inline std::string Printed(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\r\n";
  return out;
}

// The usage text as printed.
inline std::string UsageText() {
  return Printed({std::begin(kUsageLines), std::end(kUsageLines)});
}

// The runtime's abort message for running out of memory, as written to
// standard error.
inline std::string OutOfMemoryAbort() {
  return Printed(
      {std::begin(kOutOfMemoryAbortLines), std::end(kOutOfMemoryAbortLines)});
}

// The error report that begins with this line, as printed.
inline std::string ErrorReportText(const std::string& first) {
  std::vector<std::string> lines = {first};
  lines.insert(lines.end(), std::begin(kErrorReportTail),
               std::end(kErrorReportTail));
  return Printed(lines);
}

// The report's first lines, as many as values: each label with its value.
inline std::vector<std::string> ReportLines(
    const std::vector<std::string>& values) {
  std::vector<std::string> lines;
  for (size_t i = 0; i < values.size(); ++i)
    lines.push_back(kLabels[i] + values[i]);
  return lines;
}

// The registry keys the tool reads.
inline constexpr char kProductKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
inline constexpr char kCpuKey[] =
    "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";

#endif  // TORVELIN_TEST_EXPECTED_H_
