// Test support: a runtime that looks like a freshly started process, on a
// fresh fake platform, and a way to run code up to its end.
#ifndef TORVELIN_TEST_PROCESS_H_
#define TORVELIN_TEST_PROCESS_H_

#include <string>
#include <vector>

#include "test/fake.h"

// Resets the fake platform and the runtime's process-wide state, then runs
// the runtime's start-up again, as the process start would.
void FreshProcess();

// A fresh process on the system the tool's tests run on unless they say
// otherwise: Windows 7 SP1 (platform 2, version 6.1, build 7601), product
// type WinNT, a 64-bit processor and "ProgramFiles(x86)" set.
void FreshWindows7();

// Runs ReportMain with these arguments, the program name first, to its end;
// returns the exit status, or kDidNotExit.
int RunReportMain(std::vector<std::string> args);

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
