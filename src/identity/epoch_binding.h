// The epoch binding: a fixed 3509-byte record, signed by an active device, that ties an epoch
// chain to a point of an identity log.
#pragma once

#include <array>
#include <cstdint>

#include "identity/epoch_chain.h"
#include "identity/replay.h"
#include "sign/hybrid.h"

namespace vesk::identity {

inline constexpr std::size_t kEpochBindingSignedLen = 3 * crypto::kDigest32Len + 8 + crypto::kDigest32Len;                 // 136
inline constexpr std::size_t kEpochBindingLen = kEpochBindingSignedLen + sign::kSignatureLen;      // 3509
inline constexpr std::string_view kEpochBindingContext = "VESK/1.0 epoch binding";

struct EpochBinding {
  crypto::Digest32 identity{};
  crypto::Digest32 log_link{};
  crypto::Digest32 chain_head{};
  std::uint64_t epoch_count = 0;
  DeviceId signer{};
  sign::Signature signature{};
};

// Exactly 3509 bytes; Malformed (stage Decoding) otherwise.
IdentityResult<EpochBinding> decode_epoch_binding(Bytes input);

// The signed bytes: every field before the signature, in layout order.
std::array<std::uint8_t, kEpochBindingSignedLen> epoch_binding_message(const EpochBinding& binding);

// Checks a decoded chain and binding against a pinned, replayed log. Failures carry
// ErrorStage::Checking.
IdentityResult<void> check_epoch_binding(const PinnedVerification& identity, const EpochChain& chain,
                                         const EpochBinding& binding);

}  // namespace vesk::identity
