// The process entry: the runtime has started by now; hand over to the tool.
#include "tool/tool.h"

int main(int argc, char** argv) { ReportMain(argc, argv); }
