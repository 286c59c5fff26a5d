// The tool's own report for a runtime error, in place of the runtime's abort
// message: the number, the line and the tool's wording for the code, on
// standard output, and a normal end.
#include "runtime/error.h"
#include "runtime/print.h"
#include "runtime/runtime.h"
#include "runtime/text.h"
#include "tool/tool.h"

namespace {

// The table ReportMain filled; ErrorReport reads its wording from there.
// Needs no reset between runs: ErrorReportInstall sets it before it
// registers ErrorReport, the only reader.
ErrorMessages* report_messages = nullptr;

}  // namespace

void ErrorReportInstall(ErrorMessages* messages) {
  static const char* const kWording[kErrorMessageCount] = {
      "No error",
      "Illegal function call",
      "File not found",
      "File I/O error",
      "Out of memory",
      "Illegal resume",
      "Out of bounds array access",
      "Null pointer access",
      "No privileges",
      "Interrupted signal",
      "Illegal instruction signal",
      "Floating point error signal",
      "Segmentation violation signal",
      "Termination request signal",
      "Abnormal termination signal",
      "Quit request signal",
      "Return without gosub",
      "End of file",
  };
  for (int32_t i = 0; i < kErrorMessageCount; ++i) {
    StrAssign(messages->entries[i], kWording[i]);
  }
  report_messages = messages;
  SetErrorHandler(ErrorReport);
}

void ErrorReport() {
  // Both are read before anything is printed: every print records its own
  // result in the error number.
  const int32_t number = ErrGetNum();
  const int32_t line = ErrGetLine();

  Text report;
  StrAssign(report, "ERROR: #");
  StrConcatAssign(report, StrFromInt(number));
  StrConcatAssign(report, " at line #");
  StrConcatAssign(report, StrFromInt(line));
  if (number >= 0 && number < kErrorMessageCount &&
      report_messages != nullptr) {
    StrConcatAssign(report, "; ");
    StrConcatAssign(report, report_messages->entries[number]);
  }
  PrintLine(0, report, PrintFlagNewline);
  PrintLine(0, "", PrintFlagNewline);
  PrintLine(0, "You can find a complete list of runtime error codes in the",
            PrintFlagNewline);
  PrintLine(0, "Vantrisel documentation.", PrintFlagNewline);
  StrDelete(report);
  ProgramEnd(0);
}
