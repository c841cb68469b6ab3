/* Transparency: check that a leaf is in a log's Merkle tree (RFC 6962 hashing) whose root you trust,
 * for instance the root of a checkpoint that vesk_checkpoint_verify accepted.
 *
 *   example_transparency                                   a built-in proof
 *   example_transparency LEAF_HASH INDEX SIZE ROOT [PROOF_HASH...]
 *
 * Hashes are 64 hex digits; a leaf hash is SHA-256 of 0x00 followed by the leaf's bytes. The proof
 * hashes are the audit path from the leaf upward. Exit status: 0 verified, 1 refused, 2 usage. */
#include <errno.h>
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vesk.h"

/* The tree over the eight RFC 6962 test leaves: leaf 5 (the bytes 50 51 ... 57) and its path. */
static const char *const kBuiltIn[] = {
    "4271a26be0d8a84f0bd54c8c302e7cb3a3b5d1fa6780a40bcce2873477dab658", /* leaf hash */
    "5",                                                                /* leaf index */
    "8",                                                                /* tree size */
    "5dc9da79a70659a9ad559cb701ded9a2ab9d823aad2f4960cfe370eff4604328", /* root */
    "bc1a0643b12e4d2d7c77918f44e0f4f79a838b6cf9ec5b5c283e1f4d88599e6b", /* proof */
    "ca854ea128ed050b41b35ffc1b87b8eb2bde461e9e3b5596ece6b9d5975a0ae0",
    "d37ee418976dd95753c1c73862b9398fa2a2cf9b4ff0fdfe8b30cd95209614b7",
};

static int parse_hash(const char *hex, uint8_t out[VESK_HASH_LEN]) {
  if (strlen(hex) != 2 * VESK_HASH_LEN) return 0;
  for (size_t i = 0; i < VESK_HASH_LEN; ++i) {
    unsigned v;
    if (sscanf(hex + 2 * i, "%2x", &v) != 1) return 0;
    out[i] = (uint8_t)v;
  }
  return 1;
}

static int parse_u64(const char *text, uint64_t *out) {
  char *end = NULL;
  if (text[0] < '0' || text[0] > '9') return 0;
  errno = 0;
  *out = strtoull(text, &end, 10);
  return *end == '\0' && errno == 0;
}

int main(int argc, char **argv) {
  const char *const *args = (const char *const *)argv + 1;
  int count = argc - 1;
  if (count == 0) {
    args = kBuiltIn;
    count = (int)(sizeof kBuiltIn / sizeof kBuiltIn[0]);
  }
  uint8_t leaf[VESK_HASH_LEN], root[VESK_HASH_LEN];
  uint8_t proof[VESK_MAX_PROOF];
  uint64_t index = 0, size = 0;
  size_t proof_len = 0;
  int ok = count >= 4 && (size_t)(count - 4) * VESK_HASH_LEN <= sizeof proof && parse_hash(args[0], leaf) &&
           parse_u64(args[1], &index) && parse_u64(args[2], &size) && parse_hash(args[3], root);
  for (int i = 4; ok && i < count; ++i, proof_len += VESK_HASH_LEN) ok = parse_hash(args[i], proof + proof_len);
  if (!ok) {
    fprintf(stderr, "usage: example_transparency [LEAF_HASH INDEX SIZE ROOT [PROOF_HASH...]] (at most 64 hashes)\n");
    return 2;
  }

  /* The proof is one byte range: the path's hashes back to back (none for a one-leaf tree). */
  VeskStatus s = vesk_transparency_verify_inclusion(leaf, sizeof leaf, index, size, proof, proof_len, root, sizeof root);
  if (s != VESK_OK) {
    /* A proof that does not lead to the root, an index outside the tree and a path of the wrong
     * length are all the one refusal. */
    printf("inclusion refused: %s\n", vesk_error_message(s));
    return 1;
  }
  printf("leaf %" PRIu64 " of a tree of %" PRIu64 " is included (a path of %zu hashes)\n", index, size,
         proof_len / VESK_HASH_LEN);
  return 0;
}
