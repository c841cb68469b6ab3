/* A host program built against an installed vesk: generates a key and round-trips its armor. */
#include <stdio.h>
#include <string.h>

#include <vesk.h>

int main(void) {
  VeskSecretKeyHandle *key = NULL;
  VeskBuffer pub = vesk_buffer_empty(), armor = vesk_buffer_empty(), back = vesk_buffer_empty();
  char text[VESK_ARMOR_LEN + 1];
  int ok = vesk_keypair_generate(&key, &pub) == VESK_OK &&
           vesk_public_key_armor(pub.data, pub.len, &armor) == VESK_OK && armor.len == VESK_ARMOR_LEN;
  if (ok) {
    memcpy(text, armor.data, armor.len);
    text[armor.len] = '\0';
    ok = vesk_public_key_dearmor(text, &back) == VESK_OK && back.len == pub.len &&
         memcmp(back.data, pub.data, pub.len) == 0;
  }
  vesk_buffer_free(&back);
  vesk_buffer_free(&armor);
  vesk_buffer_free(&pub);
  vesk_secret_key_free(key);
  printf("vesk %s consumer: %s\n", vesk_version(), ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
