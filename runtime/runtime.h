// The runtime's process-wide state, its start-up and its end.
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
// global the runtime writes says at its definition that this resets it: a
// global without that note carries over from one such "process" to the next.
void RuntimeReset();

// The first call (InitCount 0) clears runtime_state and console_state and
// sets the floating-point unit; every call counts.
void RuntimeInit();
// The call that brings InitCount back to 0 closes the numbered files and
// writes the pending abort message to standard error; every call counts.
void RuntimeExit();
// What the process start-up runs before the main routine: RuntimeInit, and
// RuntimeExit registered as an exit-time handler.
void RuntimeStart();
// Ends the process with `status`; the exit-time handlers (RuntimeExit) run.
[[noreturn]] void ProgramEnd(int32_t status);
// The slot's record, zero-filled when first requested; nullptr for a slot
// outside 0 to 4 or a size larger than a slot holds.
void* RuntimeGetContext(int32_t slot, uint32_t size);

#endif  // TORVELIN_RUNTIME_RUNTIME_H_
