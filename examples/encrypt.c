/* Encrypted containers: encrypt a message once for two recipients, decrypt it with one recipient's
 * secret key, and compare. A key that is not among the recipients, and a container with one byte
 * changed, are refused.
 *
 *   example_encrypt
 *
 * In a real exchange the sender has only the recipients' public keys (from their armor, see
 * example_keys), and each recipient opens its own key file. */
#include <stdio.h>
#include <string.h>

#include "vesk.h"

static int report(const char *what, VeskStatus status) {
  fprintf(stderr, "example_encrypt: %s: %s (status %d)\n", what, vesk_error_message(status), (int)status);
  return 1;
}

int main(void) {
  static const char message[] = "The quarterly numbers, for your eyes only.";
  int rc = 1;
  VeskStatus s;
  VeskSecretKeyHandle *alice = NULL, *bob = NULL, *outsider = NULL;
  VeskBuffer alice_public = vesk_buffer_empty(), bob_public = vesk_buffer_empty();
  VeskBuffer outsider_public = vesk_buffer_empty(), container = vesk_buffer_empty();
  VeskBuffer plaintext = vesk_buffer_empty(), file_name = vesk_buffer_empty();
  VeskBuffer content_type = vesk_buffer_empty(), refused = vesk_buffer_empty();
  uint8_t recipients[2 * VESK_PUBLIC_KEY_LEN];

  s = vesk_keypair_generate(&alice, &alice_public);
  if (s == VESK_OK) s = vesk_keypair_generate(&bob, &bob_public);
  if (s == VESK_OK) s = vesk_keypair_generate(&outsider, &outsider_public);
  if (s != VESK_OK) { report("generating keypairs", s); goto done; }

  /* Recipients are public keys back to back; the content key is wrapped for each of them. */
  memcpy(recipients, alice_public.data, VESK_PUBLIC_KEY_LEN);
  memcpy(recipients + VESK_PUBLIC_KEY_LEN, bob_public.data, VESK_PUBLIC_KEY_LEN);
  /* The file name and content type are optional (NULL) and travel encrypted. */
  s = vesk_encrypt((const uint8_t *)message, strlen(message), recipients, 2, "numbers.txt", "text/plain",
                   &container);
  if (s != VESK_OK) { report("encrypting", s); goto done; }
  printf("encrypted %zu bytes for 2 recipients: a %zu-byte container\n", strlen(message), container.len);

  /* Bob decrypts. Nothing comes back unless the whole container authenticated. */
  s = vesk_decrypt(container.data, container.len, bob, &plaintext, &file_name, &content_type);
  if (s != VESK_OK) { report("decrypting", s); goto done; }
  if (plaintext.len != strlen(message) || memcmp(plaintext.data, message, plaintext.len) != 0) {
    fprintf(stderr, "example_encrypt: the plaintext differs\n");
    goto done;
  }
  /* Metadata texts come back as buffers, without a terminating NUL. */
  printf("decrypted: \"%.*s\" (name %.*s, type %.*s)\n", (int)plaintext.len, (const char *)plaintext.data,
         (int)file_name.len, (const char *)file_name.data, (int)content_type.len, (const char *)content_type.data);

  /* A key that is not a recipient: refused, and `refused` stays empty. The metadata is optional. */
  s = vesk_decrypt(container.data, container.len, outsider, &refused, NULL, NULL);
  if (s != VESK_NO_MATCHING_RECIPIENT || refused.data != NULL) { report("decrypting with another key", s); goto done; }
  printf("other key refused: %s\n", vesk_error_message(s));

  /* One changed byte anywhere makes the whole container fail. */
  container.data[container.len - 1] ^= 1;
  s = vesk_decrypt(container.data, container.len, alice, &refused, NULL, NULL);
  if (s == VESK_OK || refused.data != NULL) { report("decrypting an altered container", s); goto done; }
  printf("altered container refused: %s\n", vesk_error_message(s));
  rc = 0;

done:
  /* The plaintext buffer is wiped by vesk_buffer_free like every other result. */
  vesk_buffer_free(&refused);
  vesk_buffer_free(&content_type);
  vesk_buffer_free(&file_name);
  vesk_buffer_free(&plaintext);
  vesk_buffer_free(&container);
  vesk_buffer_free(&outsider_public);
  vesk_buffer_free(&bob_public);
  vesk_buffer_free(&alice_public);
  vesk_secret_key_free(outsider);
  vesk_secret_key_free(bob);
  vesk_secret_key_free(alice);
  return rc;
}
