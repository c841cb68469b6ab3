/* Recipient keys and key files: generate a keypair, armor its public key, protect the secret key
 * under a passphrase, and open the key file again.
 *
 *   example_keys [KEY_FILE PUBLIC_KEY_FILE]
 *
 * With two file names it also writes the key file (mode 0600, never over an existing file) and
 * the armored public key, which `vesk pubkey` and `vesk inspect` can read. */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "vesk.h"

/* A real program asks the user (without echo) and wipes the passphrase after use. */
static const char kPassphrase[] = "correct horse battery staple";

static int report(const char *what, VeskStatus status) {
  fprintf(stderr, "example_keys: %s: %s (status %d)\n", what, vesk_error_message(status), (int)status);
  return 1;
}

/* Creates path (refusing to replace an existing file) and writes len bytes to it. */
static int write_new_file(const char *path, const uint8_t *data, size_t len, mode_t mode) {
  int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) {
    fprintf(stderr, "example_keys: cannot create %s: %s\n", path, strerror(errno));
    return 1;
  }
  size_t done = 0;
  while (done < len) {
    ssize_t n = write(fd, data + done, len - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      fprintf(stderr, "example_keys: cannot write %s: %s\n", path, strerror(errno));
      close(fd);
      return 1;
    }
    done += (size_t)n;
  }
  return close(fd) == 0 ? 0 : 1;
}

int main(int argc, char **argv) {
  if (argc != 1 && argc != 3) {
    fprintf(stderr, "usage: example_keys [KEY_FILE PUBLIC_KEY_FILE]\n");
    return 2;
  }
  int rc = 1;
  VeskStatus s;
  /* Everything the library may hand back starts empty, so one cleanup path can release it all:
   * vesk_buffer_free and the free functions do nothing with empty records and NULL handles. */
  VeskSecretKeyHandle *key = NULL, *opened = NULL;
  VeskBuffer public_key = vesk_buffer_empty(), armor = vesk_buffer_empty();
  VeskBuffer dearmored = vesk_buffer_empty(), key_file = vesk_buffer_empty();
  VeskBuffer reopened_public = vesk_buffer_empty();
  char text[VESK_ARMOR_LEN + 1];
  int32_t is_key_file = 0;

  /* 1. A new keypair: the secret seed stays inside the handle; the public key is a result. */
  s = vesk_keypair_generate(&key, &public_key);
  if (s != VESK_OK) { report("generating a keypair", s); goto done; }

  /* 2. The armor is text for people and mail (VESK_ARMOR_LEN bytes, no terminating NUL). */
  s = vesk_public_key_armor(public_key.data, public_key.len, &armor);
  if (s != VESK_OK) { report("armoring the public key", s); goto done; }
  fwrite(armor.data, 1, armor.len, stdout);

  /* Reading it back needs a C string. */
  memcpy(text, armor.data, armor.len);
  text[armor.len] = '\0';
  s = vesk_public_key_dearmor(text, &dearmored);
  if (s != VESK_OK) { report("reading the armor", s); goto done; }
  if (dearmored.len != public_key.len || memcmp(dearmored.data, public_key.data, public_key.len) != 0) {
    fprintf(stderr, "example_keys: the armor did not give the same key back\n");
    goto done;
  }

  /* 3. The secret key, protected under a passphrase (Argon2id makes this take a moment). */
  s = vesk_secret_key_protect(key, kPassphrase, &key_file);
  if (s != VESK_OK) { report("protecting the secret key", s); goto done; }

  s = vesk_inspect_key(key_file.data, key_file.len, &is_key_file);
  if (s != VESK_OK) { report("inspecting the key file", s); goto done; }
  if (is_key_file != 1) {
    fprintf(stderr, "example_keys: the key file is not recognised as one\n");
    goto done;
  }

  /* 4. Opening it. A wrong passphrase is refused and leaves `opened` as it was. */
  s = vesk_secret_key_open(key_file.data, key_file.len, "not the passphrase", &opened);
  if (s != VESK_WRONG_PASSPHRASE || opened != NULL) {
    fprintf(stderr, "example_keys: a wrong passphrase gave status %d\n", (int)s);
    goto done;
  }
  printf("wrong passphrase refused: %s\n", vesk_error_message(s));
  s = vesk_secret_key_open(key_file.data, key_file.len, kPassphrase, &opened);
  if (s != VESK_OK) { report("opening the key file", s); goto done; }
  s = vesk_secret_key_public(opened, &reopened_public);
  if (s != VESK_OK) { report("recomputing the public key", s); goto done; }
  if (reopened_public.len != public_key.len ||
      memcmp(reopened_public.data, public_key.data, public_key.len) != 0) {
    fprintf(stderr, "example_keys: the key file holds another key\n");
    goto done;
  }
  printf("key file (%zu bytes) opened: same public key (%zu bytes)\n", key_file.len, public_key.len);

  if (argc == 3) {
    if (write_new_file(argv[1], key_file.data, key_file.len, 0600) != 0) goto done;
    if (write_new_file(argv[2], armor.data, armor.len, 0644) != 0) goto done;
    printf("wrote %s and %s\n", argv[1], argv[2]);
  }
  rc = 0;

done:
  vesk_buffer_free(&reopened_public);
  vesk_buffer_free(&key_file);
  vesk_buffer_free(&dearmored);
  vesk_buffer_free(&armor);
  vesk_buffer_free(&public_key);
  vesk_secret_key_free(opened);
  vesk_secret_key_free(key);
  return rc;
}
