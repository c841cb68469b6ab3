/* A host whose own constructor, of the earliest priority a program may use, calls the library
 * before anything of the library's own has run (in a static link, the host's constructors of the
 * same priority come first). That call, and every later one, must work. */
#include <stdio.h>

#include "host_calls.h"

static int early_failed = -1;

__attribute__((constructor(101))) static void early(void) { early_failed = host_round_trip(); }

int main(void) {
  if (early_failed != 0) {
    fprintf(stderr, "the call from the host's constructor failed\n");
    return 1;
  }
  if (host_round_trip() != 0) {
    fprintf(stderr, "a call after the host's constructor failed\n");
    return 1;
  }
  printf("calls from an early constructor: ok\n");
  return 0;
}
