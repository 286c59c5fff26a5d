// A test program for the ends a runtime error leads to. It prints one line
// to standard output, sets up the error context as its arguments say, and
// raises one error:
//
//   abort_main throw NUMBER LINE MODULE FUNCTION STORED
//       ThrowError with no handler; MODULE is given to the throw, FUNCTION
//       and STORED (a module name) are stored in the context first.
//   abort_main long NUMBER LINE LENGTH
//       ThrowError with no handler and a module name of LENGTH letters.
//   abort_main resume NUMBER LINE MODULE FUNCTION
//       a handled throw whose handler resumes at the first place, which
//       then asks for the second one as well.
//   abort_main report NUMBER LINE
//       the tool's error report installed, then ThrowError.
//   abort_main end
//       no error: ProgramEnd(0).
//   abort_main ucase
//       no error: the bytes 1 to 255 upper-cased (StrUCase) as one line,
//       then ProgramEnd(0).
//
// A name given as "-" is none. The start-up and end are the runtime's own.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime/error.h"
#include "runtime/print.h"
#include "runtime/runtime.h"
#include "runtime/text.h"
#include "tool/tool.h"

namespace {

const char* Name(const char* arg) {
  return std::strcmp(arg, "-") == 0 ? nullptr : arg;
}

int32_t Number(const char* arg) {
  return static_cast<int32_t>(std::strtol(arg, nullptr, 10));
}

[[noreturn]] void Usage() {
  PrintLine(0, "abort_main: bad arguments", PrintFlagNewline);
  ProgramEnd(64);
}

// Reached only if a throw that must abort came back.
[[noreturn]] void NotAborted() {
  PrintLine(0, "not aborted", PrintFlagNewline);
  ProgramEnd(99);
}

char long_name[8192];

void SecondPlace() {
  PrintLine(0, "second place", PrintFlagNewline);
  ProgramEnd(98);
}

void FirstPlace() {
  PrintLine(0, "first place", PrintFlagNewline);
  ErrResumeSecond()();
  NotAborted();
}

void ResumingHandler() {
  PrintLine(0, "handler", PrintFlagNewline);
  ErrResumeFirst()();
  NotAborted();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) Usage();
  const char* mode = argv[1];
  PrintLine(0, "output before the error", PrintFlagNewline);

  if (std::strcmp(mode, "throw") == 0 && argc == 7) {
    ErrSetFuncName(Name(argv[5]));
    ErrSetModName(Name(argv[6]));
    ThrowError(Number(argv[2]), Number(argv[3]), Name(argv[4]), nullptr,
               nullptr);
    NotAborted();
  }
  if (std::strcmp(mode, "long") == 0 && argc == 5) {
    const int32_t length = Number(argv[4]);
    if (length < 0 || length >= static_cast<int32_t>(sizeof(long_name))) {
      Usage();
    }
    std::memset(long_name, 'm', static_cast<size_t>(length));
    ThrowError(Number(argv[2]), Number(argv[3]), long_name, nullptr, nullptr);
    NotAborted();
  }
  if (std::strcmp(mode, "resume") == 0 && argc == 6) {
    SetErrorHandler(ResumingHandler);
    ErrSetFuncName(Name(argv[5]));
    ErrHandler handler = ThrowError(Number(argv[2]), Number(argv[3]),
                                    Name(argv[4]), FirstPlace, SecondPlace);
    handler();
    NotAborted();
  }
  if (std::strcmp(mode, "report") == 0 && argc == 4) {
    // Lives to the end: the program never comes back from here.
    ErrorMessages messages;
    ErrorReportInstall(&messages);
    ErrHandler handler =
        ThrowError(Number(argv[2]), Number(argv[3]), nullptr, nullptr, nullptr);
    handler();
    NotAborted();
  }
  if (std::strcmp(mode, "end") == 0 && argc == 2) ProgramEnd(0);
  if (std::strcmp(mode, "ucase") == 0 && argc == 2) {
    char bytes[255];
    for (int i = 0; i < 255; ++i) bytes[i] = static_cast<char>(i + 1);
    PrintLine(0, StrUCase(StrView(bytes, 255)), PrintFlagNewline);
    ProgramEnd(0);
  }
  Usage();
}
