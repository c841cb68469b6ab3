// The hybrid signature of the library: Ed25519 and ML-DSA-65 over the same signing input
// BE64(len(context)) || context || message; valid only when both halves verify.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "core/bytes.h"
#include "core/crypto/ed25519.h"
#include "core/crypto/mldsa.h"
#include "core/secret.h"

namespace vesk::sign {

inline constexpr std::size_t kVerifyingKeyLen = crypto::kEd25519PublicLen + crypto::kMlDsa65PublicLen;       // 1984
inline constexpr std::size_t kSignatureLen = crypto::kEd25519SignatureLen + crypto::kMlDsa65SignatureLen;  // 3373
inline constexpr std::size_t kIdentitySeedLen = 32;

using VerifyingKeyBytes = std::array<std::uint8_t, kVerifyingKeyLen>;
using Signature = std::array<std::uint8_t, kSignatureLen>;

// An opened signing identity: the Ed25519 and ML-DSA-65 keys derived from an identity seed. Only
// read after it is made, so it may sign from several threads at once. Destruction wipes every
// secret part.
class SigningIdentity {
 public:
  // Derives both keys from a 32-byte identity seed (any other length is a fault). The caller's
  // seed is only read; every intermediate seed is wiped.
  static std::unique_ptr<SigningIdentity> from_seed(Bytes identity_seed32);
  ~SigningIdentity();
  SigningIdentity(const SigningIdentity&) = delete;
  SigningIdentity& operator=(const SigningIdentity&) = delete;

  const VerifyingKeyBytes& verifying_key() const { return verifying_key_; }

  struct Keys;  // libcrypto key objects, defined with the implementation
  const Keys& keys() const { return *keys_; }

 private:
  SigningIdentity();
  std::unique_ptr<Keys> keys_;
  VerifyingKeyBytes verifying_key_{};
};

// A verifying key decoded for verification: the Ed25519 point (checked to decode) and the
// ML-DSA-65 public key.
class DecodedVerifyingKey {
 public:
  ~DecodedVerifyingKey();
  DecodedVerifyingKey(DecodedVerifyingKey&&) noexcept;
  DecodedVerifyingKey& operator=(DecodedVerifyingKey&&) noexcept;

  const VerifyingKeyBytes& bytes() const { return bytes_; }

  struct Keys;
  const Keys& keys() const { return *keys_; }

 private:
  friend std::optional<DecodedVerifyingKey> decode_verifying_key(Bytes key);
  DecodedVerifyingKey();
  std::unique_ptr<Keys> keys_;
  VerifyingKeyBytes bytes_{};
};

// Fails when the length is not 1984 or the first 32 bytes are not an Ed25519 point encoding.
// Small-order points decode (and then verify nothing).
std::optional<DecodedVerifyingKey> decode_verifying_key(Bytes key);

// The signing input BE64(len(context)) || context || message, built once in one allocation that
// both halves sign or verify, and wiped when released (a message may be a secret, a container's
// transcript holds its metadata). A total size that overflows is a fault.
class SigningInput {
 public:
  SigningInput(Bytes context, Bytes message);
  ~SigningInput();
  SigningInput(const SigningInput&) = delete;
  SigningInput& operator=(const SigningInput&) = delete;
  Bytes view() const { return {data_, size_}; }

 private:
  std::size_t size_;
  std::uint8_t* data_;
};

// Deterministic; a primitive failure is a fault.
Signature hybrid_sign(const SigningIdentity& identity, Bytes context, Bytes message);

// Both halves are always evaluated; any signature length other than 3373 is invalid.
bool hybrid_verify(const DecodedVerifyingKey& key, Bytes context, Bytes message, Bytes signature);

}  // namespace vesk::sign
