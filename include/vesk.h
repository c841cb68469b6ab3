/*
 * vesk: hybrid (classical + post-quantum) encryption, signatures, identity logs and
 * transparency proofs behind a plain C interface.
 *
 * Conventions shared by every function below:
 *
 *  - Every function that can fail returns a VeskStatus. 0 (VESK_OK) means success; any other
 *    value leaves every out-parameter exactly as it was. vesk_error_message() gives its text.
 *  - Inputs are borrowed for the duration of the call only.
 *  - A byte range is a pointer followed by a size_t length. A length of 0 is accepted with any
 *    pointer, NULL included, and the pointer is then never read. A NULL pointer with a non-zero
 *    length, or a length over the argument's cap, is VESK_INVALID_ARGUMENT. Arguments documented
 *    as "exactly N bytes" must have that length and a non-NULL pointer.
 *  - Texts are NUL-terminated UTF-8; invalid UTF-8 is VESK_INVALID_ARGUMENT. Texts marked
 *    "optional" may be NULL, meaning absent.
 *  - Results come back in caller-owned VeskBuffer records (usually on the caller's stack). On
 *    success the library fills the record with a fresh allocation that the caller owns and must
 *    release with vesk_buffer_free(); nothing else may free it. A function overwrites the record
 *    it is given without releasing what it held before.
 *  - Handles are opaque. Each is created by its constructor and released exactly once by its free
 *    function; free functions accept NULL. Secret-key and signing-identity handles are only read
 *    by operations and may be shared between threads; a spent-nonce set is modified by
 *    vesk_challenge_accept() and must not be used by two threads at once.
 *  - The library keeps no state between calls and never reads a clock or an environment
 *    variable. Secrets are overwritten with zeros before their memory is released.
 *  - A fault inside the library never crosses this interface: the function returns
 *    VESK_INTERNAL_FAULT after writing one report to standard error. When memory runs out the
 *    library writes "memory allocation of N bytes failed" to standard error and aborts.
 */
#ifndef VESK_H
#define VESK_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define VESK_EXPORT __attribute__((visibility("default")))
#else
#define VESK_EXPORT
#endif

/* ---- Statuses ----------------------------------------------------------------------------- */

typedef int32_t VeskStatus;

enum {
  VESK_OK = 0,                    /* "success" */
  VESK_INVALID_ARGUMENT = 1,      /* "invalid argument" */
  VESK_WRONG_PASSPHRASE = 2,      /* "incorrect passphrase, or the key file was modified" */
  VESK_NOT_KEY_FILE = 3,          /* "not a VESK key file" (also: a verifying key that does not decode) */
  VESK_AUTHENTICATION_FAILED = 4, /* "authentication failed; the data was altered" */
  VESK_NO_MATCHING_RECIPIENT = 5, /* "no matching recipient for this key" */
  VESK_MALFORMED_INPUT = 6,       /* "malformed or corrupt input" */
  VESK_INPUT_TOO_LARGE = 7,       /* "input is too large" */
  VESK_CHALLENGE_EXPIRED = 8,     /* "the challenge expired before it was answered" */
  VESK_CHALLENGE_REPLAYED = 9,    /* "this challenge was already answered" */
  VESK_INTERNAL_FAULT = 98,       /* "internal error (panic)" */
  VESK_INTERNAL_ERROR = 99        /* "internal error" (randomness source failure and the like) */
};

/* ---- Sizes -------------------------------------------------------------------------------- */

#define VESK_PUBLIC_KEY_LEN 1216u         /* recipient public key: ML-KEM-768 key, then X25519 key */
#define VESK_SECRET_SEED_LEN 32u          /* recipient secret seed / identity seed */
#define VESK_ARMOR_LEN 1667u              /* armored public key text, as written */
#define VESK_KEY_FILE_LEN 95u             /* protected key file, as written (version 2) */
#define VESK_VERIFYING_KEY_LEN 1984u      /* Ed25519 public key, then ML-DSA-65 public key */
#define VESK_SIGNATURE_LEN 3373u          /* Ed25519 signature, then ML-DSA-65 signature */
#define VESK_HASH_LEN 32u                 /* SHA-256 digests: Merkle hashes, identity ids, heads */
#define VESK_RECOVERY_BINDING_LEN 5389u
#define VESK_EPOCH_BINDING_LEN 3509u

