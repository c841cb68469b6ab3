// The opaque handles behind the C interface.
#pragma once

#include <cstdint>

#include "core/bytes.h"
#include "core/secret.h"
#include "vesk.h"

// A heap block of exactly 32 bytes: the recipient's X-Wing secret seed, nothing else.
struct VeskSecretKeyHandle {
  std::uint8_t seed[32];
};

namespace vesk::ffi {

// A new handle holding a copy of the seed. Exhausted memory stops the process.
VeskSecretKeyHandle* new_secret_key_handle(Bytes seed32);
inline Bytes seed_of(const VeskSecretKeyHandle* h) { return {h->seed, sizeof h->seed}; }
// Wipes the 32 bytes and frees the block; NULL is ignored.
void free_secret_key_handle(VeskSecretKeyHandle* h);

}  // namespace vesk::ffi
