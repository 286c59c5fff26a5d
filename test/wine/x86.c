/* Prints "x86 runs" and ends with status 0. Built for x86, it is run once
 * under Wine to learn whether Wine runs x86 programs on this machine. */
#include <stdio.h>

int main(void) {
  puts("x86 runs");
  return 0;
}