#define VESK_MAX_KEY_DATA 4096u           /* key files, seeds and verifying keys given as input */
#define VESK_MAX_CONTEXT 4096u            /* caller-chosen signature context */
#define VESK_MAX_CHALLENGE 4096u
#define VESK_MAX_RECIPIENTS 64u
#define VESK_MAX_PLAINTEXT 1073741824u    /* 1 GiB: largest plaintext or signed message */
/* Largest container vesk_decrypt accepts: the largest a VESK_MAX_PLAINTEXT plaintext can produce,
 * 16 (prelude) + 1048576 (largest header block) + 16 (payload salt) + 1073741824 (plaintext)
 * + 16384 chunks x 21 (chunk type, length and tag), so that everything vesk_encrypt writes can be
 * read back. */
#define VESK_MAX_CONTAINER 1075134496u
#define VESK_MAX_LOG 16777216u            /* identity logs and epoch chains: 16 MiB */
#define VESK_MAX_PROOF 2048u              /* Merkle proofs: at most 64 hashes */
#define VESK_MAX_CHECKPOINT 196608u       /* checkpoint text: 192 KiB */

/* ---- Result buffers and handles ----------------------------------------------------------- */

/* A result: data points to len valid bytes inside an allocation of capacity bytes. An empty record
 * has data NULL and len and capacity 0. A result of length 0 has len and capacity 0; its data
 * pointer must not be dereferenced. */
typedef struct VeskBuffer {
  uint8_t *data;
  size_t len;
  size_t capacity;
} VeskBuffer;

/* One recipient secret key (a 32-byte X-Wing seed). */
typedef struct VeskSecretKeyHandle VeskSecretKeyHandle;
/* An opened hybrid signing identity (Ed25519 + ML-DSA-65). */
typedef struct VeskSigningIdentityHandle VeskSigningIdentityHandle;
/* The nonces of accepted challenges, kept by a verifier between calls. */
typedef struct VeskSpentNonceSet VeskSpentNonceSet;

/* ---- Frame -------------------------------------------------------------------------------- */

/* Returns an empty record (data NULL, len 0, capacity 0). */
VESK_EXPORT VeskBuffer vesk_buffer_empty(void);

/* Overwrites the buf->len bytes at buf->data with zeros, releases the allocation and empties the
 * record. Does nothing when buf or buf->data is NULL, so calling it twice is harmless. */
VESK_EXPORT void vesk_buffer_free(VeskBuffer *buf);

/* Static text of a status; "internal error" for every value not listed above. Never free it. */
VESK_EXPORT const char *vesk_error_message(int32_t status);

/* Static version text, "0.9.1". */
VESK_EXPORT const char *vesk_version(void);

/* Raises a fault inside the library's guard and returns what the guard makes of it:
 * VESK_INTERNAL_FAULT, with one report on standard error. Lets a host check that faults never
 * cross the interface. */
VESK_EXPORT VeskStatus vesk_test_panic(void);

/* ---- Recipient keys ----------------------------------------------------------------------- */

/* Generates a recipient keypair from 32 fresh random bytes.
 * secret_out: receives a new handle holding the seed (release with vesk_secret_key_free).
 * public_key_out: receives the VESK_PUBLIC_KEY_LEN-byte public key.
 * Returns VESK_OK; VESK_INVALID_ARGUMENT if either out-parameter is NULL; VESK_INTERNAL_ERROR if
 * the system randomness source fails. */
VESK_EXPORT VeskStatus vesk_keypair_generate(VeskSecretKeyHandle **secret_out,
                                             VeskBuffer *public_key_out);

/* Recomputes the VESK_PUBLIC_KEY_LEN-byte public key of a secret key into public_key_out.
 * Returns VESK_OK; VESK_INVALID_ARGUMENT for a NULL argument; VESK_INTERNAL_ERROR if the key
 * derivation fails (it does not for any seed). */
VESK_EXPORT VeskStatus vesk_secret_key_public(const VeskSecretKeyHandle *secret_key,
                                              VeskBuffer *public_key_out);

/* Armors a public key as text: the label "vesk-public-key:", then the Base64 of the key in lines of
 * at most 64 characters, each preceded by a line feed, then a final line feed (VESK_ARMOR_LEN bytes,
 * no NUL). Any 1216 bytes are armored; the key is not checked otherwise.
 * Returns VESK_OK; VESK_INVALID_ARGUMENT if public_key is not exactly VESK_PUBLIC_KEY_LEN bytes
 * or text_out is NULL. */
