// Challenges and spent-nonce sets.
#include "ffi/args.h"
#include "ffi/deliver.h"
#include "ffi/guard.h"
#include "ffi/handles.h"
#include "ffi/results.h"
#include "ffi/spent_nonce_set.h"
#include "ffi/status_sign.h"
#include "sign/challenge/challenge.h"
#include "vesk.h"

using namespace vesk;

extern "C" {

VESK_EXPORT VeskStatus vesk_challenge_new(const char* purpose, uint64_t issued_at, uint64_t lifetime,
                                          VeskBuffer* challenge_out) {
  // No length limit on the purpose here: a challenge too long to answer is the caller's to avoid.
  if (!ffi::present(challenge_out) || !ffi::text_ok(purpose)) return VESK_INVALID_ARGUMENT;
  return ffi::guarded([&]() -> VeskStatus {
    const ffi::TextCopy purpose_copy(purpose);
    if (!purpose_copy.valid()) return VESK_INVALID_ARGUMENT;
    return ffi::deliver(challenge_out, sign::new_challenge(purpose_copy.view(), issued_at, lifetime));
  });
}

VESK_EXPORT VeskStatus vesk_challenge_answer(const VeskSigningIdentityHandle* identity, const uint8_t* challenge,
                                             size_t challenge_len, VeskBuffer* signature_out) {
  if (!ffi::present(identity) || !ffi::present(signature_out) ||
      !ffi::range_ok(challenge, challenge_len, VESK_MAX_CHALLENGE))
    return VESK_INVALID_ARGUMENT;
  return ffi::guarded_with_secrets([&]() -> VeskStatus {
    const ffi::InputCopy challenge_copy(challenge, challenge_len);
    return ffi::deliver(signature_out, sign::answer_challenge(ffi::identity_of(identity), challenge_copy.view()));
  });
}

VESK_EXPORT VeskStatus vesk_challenge_accept(VeskSpentNonceSet* set, const uint8_t* challenge, size_t challenge_len,
                                             const uint8_t* signature, size_t signature_len,
                                             const uint8_t* verifying_key, size_t verifying_key_len, uint64_t now) {
  if (!ffi::present(set) || !ffi::range_ok(challenge, challenge_len, VESK_MAX_CHALLENGE) ||
      !ffi::exact_ok(signature, signature_len, VESK_SIGNATURE_LEN) ||
      !ffi::exact_ok(verifying_key, verifying_key_len, VESK_VERIFYING_KEY_LEN))
    return VESK_INVALID_ARGUMENT;
  return ffi::guarded([&]() -> VeskStatus {
    const ffi::InputCopy challenge_copy(challenge, challenge_len), sig(signature, signature_len),
        key(verifying_key, verifying_key_len);
    auto accepted = sign::accept_challenge(set->set, challenge_copy.view(), sig.view(), key.view(), now);
    if (!accepted) return ffi::status_of(accepted.error());
    return VESK_OK;
  });
}

VESK_EXPORT VeskSpentNonceSet* vesk_spent_nonces_new(void) {
  // Inside the guard like every export. Nothing here can fault, and exhausted memory stops the
  // process, so the set is never NULL.
  VeskSpentNonceSet* set = nullptr;
  ffi::guarded([&] {
    set = new VeskSpentNonceSet{};
    return VESK_OK;
  });
  return set;
}

VESK_EXPORT void vesk_spent_nonces_free(VeskSpentNonceSet* set) { delete set; }

}  // extern "C"
