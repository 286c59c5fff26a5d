#include "test/process.h"

#include "runtime/runtime.h"
#include "test/expected.h"
#include "tool/tool.h"

void FreshProcess() {
  fake::Reset();
  RuntimeReset();
  RuntimeStart();
  fake::S().calls.clear();
}

void FreshWindows7() {
  FreshProcess();
  fake::State& s = fake::S();
  s.version = {0, 6, 1, 7601, 2, {}};
  s.registry[kProductKey].values["ProductType"] = {1, {"WinNT\0", 6}};
  s.registry[kCpuKey].values["Identifier"] = {1, {"Intel64 Family 6\0", 17}};
  s.env["ProgramFiles(x86)"] = "C:\\Program Files (x86)";
}

int RunReportMain(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  const int32_t argc = static_cast<int32_t>(args.size());
  return RunToExit([&] { ReportMain(argc, argv.data()); });
}
