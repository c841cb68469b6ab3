// The X-Wing KEM: ML-KEM-768 and X25519 combined, with a 32-byte seed as the private key.
#pragma once

#include <array>
#include <optional>

#include "core/bytes.h"
#include "core/crypto/evp.h"
#include "core/crypto/mlkem.h"
#include "core/crypto/x25519.h"
#include "core/secret.h"

namespace vesk::crypto {

inline constexpr std::size_t kXWingSeedLen = 32;
inline constexpr std::size_t kXWingPublicLen = 1216;  // ML-KEM-768 key, then X25519 key
inline constexpr std::size_t kXWingCiphertextLen = 1120;  // ML-KEM-768 ciphertext, then X25519 key
inline constexpr std::size_t kXWingEncapsSeedLen = 64;
inline constexpr std::size_t kXWingSharedLen = 32;

using XWingPublicKey = std::array<std::uint8_t, kXWingPublicLen>;
// A recipient's secret seed; the length is in the type, so nothing below checks it again.
using XWingSeed = std::span<const std::uint8_t, kXWingSeedLen>;
using XWingCiphertext = std::array<std::uint8_t, kXWingCiphertextLen>;

// The decapsulation key expanded from a seed: the ML-KEM key, the X25519 secret and public key.
class XWingSecretKey {
 public:
  static XWingSecretKey from_seed(XWingSeed seed);
  // As from_seed, but nullopt when libcrypto reports the ML-KEM key generation as failed.
  static std::optional<XWingSecretKey> try_from_seed(XWingSeed seed);
  const XWingPublicKey& public_key() const { return public_key_; }
  std::optional<Key32> decapsulate(Bytes ciphertext) const;

 private:
  XWingSecretKey(MlKemKey mlkem, X25519Key x_key) : mlkem_(std::move(mlkem)), x_key_(std::move(x_key)) {}
  MlKemKey mlkem_;
  X25519Key x_key_;
  XWingPublicKey public_key_{};
};

// A recipient public key that passed the checks for use: the ML-KEM part imports with its
// modulus check and the X25519 part is not degenerate.
class XWingRecipient {
 public:
  static std::optional<XWingRecipient> validate(Bytes public_key);
  // Encapsulates with the 64-byte seed (ML-KEM randomness, then the X25519 ephemeral secret).
  std::optional<std::pair<XWingCiphertext, Key32>> encapsulate(Bytes eseed64) const;
  Bytes x25519_public() const { return {public_key_.data() + kMlKemPublicLen, 32}; }

 private:
  XWingRecipient(PkeyPtr mlkem, Bytes public_key);
  PkeyPtr mlkem_;
  XWingPublicKey public_key_{};
};

// True when the 32 bytes, read as a little-endian X25519 public key, are one of the refused
// values: top bit set, not below 2^255 - 19, 0, 1, p - 1, or a point of order 8.
bool x25519_public_is_degenerate(Bytes key32);

}  // namespace vesk::crypto
