/* A C host of the transparency exports: nothing but vesk.h and libvesk.so. The argument rules,
 * and that a refusal leaves the outputs alone; what proofs and checkpoints verify is in the
 * corpus (vectors/transparency_*.json, vectors/checkpoint_verify.json). */
#include <stdio.h>
#include <string.h>

#include "abi_check.h"
#include "vesk.h"

static int merkle(void) {
  uint8_t hash[32], proof[VESK_MAX_PROOF + 32];
  memset(hash, 0x42, sizeof hash);
  memset(proof, 0x42, sizeof proof);
  /* One leaf: the leaf is the root and the proof is empty, NULL allowed. */
  CHECK(vesk_transparency_verify_inclusion(hash, 32, 0, 1, NULL, 0, hash, 32) == VESK_OK);
  CHECK(vesk_transparency_verify_inclusion(hash, 32, 1, 2, proof, 31, hash, 32) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_transparency_verify_inclusion(hash, 31, 1, 2, proof, 32, hash, 32) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_transparency_verify_inclusion(hash, 32, 1, 2, NULL, 32, hash, 32) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_transparency_verify_inclusion(hash, 32, 1, 2, proof, VESK_MAX_PROOF + 32, hash, 32) ==
        VESK_INVALID_ARGUMENT);
  CHECK(vesk_transparency_verify_inclusion(hash, 32, 1, 2, proof, VESK_MAX_PROOF, hash, 32) ==
        VESK_AUTHENTICATION_FAILED);
  CHECK(vesk_transparency_verify_consistency(2, 2, NULL, 0, hash, 32, hash, 32) == VESK_OK);
  CHECK(vesk_transparency_verify_consistency(1, 2, proof, 33, hash, 32, hash, 32) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_transparency_verify_consistency(1, 2, proof, 32, NULL, 32, hash, 32) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_transparency_verify_consistency(1, 2, proof, 32, hash, 32, hash, 31) == VESK_INVALID_ARGUMENT);
  return 0;
}

static int checkpoint(void) {
  static uint8_t key[VESK_VERIFYING_KEY_LEN];
  static uint8_t text[VESK_MAX_CHECKPOINT + 1];
  const char *origin = "example.org/log";
  uint64_t size = 12345;
  VeskBuffer out = vesk_buffer_empty();
  memset(key, 0, sizeof key);
  memset(text, 'a', sizeof text);

  CHECK(vesk_checkpoint_verify(text, 10, NULL, key, sizeof key, &size, &out) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_checkpoint_verify(text, 10, origin, key, sizeof key, NULL, &out) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_checkpoint_verify(text, 10, origin, key, sizeof key, &size, NULL) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_checkpoint_verify(text, VESK_MAX_CHECKPOINT + 1, origin, key, sizeof key, &size, &out) ==
        VESK_INVALID_ARGUMENT);
  CHECK(vesk_checkpoint_verify(NULL, 1, origin, key, sizeof key, &size, &out) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_checkpoint_verify(text, 10, "\xff", key, sizeof key, &size, &out) == VESK_INVALID_ARGUMENT);
  /* Past the argument rules, a key of zeros is a point (y = 0) and the text is read: malformed. */
  CHECK(vesk_checkpoint_verify(text, VESK_MAX_CHECKPOINT, origin, key, sizeof key, &size, &out) ==
        VESK_MALFORMED_INPUT);
  CHECK(size == 12345 && out.data == NULL && out.len == 0 && out.capacity == 0);
  return 0;
}

int main(void) {
  if (merkle() != 0 || checkpoint() != 0) return 1;
  printf("abi transparency: ok\n");
  return 0;
}
