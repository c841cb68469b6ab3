/* A host of libvesk.so that watches what the library does with the process's environment and
 * files. It interposes the C library's file-opening functions, dlopen and getenv: every path the
 * library tries to open or load, and every environment variable it reads, is reported on standard
 * error. Then it makes one call of every family and prints each
 * deterministic result on standard output (every call must succeed), so that a run in a hostile
 * environment can be compared with a clean one byte for byte.
 * Usage: hostile_env_host IDENTITY_RECORDS_FOLDER */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "../abi/abi_check.h"
#include "transparency_fixture.h"
#include "vesk.h"

static int touched;

/* The only files the library may open are the system's randomness devices (where getrandom is
 * missing); anything else, a configuration file or a module of the build machine's folders
 * included, is reported. */
static void note_path(const char *what, const char *path) {
  if (path != NULL && (strcmp(path, "/dev/random") == 0 || strcmp(path, "/dev/urandom") == 0)) return;
  fprintf(stderr, "library %s %s\n", what, path != NULL ? path : "(null)");
  touched = 1;
}

#define NEXT(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

FILE *fopen(const char *path, const char *mode) {
  note_path("opened", path);
  return NEXT(fopen)(path, mode);
}
FILE *fopen64(const char *path, const char *mode) {
  note_path("opened", path);
  return NEXT(fopen64)(path, mode);
}
int open(const char *path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(ap, mode_t) : 0;
  va_end(ap);
  note_path("opened", path);
  return NEXT(open)(path, flags, mode);
}
DIR *opendir(const char *path) {
  note_path("listed", path);
  return NEXT(opendir)(path);
}
int stat(const char *path, struct stat *st) {
  note_path("looked at", path);
  return NEXT(stat)(path, st);
}
void *dlopen(const char *path, int flags) {
  note_path("loaded", path);
  return NEXT(dlopen)(path, flags);
}

/* Environment variables the library reads. The CPU capability mask is read by libcrypto when the
 * library is loaded and cannot be switched off; any other name is reported. */
static void note_variable(const char *name) {
  if (strcmp(name, "OPENSSL_ia32cap") != 0) {
    fprintf(stderr, "library read %s\n", name);
    touched = 1;
  }
}
char *getenv(const char *name) {
  note_variable(name);
  return NEXT(getenv)(name);
}
char *secure_getenv(const char *name) {
  note_variable(name);
  return NEXT(secure_getenv)(name);
}

#define OK(call) CHECK((call) == VESK_OK)

static void print_hex(const char *label, const uint8_t *p, size_t n) {
  printf("%s ", label);
  for (size_t i = 0; i < n; ++i) printf("%02x", p[i]);
  printf("\n");
}

static unsigned char *read_record(const char *folder, const char *name, size_t *len) {
  char path[4096];
  snprintf(path, sizeof path, "%s/%s", folder, name);
  FILE *f = NEXT(fopen)(path, "rb");
  CHECK(f != NULL);
  static unsigned char data[1 << 20];
  *len = fread(data, 1, sizeof data, f);
  fclose(f);
  unsigned char *copy = malloc(*len);
  CHECK(copy != NULL);
  memcpy(copy, data, *len);
  return copy;
}

