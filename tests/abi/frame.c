/* A C host of the frame functions: nothing but vesk.h and libvesk.so. */
#include <stdio.h>
#include <string.h>

#include "abi_check.h"
#include "vesk.h"

int main(void) {
  VeskBuffer b = vesk_buffer_empty();
  CHECK(b.data == NULL && b.len == 0 && b.capacity == 0);
  vesk_buffer_free(&b);
  vesk_buffer_free(NULL);
  CHECK(strcmp(vesk_version(), VESK_VERSION) == 0);
  CHECK(strcmp(vesk_error_message(VESK_OK), "success") == 0);
  CHECK(strcmp(vesk_error_message(VESK_INTERNAL_FAULT), "internal error (panic)") == 0);
  CHECK(strcmp(vesk_error_message(-1), "internal error") == 0);
  CHECK(vesk_test_panic() == VESK_INTERNAL_FAULT);
  CHECK(vesk_test_panic() == VESK_INTERNAL_FAULT);
  printf("abi frame: ok\n");
  return 0;
}
