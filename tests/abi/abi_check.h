/* What the C hosts share. CHECK, the one assertion: on failure it names the file, line and
 * condition and ends the process with status 1, so it works in helpers of any return type as well
 * as in main. from_hex: n bytes from 2n lower-case hex digits, CHECKed. */
#ifndef VESK_ABI_CHECK_H
#define VESK_ABI_CHECK_H

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>

#define CHECK(cond)                                                            \
  do {                                                                         \
    if (!(cond)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      exit(1);                                                                 \
    }                                                                          \
  } while (0)

static inline int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

static inline void from_hex(const char *hex, unsigned char *out, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    int hi = hex_value(hex[2 * i]), lo = hex_value(hex[2 * i + 1]);
    CHECK(hi >= 0 && lo >= 0);
    out[i] = (unsigned char)(hi * 16 + lo);
  }
}

#endif
