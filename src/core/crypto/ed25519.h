// Ed25519 (RFC 8032): a signing key from the 32-byte secret key, plain signing, and strict
// verification. libcrypto checks S < l and the cofactorless equation (R compared byte for byte);
// it accepts small-order R and A and non-canonical encodings of A, so the point decoding and the
// small-order checks around it are ours.
#pragma once

#include <array>
#include <optional>

#include "core/bytes.h"
#include "core/crypto/evp.h"

namespace vesk::crypto {

inline constexpr std::size_t kEd25519SecretLen = 32;
inline constexpr std::size_t kEd25519PublicLen = 32;
inline constexpr std::size_t kEd25519SignatureLen = 64;

using Ed25519Public = std::array<std::uint8_t, kEd25519PublicLen>;

// A key pair from its 32-byte secret key. libcrypto holds the secret and clears it on release.
// Only read after it is made, so it may sign from several threads at once.
class Ed25519SigningKey {
 public:
  static Ed25519SigningKey from_secret(Bytes secret32);
  const Ed25519Public& public_key() const { return public_; }
  // Plain Ed25519 (no pre-hash, no context) into 64 bytes; false when libcrypto reports an error.
  [[nodiscard]] bool sign(Bytes message, MutBytes out64) const;

 private:
  Ed25519SigningKey(PkeyPtr key, const Ed25519Public& pub) : key_(std::move(key)), public_(pub) {}
  PkeyPtr key_;
  Ed25519Public public_;
};

// What the RFC 8032 decoding of a point encoding tells: the encoding is canonical (y < p), x can
// be recovered (a square root exists), and x = 0 does not come with the sign bit set. The point
// has small order when [8]P is the neutral element.
struct Ed25519Point {
  bool small_order;
};
std::optional<Ed25519Point> ed25519_decode_point(Bytes encoding32);

// A public key that decodes to a curve point. Small-order keys decode but verify nothing.
class Ed25519VerifyingKey {
 public:
  // nullopt when the 32 bytes are not the encoding of a point.
  static std::optional<Ed25519VerifyingKey> decode(Bytes encoding32);
  const Ed25519Public& encoding() const { return encoding_; }
  bool small_order() const { return small_order_; }
  // Strict verification: A not of small order, R not of small order, S < l, and the encoding of
  // [S]B - [k]A equals R as it stands (no cofactor; so R also decodes).
  bool verify_strict(Bytes message, Bytes signature) const;

 private:
  Ed25519VerifyingKey(PkeyPtr key, const Ed25519Public& encoding, bool small_order)
      : key_(std::move(key)), encoding_(encoding), small_order_(small_order) {}
  PkeyPtr key_;
  Ed25519Public encoding_;
  bool small_order_;
};

}  // namespace vesk::crypto
