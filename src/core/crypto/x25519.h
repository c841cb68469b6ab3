// X25519 (RFC 7748).
#pragma once

#include <array>
#include <optional>

#include "core/bytes.h"
#include "core/secret.h"

namespace vesk::crypto {

using X25519Public = std::array<std::uint8_t, 32>;

// The public key of a 32-byte secret.
X25519Public x25519_public(Bytes secret);
// The shared secret X25519(secret, peer); nullopt when libcrypto refuses the peer value (an
// all-zero result).
std::optional<SecretArray<32>> x25519(Bytes secret, Bytes peer_public);

}  // namespace vesk::crypto
