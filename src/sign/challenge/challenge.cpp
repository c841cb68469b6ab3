#include "sign/challenge/challenge.h"

#include <algorithm>

#include "core/byte_io.h"
#include "core/check.h"
#include "core/random.h"
#include "core/utf8.h"

namespace vesk::sign {

namespace {

ChallengeError error(ChallengeErrorKind kind) { return ChallengeError{kind}; }

}  // namespace

Expected<Challenge, ChallengeError> decode_challenge(Bytes input) {
  ByteReader r(input);
  Challenge c;
  auto nonce = r.read(kChallengeNonceLen);
  auto purpose_len = r.read_be64();
  if (!nonce || !purpose_len) return unexpected(error(ChallengeErrorKind::Malformed));
  // The declared length must leave exactly the two trailing integers; compared without adding
  // to the (possibly enormous) claimed length.
  if (*purpose_len > r.remaining() || r.remaining() - *purpose_len != 16)
    return unexpected(error(ChallengeErrorKind::Malformed));
  auto purpose = r.read(static_cast<std::size_t>(*purpose_len));
  auto issued_at = r.read_be64();
  auto lifetime = r.read_be64();
  VESK_CHECK(purpose && issued_at && lifetime && r.at_end(), "challenge length arithmetic");
  if (!is_valid_utf8(*purpose)) return unexpected(error(ChallengeErrorKind::Malformed));
  std::copy(nonce->begin(), nonce->end(), c.nonce.begin());
  c.purpose = *purpose;
  c.issued_at = *issued_at;
  c.lifetime = *lifetime;
  return c;
}

std::vector<std::uint8_t> encode_challenge(const Challenge& c) {
  std::vector<std::uint8_t> out(checked_add(kChallengeFixedLen, c.purpose.size()));
  ByteWriter w{MutBytes(out)};
  w.put(c.nonce);
  w.put_framed(c.purpose);
  w.put_be64(c.issued_at);
  w.put_be64(c.lifetime);
  w.finish();
  return out;
}

Expected<std::vector<std::uint8_t>, ChallengeError> new_challenge(std::string_view purpose, std::uint64_t issued_at,
                                                                  std::uint64_t lifetime) {
  Challenge challenge;
  if (!random_fill(challenge.nonce)) return unexpected(error(ChallengeErrorKind::NoNonce));
  challenge.purpose = as_bytes(purpose);
  challenge.issued_at = issued_at;
  challenge.lifetime = lifetime;
  return encode_challenge(challenge);
}

// The decoder accepts exactly one encoding, so the input as given is what is signed.
Expected<Signature, ChallengeError> answer_challenge(const SigningIdentity& identity, Bytes challenge) {
  VESK_TRY_VOID(decode_challenge(challenge));
  return hybrid_sign(identity, as_bytes(kChallengeContext), challenge);
}

Expected<void, ChallengeError> accept_challenge(SpentNonceSet& set, Bytes challenge, Bytes signature,
                                                Bytes verifying_key, std::uint64_t now) {
  VESK_TRY(decoded, decode_challenge(challenge));
  const std::optional<DecodedVerifyingKey> key = decode_verifying_key(verifying_key);
  if (!key) return unexpected(error(ChallengeErrorKind::UndecodableKey));
  const std::uint64_t deadline = deadline_of(decoded);
  // Expiry before the signature: an expired challenge is refused whatever its answer.
  if (now > deadline) return unexpected(error(ChallengeErrorKind::Expired));
  if (!hybrid_verify(*key, as_bytes(kChallengeContext), challenge, signature))
    return unexpected(error(ChallengeErrorKind::Invalid));
  // Only a verified answer may change the set.
  set.purge_expired(now);
  if (set.contains(decoded.nonce)) return unexpected(error(ChallengeErrorKind::Replayed));
  set.append(decoded.nonce, deadline);
  return {};
}

}  // namespace vesk::sign
