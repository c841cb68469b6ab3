/* A C host of message signatures, challenges and new identities: nothing but vesk.h and
 * libvesk.so. */
#include <stdio.h>
#include <string.h>

#include "abi_check.h"
#include "vesk.h"

static int signatures(VeskSigningIdentityHandle *id, const VeskBuffer *vk) {
  const uint8_t ctx[] = "app/1", msg[] = "hello";
  VeskBuffer sig = vesk_buffer_empty();
  CHECK(vesk_sign_message(id, ctx, 5, msg, 5, &sig) == VESK_OK);
  CHECK(sig.len == VESK_SIGNATURE_LEN && sig.capacity == VESK_SIGNATURE_LEN);
  CHECK(vesk_verify_message(vk->data, vk->len, ctx, 5, msg, 5, sig.data, sig.len) == VESK_OK);
  CHECK(vesk_verify_message(vk->data, vk->len - 1, ctx, 5, msg, 5, sig.data, sig.len) == VESK_INVALID_ARGUMENT);
  vesk_buffer_free(&sig);
  return 0;
}

static int challenges(VeskSigningIdentityHandle *id, const VeskBuffer *vk) {
  VeskBuffer ch = vesk_buffer_empty(), answer = vesk_buffer_empty();
  VeskSpentNonceSet *set = vesk_spent_nonces_new();
  CHECK(set != NULL);
  CHECK(vesk_challenge_new("sign in", 1000, 60, &ch) == VESK_OK);
  CHECK(ch.len == 56 + strlen("sign in") && ch.capacity == ch.len);
  CHECK(vesk_challenge_answer(id, ch.data, ch.len, &answer) == VESK_OK);
  CHECK(vesk_challenge_accept(set, ch.data, ch.len, answer.data, answer.len, vk->data, vk->len, 1061) ==
        VESK_CHALLENGE_EXPIRED);
  CHECK(vesk_challenge_accept(set, ch.data, ch.len, answer.data, answer.len, vk->data, vk->len, 1060) == VESK_OK);
  CHECK(vesk_challenge_accept(set, ch.data, ch.len, answer.data, answer.len, vk->data, vk->len, 1060) ==
        VESK_CHALLENGE_REPLAYED);
  CHECK(vesk_challenge_accept(set, ch.data, ch.len - 1, answer.data, answer.len, vk->data, vk->len, 1060) ==
        VESK_MALFORMED_INPUT);
  CHECK(vesk_challenge_accept(NULL, ch.data, ch.len, answer.data, answer.len, vk->data, vk->len, 1060) ==
        VESK_INVALID_ARGUMENT);
  vesk_buffer_free(&ch);
  vesk_buffer_free(&answer);
  vesk_spent_nonces_free(set);
  vesk_spent_nonces_free(NULL);
  return 0;
}

static int new_identity(void) {
  VeskBuffer file = vesk_buffer_empty(), vk = vesk_buffer_empty();
  VeskSigningIdentityHandle *id = NULL;
  VeskSecretKeyHandle *key = NULL;
  CHECK(vesk_identity_generate("a long enough passphrase", &file) == VESK_OK);
  CHECK(file.len == VESK_KEY_FILE_LEN && memcmp(file.data, "VESK-KEY", 8) == 0);
  CHECK(vesk_signing_identity_open(file.data, file.len, "a long enough passphrase", &id) == VESK_OK);
  CHECK(vesk_signing_identity_public(id, &vk) == VESK_OK && vk.len == VESK_VERIFYING_KEY_LEN);
  CHECK(vesk_secret_key_open(file.data, file.len, "a long enough passphrase", &key) == VESK_OK);
  vesk_secret_key_free(key);
  vesk_signing_identity_free(id);
  vesk_buffer_free(&vk);
  vesk_buffer_free(&file);
  return 0;
}

int main(void) {
  uint8_t seed[VESK_SECRET_SEED_LEN];
  VeskSigningIdentityHandle *id = NULL;
  VeskBuffer vk = vesk_buffer_empty();
  int failed;
  for (unsigned i = 0; i < sizeof seed; ++i) seed[i] = (uint8_t)(3 * i + 1);
  CHECK(vesk_signing_identity_open(seed, sizeof seed, NULL, &id) == VESK_OK);
  CHECK(vesk_signing_identity_public(id, &vk) == VESK_OK);
  failed = signatures(id, &vk) || challenges(id, &vk) || new_identity();
  vesk_buffer_free(&vk);
  vesk_signing_identity_free(id);
  if (failed) return 1;
  printf("abi sign: ok\n");
  return 0;
}
