// HMAC-SHA-256 and HKDF-SHA-256.
#pragma once

#include <initializer_list>

#include "core/bytes.h"
#include "core/crypto/evp.h"
#include "core/crypto/hash.h"
#include "core/secret.h"

namespace vesk::crypto {

// HMAC-SHA-256 over the concatenation of the parts.
Digest32 hmac_sha256(Bytes key, std::initializer_list<Bytes> parts);

// HKDF-Expand (RFC 5869) with SHA-256: prk used directly as the pseudorandom key, `info` the
// concatenation of the parts, |out| bytes of output (at most 255 * 32).
void hkdf_expand(Bytes prk, std::initializer_list<Bytes> info, MutBytes out);
// HKDF-Extract: HMAC-SHA-256(salt, ikm); an empty salt means 32 zero bytes.
Key32 hkdf_extract(Bytes salt, Bytes ikm);
// Extract then expand.
void hkdf(Bytes salt, Bytes ikm, std::initializer_list<Bytes> info, MutBytes out);

// HKDF-Expand to 32 bytes, the single-block form used for every derived key of the library.
inline Key32 hkdf_expand32(Bytes prk, std::initializer_list<Bytes> info) {
  Key32 out;
  hkdf_expand(prk, info, out.span());
  return out;
}

}  // namespace vesk::crypto
