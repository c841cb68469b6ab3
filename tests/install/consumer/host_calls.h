/* The calls the process-lifetime hosts make: an encryption, a decryption, a signature and its
 * verification, each checked. Returns 0 when all gave what they should. */
#ifndef VESK_HOST_CALLS_H
#define VESK_HOST_CALLS_H

#include <string.h>

#include <vesk.h>

static int host_round_trip(void) {
  static const char message[] = "a message for the library, while the host comes and goes";
  static const uint8_t seed[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                                   17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
  VeskSecretKeyHandle *key = NULL;
  VeskSigningIdentityHandle *identity = NULL;
  VeskBuffer pub = vesk_buffer_empty(), sealed = vesk_buffer_empty(), plain = vesk_buffer_empty(),
             verifying_key = vesk_buffer_empty(), signature = vesk_buffer_empty();
  int failed = vesk_keypair_generate(&key, &pub) != VESK_OK ||
               vesk_encrypt((const uint8_t *)message, sizeof message, pub.data, 1, "note.txt", NULL, &sealed) !=
                   VESK_OK ||
               vesk_decrypt(sealed.data, sealed.len, key, &plain, NULL, NULL) != VESK_OK ||
               plain.len != sizeof message || memcmp(plain.data, message, sizeof message) != 0 ||
               vesk_signing_identity_open(seed, sizeof seed, NULL, &identity) != VESK_OK ||
               vesk_signing_identity_public(identity, &verifying_key) != VESK_OK ||
               vesk_sign_message(identity, NULL, 0, (const uint8_t *)message, sizeof message, &signature) != VESK_OK ||
               vesk_verify_message(verifying_key.data, verifying_key.len, NULL, 0, (const uint8_t *)message,
                                   sizeof message, signature.data, signature.len) != VESK_OK;
  vesk_buffer_free(&pub);
  vesk_buffer_free(&sealed);
  vesk_buffer_free(&plain);
  vesk_buffer_free(&verifying_key);
  vesk_buffer_free(&signature);
  vesk_secret_key_free(key);
  vesk_signing_identity_free(identity);
  return failed;
}

#endif
