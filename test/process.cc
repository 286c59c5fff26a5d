#include "test/process.h"

#include "runtime/console.h"
#include "runtime/runtime.h"
#include "runtime/screen.h"

void FreshProcess() {
  fake::Reset();
  InitCount = 0;
  runtime_state = RuntimeState{};
  console_state = ConsoleState{};
  console_load = ConsoleLoad{};
  ConsoleResetView();
  RuntimeStart();
  fake::S().calls.clear();
}
