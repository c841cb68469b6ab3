// X25519 (RFC 7748).
#pragma once

#include <array>
#include <optional>

#include "core/bytes.h"
#include "core/crypto/evp.h"
#include "core/secret.h"

namespace vesk::crypto {

using X25519Public = std::array<std::uint8_t, 32>;

// The public key of a 32-byte secret.
X25519Public x25519_public(Bytes secret);
// The shared secret X25519(secret, peer); nullopt when libcrypto refuses the peer value (an
// all-zero result).
std::optional<Key32> x25519(Bytes secret, Bytes peer_public);

// A secret imported into libcrypto once, for any number of exchanges: importing computes the
// public key, which is then not recomputed per exchange. libcrypto clears the secret when the key
// is released.
class X25519Key {
 public:
  static X25519Key from_secret(Bytes secret);
  const X25519Public& public_key() const { return public_; }
  // X25519(secret, peer); nullopt when libcrypto refuses the peer value (an all-zero result).
  std::optional<Key32> exchange(Bytes peer_public) const;

 private:
  X25519Key(PkeyPtr key, const X25519Public& pub) : key_(std::move(key)), public_(pub) {}
  PkeyPtr key_;
  X25519Public public_;
};

}  // namespace vesk::crypto
