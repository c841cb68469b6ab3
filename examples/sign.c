/* Signing identities and message signatures: open an identity from a 32-byte identity seed file or
 * a protected identity key file, sign a message under a context of your own, verify it.
 *
 *   example_sign IDENTITY_FILE [PASSPHRASE_FILE]     sign and verify (key files need the passphrase)
 *   example_sign --new KEY_FILE PASSPHRASE_FILE      create a new identity key file (mode 0600)
 *
 * A passphrase file holds the passphrase on its first line. */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "vesk.h"

static int report(const char *what, VeskStatus status) {
  fprintf(stderr, "example_sign: %s: %s (status %d)\n", what, vesk_error_message(status), (int)status);
  return 1;
}

/* Overwrites secrets in the program's own memory; the library wipes its own. */
static void wipe(void *p, size_t n) {
  volatile unsigned char *v = p;
  while (n--) *v++ = 0;
}

/* Reads a whole file of at most cap bytes into buf. */
static int read_small_file(const char *path, uint8_t *buf, size_t cap, size_t *len) {
  FILE *f = fopen(path, "rb");
  if (f == NULL) {
    fprintf(stderr, "example_sign: cannot read %s: %s\n", path, strerror(errno));
    return 1;
  }
  *len = fread(buf, 1, cap, f);
  int too_big = *len == cap && fgetc(f) != EOF;
  int failed = ferror(f);
  fclose(f);
  if (failed || too_big) {
    fprintf(stderr, "example_sign: %s: %s\n", path, failed ? "read error" : "too large");
    return 1;
  }
  return 0;
}

/* The first line of a passphrase file, as a C string. */
static int read_passphrase(const char *path, char *out, size_t cap) {
  size_t len = 0;
  if (read_small_file(path, (uint8_t *)out, cap - 1, &len) != 0) return 1;
  out[len] = '\0';
  out[strcspn(out, "\r\n")] = '\0';
  return 0;
}

static int write_new_file(const char *path, const uint8_t *data, size_t len, mode_t mode) {
  int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) {
    fprintf(stderr, "example_sign: cannot create %s: %s\n", path, strerror(errno));
    return 1;
  }
  ssize_t n = write(fd, data, len);
  if (close(fd) != 0 || n != (ssize_t)len) {
    fprintf(stderr, "example_sign: cannot write %s\n", path);
    return 1;
  }
  return 0;
}

/* vesk_identity_generate hands the new identity back only inside a protected key file. */
static int new_identity(const char *key_path, const char *passphrase_path) {
  char passphrase[1024];
  if (read_passphrase(passphrase_path, passphrase, sizeof passphrase) != 0) return 1;
  VeskBuffer key_file = vesk_buffer_empty();
  VeskStatus s = vesk_identity_generate(passphrase, &key_file);
  wipe(passphrase, sizeof passphrase);
  if (s != VESK_OK) return report("creating an identity (passphrases need 8 characters)", s);
  int rc = write_new_file(key_path, key_file.data, key_file.len, 0600);
  if (rc == 0) printf("wrote the identity key file %s (%zu bytes)\n", key_path, key_file.len);
  vesk_buffer_free(&key_file);
  return rc;
}

static int sign_and_verify(const VeskSigningIdentityHandle *identity) {
  /* Contexts keep a signature for one purpose from being taken for another; "VESK/..." is
   * reserved for the library's own. */
  static const char context[] = "example.org notes v1";
  static const char message[] = "We meet at noon.";
  static const char altered[] = "We meet at noom.";
  int rc = 1;
  VeskBuffer verifying_key = vesk_buffer_empty(), signature = vesk_buffer_empty();
  VeskBuffer refused = vesk_buffer_empty();

  /* The verifying key (VESK_VERIFYING_KEY_LEN bytes) is what others keep to check signatures. */
  VeskStatus s = vesk_signing_identity_public(identity, &verifying_key);
  if (s != VESK_OK) { report("reading the verifying key", s); goto done; }

  s = vesk_sign_message(identity, (const uint8_t *)context, strlen(context), (const uint8_t *)message,
                        strlen(message), &signature);
  if (s != VESK_OK) { report("signing", s); goto done; }
  printf("signed %zu bytes: a %zu-byte signature\n", strlen(message), signature.len);

  s = vesk_verify_message(verifying_key.data, verifying_key.len, (const uint8_t *)context, strlen(context),
                          (const uint8_t *)message, strlen(message), signature.data, signature.len);
  if (s != VESK_OK) { report("verifying", s); goto done; }
  printf("signature verified\n");

  /* Another message, or the same one under another context, does not verify. */
  s = vesk_verify_message(verifying_key.data, verifying_key.len, (const uint8_t *)context, strlen(context),
                          (const uint8_t *)altered, strlen(altered), signature.data, signature.len);
  if (s != VESK_AUTHENTICATION_FAILED) { report("verifying an altered message", s); goto done; }
  printf("altered message refused: %s\n", vesk_error_message(s));

  s = vesk_sign_message(identity, (const uint8_t *)"VESK/mine", 9, NULL, 0, &refused);
  if (s != VESK_INVALID_ARGUMENT || refused.data != NULL) { report("signing under a reserved context", s); goto done; }
  rc = 0;

done:
  vesk_buffer_free(&refused);
  vesk_buffer_free(&signature);
  vesk_buffer_free(&verifying_key);
  return rc;
}

int main(int argc, char **argv) {
  if (argc == 4 && strcmp(argv[1], "--new") == 0) return new_identity(argv[2], argv[3]);
  if (argc != 2 && argc != 3) {
    fprintf(stderr, "usage: example_sign IDENTITY_FILE [PASSPHRASE_FILE]\n"
                    "       example_sign --new KEY_FILE PASSPHRASE_FILE\n");
    return 2;
  }

  /* A key file is told apart by its magic; a bare seed is exactly 32 bytes and opens as it is. */
  uint8_t data[VESK_MAX_KEY_DATA];
  size_t len = 0;
  if (read_small_file(argv[1], data, sizeof data, &len) != 0) return 1;
  int32_t is_key_file = 0;
  VeskStatus s = vesk_inspect_key(data, len, &is_key_file);
  if (s != VESK_OK) return report("inspecting the identity file", s);
  char passphrase[1024] = "";
  if (is_key_file && argc != 3) {
    fprintf(stderr, "example_sign: %s is a key file: give its PASSPHRASE_FILE\n", argv[1]);
    wipe(data, sizeof data);
    return 2;
  }
  if (is_key_file && read_passphrase(argv[2], passphrase, sizeof passphrase) != 0) {
    wipe(data, sizeof data);
    return 1;
  }

  VeskSigningIdentityHandle *identity = NULL;
  s = vesk_signing_identity_open(data, len, is_key_file ? passphrase : NULL, &identity);
  wipe(passphrase, sizeof passphrase);
  wipe(data, sizeof data);
  if (s != VESK_OK) return report("opening the identity", s);

  int rc = sign_and_verify(identity);
  /* The handle holds the identity's secret keys; freeing it wipes them. */
  vesk_signing_identity_free(identity);
  return rc;
}
