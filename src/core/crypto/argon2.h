// Argon2id (RFC 9106, version 0x13).
#pragma once

#include <cstdint>

#include "core/bytes.h"

namespace vesk::crypto {

struct Argon2Params {
  std::uint32_t lanes;
  std::uint32_t memory_kib;
  std::uint32_t iterations;
};

// Derives |out| bytes; false when libcrypto refuses the parameters.
bool argon2id(Bytes password, Bytes salt, const Argon2Params& params, MutBytes out);
// The same with the optional secret value and associated data of the full construction (empty
// means absent); key files use neither, the published vectors do.
bool argon2id(Bytes password, Bytes salt, Bytes secret, Bytes associated_data, const Argon2Params& params,
              MutBytes out);

}  // namespace vesk::crypto
