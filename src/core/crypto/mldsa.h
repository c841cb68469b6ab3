// ML-DSA-65 (FIPS 204): a key from the 32-byte seed xi, deterministic pure signing with the empty
// context, verification with the empty context, and import of a raw public key.
//
// Both directions hash the message themselves into mu = SHAKE256(tr || 0x00 || 0x00 || message, 64)
// and hand libcrypto only mu: its own message path copies any message longer than about 1 KiB to
// prefix the encoding, which for a 1 GiB message is another 1 GiB. tr = SHAKE256(pk, 64) is
// computed once per key. The signatures and verdicts are those of the pure message interface.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "core/bytes.h"
#include "core/crypto/evp.h"

namespace vesk::crypto {

inline constexpr std::size_t kMlDsaSeedLen = 32;
inline constexpr std::size_t kMlDsa65PublicLen = 1952;
inline constexpr std::size_t kMlDsa65SignatureLen = 3309;
inline constexpr std::size_t kMlDsaTrLen = 64;

// tr, the hash of the encoded public key that prefixes every mu.
using MlDsaTr = std::array<std::uint8_t, kMlDsaTrLen>;

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
  MlDsaSigningKey(PkeyPtr key, const MlDsaTr& tr) : key_(std::move(key)), tr_(tr) {}
  PkeyPtr key_;
  MlDsaTr tr_;
};

class MlDsaVerifyingKey {
 public:
  // nullopt unless libcrypto takes the bytes as a 1952-byte ML-DSA-65 public key.
  static std::optional<MlDsaVerifyingKey> import(Bytes public_key);
  // ML-DSA.Verify with the empty context; any signature length other than 3309 is invalid.
  bool verify(Bytes message, Bytes signature) const;

 private:
  MlDsaVerifyingKey(PkeyPtr key, const MlDsaTr& tr) : key_(std::move(key)), tr_(tr) {}
  PkeyPtr key_;
  MlDsaTr tr_;
};

}  // namespace vesk::crypto
