/* A C host of the identity and epoch exports: nothing but vesk.h and libvesk.so. It checks the
 * argument rules and status order with inputs it can build itself, a one-record epoch chain whose
 * hash was computed elsewhere, and the demo records written by devgen-identity. */
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

/* Arguments and statuses that need no valid record. */
static void without_records(void) {
  static unsigned char key[4097];
  unsigned char empty_log[1] = {0x80};
  uint64_t n = SENTINEL;
  int32_t flag = 7;
  VeskBuffer b = {(uint8_t *)1, 5, 5};
  memset(key, 0x41, sizeof key);

  CHECK(vesk_identity_verify(empty_log, 1, key, 4097, &n) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_identity_verify(empty_log, 1, key, 1985, &n) == VESK_NOT_KEY_FILE);
  CHECK(vesk_identity_verify(empty_log, 1, NULL, 0, &n) == VESK_NOT_KEY_FILE);
  CHECK(vesk_identity_verify(NULL, 1, NULL, 0, &n) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_identity_verify(NULL, VESK_MAX_LOG + 1u, NULL, 0, &n) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_identity_verify(empty_log, 1, NULL, 0, NULL) == VESK_INVALID_ARGUMENT);
  CHECK(n == SENTINEL);
  CHECK(vesk_identity_head(empty_log, 1, key, 1983, &b) == VESK_NOT_KEY_FILE);
  CHECK(vesk_identity_head(empty_log, 1, key, 1983, NULL) == VESK_INVALID_ARGUMENT);
  CHECK(b.data == (uint8_t *)1 && b.len == 5 && b.capacity == 5);
  CHECK(vesk_identity_trusts_device(empty_log, 1, key, 1984, key, 1983, &flag) == VESK_NOT_KEY_FILE);
  CHECK(vesk_identity_trusts_device(empty_log, 1, key, 1984, key, 4097, &flag) == VESK_INVALID_ARGUMENT);
  CHECK(flag == 7);

  unsigned char pin[32] = {0}, binding[5390] = {0};
  CHECK(vesk_identity_verify_pinned(empty_log, 1, binding, 5390, pin, 32, &n) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_identity_verify_pinned(empty_log, 1, binding, 5389, pin, 31, &n) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_identity_verify_pinned(empty_log, 1, binding, 5389, NULL, 32, &n) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_identity_verify_pinned(empty_log, 1, binding, 5388, pin, 32, &n) == VESK_MALFORMED_INPUT);
  CHECK(n == SENTINEL);

  /* Epoch chains: empty, and one record with a 1216-byte key of 0x42 bytes. */
  CHECK(vesk_epoch_verify(empty_log, 1, &n) == VESK_OK && n == 0);
  n = SENTINEL;
  CHECK(vesk_epoch_public_key(empty_log, 1, 0, &b) == VESK_INVALID_ARGUMENT);
  static unsigned char chain[1 + 1 + 1 + 3 + 1216 + 2 + 32];
  size_t at = 0;
  chain[at++] = 0x81;
  chain[at++] = 0x83;
  chain[at++] = 0x00;
  chain[at++] = 0x59, chain[at++] = 0x04, chain[at++] = 0xC0;
  memset(chain + at, 0x42, 1216);
  at += 1216;
  chain[at++] = 0x58, chain[at++] = 0x20;
  from_hex("32f91e5fecf7e9cc9886ad2bc25d25a74a92f40fb346ef6ae7ed4e47e4c943bc", chain + at, 32);
  at += 32;
  CHECK(at == sizeof chain);
  CHECK(vesk_epoch_verify(chain, sizeof chain, &n) == VESK_OK && n == 1);
  VeskBuffer k = vesk_buffer_empty();
  CHECK(vesk_epoch_public_key(chain, sizeof chain, 0, &k) == VESK_OK);
  CHECK(k.len == 1216 && k.capacity == 1216 && k.data[0] == 0x42 && k.data[1215] == 0x42);
  vesk_buffer_free(&k);
  CHECK(k.data == NULL && k.len == 0);
  CHECK(vesk_epoch_public_key(chain, sizeof chain, 1, &k) == VESK_INVALID_ARGUMENT);
  chain[sizeof chain - 1] ^= 1;
  n = SENTINEL;
  CHECK(vesk_epoch_verify(chain, sizeof chain, &n) == VESK_AUTHENTICATION_FAILED && n == SENTINEL);
  chain[2] = 0x01;
  CHECK(vesk_epoch_verify(chain, sizeof chain, &n) == VESK_AUTHENTICATION_FAILED);
  chain[2] = 0x18; /* a number that is no longer an item of its own */
  CHECK(vesk_epoch_verify(chain, sizeof chain, &n) == VESK_MALFORMED_INPUT);
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
  without_records();
  with_records();
  printf("abi identity: ok\n");
  return 0;
}
