// The exports that draw randomness, with the source as a parameter: the exports pass the system
// source, and tests pass a failing one to reach the paths a healthy machine never takes.
#pragma once

#include <cstdint>

#include "core/bytes.h"
#include "core/expected.h"
#include "core/random.h"
#include "vesk.h"

namespace vesk::ffi {

using RandomFill = Expected<void, RandomError> (*)(MutBytes out);

VeskStatus challenge_new_from(RandomFill fill, const char* purpose, std::uint64_t issued_at, std::uint64_t lifetime,
                              VeskBuffer* challenge_out);
VeskStatus identity_generate_from(RandomFill fill, const char* passphrase, VeskBuffer* key_file_out);

}  // namespace vesk::ffi
