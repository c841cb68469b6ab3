/* A C host of the signing-identity exports: nothing but vesk.h and libvesk.so. */
#include <stdio.h>
#include <string.h>

#include "abi_check.h"
#include "vesk.h"

int main(void) {
  uint8_t seed[VESK_SECRET_SEED_LEN];
  for (size_t i = 0; i < sizeof seed; ++i) seed[i] = (uint8_t)(7 * i + 1);
  uint8_t too_big[VESK_MAX_KEY_DATA + 1];
  memset(too_big, 0x33, sizeof too_big);

  VeskSigningIdentityHandle *const sentinel = (VeskSigningIdentityHandle *)&seed;
  VeskSigningIdentityHandle *out = sentinel;
  CHECK(vesk_signing_identity_open(seed, sizeof seed, NULL, NULL) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_signing_identity_open(NULL, 32, NULL, &out) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_signing_identity_open(too_big, sizeof too_big, NULL, &out) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_signing_identity_open(seed, sizeof seed, "\x80", &out) == VESK_INVALID_ARGUMENT);
  CHECK(out == sentinel);

  VeskSigningIdentityHandle *a = NULL, *b = NULL;
  CHECK(vesk_signing_identity_open(seed, sizeof seed, NULL, &a) == VESK_OK && a != NULL);
  CHECK(vesk_signing_identity_open(seed, sizeof seed, "any passphrase", &b) == VESK_OK && b != NULL);
  VeskBuffer pa = vesk_buffer_empty(), pb = vesk_buffer_empty();
  CHECK(vesk_signing_identity_public(a, &pa) == VESK_OK);
  CHECK(vesk_signing_identity_public(b, &pb) == VESK_OK);
  CHECK(pa.len == VESK_VERIFYING_KEY_LEN && pa.capacity == VESK_VERIFYING_KEY_LEN);
  CHECK(pb.len == VESK_VERIFYING_KEY_LEN && memcmp(pa.data, pb.data, pa.len) == 0);
  CHECK(vesk_signing_identity_public(NULL, &pa) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_signing_identity_public(a, NULL) == VESK_INVALID_ARGUMENT);
  vesk_buffer_free(&pa);
  vesk_buffer_free(&pb);
  vesk_signing_identity_free(a);
  vesk_signing_identity_free(b);
  vesk_signing_identity_free(NULL);
  printf("abi sign_identity: ok\n");
  return 0;
}