int main(int argc, char **argv) {
  CHECK(argc == 2);
  const uint8_t seed[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                            17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
  const uint8_t message[] = "a message from the isolation host";
  const uint8_t context[] = "isolation";

  /* Keys and key files: a recipient key from a bare identity seed, protected and opened again. */
  VeskSecretKeyHandle *key = NULL, *reopened = NULL;
  VeskBuffer pub = vesk_buffer_empty(), file = vesk_buffer_empty(), pub2 = vesk_buffer_empty();
  OK(vesk_secret_key_open(seed, sizeof seed, NULL, &key));
  OK(vesk_secret_key_public(key, &pub));
  print_hex("recipient", pub.data, pub.len);
  OK(vesk_secret_key_protect(key, "correct horse", &file));
  OK(vesk_secret_key_open(file.data, file.len, "correct horse", &reopened));
  OK(vesk_secret_key_public(reopened, &pub2));
  CHECK(pub2.len == pub.len && memcmp(pub2.data, pub.data, pub.len) == 0);

  /* Containers: encrypted to the key, decrypted with it. */
  VeskBuffer container = vesk_buffer_empty(), plain = vesk_buffer_empty(), name = vesk_buffer_empty();
  OK(vesk_encrypt(message, sizeof message, pub.data, 1, "note.txt", NULL, &container));
  OK(vesk_decrypt(container.data, container.len, key, &plain, &name, NULL));
  print_hex("plaintext", plain.data, plain.len);
  print_hex("name", name.data, name.len);

  /* Signatures and challenges. */
  VeskSigningIdentityHandle *identity = NULL;
  VeskBuffer vk = vesk_buffer_empty(), sig = vesk_buffer_empty(), challenge = vesk_buffer_empty(),
             answer = vesk_buffer_empty();
  OK(vesk_signing_identity_open(seed, sizeof seed, NULL, &identity));
  OK(vesk_signing_identity_public(identity, &vk));
  print_hex("verifying", vk.data, vk.len);
  OK(vesk_sign_message(identity, context, sizeof context, message, sizeof message, &sig));
  print_hex("signature", sig.data, sig.len);
  OK(vesk_verify_message(vk.data, vk.len, context, sizeof context, message, sizeof message,
                                            sig.data, sig.len));
  VeskSpentNonceSet *spent = vesk_spent_nonces_new();
  OK(vesk_challenge_new("isolation", 1000, 60, &challenge));
  OK(vesk_challenge_answer(identity, challenge.data, challenge.len, &answer));
  OK(vesk_challenge_accept(spent, challenge.data, challenge.len, answer.data, answer.len,
                                              vk.data, vk.len, 1010));

  /* Identity logs and epochs: the demo records. */
  size_t log_len, rk_len, chain_len;
  unsigned char *log = read_record(argv[1], "identity.log", &log_len);
  unsigned char *rk = read_record(argv[1], "recovery.key", &rk_len);
  unsigned char *chain = read_record(argv[1], "epochs.chain", &chain_len);
  uint64_t count = 0, epochs = 0;
  VeskBuffer head = vesk_buffer_empty(), epoch_key = vesk_buffer_empty();
  OK(vesk_identity_verify(log, log_len, rk, rk_len, &count));
  printf("entries %llu\n", (unsigned long long)count);
  OK(vesk_identity_head(log, log_len, rk, rk_len, &head));
  print_hex("head", head.data, head.len);
  OK(vesk_epoch_verify(chain, chain_len, &epochs));
  OK(vesk_epoch_public_key(chain, chain_len, 0, &epoch_key));
  print_hex("epoch key", epoch_key.data, epoch_key.len);

  /* Transparency: the fixture checkpoint. */
  uint8_t log_key[1984];
  from_hex(fixture_key_hex, log_key, sizeof log_key);
  uint64_t size = 0;
  VeskBuffer root = vesk_buffer_empty();
  OK(vesk_checkpoint_verify((const uint8_t *)fixture_checkpoint, strlen(fixture_checkpoint),
                                                   FIXTURE_ORIGIN, log_key, sizeof log_key, &size, &root));
  printf("tree size %llu\n", (unsigned long long)size);
  print_hex("root", root.data, root.len);

  VeskBuffer *buffers[] = {&pub, &file, &pub2, &container, &plain, &name, &vk, &sig, &challenge, &answer, &head,
                           &epoch_key, &root};
  for (size_t i = 0; i < sizeof buffers / sizeof buffers[0]; ++i) vesk_buffer_free(buffers[i]);
  vesk_spent_nonces_free(spent);
  vesk_signing_identity_free(identity);
  vesk_secret_key_free(reopened);
  vesk_secret_key_free(key);
  free(log);
  free(rk);
  free(chain);
  return touched ? 2 : 0;
}
