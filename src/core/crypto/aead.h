// ChaCha20-Poly1305 (RFC 8439) with 12-byte nonces and 16-byte tags.
#pragma once

#include <cstdint>

#include "core/bytes.h"
#include "core/crypto/evp.h"

namespace vesk::crypto {

inline constexpr std::size_t kAeadKeyLen = 32;
inline constexpr std::size_t kAeadNonceLen = 12;
inline constexpr std::size_t kAeadTagLen = 16;

// A keyed context for many messages under one key (the key schedule is set up once). The context
// holds key material and is cleared when destroyed.
class ChaChaPoly {
 public:
  explicit ChaChaPoly(Bytes key);
  // `in` and `out` have the same length and either are disjoint or are the same memory. Sealing
  // straight from the input into its final place saves a copy of every byte. Seal fails only if
  // libcrypto reports an error; open fails on a bad tag (`out` is then unspecified).
  bool seal(Bytes nonce, Bytes aad, Bytes in, MutBytes out, MutBytes tag);
  bool open(Bytes nonce, Bytes aad, Bytes in, MutBytes out, Bytes tag);
  // Like open, for input in memory someone else may change during the call: each byte of `in` is
  // read once, into a buffer of the library's own, and decrypted from there, so what the tag
  // authenticates is exactly what is decrypted.
  bool open_copying(Bytes nonce, Bytes aad, Bytes in, MutBytes out, Bytes tag);

 private:
  CipherCtxPtr ctx_;
};

// One-shot forms. `out` is |plaintext| + 16 bytes for seal and |ciphertext| - 16 for open;
// `out` may alias the input exactly.
bool aead_seal(Bytes key, Bytes nonce, Bytes aad, Bytes plaintext, MutBytes out);
bool aead_open(Bytes key, Bytes nonce, Bytes aad, Bytes ciphertext_and_tag, MutBytes out);

}  // namespace vesk::crypto
