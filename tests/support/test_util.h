// Helpers shared by the test suites.
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "core/crypto/xwing.h"
#include "support/bytes.h"
#include "vesk.h"

namespace vesk::testing {

// A VeskBuffer pre-filled with a recognisable pattern, to check that failures leave
// out-parameters untouched.
VeskBuffer sentinel_buffer();
bool is_sentinel(const VeskBuffer& b);
// The same for the other kinds of out-parameter: counts, flags and handles. A sentinel handle is
// an address no export ever returns; it is never dereferenced.
constexpr std::uint64_t kSentinelCount = 0xDEADBEEFCAFEF00Dull;
constexpr std::int32_t kSentinelFlag = 0x5A5A5A5A;
void* sentinel_address();
template <class Handle>
Handle* sentinel_handle() {
  return static_cast<Handle*>(sentinel_address());
}

// A recipient seed held in a vector (from a vector file, say), as the typed view the library takes;
// the length must be right.
crypto::XWingSeed as_seed(const std::vector<std::uint8_t>& seed);

// Deterministic pseudo-random bytes for test inputs (not for keys that matter).
ByteVec test_bytes(std::size_t n, std::uint32_t seed = 1);

// While alive, every draw from the library's randomness source fails with `error`, through the
// library's randomness hook; the system source is back once it goes.
class FailingRandomness {
 public:
  explicit FailingRandomness(int error = EIO);
  ~FailingRandomness();
  FailingRandomness(const FailingRandomness&) = delete;
  FailingRandomness& operator=(const FailingRandomness&) = delete;

 private:
  int error_;
};

// A recipient key pair from vesk_keypair_generate and a signing identity opened on
// `identity_seed`, held as handles beside their public keys and released with the object. Throws
// if an export refuses.
struct ExportKeys {
  explicit ExportKeys(ByteVec identity_seed);
  ~ExportKeys();
  ExportKeys(const ExportKeys&) = delete;
  ExportKeys& operator=(const ExportKeys&) = delete;

  VeskSecretKeyHandle* key = nullptr;
  VeskSigningIdentityHandle* identity = nullptr;
  ByteVec identity_seed, public_key, verifying_key;
};

// HKDF-SHA-256 to one block written out with HMAC, independent of the library's HKDF:
// PRK = HMAC(salt, IKM), OKM = HMAC(PRK, info || 0x01).
ByteVec hkdf_by_hand(Bytes salt, Bytes ikm, Bytes info);

}  // namespace vesk::testing
