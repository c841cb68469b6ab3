// ML-KEM-768 (FIPS 203): keys from the 64-byte seed d || z, encapsulation with explicit
// randomness, decapsulation, and the encapsulation-key check.
#pragma once

#include <array>
#include <optional>

#include "core/bytes.h"
#include "core/crypto/evp.h"
#include "core/secret.h"

namespace vesk::crypto {

inline constexpr std::size_t kMlKemSeedLen = 64;
inline constexpr std::size_t kMlKemPublicLen = 1184;
inline constexpr std::size_t kMlKemCiphertextLen = 1088;
inline constexpr std::size_t kMlKemSharedLen = 32;

// A decapsulation key expanded from its seed. libcrypto holds the expanded form and clears it
// when the key is released.
class MlKemKey {
 public:
  static MlKemKey from_seed(Bytes seed64);
  // As from_seed, but a key generation that libcrypto reports as failed gives nullopt instead of
  // a fault (callers that must report it as a status).
  static std::optional<MlKemKey> try_from_seed(Bytes seed64);
  // Writes the 1184-byte encapsulation key.
  void public_key(MutBytes out) const;
  // Decapsulates a 1088-byte ciphertext (implicit rejection yields a pseudorandom secret).
  std::optional<Key32> decapsulate(Bytes ciphertext) const;

 private:
  explicit MlKemKey(PkeyPtr key) : key_(std::move(key)) {}
  PkeyPtr key_;
};

struct MlKemEncapsulation {
  std::array<std::uint8_t, kMlKemCiphertextLen> ciphertext;
  Key32 shared;
};

// Imports an encapsulation key with the modulus check (every coefficient below 3329); nullopt if
// it fails.
std::optional<PkeyPtr> mlkem_import_public(Bytes public_key);
// Encapsulates to an imported key with the 32-byte randomness m.
std::optional<MlKemEncapsulation> mlkem_encapsulate(EVP_PKEY* public_key, Bytes m);

}  // namespace vesk::crypto
