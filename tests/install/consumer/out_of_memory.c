/* A host whose C allocator refuses every request over 8 MiB, to see the library stop on exhausted
 * memory. Linked against libvesk.so or libvesk.a, it must print the same single report either way
 * and end the same way (abort).
 * Usage: out_of_memory cxx     an allocation of the library's own C++ code (a hostile epoch chain
 *                              whose head claims a million records)
 *        out_of_memory crypto  an allocation inside libcrypto (Argon2id's memory) */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <vesk.h>

#define LIMIT ((size_t)8 << 20)

extern void *__libc_malloc(size_t);
extern void *__libc_calloc(size_t, size_t);
extern void *__libc_realloc(void *, size_t);
extern void __libc_free(void *);

void *malloc(size_t n) { return n > LIMIT ? NULL : __libc_malloc(n); }
void *calloc(size_t n, size_t size) { return size != 0 && n > LIMIT / size ? NULL : __libc_calloc(n, size); }
void *realloc(void *p, size_t n) { return n > LIMIT ? NULL : __libc_realloc(p, n); }
void free(void *p) { __libc_free(p); }

static uint8_t chain[VESK_MAX_LOG];

int main(int argc, char **argv) {
  if (argc != 2) return 2;
  if (strcmp(argv[1], "cxx") == 0) {
    /* An array of 1000000 records, then nothing that decodes. */
    const uint8_t head[] = {0x9a, 0x00, 0x0f, 0x42, 0x40};
    memcpy(chain, head, sizeof head);
    uint64_t n = 0;
    printf("returned %d\n", vesk_epoch_verify(chain, sizeof chain, &n));
  } else if (strcmp(argv[1], "crypto") == 0) {
    VeskSecretKeyHandle *key = NULL;
    VeskBuffer pub = vesk_buffer_empty(), file = vesk_buffer_empty();
    if (vesk_keypair_generate(&key, &pub) != VESK_OK) return 3;
    printf("returned %d\n", vesk_secret_key_protect(key, "passphrase of the out-of-memory host", &file));
  } else {
    return 2;
  }
  return 0;
}
