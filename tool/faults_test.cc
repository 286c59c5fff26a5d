// The whole tool under faults, on the fake platform: allocations failing one
// after the other, short and failing writes, a missing output handle, the
// registry and the version query failing, for each output form. Whatever
// fails, the tool leaks nothing and leaves no registry key open; but for
// running out of memory, it ends with status 0 and writes nothing to
// standard error, and the bytes that reach the output are what its failure
// rules leave of the full output.
//
// The last test counts the platform calls of each form, against README.md.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "test/expected.h"
#include "test/fake.h"
#include "test/process.h"
#include "tool/tool.h"

namespace {

using Lines = std::vector<std::string>;

const int64_t kTakeAll = INT64_MAX;

const Lines kUsage(std::begin(kUsageLines), std::end(kUsageLines));

Lines Report(const std::string& ptype, const std::string& arch) {
  return {std::string(kLabels[0]) + "2",
          std::string(kLabels[1]) + "6",
          std::string(kLabels[2]) + "1",
          std::string(kLabels[3]) + "7601",
          kLabels[4] + ptype,
          kLabels[5] + arch};
}

// Each output form: its argument (nullptr: none) and its full output on the
// Windows 7 that FreshWindows7 makes.
struct Form {
  const char* name;
  const char* arg;
  Lines lines;
};

const std::vector<Form>& Forms() {
  static const std::vector<Form>* forms = new std::vector<Form>{
      {"none", nullptr, Report("WinNT", "64-bit")},
      {"/o", "/o", {"2.6.1"}},
      {"/b", "/b", {"7601"}},
      {"/p", "/p", {"WinNT"}},
      {"/a", "/a", {"64-bit"}},
      {"/x", "/x", kUsage},
  };
  return *forms;
}

// The writes that printing these lines makes: the text, when there is one,
// then the line end.
Lines Writes(const Lines& lines) {
  Lines writes;
  for (const std::string& line : lines) {
    if (!line.empty()) writes.push_back(line);
    writes.push_back("\r\n");
  }
  return writes;
}

std::string Join(const Lines& parts) {
  std::string all;
  for (const std::string& p : parts) all += p;
  return all;
}

struct Outcome {
  int status;
  std::string out;
  std::string err;
  std::vector<uint32_t> write_counts;  // the count of each WriteFile call
  std::vector<std::string> calls;
  long live_allocations;
  long allocation_attempts;
  int open_keys;
};

// Runs the tool with the form's argument on a fresh Windows 7, after
// `arrange` has changed what it likes.
Outcome RunForm(const Form& form, const std::function<void()>& arrange) {
  FreshWindows7();
  if (arrange) arrange();
  std::vector<std::string> args = {"torvelin.exe"};
  if (form.arg != nullptr) args.push_back(form.arg);
  const int status = RunReportMain(args);
  fake::State& s = fake::S();
  Outcome r{status,
            s.out,
            s.err,
            {},
            s.calls,
            s.allocations,
            s.allocation_attempts,
            s.open_keys};
  for (const std::string& call : s.calls) {
    unsigned count = 0;
    if (std::sscanf(call.c_str(), "WriteFile(out,%u)", &count) == 1) {
      r.write_counts.push_back(count);
    }
  }
  return r;
}

std::vector<uint32_t> Sizes(const Lines& writes) {
  std::vector<uint32_t> sizes;
  for (const std::string& w : writes) {
    sizes.push_back(static_cast<uint32_t>(w.size()));
  }
  return sizes;
}

// What every run must satisfy, whatever failed.
void ExpectCleanEnd(const Outcome& r, const std::string& what) {
  EXPECT_EQ(r.status, 0) << what;
  EXPECT_EQ(r.err, "") << what;
  EXPECT_EQ(r.live_allocations, 0) << what << ": buffers left allocated";
  EXPECT_EQ(r.open_keys, 0) << what << ": registry keys left open";
}

TEST(FaultsTest, EachFormUnfaultedWritesEachLineAsTwoWrites) {
  for (const Form& f : Forms()) {
    Outcome r = RunForm(f, nullptr);
    ExpectCleanEnd(r, f.name);
    EXPECT_EQ(r.out, Join(Writes(f.lines))) << f.name;
    EXPECT_EQ(r.write_counts, Sizes(Writes(f.lines))) << f.name;
  }
}

// ---------------------------------------------------------------------------
// Writes.

// A failed WriteFile drops the rest of its write and nothing else: the next
// write is offered whole, once.
TEST(FaultsWriteTest, AWriteFailingOnTheNthCallLosesOnlyThatWrite) {
  for (const Form& f : Forms()) {
    const Lines writes = Writes(f.lines);
    for (size_t n = 1; n <= writes.size(); ++n) {
      Outcome r = RunForm(f, [&] {
        fake::S().write_script.assign(n - 1, kTakeAll);
        fake::S().write_script.push_back(-1);
      });
      Lines kept = writes;
      kept.erase(kept.begin() + static_cast<long>(n - 1));
      std::string what = std::string(f.name) + " call " + std::to_string(n);
      ExpectCleanEnd(r, what);
      EXPECT_EQ(r.out, Join(kept)) << what;
      EXPECT_EQ(r.write_counts, Sizes(writes)) << what;
      if (HasFailure()) return;
    }
  }
}

TEST(FaultsWriteTest, EveryWriteFailingOrTakingNothingWritesNothing) {
  for (int64_t step : {int64_t{-1}, int64_t{0}}) {
    for (const Form& f : Forms()) {
      const Lines writes = Writes(f.lines);
      Outcome r = RunForm(
          f, [&] { fake::S().write_script.assign(writes.size(), step); });
      std::string what = std::string(f.name) + " step " + std::to_string(step);
      ExpectCleanEnd(r, what);
      EXPECT_EQ(r.out, "") << what;
      EXPECT_EQ(r.write_counts, Sizes(writes)) << what;
    }
  }
}

TEST(FaultsWriteTest, WritesTakingOneByteAtATimeDeliverEverything) {
  for (const Form& f : Forms()) {
    const Lines writes = Writes(f.lines);
    const std::string all = Join(writes);
    Outcome r =
        RunForm(f, [&] { fake::S().write_script.assign(all.size(), 1); });
    std::vector<uint32_t> want;
    for (const std::string& w : writes) {
      for (size_t left = w.size(); left > 0; --left) {
        want.push_back(static_cast<uint32_t>(left));
      }
    }
    ExpectCleanEnd(r, f.name);
    EXPECT_EQ(r.out, all) << f.name;
    EXPECT_EQ(r.write_counts, want) << f.name;
    EXPECT_TRUE(fake::S().write_script.empty()) << f.name;
  }
}

// A write that is taken in part and then fails, or then takes nothing,
// keeps its first part and loses its rest; the writes around it are whole.
TEST(FaultsWriteTest, AShortWriteThenAFailureKeepsThePartTaken) {
  for (int64_t end : {int64_t{-1}, int64_t{0}}) {
    for (const Form& f : Forms()) {
      const Lines writes = Writes(f.lines);
      for (size_t i = 0; i < writes.size(); ++i) {
        for (size_t k = 1; k < writes[i].size(); ++k) {
          Outcome r = RunForm(f, [&] {
            fake::S().write_script.assign(i, kTakeAll);
            fake::S().write_script.push_back(static_cast<int64_t>(k));
            fake::S().write_script.push_back(end);
          });
          Lines kept = writes;
          kept[i] = writes[i].substr(0, k);
          std::vector<uint32_t> want = Sizes(writes);
          want.insert(want.begin() + static_cast<long>(i) + 1,
                      static_cast<uint32_t>(writes[i].size() - k));
          std::string what = std::string(f.name) + " write " +
                             std::to_string(i + 1) + " taken " +
                             std::to_string(k) + " then " + std::to_string(end);
          ExpectCleanEnd(r, what);
          EXPECT_EQ(r.out, Join(kept)) << what;
          EXPECT_EQ(r.write_counts, want) << what;
          if (HasFailure()) return;
        }
      }
    }
  }
}

// No standard output handle: every write is offered once and fails.
TEST(FaultsWriteTest, NoOutputHandleFailsEveryWriteQuietly) {
  for (bool no_input : {false, true}) {
    for (const Form& f : Forms()) {
      Outcome r = RunForm(f, [&] {
        fake::S().output = nullptr;
        if (no_input) fake::S().input = nullptr;
      });
      ExpectCleanEnd(r, f.name);
      EXPECT_EQ(r.out, "") << f.name;
      size_t writes = 0;
      for (const std::string& call : r.calls) {
        writes += call.rfind("WriteFile(", 0) == 0;
        EXPECT_NE(call, "WriteFile(out,0)") << f.name;
      }
      EXPECT_EQ(writes, Writes(f.lines).size()) << f.name;
    }
  }
}

// ---------------------------------------------------------------------------
// Allocations.

// Memory running out, at one allocation alone or at every one from some
// point on, never passes for a value: a form prints its full output, or the
// out-of-memory report with status 4 (after the report's lines printed so
// far); before the report is installed, only the runtime's abort message,
// with status 4. Nothing leaks either way.
TEST(FaultsAllocationTest, RunningOutPrintsTheReportOrTheFullOutput) {
  const std::string report =
      ErrorReportText("ERROR: #4 at line #0; Out of memory");
  const std::string abort = OutOfMemoryAbort();
  for (const Form& f : Forms()) {
    const long attempts = RunForm(f, nullptr).allocation_attempts;
    const std::string full = Join(Writes(f.lines));
    using Mode = long fake::State::*;
    for (Mode mode : {&fake::State::fail_allocation, &fake::State::fail_from}) {
      bool reported = false;
      for (long k = 1; k <= attempts + 1; ++k) {
        Outcome r = RunForm(f, [&] { fake::S().*mode = k; });
        std::string what = std::string(f.name) + " failing " +
                           (mode == &fake::State::fail_from ? "from " : "") +
                           std::to_string(k);
        if (k > attempts) {
          ExpectCleanEnd(r, what);
          EXPECT_EQ(r.out, full) << what;
          continue;
        }
        // The report may follow whole lines of the full output.
        reported = reported || !r.out.empty();
        const size_t before =
            r.out.size() - std::min(r.out.size(), report.size());
        const std::string printed = r.out.substr(0, before);
        EXPECT_EQ(r.status, 4) << what;
        EXPECT_EQ(r.out.substr(before), reported ? report : "") << what;
        EXPECT_TRUE(full.compare(0, before, printed) == 0 &&
                    (printed.empty() || printed.back() == '\n'))
            << what << ": " << r.out;
        EXPECT_EQ(r.err, reported ? "" : abort) << what;
        EXPECT_EQ(r.live_allocations, 0) << what;
        EXPECT_EQ(r.open_keys, 0) << what;
        if (HasFailure()) return;
      }
      EXPECT_TRUE(reported) << f.name;
    }
  }
}

// An empty string value (one zero byte) needs no memory once the registry
// has answered: with every allocation failing from the first one the query
// comes before, /p still prints its empty line and ends with status 0.
TEST(FaultsAllocationTest, AnEmptyValueNeedsNoMemoryAfterTheRegistryAnswers) {
  const Form& f = Forms()[3];
  const auto run = [&f](long from) {
    return RunForm(f, [from] {
      fake::S().registry[kProductKey].values["ProductType"] = {1, {"\0", 1}};
      fake::S().fail_from = from;
    });
  };
  const auto answered = [](const Outcome& r) {
    return std::any_of(r.calls.begin(), r.calls.end(), [](const auto& call) {
      return call.rfind("RegQueryValueExA(", 0) == 0;
    });
  };
  const long attempts = run(0).allocation_attempts;
  long from = 1;
  while (from <= attempts && !answered(run(from))) ++from;
  const Outcome r = run(from);
  ExpectCleanEnd(r, "failing from " + std::to_string(from));
  EXPECT_EQ(r.out, "\r\n");
}

// ---------------------------------------------------------------------------
// The registry and the version query.

enum class Key { kPresent, kMissing, kOpenFails, kQueryFails, kNoValue };

void Break(const char* path, const char* value, Key how) {
  fake::State& s = fake::S();
  switch (how) {
    case Key::kPresent:
      break;
    case Key::kMissing:
      s.registry.erase(path);
      break;
    case Key::kOpenFails:
      s.registry[path].open_fails = true;
      break;
    case Key::kQueryFails:
      s.registry[path].query_error = 5;
      break;
    case Key::kNoValue:
      s.registry[path].values.erase(value);
      break;
  }
}

TEST(FaultsRegistryTest, EachRegistryCallFailingGivesItsErrorText) {
  const char* const kUnset = nullptr;
  const char* const kX86 = "x86 Family 6 Model 15";
  struct Case {
    Key product;
    Key cpu;
    const char* identifier;  // nullptr: the system's own
    const char* program_files_x86;
    const char* ptype;
    const char* arch;
  } cases[] = {
      {Key::kPresent, Key::kPresent, nullptr, "C:\\x", "WinNT", "64-bit"},
      {Key::kMissing, Key::kPresent, nullptr, "C:\\x", kOpenError, "64-bit"},
      {Key::kOpenFails, Key::kPresent, nullptr, "C:\\x", kOpenError, "64-bit"},
      {Key::kQueryFails, Key::kPresent, nullptr, "C:\\x", kQueryError,
       "64-bit"},
      {Key::kNoValue, Key::kPresent, nullptr, "C:\\x", kQueryError, "64-bit"},
      // A failed identifier read is no x86 identifier: the folder decides.
      {Key::kPresent, Key::kMissing, kX86, "C:\\x", "WinNT", "64-bit"},
      {Key::kPresent, Key::kOpenFails, kX86, "C:\\x", "WinNT", "64-bit"},
      {Key::kPresent, Key::kQueryFails, kX86, "C:\\x", "WinNT", "64-bit"},
      {Key::kPresent, Key::kNoValue, kX86, "C:\\x", "WinNT", "64-bit"},
      {Key::kPresent, Key::kOpenFails, nullptr, kUnset, "WinNT", "32-bit"},
      {Key::kPresent, Key::kQueryFails, nullptr, "  ", "WinNT", "32-bit"},
      {Key::kPresent, Key::kPresent, kX86, "C:\\x", "WinNT", "32-bit"},
      {Key::kOpenFails, Key::kOpenFails, nullptr, "C:\\x", kOpenError,
       "64-bit"},
      {Key::kQueryFails, Key::kQueryFails, nullptr, kUnset, kQueryError,
       "32-bit"},
      {Key::kMissing, Key::kNoValue, nullptr, kUnset, kOpenError, "32-bit"},
  };
  for (const Case& c : cases) {
    std::map<std::string, Lines> want = {
        {"none", Report(c.ptype, c.arch)},
        {"/o", {"2.6.1"}},
        {"/b", {"7601"}},
        {"/p", {c.ptype}},
        {"/a", {c.arch}},
        {"/x", kUsage},
    };
    for (const Form& f : Forms()) {
      Outcome r = RunForm(f, [&] {
        fake::State& s = fake::S();
        if (c.identifier != nullptr) {
          s.registry[kCpuKey].values["Identifier"] =
              fake::RegValue{1, std::string(c.identifier) + '\0'};
        }
        Break(kProductKey, "ProductType", c.product);
        Break(kCpuKey, "Identifier", c.cpu);
        if (c.program_files_x86 == nullptr) {
          s.env.erase("ProgramFiles(x86)");
        } else {
          s.env["ProgramFiles(x86)"] = c.program_files_x86;
        }
      });
      std::string what = std::string(f.name) + " " + c.ptype + " " + c.arch;
      ExpectCleanEnd(r, what);
      EXPECT_EQ(r.out, Join(Writes(want[f.name]))) << what;
      int opened = 0, closed = 0;
      for (const std::string& call : r.calls) {
        opened += call.rfind("RegOpenKeyExA", 0) == 0;
        closed += call.rfind("RegCloseKey", 0) == 0;
      }
      // Every key that opened is closed; one that did not is not.
      int failed_opens = 0;
      if (f.name == std::string("none") || f.name == std::string("/p")) {
        failed_opens +=
            c.product == Key::kMissing || c.product == Key::kOpenFails;
      }
      if (f.name == std::string("none") || f.name == std::string("/a")) {
        failed_opens += c.cpu == Key::kMissing || c.cpu == Key::kOpenFails;
      }
      EXPECT_EQ(closed, opened - failed_opens) << what;
    }
  }
}

TEST(FaultsVersionTest, AFailedVersionQueryPrintsItsLineInEveryForm) {
  for (const Form& f : Forms()) {
    Outcome r = RunForm(f, [] { fake::S().version_ok = false; });
    ExpectCleanEnd(r, f.name);
    const bool usage = f.name == std::string("/x");
    EXPECT_EQ(r.out, Join(Writes(usage ? kUsage : Lines{kVersionError})))
        << f.name;
    for (const std::string& call : r.calls) {
      EXPECT_NE(call.rfind("Reg", 0), 0u) << f.name << ": " << call;
      EXPECT_NE(call.rfind("getenv", 0), 0u) << f.name << ": " << call;
    }
  }
}

TEST(FaultsVersionTest, AFailedVersionQueryWithFailingWritesEndsQuietly) {
  for (int64_t step : {int64_t{-1}, int64_t{0}, int64_t{3}}) {
    Outcome r = RunForm(Forms()[0], [&] {
      fake::S().version_ok = false;
      fake::S().write_script = {step, -1, -1};
    });
    ExpectCleanEnd(r, "version " + std::to_string(step));
    EXPECT_EQ(r.out, step == 3 ? "ERR" : "") << step;
  }
}

// ---------------------------------------------------------------------------
// What each form costs.

// README.md's table of the platform calls of each form: each form's row,
// made from its recorded calls, stands in it as it is, under the header its
// columns make, and no call falls outside the columns. A column of several
// calls ("a / b") holds one count where they are all equal.
TEST(FaultsCostTest, PlatformCallsPerFormAreTheReadmeTable) {
  const std::vector<std::vector<std::string>> kColumns = {
      {"WriteFile"},
      {"RegOpenKeyExA", "RegQueryValueExA", "RegCloseKey"},
      {"getenv"},
      {"GetVersionExA"},
      {"GetStdHandle", "GetConsoleMode", "SetConsoleMode",
       "GetConsoleScreenBufferInfo"},
      {"Exit"}};
  const auto joined = [](const std::vector<std::string>& parts) {
    std::string s = parts[0];
    for (size_t i = 1; i < parts.size(); ++i) s += " / " + parts[i];
    return s;
  };
  std::ifstream in(TORVELIN_README);
  std::stringstream readme;
  readme << in.rdbuf();
  std::string head = "| form |";
  for (const auto& column : kColumns) head += " " + joined(column) + " |";
  EXPECT_NE(readme.str().find(head + "\n"), std::string::npos) << head;
  for (const Form& f : Forms()) {
    std::map<std::string, int> count;
    for (const std::string& call : RunForm(f, nullptr).calls) {
      ++count[call.substr(0, call.find('('))];
    }
    std::string row = f.arg ? "| `" + std::string(f.name) + "` |" : "| none |";
    for (const auto& column : kColumns) {
      std::vector<std::string> counts;
      for (const std::string& name : column) {
        counts.push_back(std::to_string(count[name]));
        count.erase(name);
      }
      const bool same = std::count(counts.begin(), counts.end(), counts[0]) ==
                        static_cast<long>(counts.size());
      row += " " + (same ? counts[0] : joined(counts)) + " |";
    }
    EXPECT_NE(readme.str().find(row + "\n"), std::string::npos) << row;
    EXPECT_EQ(count, (std::map<std::string, int>{}))
        << f.name << ": calls the table leaves out";
  }
}

}  // namespace
