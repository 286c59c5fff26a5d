// The yardstick for the benchmarks: a program that does nothing, built with
// the same compiler and flags as the tool, so that what the tool costs
// beyond starting and ending a process stands out. It is valid C as well:
// on the host the yardstick is an empty C program.
int main() { return 0; }
