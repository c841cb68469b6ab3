// Moving results into the caller's out-parameters; only done once an operation has succeeded.
#pragma once

#include "core/bytes.h"
#include "core/memory.h"
#include "vesk.h"

namespace vesk::ffi {

// A new allocation of exactly |data| bytes (len == capacity).
void put_bytes(VeskBuffer* out, Bytes data);
// Hands an output buffer over as it stands (capacity may exceed len).
void put_output(VeskBuffer* out, OutputBuffer&& buffer);
// The empty result of an absent optional text.
void put_empty(VeskBuffer* out);

}  // namespace vesk::ffi
