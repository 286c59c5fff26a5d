// Fuzzes the command line. The input, split at its zero bytes, is the
// argument vector (program name first, at most five entries) that the
// process start-up hands to ReportMain; standard output is redirected. What
// comes out must be exactly the usage text, the six-line report or the one
// value the first argument asks for, with exit status 0, nothing on
// standard error, no registry key left open and no allocation left.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "test/expected.h"
#include "test/fake.h"
#include "test/process.h"
#include "tool/tool.h"

namespace {

constexpr size_t kMaxArgs = 5;

// What the tool must print on the Windows 7 of FreshWindows7 for this first
// argument (empty when absent).
std::string Expected(const std::string& arg) {
  size_t first = 0;
  while (first < arg.size() && arg[first] == ' ') ++first;
  size_t end = arg.size();
  while (end > first && (arg[end - 1] == ' ' || arg[end - 1] == '\0')) --end;
  const std::string trimmed = arg.substr(first, end - first);

  if (trimmed.empty()) {
    return Printed(ReportLines({"2", "6", "1", "7601", "WinNT", "64-bit"}));
  }
  if (trimmed.size() == 2 && (trimmed[0] == '/' || trimmed[0] == '-')) {
    switch (trimmed[1]) {
      case 'o':
      case 'O':
        return Printed({"2.6.1"});
      case 'b':
      case 'B':
        return Printed({"7601"});
      case 'p':
      case 'P':
        return Printed({"WinNT"});
      case 'a':
      case 'A':
        return Printed({"64-bit"});
      default:
        break;
    }
  }
  return UsageText();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The argument strings: the input's pieces between zero bytes.
  std::vector<std::string> args;
  if (size > 0) {
    std::string all(reinterpret_cast<const char*>(data), size);
    size_t from = 0;
    while (args.size() < kMaxArgs) {
      size_t zero = all.find('\0', from);
      args.push_back(all.substr(from, zero - from));
      if (zero == std::string::npos) break;
      from = zero + 1;
    }
  }
  FreshWindows7();
  const int status = RunReportMain(args);

  const fake::State& s = fake::S();
  const std::string first = args.size() > 1 ? args[1] : "";
  const std::string want = Expected(first);
  const std::string what = "argument 1 " + Escaped(first) + " of " +
                           std::to_string(args.size()) + " arguments";
  if (status != 0) {
    FuzzFail(what + ": exit status " + std::to_string(status) + ", want 0");
  }
  if (s.out != want) {
    FuzzFail(what + ": printed " + Escaped(s.out) + ", want " + Escaped(want));
  }
  if (!s.err.empty()) FuzzFail(what + ": standard error " + Escaped(s.err));
  if (s.open_keys != 0) FuzzFail(what + ": a registry key left open");
  if (s.allocations != 0) {
    FuzzFail(what + ": " + std::to_string(s.allocations) +
             " allocations not released");
  }
  return 0;
}