VESK_EXPORT VeskStatus vesk_public_key_armor(const uint8_t *public_key, size_t public_key_len,
                                             VeskBuffer *text_out);

/* Reads an armored public key. Line feeds or CR LF, blank and white-space lines, and any line
 * starting with the label are tolerated; the Base64 itself must be strict and canonical.
 * Returns VESK_OK with the VESK_PUBLIC_KEY_LEN bytes in public_key_out; VESK_INVALID_ARGUMENT for
 * a NULL argument, a text that is not UTF-8, or a text that decodes to another length;
 * VESK_MALFORMED_INPUT if the Base64 is not strict. */
VESK_EXPORT VeskStatus vesk_public_key_dearmor(const char *text, VeskBuffer *public_key_out);

/* Tells a protected key file from anything else by its 8-byte magic "VESK-KEY" alone.
 * data: at most VESK_MAX_KEY_DATA bytes. is_key_file_out: receives 1 for a key file, else 0.
 * Returns VESK_OK, or VESK_INVALID_ARGUMENT for the argument rules. */
VESK_EXPORT VeskStatus vesk_inspect_key(const uint8_t *data, size_t data_len,
                                        int32_t *is_key_file_out);

/* Wipes and releases a secret key. NULL is ignored. */
VESK_EXPORT void vesk_secret_key_free(VeskSecretKeyHandle *secret_key);

/* ---- Key files ---------------------------------------------------------------------------- */

/* Writes a VESK_KEY_FILE_LEN-byte key file holding the secret key, encrypted under the
 * passphrase (Argon2id, 19456 KiB, 2 passes, 1 lane; ChaCha20-Poly1305). The passphrase is
 * normalised to NFC and must hold at least 8 Unicode scalar values.
 * Returns VESK_OK; VESK_INVALID_ARGUMENT for a NULL argument, a passphrase that is not UTF-8 or is
 * too short; VESK_MALFORMED_INPUT if the randomness source or the encryption fails. */
VESK_EXPORT VeskStatus vesk_secret_key_protect(const VeskSecretKeyHandle *secret_key,
                                               const char *passphrase, VeskBuffer *key_file_out);

/* Opens a recipient secret key from a key file (of either kind) or from a bare 32-byte identity
 * seed (whose derived encryption key becomes the handle's seed).
 * data: at most VESK_MAX_KEY_DATA bytes. passphrase: optional; required for key files, tried in
 * its NFC form, as given and in its NFD form. key_out: receives a new handle.
 * Returns VESK_OK; VESK_INVALID_ARGUMENT for the argument rules; VESK_WRONG_PASSPHRASE if no
 * passphrase form opens the file, the file was modified, or a key file came without passphrase;
 * VESK_NOT_KEY_FILE for an unsupported key-file version; VESK_MALFORMED_INPUT for data that is
 * neither a well-formed key file nor 32 bytes, or key-derivation parameters out of bounds. */
VESK_EXPORT VeskStatus vesk_secret_key_open(const uint8_t *data, size_t data_len,
                                            const char *passphrase, VeskSecretKeyHandle **key_out);

/* ---- Encrypted containers ----------------------------------------------------------------- */

/* Encrypts data (at most VESK_MAX_PLAINTEXT bytes) once and wraps its content key for every
 * recipient.
 * recipients: recipient_count (1..VESK_MAX_RECIPIENTS) public keys of VESK_PUBLIC_KEY_LEN bytes,
 * back to back. file_name, content_type: optional metadata texts, stored encrypted; a file name
 * must be a plain portable file name, a content type 1..255 printable ASCII bytes.
 * out: receives the container.
 * Returns VESK_OK; VESK_INVALID_ARGUMENT for the argument rules or a recipient key that is not a
 * usable public key; VESK_MALFORMED_INPUT for metadata texts that break their rules;
 * VESK_AUTHENTICATION_FAILED if a cryptographic step or the randomness source fails. */
VESK_EXPORT VeskStatus vesk_encrypt(const uint8_t *data, size_t data_len, const uint8_t *recipients,
                                    size_t recipient_count, const char *file_name,
                                    const char *content_type, VeskBuffer *out);

