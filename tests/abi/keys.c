/* A C host of the recipient-key and key-file functions (and the frame they rely on): nothing but
 * vesk.h and libvesk.so. */
#include <stdio.h>
#include <string.h>

#include "abi_check.h"
#include "vesk.h"

static int same(const VeskBuffer *a, const VeskBuffer *b) {
  return a->len == b->len && memcmp(a->data, b->data, a->len) == 0;
}

int main(void) {
  CHECK(strcmp(vesk_version(), VESK_VERSION) == 0);
  CHECK(strcmp(vesk_error_message(VESK_WRONG_PASSPHRASE),
               "incorrect passphrase, or the key file was modified") == 0);
  CHECK(vesk_test_panic() == VESK_INTERNAL_FAULT);

  VeskSecretKeyHandle *key = NULL;
  VeskBuffer pub = vesk_buffer_empty();
  CHECK(vesk_keypair_generate(&key, &pub) == VESK_OK);
  CHECK(key != NULL && pub.len == VESK_PUBLIC_KEY_LEN && pub.capacity == VESK_PUBLIC_KEY_LEN);

  VeskBuffer again = vesk_buffer_empty();
  CHECK(vesk_secret_key_public(key, &again) == VESK_OK);
  CHECK(same(&pub, &again));
  vesk_buffer_free(&again);

  VeskBuffer armor = vesk_buffer_empty();
  CHECK(vesk_public_key_armor(pub.data, pub.len, &armor) == VESK_OK);
  CHECK(armor.len == VESK_ARMOR_LEN && memcmp(armor.data, "vesk-public-key:\n", 17) == 0);
  CHECK(armor.data[armor.len - 1] == '\n');
  CHECK(vesk_public_key_armor(pub.data, pub.len - 1, &armor) == VESK_INVALID_ARGUMENT);

  /* The armor is not NUL-terminated: make a C string of it. */
  char text[VESK_ARMOR_LEN + 1];
  memcpy(text, armor.data, armor.len);
  text[armor.len] = '\0';
  VeskBuffer decoded = vesk_buffer_empty();
  CHECK(vesk_public_key_dearmor(text, &decoded) == VESK_OK);
  CHECK(same(&pub, &decoded) && decoded.capacity == 1218);
  vesk_buffer_free(&decoded);

  int32_t is_key_file = 7;
  CHECK(vesk_inspect_key(NULL, 0, &is_key_file) == VESK_OK && is_key_file == 0);
  CHECK(vesk_inspect_key(NULL, 1, &is_key_file) == VESK_INVALID_ARGUMENT);
  vesk_buffer_free(&armor);

  VeskBuffer file = vesk_buffer_empty();
  CHECK(vesk_secret_key_protect(key, "correct horse", &file) == VESK_OK);
  CHECK(file.len == VESK_KEY_FILE_LEN && memcmp(file.data, "VESK-KEY", 8) == 0);
  CHECK(vesk_inspect_key(file.data, file.len, &is_key_file) == VESK_OK && is_key_file == 1);

  VeskSecretKeyHandle *opened = NULL;
  CHECK(vesk_secret_key_open(file.data, file.len, "correct horse", &opened) == VESK_OK);
  CHECK(opened != NULL);
  VeskBuffer reopened = vesk_buffer_empty();
  CHECK(vesk_secret_key_public(opened, &reopened) == VESK_OK);
  CHECK(same(&pub, &reopened));

  vesk_buffer_free(&reopened);
  vesk_buffer_free(&file);
  vesk_buffer_free(&file);
  vesk_buffer_free(&pub);
  vesk_secret_key_free(opened);
  vesk_secret_key_free(key);
  vesk_secret_key_free(NULL);
  printf("abi keys: ok\n");
  return 0;
}
