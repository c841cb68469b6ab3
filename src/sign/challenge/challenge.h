// Challenges: a verifier's fresh nonce, purpose and validity window, signed by a prover and
// accepted by the verifier at most once.
//
// Encoding (56 + L bytes, integers big-endian):
//   nonce (32) | L (8) | purpose (L, UTF-8) | issued_at (8) | lifetime (8)
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/bytes.h"
#include "core/expected.h"
#include "sign/challenge/spent_nonces.h"
#include "sign/hybrid.h"

namespace vesk::sign {

inline constexpr std::string_view kChallengeContext = "VESK/0.5 challenge";
inline constexpr std::size_t kChallengeFixedLen = 56;  // everything but the purpose

// A decoded or about-to-be-encoded challenge. `purpose` is borrowed: it points into the bytes the
// challenge was decoded from, or into the caller's text.
struct Challenge {
  Nonce nonce{};
  Bytes purpose;
  std::uint64_t issued_at = 0;
  std::uint64_t lifetime = 0;
};

// issued_at + lifetime, saturating at 2^64 - 1: a challenge whose sum overflows never expires.
inline std::uint64_t challenge_deadline(std::uint64_t issued_at, std::uint64_t lifetime) {
  std::uint64_t sum;
  return __builtin_add_overflow(issued_at, lifetime, &sum) ? UINT64_MAX : sum;
}
inline std::uint64_t deadline_of(const Challenge& c) { return challenge_deadline(c.issued_at, c.lifetime); }

enum class ChallengeErrorKind {
  NoNonce,         // new: the randomness source gave no nonce
  Malformed,       // the bytes are not exactly one well-formed challenge
  UndecodableKey,  // the verifying key's Ed25519 part is not a point
  Expired,         // now is past the deadline
  Invalid,         // the answer does not verify
  Replayed,        // the nonce was accepted before and has not expired since
};

struct ChallengeError {
  ChallengeErrorKind kind;
};

// Strict: the input must be exactly one encoding, with a UTF-8 purpose. Any purpose length that
// fits is accepted (the interface caps the input, not this).
Expected<Challenge, ChallengeError> decode_challenge(Bytes input);

// The 56 + L bytes of the encoding.
std::vector<std::uint8_t> encode_challenge(const Challenge& challenge);

// A new challenge with a fresh nonce (NoNonce when the source fails), encoded. The purpose is
// UTF-8 of any length: a challenge too long to answer is the caller's to avoid.
Expected<std::vector<std::uint8_t>, ChallengeError> new_challenge(std::string_view purpose, std::uint64_t issued_at,
                                                                  std::uint64_t lifetime);

// Signs the challenge as given under "VESK/0.5 challenge" once it decodes (the decoder accepts
// exactly one encoding, so that is the encoding). Time plays no part.
Expected<Signature, ChallengeError> answer_challenge(const SigningIdentity& identity, Bytes challenge);

// Accepts an answer once. Checks in order: format, key, expiry, signature; only then the set is
// touched: expired entries are purged, a nonce still present is a replay (the purge stays), and
// otherwise the nonce is recorded. On every earlier failure the set is unchanged.
Expected<void, ChallengeError> accept_challenge(SpentNonceSet& set, Bytes challenge, Bytes signature,
                                                Bytes verifying_key, std::uint64_t now);

}  // namespace vesk::sign
