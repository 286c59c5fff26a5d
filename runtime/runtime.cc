// The runtime's start-up and end, and its per-slot records.
#include "runtime/runtime.h"

#include <cstring>

#include "platform/platform.h"
#include "runtime/console.h"
#include "runtime/screen.h"

RuntimeState runtime_state;  // reset by RuntimeReset
int32_t InitCount;           // reset by RuntimeReset

namespace {

// Per-slot records live here rather than on the heap, so a record can never
// be missing. Needs no reset: a slot is zero-filled whenever it is handed
// out to a runtime_state that has none for it.
alignas(16) unsigned char slot_store[kContextSlots][kContextSlotBytes];

// Exact halves of the x87 control word: precision control and rounding.
constexpr uint32_t kFpuPrecisionAndRounding = 0x30300;

}  // namespace

void RuntimeInit() {
  if (InitCount++ != 0) return;
  runtime_state = RuntimeState{};
  plat::ControlFp(0, kFpuPrecisionAndRounding);
  console_state = ConsoleState{};
}

void RuntimeExit() {
  if (--InitCount != 0) return;
  FileCloseAll();
  const char* message = runtime_state.PendingAbortMessage;
  if (message != nullptr) plat::WriteStdErr(message, std::strlen(message));
}

void RuntimeReset() {
  runtime_state = RuntimeState{};
  InitCount = 0;
  console_state = ConsoleState{};
  console_load = ConsoleLoad{};
  ConsoleResetView();
}

void RuntimeStart() {
  RuntimeInit();
  plat::AtExit(RuntimeExit);
}

void ProgramEnd(int32_t status) { plat::Exit(status); }

void* RuntimeGetContext(int32_t slot, uint32_t size) {
  if (slot < 0 || slot >= kContextSlots || size > kContextSlotBytes)
    return nullptr;
  void*& record = runtime_state.contexts[slot];
  if (record == nullptr) {
    std::memset(slot_store[slot], 0, kContextSlotBytes);
    record = slot_store[slot];
  }
  return record;
}

// The one static initialiser of the program: the runtime starts before
// main(). README.md (Layout) tells a run from here to its end.
__attribute__((constructor)) static void RuntimeStartUp() { RuntimeStart(); }
