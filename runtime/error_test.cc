#include "runtime/error.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstring>
#include <string>

#include "test/fake.h"
#include "test/process.h"

namespace {

// What handlers and continuations did, in order.
char trace[256];
void Trace(const char* step) {
  std::strncat(trace, step, sizeof(trace) - std::strlen(trace) - 1);
}

void HandlerA() { Trace("A;"); }
void HandlerB() { Trace("B;"); }
void First() { Trace("first;"); }
void Second() { Trace("second;"); }

class ErrorContextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProcess();
    trace[0] = '\0';
  }
};

TEST_F(ErrorContextTest, StartsEmpty) {
  EXPECT_EQ(ErrGetNum(), 0);
  EXPECT_EQ(ErrGetLine(), 0);
  EXPECT_EQ(ErrGetModName(), nullptr);
  EXPECT_EQ(ErrGetFuncName(), nullptr);
  EXPECT_EQ(SetErrorHandler(nullptr), nullptr);
}

TEST_F(ErrorContextTest, StartupClearsAnEarlierContext) {
  SetErrorHandler(HandlerA);
  ErrSetNum(7);
  ErrSetModName("mod");
  FreshProcess();
  EXPECT_EQ(ErrGetNum(), 0);
  EXPECT_EQ(ErrGetModName(), nullptr);
  EXPECT_EQ(SetErrorHandler(nullptr), nullptr);
}

TEST_F(ErrorContextTest, SetHandlerReturnsThePreviousOne) {
  struct Step {
    ErrHandler set;
    ErrHandler previous;
  };
  const Step steps[] = {
      {HandlerA, nullptr}, {HandlerB, HandlerA}, {HandlerB, HandlerB},
      {nullptr, HandlerB}, {nullptr, nullptr},   {HandlerA, nullptr},
  };
  for (const Step& step : steps) {
    EXPECT_EQ(SetErrorHandler(step.set), step.previous);
  }
}

TEST_F(ErrorContextTest, SetNamesReturnThePreviousOnes) {
  static const char kOne[] = "one";
  static const char kTwo[] = "two";
  struct Step {
    const char* set;
    const char* previous;
  };
  const Step steps[] = {
      {kOne, nullptr},
      {kTwo, kOne},
      {nullptr, kTwo},
      {kTwo, nullptr},
  };
  for (const Step& step : steps) {
    EXPECT_EQ(ErrSetModName(step.set), step.previous);
    EXPECT_EQ(ErrGetModName(), step.set);
  }
  // The function name is a field of its own.
  EXPECT_EQ(ErrGetFuncName(), nullptr);
  for (const Step& step : steps) {
    EXPECT_EQ(ErrSetFuncName(step.set), step.previous);
    EXPECT_EQ(ErrGetFuncName(), step.set);
  }
  EXPECT_EQ(ErrGetModName(), kTwo);
}

// ErrSetNum answers with the number it records, and recording is all it
// does: no handler runs, the line stays, nothing ends.
TEST_F(ErrorContextTest, SetNumOnlyRecords) {
  SetErrorHandler(HandlerA);
  ThrowError(1, 7, nullptr, First, Second);
  const int32_t numbers[] = {3, 0, 17, 18, -1, 5};
  for (int32_t number : numbers) {
    EXPECT_EQ(ErrSetNum(number), number);
    EXPECT_EQ(ErrGetNum(), number);
    EXPECT_EQ(ErrGetLine(), 7);
  }
  EXPECT_STREQ(trace, "");
  EXPECT_EQ(fake::S().err, "");
  // The continuations of the throw are still there.
  EXPECT_EQ(ErrResumeSecond(), Second);
}