/* Decrypts a container (at most VESK_MAX_CONTAINER bytes, the largest a 1 GiB plaintext can
 * produce) with one recipient secret key. Everything is authenticated before anything is returned.
 * plaintext_out: receives the plaintext. file_name_out, content_type_out: optional; receive the
 * metadata texts (empty buffers when absent).
 * Returns VESK_OK; VESK_INVALID_ARGUMENT for the argument rules; VESK_NO_MATCHING_RECIPIENT if no
 * recipient entry opens with this key (an altered header also ends here);
 * VESK_AUTHENTICATION_FAILED if the metadata or a chunk was altered; VESK_MALFORMED_INPUT for
 * anything malformed, truncated or extended, or a refused sender signature;
 * VESK_INPUT_TOO_LARGE if the chunk count overflows. */
VESK_EXPORT VeskStatus vesk_decrypt(const uint8_t *data, size_t data_len,
                                    const VeskSecretKeyHandle *secret_key, VeskBuffer *plaintext_out,
                                    VeskBuffer *file_name_out, VeskBuffer *content_type_out);

/* ---- Signing identities ------------------------------------------------------------------- */

/* Opens a signing identity from an identity key file (passphrase required) or a bare 32-byte
 * identity seed (passphrase ignored). data: at most VESK_MAX_KEY_DATA bytes.
 * Returns VESK_OK with a new handle in out; VESK_INVALID_ARGUMENT for the argument rules or a key
 * file without passphrase; VESK_WRONG_PASSPHRASE; VESK_NOT_KEY_FILE for data that is neither a
 * key file nor 32 bytes, an unsupported version, or a key file holding a recipient key;
 * VESK_MALFORMED_INPUT for a malformed key file. */
VESK_EXPORT VeskStatus vesk_signing_identity_open(const uint8_t *data, size_t data_len,
                                                  const char *passphrase,
                                                  VeskSigningIdentityHandle **out);

/* Writes the identity's VESK_VERIFYING_KEY_LEN-byte verifying key into out.
 * Returns VESK_OK, or VESK_INVALID_ARGUMENT for a NULL argument. */
VESK_EXPORT VeskStatus vesk_signing_identity_public(const VeskSigningIdentityHandle *identity,
                                                    VeskBuffer *out);

/* Wipes and releases a signing identity. NULL is ignored. */
VESK_EXPORT void vesk_signing_identity_free(VeskSigningIdentityHandle *identity);

/* ---- Message signatures ------------------------------------------------------------------- */

/* Signs message (at most VESK_MAX_PLAINTEXT bytes) under a caller-chosen context (at most
 * VESK_MAX_CONTEXT bytes, not beginning with the reserved "VESK/"). Deterministic.
 * signature_out: receives VESK_SIGNATURE_LEN bytes.
 * Returns VESK_OK, or VESK_INVALID_ARGUMENT for the argument rules or a reserved context. */
VESK_EXPORT VeskStatus vesk_sign_message(const VeskSigningIdentityHandle *identity,
                                         const uint8_t *context, size_t context_len,
                                         const uint8_t *message, size_t message_len,
                                         VeskBuffer *signature_out);

/* Verifies a hybrid signature; both halves must verify.
 * verifying_key: exactly VESK_VERIFYING_KEY_LEN bytes. signature: exactly VESK_SIGNATURE_LEN.
 * Returns VESK_OK for a valid signature; VESK_INVALID_ARGUMENT for the argument rules;
 * VESK_NOT_KEY_FILE if the key does not decode; VESK_AUTHENTICATION_FAILED otherwise. */
VESK_EXPORT VeskStatus vesk_verify_message(const uint8_t *verifying_key, size_t verifying_key_len,
                                           const uint8_t *context, size_t context_len,
                                           const uint8_t *message, size_t message_len,
                                           const uint8_t *signature, size_t signature_len);

/* ---- Challenges --------------------------------------------------------------------------- */

/* Makes a challenge: a fresh 32-byte nonce, the purpose text, issued_at and lifetime (times in
 * the caller's own unit). challenge_out: receives 56 + strlen(purpose) bytes.
 * Returns VESK_OK; VESK_INVALID_ARGUMENT for the argument rules; VESK_INTERNAL_ERROR if the
 * randomness source fails. */
VESK_EXPORT VeskStatus vesk_challenge_new(const char *purpose, uint64_t issued_at,
                                          uint64_t lifetime, VeskBuffer *challenge_out);

/* Answers a challenge (at most VESK_MAX_CHALLENGE bytes) by signing it; time is not looked at.
 * Returns VESK_OK with VESK_SIGNATURE_LEN bytes in signature_out; VESK_INVALID_ARGUMENT;
 * VESK_MALFORMED_INPUT if the challenge is malformed. */
