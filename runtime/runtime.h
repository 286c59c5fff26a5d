// The runtime's process-wide state, its start-up and its end.
//
// The runtime is a library, and the tool uses part of it. The tool calls
// RuntimeSetArgs, GetCommandArg, StrAssign, StrAssignFixed, StrView,
// StrFromFixed, StrConcat, StrConcatAssign, StrLen, StrLeft, StrMid, StrAsc,
// StrUCase, StrTrim, StrCompare, StrFromUInt, StrHex, GetEnviron and
// StrDelete (text.h); PrintLine, to file 0 with PrintFlagNewline only
// (print.h); SetErrorHandler, ErrGetNum and ErrGetLine (error.h); and
// ProgramEnd. Under those run the file layer, the console layer and screen
// driver, ErrSetNum, ErrRaise and RuntimeAbort for running out of memory,
// and the start-up and end below. The rest (StrFromInt, the joined
// arguments, print zones and the other line-end flag, the numbered files and
// FileCloseAll's closing, the raising and resuming operations of error.h,
// the module and function names, context slots 1 to 4) has no caller in
// tool/ and is kept whole on purpose, each edge its contract states held by
// the unit tests (runtime/edge_test.cc): not dead code to remove.
#ifndef TORVELIN_RUNTIME_RUNTIME_H_
#define TORVELIN_RUNTIME_RUNTIME_H_

#include <cstdint>

#include "runtime/print.h"
#include "runtime/text.h"

constexpr int kContextSlots = 5;
// The most a slot's record may hold.
constexpr uint32_t kContextSlotBytes = 64;

// Zero at load and cleared again by the first RuntimeInit. Reset by
// RuntimeReset.
struct RuntimeState {
  ArgStore args;
  const char* PendingAbortMessage;
  void* contexts[kContextSlots];
  FileTable files;
};

extern RuntimeState runtime_state;

// RuntimeInit calls not yet matched by a RuntimeExit; not cleared by them.
// Reset by RuntimeReset.
extern int32_t InitCount;

// Puts every piece of the runtime's process-wide state back as it is when
// the program is loaded, for code that runs many processes' work in one (the
// tests and the fuzz targets); RuntimeInit clears only part of it. Every
// global the runtime writes says at its definition whether this resets it,
// and one that it does not, why it needs no reset.
void RuntimeReset();

// The first call (InitCount 0) clears runtime_state and console_state and
// sets the floating-point unit; every call counts.
void RuntimeInit();
// The call that brings InitCount back to 0 closes the numbered files
// (FileCloseAll) and writes the pending abort message to standard error; every
// call counts.
void RuntimeExit();
// What the process start-up runs before the main routine: RuntimeInit, and
// RuntimeExit registered as an exit-time handler.
void RuntimeStart();
// Ends the process with `status`; the exit-time handlers (RuntimeExit) run.
[[noreturn]] void ProgramEnd(int32_t status);
// The slot's record, zero-filled when first requested after runtime_state
// was cleared (RuntimeInit, RuntimeReset); nullptr for a slot outside 0 to 4
// or a size larger than a slot holds.
void* RuntimeGetContext(int32_t slot, uint32_t size);

#endif  // TORVELIN_RUNTIME_RUNTIME_H_
