// Challenge decoding on arbitrary bytes, and for whatever decodes, the whole answer-and-accept
// cycle with one fixed identity. Input: 8 bytes of big-endian `now`, then the challenge bytes.
#include <cstddef>
#include <cstdint>

#include "core/bytes.h"
#include "sign/challenge/challenge.h"
#include "sign/hybrid.h"

using namespace vesk;
using namespace vesk::sign;

namespace {

void require(bool condition) {
  if (!condition) __builtin_trap();
}

const SigningIdentity& fixed_identity() {
  static const auto identity = [] {
    std::uint8_t seed[32];
    for (int i = 0; i < 32; ++i) seed[i] = static_cast<std::uint8_t>(0xC0 + i);
    return SigningIdentity::from_seed(seed);
  }();
  return *identity;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  const std::uint64_t now = load_be64(data);
  const Bytes input(data + 8, size - 8);
  const SigningIdentity& identity = fixed_identity();
  const Bytes key = identity.verifying_key();
  SpentNonceSet set;

  auto decoded = decode_challenge(input);
  if (!decoded) {
    // Malformed bytes are refused before anything else is looked at, and change nothing.
    Signature zero{};
    require(!answer_challenge(identity, input).has_value());
    auto accepted = accept_challenge(set, input, zero, key, now);
    require(!accepted && accepted.error().kind == ChallengeErrorKind::Malformed && set.entries().empty());
    return 0;
  }
  // Strict decoding: what decodes re-encodes to the same bytes.
  const std::vector<std::uint8_t> again = encode_challenge(*decoded);
  require(equal_bytes(again, input));
  require(input.size() == kChallengeFixedLen + decoded->purpose.size());

  auto answer = answer_challenge(identity, input);
  require(answer.has_value());
  const bool expired = now > deadline_of(*decoded);

  // A damaged answer never changes the set.
  Signature damaged = *answer;
  damaged[size % damaged.size()] ^= 0x01;
  auto refused = accept_challenge(set, input, damaged, key, now);
  require(!refused && refused.error().kind == (expired ? ChallengeErrorKind::Expired : ChallengeErrorKind::Invalid));
  require(set.entries().empty());

  auto first = accept_challenge(set, input, *answer, key, now);
  auto second = accept_challenge(set, input, *answer, key, now);
  if (expired) {
    require(!first && first.error().kind == ChallengeErrorKind::Expired);
    require(!second && second.error().kind == ChallengeErrorKind::Expired);
    require(set.entries().empty());
  } else {
    require(first.has_value());
    require(!second && second.error().kind == ChallengeErrorKind::Replayed);
    require(set.entries().size() == 1 && set.entries()[0].nonce == decoded->nonce &&
            set.entries()[0].deadline == deadline_of(*decoded));
  }
  return 0;
}
