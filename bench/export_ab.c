/* Per-call cost of a few exports, for comparing two builds of libvesk.so in one run: export_ab.sh
 * runs this program against each in alternation (through LD_LIBRARY_PATH) and keeps each side's
 * best. Prints "MODE MICROSECONDS", the best batch of BATCHES batches of REPS calls, each call with
 * the release of its result.
 * Usage: export_ab MODE REPS BATCHES [IDENTITY_LOG RECOVERY_KEY]
 * MODE: keyopen sign1k verify1k enc1k dec1k enc64m dec64m replay */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "vesk.h"

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static uint8_t *read_file(const char *path, size_t *len) {
  FILE *f = fopen(path, "rb");
  if (f == NULL) exit(2);
  fseek(f, 0, SEEK_END);
  *len = (size_t)ftell(f);
  fseek(f, 0, SEEK_SET);
  uint8_t *data = malloc(*len);
  if (data == NULL || fread(data, 1, *len, f) != *len) exit(2);
  fclose(f);
  return data;
}

int main(int argc, char **argv) {
  if (argc < 4) return 2;
  const char *mode = argv[1];
  const int reps = atoi(argv[2]), batches = atoi(argv[3]);
  const char *passphrase = "a passphrase for the comparison";
  uint8_t seed[32];
  for (int i = 0; i < 32; ++i) seed[i] = (uint8_t)(i + 1);

  VeskSecretKeyHandle *key = NULL;
  VeskSigningIdentityHandle *identity = NULL;
  VeskBuffer pub = vesk_buffer_empty(), vk = vesk_buffer_empty(), file = vesk_buffer_empty(),
             container = vesk_buffer_empty(), sig = vesk_buffer_empty();
  const size_t len = strstr(mode, "64m") != NULL ? (size_t)64 << 20 : 1024;
  uint8_t *plaintext = calloc(len, 1);
  size_t log_len = 0, rk_len = 0;
  uint8_t *log = NULL, *rk = NULL;
  if (plaintext == NULL || vesk_secret_key_open(seed, 32, NULL, &key) || vesk_secret_key_public(key, &pub) ||
      vesk_signing_identity_open(seed, 32, NULL, &identity) || vesk_signing_identity_public(identity, &vk) ||
      vesk_secret_key_protect(key, passphrase, &file) ||
      vesk_encrypt(plaintext, len, pub.data, 1, NULL, NULL, &container) ||
      vesk_sign_message(identity, NULL, 0, plaintext, 1024, &sig))
    return 3;
  if (strcmp(mode, "replay") == 0) {
    if (argc < 6) return 2;
    log = read_file(argv[4], &log_len);
    rk = read_file(argv[5], &rk_len);
  }

  double best = 1e9;
  for (int b = 0; b < batches; ++b) {
    const double start = now();
    for (int r = 0; r < reps; ++r) {
      VeskBuffer out = vesk_buffer_empty();
      VeskSecretKeyHandle *opened = NULL;
      uint64_t count = 0;
      int status;
      if (!strcmp(mode, "keyopen")) status = vesk_secret_key_open(file.data, file.len, passphrase, &opened);
      else if (!strcmp(mode, "sign1k")) status = vesk_sign_message(identity, NULL, 0, plaintext, 1024, &out);
      else if (!strcmp(mode, "verify1k"))
        status = vesk_verify_message(vk.data, vk.len, NULL, 0, plaintext, 1024, sig.data, sig.len);
      else if (!strncmp(mode, "enc", 3)) status = vesk_encrypt(plaintext, len, pub.data, 1, NULL, NULL, &out);
      else if (!strncmp(mode, "dec", 3)) status = vesk_decrypt(container.data, container.len, key, &out, NULL, NULL);
      else if (!strcmp(mode, "replay")) status = vesk_identity_verify(log, log_len, rk, rk_len, &count);
      else return 2;
      if (status != VESK_OK) return 4;
      vesk_buffer_free(&out);
      vesk_secret_key_free(opened);
    }
    const double per_call = (now() - start) / reps;
    if (per_call < best) best = per_call;
  }
  printf("%s %.2f\n", mode, best * 1e6);
  return 0;
}
