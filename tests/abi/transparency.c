/* A C host of the transparency exports: nothing but vesk.h and libvesk.so. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "abi_check.h"
#include "transparency_fixture.h"
#include "vesk.h"

/* The RFC 6962 test leaves "" and 00: leaf hashes and the root of the two-leaf tree. */
#define LEAF0 "6e340b9cffb37a989ca544e6bb780a2c78901d3fb33738768511a30617afa01d"
#define LEAF1 "96a296d224f285c67bee93c30f8a309157f0daa35dc5b87e410b78630a09cfc7"
#define ROOT2 "fac54203e7cc696cf0dfcb42c92a1d9dbaf70ad9e621f4bd8d98662f00e3c125"

static int merkle(void) {
  uint8_t l0[32], l1[32], r2[32], proof[2048];
  from_hex(LEAF0, l0, 32);
  from_hex(LEAF1, l1, 32);
  from_hex(ROOT2, r2, 32);
  memcpy(proof, l0, 32);
  CHECK(vesk_transparency_verify_inclusion(l1, 32, 1, 2, proof, 32, r2, 32) == VESK_OK);
  CHECK(vesk_transparency_verify_inclusion(l1, 32, 0, 2, proof, 32, r2, 32) == VESK_AUTHENTICATION_FAILED);
  CHECK(vesk_transparency_verify_inclusion(l0, 32, 0, 1, NULL, 0, l0, 32) == VESK_OK);
  CHECK(vesk_transparency_verify_inclusion(l0, 32, 1, 1, NULL, 0, l0, 32) == VESK_AUTHENTICATION_FAILED);
  CHECK(vesk_transparency_verify_inclusion(l1, 32, 1, 2, proof, 31, r2, 32) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_transparency_verify_inclusion(l1, 31, 1, 2, proof, 32, r2, 32) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_transparency_verify_inclusion(l1, 32, 1, 2, NULL, 32, r2, 32) == VESK_INVALID_ARGUMENT);
  memset(proof, 0x42, sizeof proof);
  CHECK(vesk_transparency_verify_inclusion(l1, 32, 1, 2, proof, 2048, r2, 32) == VESK_AUTHENTICATION_FAILED);

  memcpy(proof, l1, 32);
  CHECK(vesk_transparency_verify_consistency(1, 2, proof, 32, l0, 32, r2, 32) == VESK_OK);
  CHECK(vesk_transparency_verify_consistency(2, 1, proof, 32, l0, 32, r2, 32) == VESK_AUTHENTICATION_FAILED);
  CHECK(vesk_transparency_verify_consistency(1, 2, proof, 32, r2, 32, l0, 32) == VESK_AUTHENTICATION_FAILED);
  CHECK(vesk_transparency_verify_consistency(2, 2, NULL, 0, r2, 32, r2, 32) == VESK_OK);
  CHECK(vesk_transparency_verify_consistency(0, 0, NULL, 0, r2, 32, r2, 32) == VESK_AUTHENTICATION_FAILED);
  CHECK(vesk_transparency_verify_consistency(1, 2, proof, 33, l0, 32, r2, 32) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_transparency_verify_consistency(1, 2, proof, 32, NULL, 32, r2, 32) == VESK_INVALID_ARGUMENT);
  return 0;
}

static int checkpoint(void) {
  uint8_t key[VESK_VERIFYING_KEY_LEN + 1];
  uint8_t root[32];
  const uint8_t *text = (const uint8_t *)fixture_checkpoint;
  size_t len = strlen(fixture_checkpoint);
  uint64_t size = 12345;
  VeskBuffer out = vesk_buffer_empty();
  from_hex(fixture_key_hex, key, VESK_VERIFYING_KEY_LEN);
  key[VESK_VERIFYING_KEY_LEN] = 0;
  from_hex(FIXTURE_ROOT_HEX, root, 32);

  CHECK(vesk_checkpoint_verify(text, len, FIXTURE_ORIGIN, key, VESK_VERIFYING_KEY_LEN, &size, &out) == VESK_OK);
  CHECK(size == FIXTURE_TREE_SIZE);
  CHECK(out.data != NULL && out.len == 32 && out.capacity == 32 && memcmp(out.data, root, 32) == 0);
  vesk_buffer_free(&out);
  CHECK(out.data == NULL && out.len == 0);

  /* Failures leave both out-parameters as they were. */
  size = 12345;
  CHECK(vesk_checkpoint_verify(text, len, "example.com/Test-log", key, VESK_VERIFYING_KEY_LEN, &size, &out) ==
        VESK_AUTHENTICATION_FAILED);
  CHECK(vesk_checkpoint_verify(text, len, FIXTURE_ORIGIN, key, VESK_VERIFYING_KEY_LEN + 1, &size, &out) ==
        VESK_NOT_KEY_FILE);
  CHECK(vesk_checkpoint_verify(text, len - 1, FIXTURE_ORIGIN, key, VESK_VERIFYING_KEY_LEN, &size, &out) ==
        VESK_MALFORMED_INPUT);
  CHECK(vesk_checkpoint_verify(NULL, 0, FIXTURE_ORIGIN, key, VESK_VERIFYING_KEY_LEN, &size, &out) ==
        VESK_MALFORMED_INPUT);
  CHECK(vesk_checkpoint_verify(text, len, NULL, key, VESK_VERIFYING_KEY_LEN, &size, &out) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_checkpoint_verify(text, len, FIXTURE_ORIGIN, key, VESK_VERIFYING_KEY_LEN, NULL, &out) ==
        VESK_INVALID_ARGUMENT);
  CHECK(vesk_checkpoint_verify(text, len, FIXTURE_ORIGIN, key, VESK_VERIFYING_KEY_LEN, &size, NULL) ==
        VESK_INVALID_ARGUMENT);
  CHECK(vesk_checkpoint_verify(text, VESK_MAX_CHECKPOINT + 1, FIXTURE_ORIGIN, key, VESK_VERIFYING_KEY_LEN, &size,
                               &out) == VESK_INVALID_ARGUMENT);
  CHECK(size == 12345 && out.data == NULL && out.len == 0 && out.capacity == 0);

  /* One changed signature byte is refused. */
  {
    char *copy = malloc(len + 1);
    CHECK(copy != NULL);
    memcpy(copy, fixture_checkpoint, len + 1);
    copy[len - 40] = copy[len - 40] == 'A' ? 'B' : 'A';
    CHECK(vesk_checkpoint_verify((const uint8_t *)copy, len, FIXTURE_ORIGIN, key, VESK_VERIFYING_KEY_LEN, &size,
                                 &out) == VESK_AUTHENTICATION_FAILED);
    free(copy);
  }
  return 0;
}

int main(void) {
  if (merkle() != 0 || checkpoint() != 0) return 1;
  printf("abi transparency: ok\n");
  return 0;
}
