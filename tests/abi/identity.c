/* A C host of the identity and epoch exports: nothing but vesk.h and libvesk.so. It checks the
 * argument rules and the demo records written by devgen-identity; the statuses of logs, bindings
 * and chains are in the corpus (vectors/identity_*.json, vectors/epoch_*.json). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "abi_check.h"
#include "vesk.h"

#define SENTINEL 0xDEADBEEFCAFEF00Dull

static unsigned char *read_all(const char *name, size_t *len) {
  char path[1024];
  snprintf(path, sizeof path, "%s/%s", VESK_IDENTITY_RECORDS, name);
  FILE *f = fopen(path, "rb");
  CHECK(f != NULL);
  unsigned char *data = NULL;
  size_t n = 0, cap = 0;
  for (;;) {
    if (n == cap) {
      cap = cap ? 2 * cap : 65536;
      data = realloc(data, cap);
      CHECK(data != NULL);
    }
    size_t r = fread(data + n, 1, cap - n, f);
    n += r;
    if (r == 0) break;
  }
  fclose(f);
  *len = n;
  return data;
}

/* The argument rules; refusals leave the outputs alone. */
static void arguments(void) {
  static unsigned char key[4097];
  unsigned char empty_log[1] = {0x80};
  uint64_t n = SENTINEL;
  int32_t flag = 7;
  VeskBuffer b = {(uint8_t *)1, 5, 5};
  memset(key, 0x41, sizeof key);

  CHECK(vesk_identity_verify(empty_log, 1, key, 4097, &n) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_identity_verify(NULL, 1, NULL, 0, &n) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_identity_verify(NULL, VESK_MAX_LOG + 1u, NULL, 0, &n) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_identity_verify(empty_log, 1, NULL, 0, NULL) == VESK_INVALID_ARGUMENT);
  CHECK(n == SENTINEL);
  CHECK(vesk_identity_head(empty_log, 1, key, 1983, NULL) == VESK_INVALID_ARGUMENT);
  CHECK(b.data == (uint8_t *)1 && b.len == 5 && b.capacity == 5);
  CHECK(vesk_identity_trusts_device(empty_log, 1, key, 1984, key, 4097, &flag) == VESK_INVALID_ARGUMENT);
  CHECK(flag == 7);

  unsigned char pin[32] = {0}, binding[5390] = {0};
  CHECK(vesk_identity_verify_pinned(empty_log, 1, binding, 5390, pin, 32, &n) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_identity_verify_pinned(empty_log, 1, binding, 5389, pin, 31, &n) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_identity_verify_pinned(empty_log, 1, binding, 5389, NULL, 32, &n) == VESK_INVALID_ARGUMENT);
  CHECK(n == SENTINEL);
  CHECK(vesk_epoch_verify(NULL, 1, &n) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_epoch_public_key(empty_log, 1, 0, NULL) == VESK_INVALID_ARGUMENT);
  CHECK(n == SENTINEL);
}

/* The demo records: a four-entry log with two active devices, and three bound epochs. */
static void with_records(void) {
  size_t log_len, rk_len, binding_len, pin_len, laptop_len, tablet_len, chain_len, eb_len;
  unsigned char *log = read_all("identity.log", &log_len);
  unsigned char *rk = read_all("recovery.key", &rk_len);
  unsigned char *binding = read_all("recovery.binding", &binding_len);
  unsigned char *pin_hex = read_all("identity.pin", &pin_len);
  unsigned char *laptop = read_all("laptop.key", &laptop_len);
  unsigned char *tablet = read_all("tablet.key", &tablet_len);
  unsigned char *chain = read_all("epochs.chain", &chain_len);
  unsigned char *eb = read_all("epochs.binding", &eb_len);
  unsigned char pin[32];
  CHECK(pin_len == 65);
  from_hex((const char *)pin_hex, pin, 32);

  VeskBuffer head = vesk_buffer_empty();
  CHECK(vesk_identity_head(log, log_len, rk, rk_len, &head) == VESK_OK);
  CHECK(head.len == 32 && head.capacity == 32 && memcmp(head.data, pin, 32) != 0);
  vesk_buffer_free(&head);

  uint64_t n = 0;
  CHECK(vesk_identity_verify(log, log_len, rk, rk_len, &n) == VESK_OK && n == 2);
  int32_t t = -1;
  CHECK(vesk_identity_trusts_device(log, log_len, rk, rk_len, laptop, laptop_len, &t) == VESK_OK && t == 1);
  CHECK(vesk_identity_trusts_device(log, log_len, rk, rk_len, tablet, tablet_len, &t) == VESK_OK && t == 0);
  /* The tablet's key is no recovery key: the log has no Recover entry, so replay still passes. */
  CHECK(vesk_identity_verify(log, log_len, tablet, tablet_len, &n) == VESK_OK && n == 2);

  n = 0;
  CHECK(vesk_identity_verify_pinned(log, log_len, binding, binding_len, pin, 32, &n) == VESK_OK && n == 2);
  CHECK(vesk_epoch_verify(chain, chain_len, &n) == VESK_OK && n == 3);
  n = 0;
  CHECK(vesk_epoch_verify_bound(log, log_len, binding, binding_len, pin, 32, chain, chain_len, eb, eb_len, &n) ==
        VESK_OK);
  CHECK(n == 3);

  pin[0] ^= 1;
  n = SENTINEL;
  CHECK(vesk_identity_verify_pinned(log, log_len, binding, binding_len, pin, 32, &n) == VESK_AUTHENTICATION_FAILED);
  CHECK(vesk_epoch_verify_bound(log, log_len, binding, binding_len, pin, 32, chain, chain_len, eb, eb_len, &n) ==
        VESK_AUTHENTICATION_FAILED);
  pin[0] ^= 1;
  CHECK(vesk_epoch_verify_bound(log, log_len, binding, binding_len, pin, 32, chain, chain_len, eb, eb_len - 1, &n) ==
        VESK_MALFORMED_INPUT);
  CHECK(n == SENTINEL);
  log[log_len / 2] ^= 1;
  CHECK(vesk_identity_verify(log, log_len, rk, rk_len, &n) == VESK_AUTHENTICATION_FAILED);
  CHECK(n == SENTINEL);

  free(log), free(rk), free(binding), free(pin_hex), free(laptop), free(tablet), free(chain), free(eb);
}

int main(void) {
  arguments();
  with_records();
  printf("abi identity: ok\n");
  return 0;
}
