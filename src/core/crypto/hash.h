// SHA-256, SHA-512, SHA3-256 and SHAKE256.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>

#include "core/bytes.h"
#include "core/crypto/evp.h"

namespace vesk::crypto {

// A 32-byte digest: SHA-256 (identity logs, epoch chains, Merkle trees, container headers) or
// SHA3-256.
inline constexpr std::size_t kDigest32Len = 32;
using Digest32 = std::array<std::uint8_t, kDigest32Len>;
using Digest64 = std::array<std::uint8_t, 64>;

// Streaming SHA-256.
class Sha256 {
 public:
  Sha256();
  Sha256& update(Bytes data);
  // The digest of everything since construction or the last finish; starts over afterwards.
  Digest32 finish();

 private:
  MdCtxPtr ctx_;
};

// One-shot digests over the concatenation of the parts.
Digest32 sha256(std::initializer_list<Bytes> parts);
inline Digest32 sha256(Bytes data) { return sha256({data}); }
Digest64 sha512(std::initializer_list<Bytes> parts);
Digest32 sha3_256(std::initializer_list<Bytes> parts);
// SHAKE256 of the concatenation, |out| bytes of output.
void shake256(std::initializer_list<Bytes> parts, MutBytes out);

}  // namespace vesk::crypto
