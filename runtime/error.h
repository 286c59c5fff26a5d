// The error context: the current error number, where it happened, the
// registered handler and the places a handler may resume at; and the abort
// message for an error no handler takes.
#ifndef TORVELIN_RUNTIME_ERROR_H_
#define TORVELIN_RUNTIME_ERROR_H_

#include <cstdint>

// A handler, or a place to go on at. Control reaches it by a call that
// never returns to the place the error was raised: a handler ends the
// program or goes on at a continuation, which in turn goes on from there.
using ErrHandler = void (*)();
using ErrContinuation = void (*)();

struct ErrorContext {
  ErrHandler handler;
  int32_t number;
  int32_t line;  // 0 or less: no line known
  const char* module;
  const char* function;
  ErrContinuation first;
  ErrContinuation second;
};

constexpr int32_t kRuntimeErrorCount = 18;
// The code the text operations raise when memory runs out.
constexpr int32_t kErrOutOfMemory = 4;
static_assert(kErrOutOfMemory < kRuntimeErrorCount, "a known code");
// The abort message's wording for each code, "" for 0.
extern const char* const RuntimeErrorMessages[kRuntimeErrorCount];

// Registers the handler (nullptr: none) and returns the one it replaces.
ErrHandler SetErrorHandler(ErrHandler handler);
// The current error number; 0 after start-up.
int32_t ErrGetNum();
// Records the number and returns it; no handler runs, nothing aborts.
int32_t ErrSetNum(int32_t number);
// The line of the last handled throw; 0 after start-up.
int32_t ErrGetLine();
// The module name; nullptr when none is set.
const char* ErrGetModName();
// Keeps the pointer, not a copy; returns the name it replaces.
const char* ErrSetModName(const char* name);
// The function name; nullptr when none is set.
const char* ErrGetFuncName();
// Keeps the pointer, not a copy; returns the name it replaces.
const char* ErrSetFuncName(const char* name);

// Record a raised error and return the handler the caller must transfer
// control to; with no handler registered, abort instead, the context left as
// it was. A null module keeps the stored one.
ErrHandler ThrowError(int32_t number, int32_t line, const char* module,
                      ErrContinuation first, ErrContinuation second);
// ThrowError with the current error number.
ErrHandler RethrowError(int32_t line, const char* module, ErrContinuation first,
                        ErrContinuation second);
// Raises `number` where no line or place to go on at is known: the
// registered handler takes over, or the abort message ends the program. A
// handler that returns ends the program with `number` as its status.
[[noreturn]] void ErrRaise(int32_t number);
// The last throw's first (second) place to go on at; both are then cleared.
// With none stored, aborts with code 5 and no line, bypassing any handler.
ErrContinuation ErrResumeFirst();
ErrContinuation ErrResumeSecond();
// Builds the abort message, cut to the buffer, for the runtime's end to write
// to standard error, and ends the program with `number` as its status. Left
// out: the wording for a code outside 0 to 17, a line <= 0, the place for a
// null module, "::function" for a null function.
[[noreturn]] void RuntimeAbort(int32_t number, int32_t line, const char* module,
                               const char* function);

// The size of the static buffer RuntimeAbort builds its message in; the
// message is at most kAbortBufferSize - 1 bytes.
constexpr int kAbortBufferSize = 1024;

#endif  // TORVELIN_RUNTIME_ERROR_H_
