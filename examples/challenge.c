/* Challenges: a verifier issues a challenge, the holder of a signing identity answers it, and the
 * verifier accepts the answer once. A second use of the same answer is refused as a replay, and an
 * answer that arrives after the challenge's lifetime as expired.
 *
 *   example_challenge
 *
 * The library never reads a clock: times are whatever unit the caller chooses (seconds here). */
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "vesk.h"

static int report(const char *what, VeskStatus status) {
  fprintf(stderr, "example_challenge: %s: %s (status %d)\n", what, vesk_error_message(status), (int)status);
  return 1;
}

/* What the verifier does with an answer that arrives at `now`. */
static VeskStatus accept_answer(VeskSpentNonceSet *spent, const VeskBuffer *challenge, const VeskBuffer *answer,
                                const VeskBuffer *verifying_key, uint64_t now) {
  return vesk_challenge_accept(spent, challenge->data, challenge->len, answer->data, answer->len,
                               verifying_key->data, verifying_key->len, now);
}

int main(void) {
  /* Demo only: a real passphrase comes from the user. */
  static const char passphrase[] = "correct horse battery staple";
  const uint64_t now = (uint64_t)time(NULL);
  const uint64_t lifetime = 120;
  int rc = 1;
  VeskStatus s;
  VeskBuffer key_file = vesk_buffer_empty(), verifying_key = vesk_buffer_empty();
  VeskBuffer challenge = vesk_buffer_empty(), answer = vesk_buffer_empty();
  VeskBuffer late_challenge = vesk_buffer_empty(), late_answer = vesk_buffer_empty();
  VeskSigningIdentityHandle *prover = NULL;
  /* The verifier keeps this set between calls; it remembers accepted nonces until they expire.
   * Only one thread at a time may use it. */
  VeskSpentNonceSet *spent = vesk_spent_nonces_new();

  /* The prover: a new identity (in a protected key file), opened for signing. The verifier knows
   * its verifying key from an earlier enrolment. */
  s = vesk_identity_generate(passphrase, &key_file);
  if (s != VESK_OK) { report("creating an identity", s); goto done; }
  s = vesk_signing_identity_open(key_file.data, key_file.len, passphrase, &prover);
  if (s != VESK_OK) { report("opening the identity", s); goto done; }
  s = vesk_signing_identity_public(prover, &verifying_key);
  if (s != VESK_OK) { report("reading the verifying key", s); goto done; }

  /* Verifier: a fresh random nonce, the purpose, the issue time and the lifetime. */
  s = vesk_challenge_new("sign in to example.org", now, lifetime, &challenge);
  if (s != VESK_OK) { report("making a challenge", s); goto done; }

  /* Prover: signs the challenge bytes as they came; it looks at no clock either. */
  s = vesk_challenge_answer(prover, challenge.data, challenge.len, &answer);
  if (s != VESK_OK) { report("answering", s); goto done; }

  /* Verifier: accepts the answer once ... */
  s = accept_answer(spent, &challenge, &answer, &verifying_key, now + 5);
  if (s != VESK_OK) { report("accepting the answer", s); goto done; }
  printf("answer accepted\n");

  /* ... and never twice. */
  s = accept_answer(spent, &challenge, &answer, &verifying_key, now + 6);
  if (s != VESK_CHALLENGE_REPLAYED) { report("accepting the same answer again", s); goto done; }
  printf("replay refused: %s\n", vesk_error_message(s));

  /* An answer after issued_at + lifetime is refused, however valid its signature. */
  s = vesk_challenge_new("sign in to example.org", now, lifetime, &late_challenge);
  if (s != VESK_OK) { report("making a challenge", s); goto done; }
  s = vesk_challenge_answer(prover, late_challenge.data, late_challenge.len, &late_answer);
  if (s != VESK_OK) { report("answering", s); goto done; }
  s = accept_answer(spent, &late_challenge, &late_answer, &verifying_key, now + lifetime + 1);
  if (s != VESK_CHALLENGE_EXPIRED) { report("accepting a late answer", s); goto done; }
  printf("late answer refused: %s\n", vesk_error_message(s));
  rc = 0;

done:
  vesk_buffer_free(&late_answer);
  vesk_buffer_free(&late_challenge);
  vesk_buffer_free(&answer);
  vesk_buffer_free(&challenge);
  vesk_buffer_free(&verifying_key);
  vesk_buffer_free(&key_file);
  vesk_signing_identity_free(prover);
  vesk_spent_nonces_free(spent);
  return rc;
}
