// The error context and the abort message.
//
// The context is the runtime's slot-0 record. It holds the registered
// handler, the current error number and where it was raised, and the two
// places a handler may go on at after a handled throw.
#include "runtime/error.h"

#include "platform/platform.h"
#include "runtime/runtime.h"

const char* const RuntimeErrorMessages[kRuntimeErrorCount] = {
    "",
    "illegal function call",
    "file not found",
    "file I/O error",
    "out of memory",
    "illegal resume",
    "out of bounds array access",
    "null pointer access",
    "no priviledges",
    "\"interrupted\" signal",
    "\"illegal instruction\" signal",
    "\"floating point error\" signal",
    "\"segmentation violation\" signal",
    "\"termination request\" signal",
    "\"abnormal termination\" signal",
    "\"quit request\" signal",
    "return without gosub",
    "end of file",
};

namespace {

constexpr int32_t kIllegalResume = 5;

// Where RuntimeAbort builds its message; PendingAbortMessage then points
// here until the process is gone. Needs no reset: RuntimeAbort writes it
// from its first byte, and nothing else reads it.
char abort_buffer[kAbortBufferSize];

// Slot 0 always gives a record of this size, so the context is never null.
static_assert(sizeof(ErrorContext) <= kContextSlotBytes,
              "the error context fits its slot");

ErrorContext* Context() {
  return static_cast<ErrorContext*>(RuntimeGetContext(0, sizeof(ErrorContext)));
}

// Moves the write position past a piece that plat::Snprintf formatted at
// `used`. A piece that did not fit (a negative result, or one as long as the
// room or longer) has filled the buffer: the message is full and is cut at
// the last byte, which RuntimeAbort turns into the terminator.
int32_t Advance(int32_t used, int result) {
  if (result < 0 || result >= kAbortBufferSize - used) {
    return kAbortBufferSize - 1;
  }
  return used + result;
}

size_t Room(int32_t used) {
  return static_cast<size_t>(kAbortBufferSize - used);
}

}  // namespace

ErrHandler SetErrorHandler(ErrHandler handler) {
  ErrorContext* context = Context();
  ErrHandler previous = context->handler;
  context->handler = handler;
  return previous;
}

int32_t ErrGetNum() { return Context()->number; }

// Recording a number is only that: no handler is entered and nothing aborts.
int32_t ErrSetNum(int32_t number) {
  Context()->number = number;
  return number;
}

int32_t ErrGetLine() { return Context()->line; }

const char* ErrGetModName() { return Context()->module; }

const char* ErrSetModName(const char* name) {
  ErrorContext* context = Context();
  const char* previous = context->module;
  context->module = name;
  return previous;
}

const char* ErrGetFuncName() { return Context()->function; }

const char* ErrSetFuncName(const char* name) {
  ErrorContext* context = Context();
  const char* previous = context->function;
  context->function = name;
  return previous;
}

ErrHandler ThrowError(int32_t number, int32_t line, const char* module,
                      ErrContinuation first, ErrContinuation second) {
  ErrorContext* context = Context();
  if (context->handler == nullptr) {
    // Nobody takes the error: the context stays as it was.
    RuntimeAbort(number, line, module != nullptr ? module : context->module,
                 context->function);
  }
  context->number = number;
  context->line = line;
  if (module != nullptr) context->module = module;
  context->first = first;
  context->second = second;
  return context->handler;
}

ErrHandler RethrowError(int32_t line, const char* module, ErrContinuation first,
                        ErrContinuation second) {
  return ThrowError(Context()->number, line, module, first, second);
}

void ErrRaise(int32_t number) {
  ThrowError(number, 0, nullptr, nullptr, nullptr)();
  ProgramEnd(number);
}

namespace {

// Each resume clears both places, so one throw allows one resume; a resume
// with nothing stored bypasses any handler and aborts.
using Place = ErrContinuation ErrorContext::*;  // first or second
ErrContinuation Resume(Place which) {
  ErrorContext* context = Context();
  ErrContinuation place = context->*which;
  if (place == nullptr) {
    RuntimeAbort(kIllegalResume, -1, context->module, context->function);
  }
  context->first = nullptr;
  context->second = nullptr;
  return place;
}

}  // namespace

ErrContinuation ErrResumeFirst() { return Resume(&ErrorContext::first); }

ErrContinuation ErrResumeSecond() { return Resume(&ErrorContext::second); }

void RuntimeAbort(int32_t number, int32_t line, const char* module,
                  const char* function) {
  char* const buffer = abort_buffer;
  int32_t used = 0;
  used = Advance(used, plat::Snprintf(buffer + used, Room(used),
                                      "\r\nAborting due to runtime error %d",
                                      static_cast<int>(number)));
  if (static_cast<uint32_t>(number) <
      static_cast<uint32_t>(kRuntimeErrorCount)) {
    used = Advance(used, plat::Snprintf(buffer + used, Room(used), " (%s)",
                                        RuntimeErrorMessages[number]));
  }
  if (line > 0) {
    used = Advance(used, plat::Snprintf(buffer + used, Room(used),
                                        " at line %d", static_cast<int>(line)));
  }
  if (module != nullptr) {
    const char* word = line > 0 ? "of" : "in";
    if (function != nullptr) {
      used = Advance(
          used, plat::Snprintf(buffer + used, Room(used),
                               " %s %s::%s()\r\n\r\n", word, module, function));
    } else {
      used = Advance(used, plat::Snprintf(buffer + used, Room(used),
                                          " %s %s()\r\n\r\n", word, module));
    }
  } else {
    used = Advance(used, plat::Snprintf(buffer + used, Room(used), "\r\n\r\n"));
  }
  // A cut piece may have left no terminator; the last byte always is one.
  buffer[used] = '\0';
  buffer[kAbortBufferSize - 1] = '\0';
  runtime_state.PendingAbortMessage = buffer;
  ProgramEnd(number);
}