VESK_EXPORT VeskStatus vesk_challenge_answer(const VeskSigningIdentityHandle *identity,
                                             const uint8_t *challenge, size_t challenge_len,
                                             VeskBuffer *signature_out);

/* Accepts an answer once: checks, in this order, the challenge format, the key, the expiry
 * (now > issued_at + lifetime, saturating, is expired), the signature and replay, and records the
 * nonce in set. signature: exactly VESK_SIGNATURE_LEN bytes; verifying_key: exactly
 * VESK_VERIFYING_KEY_LEN bytes.
 * Returns VESK_OK; VESK_INVALID_ARGUMENT; VESK_MALFORMED_INPUT; VESK_NOT_KEY_FILE (key does not
 * decode); VESK_CHALLENGE_EXPIRED; VESK_AUTHENTICATION_FAILED; VESK_CHALLENGE_REPLAYED. The set
 * changes only on VESK_OK and VESK_CHALLENGE_REPLAYED (expired entries are purged). */
VESK_EXPORT VeskStatus vesk_challenge_accept(VeskSpentNonceSet *set, const uint8_t *challenge,
                                             size_t challenge_len, const uint8_t *signature,
                                             size_t signature_len, const uint8_t *verifying_key,
                                             size_t verifying_key_len, uint64_t now);

/* Creates an empty spent-nonce set. Never returns NULL. */
VESK_EXPORT VeskSpentNonceSet *vesk_spent_nonces_new(void);

/* Releases a spent-nonce set. NULL is ignored. */
VESK_EXPORT void vesk_spent_nonces_free(VeskSpentNonceSet *set);

/* ---- Identities and identity logs --------------------------------------------------------- */

/* Creates a new signing identity and returns it as a VESK_KEY_FILE_LEN-byte key file protected by
 * the passphrase (at least 8 Unicode scalar values after NFC normalisation).
 * Returns VESK_OK; VESK_INVALID_ARGUMENT for the argument rules or a short passphrase;
 * VESK_INTERNAL_ERROR if the randomness source fails; VESK_MALFORMED_INPUT if writing fails. */
VESK_EXPORT VeskStatus vesk_identity_generate(const char *passphrase, VeskBuffer *key_file_out);

/* Verifies an identity log (at most VESK_MAX_LOG bytes) against its recovery key (a verifying key,
 * at most VESK_MAX_KEY_DATA bytes) and writes its head, the VESK_HASH_LEN-byte link of the last
 * entry, into head_out.
 * Returns VESK_OK; VESK_INVALID_ARGUMENT; VESK_NOT_KEY_FILE if the recovery key does not decode;
 * VESK_MALFORMED_INPUT if the log does not decode; VESK_AUTHENTICATION_FAILED if it does not
 * replay. */
VESK_EXPORT VeskStatus vesk_identity_head(const uint8_t *log, size_t log_len,
                                          const uint8_t *recovery_key, size_t recovery_key_len,
                                          VeskBuffer *head_out);

/* As vesk_identity_head, but writes the number of active devices after the last entry. */
VESK_EXPORT VeskStatus vesk_identity_verify(const uint8_t *log, size_t log_len,
                                            const uint8_t *recovery_key, size_t recovery_key_len,
                                            uint64_t *active_devices_out);

/* Verifies a log against a pinned identity id (pin, exactly VESK_HASH_LEN bytes) and the
 * identity's recovery binding (at most VESK_RECOVERY_BINDING_LEN bytes), and writes the number of
 * active devices.
 * Returns VESK_OK; VESK_INVALID_ARGUMENT; VESK_MALFORMED_INPUT if the binding or the log does not
 * decode; VESK_AUTHENTICATION_FAILED for every later failure. */
VESK_EXPORT VeskStatus vesk_identity_verify_pinned(const uint8_t *log, size_t log_len,
                                                   const uint8_t *recovery_binding,
                                                   size_t recovery_binding_len, const uint8_t *pin,
                                                   size_t pin_len, uint64_t *active_devices_out);

/* Tells whether device_key (a verifying key, at most VESK_MAX_KEY_DATA bytes) is active at the end
 * of the log: trusted_out receives 1 or 0.
 * Returns VESK_OK; VESK_INVALID_ARGUMENT; VESK_NOT_KEY_FILE if either key does not decode;
 * VESK_MALFORMED_INPUT; VESK_AUTHENTICATION_FAILED. */
