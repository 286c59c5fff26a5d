// The process entry: the runtime has started by now; hand over to the tool.
// Kept out of the tool library, so that the unit tests link their own main.
#include "tool/tool.h"

int main(int argc, char** argv) { ReportMain(argc, argv); }
