// The recovery binding: a fixed 5389-byte record in which the founding device names the key that
// may sign Recover entries.
#pragma once

#include <array>
#include <cstdint>

#include "identity/log.h"
#include "sign/hybrid.h"

namespace vesk::identity {

// What the founder signs: the identity id and the recovery key.
inline constexpr std::size_t kRecoveryBindingSignedLen = crypto::kDigest32Len + sign::kVerifyingKeyLen;
inline constexpr std::size_t kRecoveryBindingLen = kRecoveryBindingSignedLen + sign::kSignatureLen;  // 5389
inline constexpr std::string_view kRecoveryBindingContext = "VESK/1.0 recovery binding";

struct RecoveryBinding {
  crypto::Digest32 identity{};
  sign::DecodedVerifyingKey recovery_key;
  sign::Signature signature{};
};

// Exactly 5389 bytes whose recovery key decodes; Malformed (stage Decoding) otherwise.
IdentityResult<RecoveryBinding> decode_recovery_binding(Bytes input);

// The signed bytes: the identity id followed by the recovery key's encoding.
std::array<std::uint8_t, kRecoveryBindingSignedLen> recovery_binding_message(const crypto::Digest32& identity,
                                                                                     const sign::VerifyingKeyBytes& key);

}  // namespace vesk::identity
