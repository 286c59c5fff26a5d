// Test support: a runtime that looks like a freshly started process, on a
// fresh fake platform, and a way to run code up to its end.
#ifndef TORVELIN_TEST_PROCESS_H_
#define TORVELIN_TEST_PROCESS_H_

#include "test/fake.h"

// Resets the fake platform and the runtime's process-wide state, then runs
// the runtime's start-up again, as the process start would.
void FreshProcess();

constexpr int kDidNotExit = -100000;

// Runs f; returns the status the program ended with, or kDidNotExit.
template <typename F>
int RunToExit(F f) {
  try {
    f();
  } catch (const fake::ExitCalled& e) {
    return e.status;
  }
  return kDidNotExit;
}

#endif  // TORVELIN_TEST_PROCESS_H_
