// The yardstick for the benchmarks: a program that does nothing, built as
// the tool is (the bench_empty target, with the tool's compile and link
// options in each tree), so that what the tool costs beyond starting and
// ending a process stands out.
int main() { return 0; }
