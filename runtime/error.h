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
extern const char* const RuntimeErrorMessages[kRuntimeErrorCount];

ErrHandler SetErrorHandler(ErrHandler handler);
int32_t ErrGetNum();
int32_t ErrSetNum(int32_t number);
int32_t ErrGetLine();
const char* ErrGetModName();
const char* ErrSetModName(const char* name);
const char* ErrGetFuncName();
const char* ErrSetFuncName(const char* name);

// Record a raised error and return the handler the caller must transfer
// control to; with no handler registered, abort instead.
ErrHandler ThrowError(int32_t number, int32_t line, const char* module,
                      ErrContinuation first, ErrContinuation second);
ErrHandler RethrowError(int32_t line, const char* module, ErrContinuation first,
                        ErrContinuation second);
// Raises `number` where no line or place to go on at is known: the
// registered handler takes over, or the abort message ends the program. A
// handler that returns ends the program with `number` as its status.
[[noreturn]] void ErrRaise(int32_t number);
ErrContinuation ErrResumeFirst();
ErrContinuation ErrResumeSecond();
[[noreturn]] void RuntimeAbort(int32_t number, int32_t line, const char* module,
                               const char* function);

// The static buffer RuntimeAbort builds its message in.
constexpr int kAbortBufferSize = 1024;

#endif  // TORVELIN_RUNTIME_ERROR_H_
