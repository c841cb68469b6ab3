// Protected key files composed field by field from the documented layout with the primitives, so
// that the reader is checked against the format rather than against the library's own writer.
// Shared by the key-file tests and the corpus generator.
#pragma once

#include <cstdint>

#include "support/bytes.h"

namespace vesk::testing {

struct KeyFileLayout {
  std::uint8_t version = 2;
  std::uint8_t lanes = 1;
  std::uint32_t memory_kib = 8192;  // the cheapest accepted cost
  std::uint32_t passes = 1;
  std::uint8_t kind = 2;  // written by version 2 only
  ByteVec salt;           // 16 bytes
  ByteVec nonce;          // 12 bytes
};

// magic, version, lanes, memory (BE32), passes (BE32), salt, nonce, [kind], then the secret sealed
// with ChaCha20-Poly1305 under Argon2id(password, salt), the header as associated data. Throws if
// a primitive refuses the layout's parameters.
ByteVec compose_key_file(const KeyFileLayout& layout, Bytes password, Bytes secret);

}  // namespace vesk::testing
