// Challenges and spent-nonce sets.
#include "core/random.h"
#include "ffi/args.h"
#include "ffi/guard.h"
#include "ffi/random_sourced.h"
#include "ffi/results.h"
#include "ffi/handles.h"
#include "ffi/spent_nonce_set.h"
#include "ffi/status_sign.h"
#include "sign/challenge/challenge.h"
#include "vesk.h"

using namespace vesk;

namespace vesk::ffi {

VeskStatus challenge_new_from(RandomFill fill, const char* purpose, std::uint64_t issued_at, std::uint64_t lifetime,
                              VeskBuffer* challenge_out) {
  if (challenge_out == nullptr) return VESK_INVALID_ARGUMENT;
  // No length limit on the purpose here: a challenge too long to answer is the caller's to avoid.
  const auto text = text_arg(purpose);
  if (!text) return VESK_INVALID_ARGUMENT;
  return guarded([&]() -> Status {
    const TextCopy purpose_copy(purpose);
    if (!purpose_copy.valid()) return Status::InvalidArgument;
    sign::Challenge challenge;
    if (!fill(challenge.nonce)) return Status::InternalError;
    challenge.purpose = as_bytes(purpose_copy.view());
    challenge.issued_at = issued_at;
    challenge.lifetime = lifetime;
    put_bytes(challenge_out, sign::encode_challenge(challenge));
    return Status::Ok;
  });
}

}  // namespace vesk::ffi

extern "C" {

VESK_EXPORT VeskStatus vesk_challenge_new(const char* purpose, uint64_t issued_at, uint64_t lifetime,
                                          VeskBuffer* challenge_out) {
  return ffi::challenge_new_from(&random_fill, purpose, issued_at, lifetime, challenge_out);
}

VESK_EXPORT VeskStatus vesk_challenge_answer(const VeskSigningIdentityHandle* identity, const uint8_t* challenge,
                                             size_t challenge_len, VeskBuffer* signature_out) {
  if (identity == nullptr || signature_out == nullptr) return VESK_INVALID_ARGUMENT;
  if (!ffi::range_ok(challenge, challenge_len, VESK_MAX_CHALLENGE)) return VESK_INVALID_ARGUMENT;
  return ffi::guarded_with_secrets([&]() -> ffi::Status {
    const ffi::InputCopy challenge_copy(challenge, challenge_len);
    auto signature = sign::answer_challenge(ffi::identity_of(identity), challenge_copy.view());
    if (!signature) return ffi::status_of(signature.error());
    ffi::put_bytes(signature_out, *signature);
    return ffi::Status::Ok;
  });
}

VESK_EXPORT VeskStatus vesk_challenge_accept(VeskSpentNonceSet* set, const uint8_t* challenge, size_t challenge_len,
                                             const uint8_t* signature, size_t signature_len,
                                             const uint8_t* verifying_key, size_t verifying_key_len, uint64_t now) {
  if (set == nullptr) return VESK_INVALID_ARGUMENT;
  if (!ffi::range_ok(challenge, challenge_len, VESK_MAX_CHALLENGE)) return VESK_INVALID_ARGUMENT;
  if (!ffi::exact_ok(signature, signature_len, sign::kSignatureLen)) return VESK_INVALID_ARGUMENT;
  if (!ffi::exact_ok(verifying_key, verifying_key_len, sign::kVerifyingKeyLen)) return VESK_INVALID_ARGUMENT;
  return ffi::guarded([&]() -> ffi::Status {
    const ffi::InputCopy challenge_copy(challenge, challenge_len), sig(signature, signature_len),
        key(verifying_key, verifying_key_len);
    auto accepted = sign::accept_challenge(set->set, challenge_copy.view(), sig.view(), key.view(), now);
    if (!accepted) return ffi::status_of(accepted.error());
    return ffi::Status::Ok;
  });
}

// No guard: nothing here can fault, and exhausted memory stops the process instead of returning
// NULL.
VESK_EXPORT VeskSpentNonceSet* vesk_spent_nonces_new(void) {
  // Inside the guard like every export. Nothing here can fault, and exhausted memory stops the
  // process, so the set is never NULL.
  VeskSpentNonceSet* set = nullptr;
  ffi::guarded([&] {
    set = new VeskSpentNonceSet{};
    return ffi::Status::Ok;
  });
  return set;
}

VESK_EXPORT void vesk_spent_nonces_free(VeskSpentNonceSet* set) { delete set; }

}  // extern "C"
