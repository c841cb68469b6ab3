// ML-DSA-65 (FIPS 204): a key from the 32-byte seed xi, deterministic pure signing with the empty
// context, verification with the empty context, and import of a raw public key.
#pragma once

#include <optional>

#include "core/bytes.h"
#include "core/crypto/evp.h"

namespace vesk::crypto {

inline constexpr std::size_t kMlDsaSeedLen = 32;
inline constexpr std::size_t kMlDsa65PublicLen = 1952;
inline constexpr std::size_t kMlDsa65SignatureLen = 3309;

// A signing key generated from xi. libcrypto keeps the decoded secret vectors (it expands the
// matrix again for every signature) and clears them on release. Only read after it is made, so it
// may sign from several threads at once.
class MlDsaSigningKey {
 public:
  static MlDsaSigningKey from_seed(Bytes xi32);
  // Writes the 1952-byte public key (rho, then t1).
  void public_key(MutBytes out) const;
  // ML-DSA.Sign with the empty context and rnd = 32 zero bytes, into 3309 bytes; false when
  // libcrypto reports an error.
  [[nodiscard]] bool sign(Bytes message, MutBytes out) const;

 private:
  explicit MlDsaSigningKey(PkeyPtr key) : key_(std::move(key)) {}
  PkeyPtr key_;
};

class MlDsaVerifyingKey {
 public:
  // nullopt unless libcrypto takes the bytes as a 1952-byte ML-DSA-65 public key.
  static std::optional<MlDsaVerifyingKey> import(Bytes public_key);
  // ML-DSA.Verify with the empty context; any signature length other than 3309 is invalid.
  bool verify(Bytes message, Bytes signature) const;

 private:
  explicit MlDsaVerifyingKey(PkeyPtr key) : key_(std::move(key)) {}
  PkeyPtr key_;
};

}  // namespace vesk::crypto
