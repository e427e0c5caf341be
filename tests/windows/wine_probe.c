/* A Windows program that only says it ran. scripts/wine32-check starts the 32-bit build of it to
   learn whether wine's 32-bit side can start a program on this machine at all. */
#include <stdio.h>

int main(void) {
  puts("a Windows program ran");
  return 0;
}