TEST_F(ErrorContextTest, HandledThrowStoresWhereAndReturnsTheHandler) {
  static const char kFunc[] = "fn";
  ErrSetFuncName(kFunc);
  SetErrorHandler(HandlerB);
  static const char kModule[] = "mod";
  EXPECT_EQ(ThrowError(4, 12, kModule, First, Second), HandlerB);
  EXPECT_EQ(ErrGetNum(), 4);
  EXPECT_EQ(ErrGetLine(), 12);
  EXPECT_EQ(ErrGetModName(), kModule);  // the reference, not a copy
  EXPECT_EQ(ErrGetFuncName(), kFunc);
  EXPECT_STREQ(trace, "");  // the caller, not ThrowError, enters it
  EXPECT_EQ(fake::S().err, "");
}

TEST_F(ErrorContextTest, ThrowWithoutModuleKeepsTheStoredOne) {
  static const char kStored[] = "stored";
  static const char kGiven[] = "given";
  SetErrorHandler(HandlerA);
  ErrSetModName(kStored);
  struct Case {
    int32_t number, line;
    const char* module;
    const char* module_after;
  };
  const Case cases[] = {
      {6, 3, nullptr, kStored},
      {-2, 0, kGiven, kGiven},
      {18, -4, nullptr, kGiven},
  };
  for (const Case& c : cases) {
    ThrowError(c.number, c.line, c.module, First, nullptr);
    EXPECT_EQ(ErrGetNum(), c.number);
    EXPECT_EQ(ErrGetLine(), c.line);
    EXPECT_EQ(ErrGetModName(), c.module_after);
  }
}

TEST_F(ErrorContextTest, RethrowKeepsTheNumber) {
  SetErrorHandler(HandlerA);
  ThrowError(9, 2, "first", nullptr, nullptr);
  EXPECT_EQ(RethrowError(20, nullptr, First, Second), HandlerA);
  EXPECT_EQ(ErrGetNum(), 9);
  EXPECT_EQ(ErrGetLine(), 20);
  EXPECT_STREQ(ErrGetModName(), "first");
  EXPECT_EQ(ErrResumeFirst(), First);
}

TEST_F(ErrorContextTest, UnhandledThrowAbortsAndStoresNothing) {
  ErrSetNum(2);
  EXPECT_EQ(RunToExit([] { ThrowError(4, 12, "mod", First, Second); }), 4);
  EXPECT_EQ(fake::S().err,
            "\r\nAborting due to runtime error 4 (out of memory) at line 12 "
            "of mod()\r\n\r\n");
  EXPECT_EQ(ErrGetNum(), 2);
  EXPECT_EQ(ErrGetLine(), 0);
  EXPECT_EQ(ErrGetModName(), nullptr);
}

// Which names reach the message: a module given to the throw wins over the
// stored one; the function name always comes from the context.
TEST_F(ErrorContextTest, AbortMessageNames) {
  struct Case {
    const char* stored_module;
    const char* stored_function;
    const char* given_module;
    const char* err;
  };
  const Case cases[] = {
      {"stored", nullptr, nullptr,
       "\r\nAborting due to runtime error 1 (illegal function call) in "
       "stored()\r\n\r\n"},
      {"stored", nullptr, "given",
       "\r\nAborting due to runtime error 1 (illegal function call) in "
       "given()\r\n\r\n"},
      {"stored", "fn", "given",
       "\r\nAborting due to runtime error 1 (illegal function call) in "
       "given::fn()\r\n\r\n"},
      {nullptr, "fn", nullptr,
       "\r\nAborting due to runtime error 1 (illegal function call)\r\n\r\n"},
  };
  for (const Case& c : cases) {
    FreshProcess();
    ErrSetModName(c.stored_module);
    ErrSetFuncName(c.stored_function);
    const char* given = c.given_module;
    EXPECT_EQ(RunToExit([given] { ThrowError(1, 0, given, First, First); }), 1);
    EXPECT_EQ(fake::S().err, c.err);
    EXPECT_EQ(ErrGetModName(), c.stored_module);
  }
}

