// The process entry, where a run reaches the tool (README.md, Layout). Kept
// out of the tool library, so that the unit tests link their own main.
#include "tool/tool.h"

int main(int argc, char** argv) { ReportMain(argc, argv); }
