// The tool's own report for a runtime error, in place of the runtime's abort
// message: the number, the line and the tool's wording for the code, on
// standard output, and an end with the error's number as the exit status.
#include <cstdint>
#include <cstring>

#include "platform/platform.h"
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

constexpr const char* kWording[kErrorMessageCount] = {
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

constexpr int32_t Longest() {
  int32_t most = 0;
  for (const char* w : kWording) {
    int32_t n = 0;
    while (w[n] != 0) ++n;
    if (n > most) most = n;
  }
  return most;
}

// The characters of `value` in decimal, a minus sign included.
constexpr int32_t DecimalWidth(int64_t value) {
  int32_t n = value < 0 ? 2 : 1;
  for (value = value < 0 ? -value : value; value >= 10; value /= 10) ++n;
  return n;
}

// The first line's pieces, each sized by the compiler: the leads before
// the number, the line and the wording, and the widest number ItoA writes.
constexpr char kNumberLead[] = "ERROR: #";
constexpr char kLineLead[] = " at line #";
constexpr char kWordingLead[] = "; ";

template <size_t N>
constexpr int32_t Length(const char (&)[N]) {
  return static_cast<int32_t>(N - 1);
}

constexpr int32_t kNumberSize = DecimalWidth(INT32_MIN);
constexpr int32_t kFirstLineSize = Length(kNumberLead) + Length(kLineLead) +
                                   Length(kWordingLead) + 2 * kNumberSize +
                                   Longest();

void Append(char* line, int32_t* used, const char* bytes, int32_t n) {
  if (n > 0) std::memcpy(line + *used, bytes, static_cast<size_t>(n));
  *used += n;
}

template <size_t N>
void AppendLead(char* line, int32_t* used, const char (&lead)[N]) {
  Append(line, used, lead, Length(lead));
}

void AppendNumber(char* line, int32_t* used, int32_t value) {
  char digits[kNumberSize + 1];
  plat::ItoA(value, digits, 10);
  Append(line, used, digits, static_cast<int32_t>(std::strlen(digits)));
}

}  // namespace

void ErrorReportInstall(ErrorMessages* messages) {
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

  // The first line is put together in place, not in a Text: the report
  // must not allocate, since running out of memory is what raises it.
  char first[kFirstLineSize];
  int32_t used = 0;
  AppendLead(first, &used, kNumberLead);
  AppendNumber(first, &used, number);
  AppendLead(first, &used, kLineLead);
  AppendNumber(first, &used, line);
  if (number >= 0 && number < kErrorMessageCount &&
      report_messages != nullptr) {
    AppendLead(first, &used, kWordingLead);
    const Text& message = report_messages->entries[number];
    Append(first, &used, message.data, message.length);
  }
  PrintLine(0, StrView(first, used), PrintFlagNewline);
  PrintLine(0, "", PrintFlagNewline);
  PrintLine(0, "You can find a complete list of runtime error codes in the",
            PrintFlagNewline);
  PrintLine(0, "Vantrisel documentation.", PrintFlagNewline);
  // The error's number is the exit status, as when no handler takes it:
  // a caller that checks the status sees the failure.
  ProgramEnd(number);
}
