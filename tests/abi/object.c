/* A C host of encryption and decryption: nothing but vesk.h and libvesk.so. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "abi_check.h"
#include "vesk.h"

static int untouched(const VeskBuffer *b) { return b->data == (uint8_t *)b && b->len == 7 && b->capacity == 9; }
static void mark(VeskBuffer *b) {
  b->data = (uint8_t *)b;
  b->len = 7;
  b->capacity = 9;
}

int main(void) {
  VeskSecretKeyHandle *alice = NULL, *bob = NULL, *carol = NULL;
  VeskBuffer pa = vesk_buffer_empty(), pb = vesk_buffer_empty(), pc = vesk_buffer_empty();
  CHECK(vesk_keypair_generate(&alice, &pa) == VESK_OK);
  CHECK(vesk_keypair_generate(&bob, &pb) == VESK_OK);
  CHECK(vesk_keypair_generate(&carol, &pc) == VESK_OK);
  uint8_t recipients[2 * VESK_PUBLIC_KEY_LEN];
  memcpy(recipients, pa.data, VESK_PUBLIC_KEY_LEN);
  memcpy(recipients + VESK_PUBLIC_KEY_LEN, pb.data, VESK_PUBLIC_KEY_LEN);

  size_t n = 200000;
  uint8_t *message = malloc(n);
  CHECK(message != NULL);
  for (size_t i = 0; i < n; ++i) message[i] = (uint8_t)(i * 31 + 7);

  VeskBuffer container = vesk_buffer_empty();
  CHECK(vesk_encrypt(message, n, recipients, 2, "notes.txt", "text/plain", &container) == VESK_OK);
  CHECK(container.len == container.capacity && container.len > n);
  CHECK(memcmp(container.data, "VESK\r\n\x1a\n\x00\x01\x01\x00", 12) == 0);

  VeskSecretKeyHandle *keys[2] = {alice, bob};
  for (int k = 0; k < 2; ++k) {
    VeskBuffer plain = vesk_buffer_empty(), name = vesk_buffer_empty(), type = vesk_buffer_empty();
    CHECK(vesk_decrypt(container.data, container.len, keys[k], &plain, &name, &type) == VESK_OK);
    CHECK(plain.len == n && memcmp(plain.data, message, n) == 0);
    CHECK(name.len == 9 && memcmp(name.data, "notes.txt", 9) == 0);
    CHECK(type.len == 10 && memcmp(type.data, "text/plain", 10) == 0);
    vesk_buffer_free(&plain);
    vesk_buffer_free(&name);
    vesk_buffer_free(&type);
    CHECK(plain.data == NULL && plain.len == 0 && plain.capacity == 0);
  }

  /* Refusals leave every out-parameter as it was. */
  VeskBuffer plain, name, type;
  mark(&plain);
  mark(&name);
  mark(&type);
  CHECK(vesk_decrypt(container.data, container.len, carol, &plain, &name, &type) == VESK_NO_MATCHING_RECIPIENT);
  CHECK(vesk_decrypt(NULL, 1, alice, &plain, &name, &type) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_decrypt(container.data, (size_t)VESK_MAX_CONTAINER + 1, alice, &plain, &name, &type) ==
        VESK_INVALID_ARGUMENT);
  CHECK(vesk_decrypt(container.data, container.len, NULL, &plain, &name, &type) == VESK_INVALID_ARGUMENT);
  CHECK(untouched(&plain) && untouched(&name) && untouched(&type));
  vesk_buffer_free(&container);

  VeskBuffer out;
  mark(&out);
  CHECK(vesk_encrypt(message, n, recipients, 0, NULL, NULL, &out) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_encrypt(message, n, recipients, 65, NULL, NULL, &out) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_encrypt(message, n, NULL, 1, NULL, NULL, &out) == VESK_INVALID_ARGUMENT);
  CHECK(vesk_encrypt(message, (size_t)VESK_MAX_PLAINTEXT + 1, recipients, 1, NULL, NULL, &out) ==
        VESK_INVALID_ARGUMENT);
  CHECK(untouched(&out));

  /* The empty plaintext, optional outputs omitted. */
  CHECK(vesk_encrypt(NULL, 0, pb.data, 1, NULL, NULL, &container) == VESK_OK);
  mark(&plain);
  CHECK(vesk_decrypt(container.data, container.len, bob, &plain, NULL, NULL) == VESK_OK);
  CHECK(plain.len == 0 && plain.capacity == 0);
  vesk_buffer_free(&plain);
  vesk_buffer_free(&container);

  free(message);
  vesk_buffer_free(&pa);
  vesk_buffer_free(&pb);
  vesk_buffer_free(&pc);
  vesk_secret_key_free(alice);
  vesk_secret_key_free(bob);
  vesk_secret_key_free(carol);
  printf("abi object: ok\n");
  return 0;
}
