#include "test/process.h"

#include "runtime/runtime.h"

void FreshProcess() {
  fake::Reset();
  RuntimeReset();
  RuntimeStart();
  fake::S().calls.clear();
}