// A long name is cut so that the message, terminator included, fits the
// buffer: the first 1023 bytes of what the whole message would be.
TEST_F(ErrorContextTest, AbortMessageIsCutAtTheBufferEnd) {
  const std::string head =
      "\r\nAborting due to runtime error 3 (file I/O error) in ";
  const size_t limit = kAbortBufferSize - 1;
  const size_t lengths[] = {limit - head.size() - 6, limit - head.size() - 5,
                            limit - head.size() - 2, limit - head.size(),
                            limit - head.size() + 1, 3000};
  for (size_t length : lengths) {
    FreshProcess();
    const std::string module(length, 'm');
    const std::string whole = head + module + "()\r\n\r\n";
    EXPECT_EQ(
        RunToExit([&] { ThrowError(3, 0, module.c_str(), nullptr, nullptr); }),
        3);
    EXPECT_EQ(fake::S().err, whole.substr(0, limit)) << length;
  }
}

// The shape of a handler that goes on elsewhere: the failing statement hands
// control to the handler, which resumes at a continuation; the continuation
// jumps to the place the program goes on from.
std::jmp_buf resume_point;

void RetryStatement() {
  Trace("retry;");
  std::longjmp(resume_point, 1);
}

void NextStatement() {
  Trace("next;");
  std::longjmp(resume_point, 2);
}

void ResumingHandler() {
  Trace("handler;");
  ErrResumeFirst()();
}

void FailingStatement() {
  Trace("statement;");
  ErrHandler handler = ThrowError(11, 5, "mod", RetryStatement, NextStatement);
  handler();
  Trace("not reached;");
}

int RunFailingStatement() {
  int where = setjmp(resume_point);
  if (where == 0) FailingStatement();
  return where;
}

TEST_F(ErrorContextTest, HandlerResumesAtTheFirstContinuation) {
  SetErrorHandler(ResumingHandler);
  EXPECT_EQ(RunFailingStatement(), 1);
  EXPECT_STREQ(trace, "statement;handler;retry;");
  // Resuming leaves the error itself as it was.
  EXPECT_EQ(ErrGetNum(), 11);
  EXPECT_EQ(ErrGetLine(), 5);
  EXPECT_STREQ(ErrGetModName(), "mod");
}

// After one resume both places are gone: the other resume aborts with 5,
// bypassing the handler, with line -1 (no line part, the word "in").
TEST_F(ErrorContextTest, SecondResumeAborts) {
  struct Case {
    ErrContinuation (*resume)();
    ErrContinuation (*then)();
    ErrContinuation expected;
    const char* function;
    const char* err;
  };
  const Case cases[] = {
      {ErrResumeFirst, ErrResumeSecond, First, nullptr,
       "\r\nAborting due to runtime error 5 (illegal resume) in mod()\r\n\r\n"},
      {ErrResumeSecond, ErrResumeFirst, Second, "fn",
       "\r\nAborting due to runtime error 5 (illegal resume) in "
       "mod::fn()\r\n\r\n"},
      {ErrResumeFirst, ErrResumeFirst, First, "fn",
       "\r\nAborting due to runtime error 5 (illegal resume) in "
       "mod::fn()\r\n\r\n"},
  };
  for (const Case& c : cases) {
    FreshProcess();
    trace[0] = '\0';
    SetErrorHandler(HandlerA);
    ErrSetFuncName(c.function);
    ThrowError(8, 30, "mod", First, Second);
    EXPECT_EQ(c.resume(), c.expected);
    auto then = c.then;
    EXPECT_EQ(RunToExit([then] { then(); }), 5);
    EXPECT_EQ(fake::S().err, c.err);
    EXPECT_STREQ(trace, "");
    EXPECT_EQ(ErrGetNum(), 8);
  }
}

TEST_F(ErrorContextTest, ResumeWithoutAThrowAborts) {
  SetErrorHandler(HandlerA);
  EXPECT_EQ(RunToExit([] { ErrResumeSecond(); }), 5);
  EXPECT_EQ(fake::S().err,
            "\r\nAborting due to runtime error 5 (illegal resume)\r\n\r\n");
  EXPECT_STREQ(trace, "");
}

}  // namespace
