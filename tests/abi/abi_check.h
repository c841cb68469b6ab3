/* The one assertion the C hosts share: on failure it names the file, line and condition and ends
 * the process with status 1, so it works in helpers of any return type as well as in main. */
#ifndef VESK_ABI_CHECK_H
#define VESK_ABI_CHECK_H

#include <stdio.h>
#include <stdlib.h>

#define CHECK(cond)                                                            \
  do {                                                                         \
    if (!(cond)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      exit(1);                                                                 \
    }                                                                          \
  } while (0)

#endif
