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

// Streaming digest over one of the fixed-output hashes.
class Hasher {
 public:
  explicit Hasher(const EVP_MD* md);
  Hasher& update(Bytes data);
  // Writes the digest (its size must match the hash) and resets for reuse.
  void finish(MutBytes out);

 private:
  MdCtxPtr ctx_;
  const EVP_MD* md_;
};

class Sha256 : public Hasher {
 public:
  Sha256() : Hasher(md_sha256()) {}
  Sha256& update(Bytes data) {
    Hasher::update(data);
    return *this;
  }
  Digest32 finish() {
    Digest32 d;
    Hasher::finish(d);
    return d;
  }
};

// One-shot digests over the concatenation of the parts.
Digest32 sha256(std::initializer_list<Bytes> parts);
inline Digest32 sha256(Bytes data) { return sha256({data}); }
Digest64 sha512(std::initializer_list<Bytes> parts);
Digest32 sha3_256(std::initializer_list<Bytes> parts);
// SHAKE256 of the concatenation, |out| bytes of output.
void shake256(std::initializer_list<Bytes> parts, MutBytes out);

}  // namespace vesk::crypto