VESK_EXPORT VeskStatus vesk_identity_trusts_device(const uint8_t *log, size_t log_len,
                                                   const uint8_t *recovery_key,
                                                   size_t recovery_key_len,
                                                   const uint8_t *device_key, size_t device_key_len,
                                                   int32_t *trusted_out);

/* ---- Epoch keys --------------------------------------------------------------------------- */

/* Checks an epoch chain (at most VESK_MAX_LOG bytes) and copies the VESK_PUBLIC_KEY_LEN-byte
 * recipient public key of epoch epoch_index into out.
 * Returns VESK_OK; VESK_INVALID_ARGUMENT for the argument rules or an index past the chain;
 * VESK_MALFORMED_INPUT; VESK_AUTHENTICATION_FAILED if the chain does not check. */
VESK_EXPORT VeskStatus vesk_epoch_public_key(const uint8_t *chain, size_t chain_len,
                                             uint64_t epoch_index, VeskBuffer *out);

/* Checks an epoch chain by itself and writes its number of epochs.
 * Returns VESK_OK; VESK_INVALID_ARGUMENT; VESK_MALFORMED_INPUT; VESK_AUTHENTICATION_FAILED. */
VESK_EXPORT VeskStatus vesk_epoch_verify(const uint8_t *chain, size_t chain_len,
                                         uint64_t *epoch_count_out);

/* Checks an epoch chain against a pinned identity: the log and recovery binding as for
 * vesk_identity_verify_pinned, then the epoch binding (at most VESK_EPOCH_BINDING_LEN bytes)
 * signed by a device active at the end of the log. Writes the number of epochs.
 * Returns VESK_OK; VESK_INVALID_ARGUMENT; VESK_MALFORMED_INPUT; VESK_AUTHENTICATION_FAILED. */
VESK_EXPORT VeskStatus vesk_epoch_verify_bound(const uint8_t *log, size_t log_len,
                                               const uint8_t *recovery_binding,
                                               size_t recovery_binding_len, const uint8_t *pin,
                                               size_t pin_len, const uint8_t *chain,
                                               size_t chain_len, const uint8_t *epoch_binding,
                                               size_t epoch_binding_len, uint64_t *epoch_count_out);

/* ---- Transparency ------------------------------------------------------------------------- */

/* Verifies a Merkle inclusion proof (RFC 6962 tree; proof: at most VESK_MAX_PROOF bytes, a
 * multiple of VESK_HASH_LEN) that leaf_hash sits at leaf_index in the tree of tree_size leaves
 * whose root is root. Hash arguments are exactly VESK_HASH_LEN bytes.
 * Returns VESK_OK; VESK_INVALID_ARGUMENT; VESK_AUTHENTICATION_FAILED for every other outcome. */
VESK_EXPORT VeskStatus vesk_transparency_verify_inclusion(const uint8_t *leaf_hash,
                                                          size_t leaf_hash_len, uint64_t leaf_index,
                                                          uint64_t tree_size, const uint8_t *proof,
                                                          size_t proof_len, const uint8_t *root,
                                                          size_t root_len);

/* Verifies a Merkle consistency proof that the tree of old_size leaves (root old_root) is a prefix
 * of the tree of new_size leaves (root new_root).
 * Returns VESK_OK; VESK_INVALID_ARGUMENT; VESK_AUTHENTICATION_FAILED for every other outcome. */
VESK_EXPORT VeskStatus vesk_transparency_verify_consistency(uint64_t old_size, uint64_t new_size,
                                                            const uint8_t *proof, size_t proof_len,
                                                            const uint8_t *old_root,
                                                            size_t old_root_len,
                                                            const uint8_t *new_root,
                                                            size_t new_root_len);

/* Verifies a signed checkpoint text (at most VESK_MAX_CHECKPOINT bytes) of the log named origin
 * under the log's verifying key, and returns its tree size and 32-byte root hash.
 * Returns VESK_OK; VESK_INVALID_ARGUMENT; VESK_NOT_KEY_FILE if the key does not decode;
 * VESK_MALFORMED_INPUT for a malformed or non-canonical text; VESK_AUTHENTICATION_FAILED for
 * another origin or no valid signature by the log's key. */
VESK_EXPORT VeskStatus vesk_checkpoint_verify(const uint8_t *checkpoint, size_t checkpoint_len,
                                              const char *origin, const uint8_t *verifying_key,
                                              size_t verifying_key_len, uint64_t *tree_size_out,
                                              VeskBuffer *root_out);

#ifdef __cplusplus
}
#endif

#endif /* VESK_H */
