#include "test/process.h"

#include "runtime/console.h"
#include "runtime/runtime.h"

void FreshProcess() {
  fake::Reset();
  InitCount = 0;
  runtime_state = RuntimeState{};
  console_state = ConsoleState{};
  console_load = ConsoleLoad{};
  RuntimeStart();
  fake::S().calls.clear();
}
