// Observation and failure points of the core family, for tests only. None of them changes a
// result; set them while no other thread uses the library.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/bytes.h"

namespace vesk::testing_hooks {

// While set to a non-zero errno value, every random_fill fails with it; 0 restores the source.
// Lets tests drive the failure paths of the operations that draw randomness.
void force_random_failure(int system_error);

// While set, random_fill takes its bytes from `source` (called with `context` and the range to
// fill) instead of the system, and always succeeds; nullptr restores the system source. Only the
// corpus generator (tools/vectorgen) installs one, so that containers and key files it writes
// through the library's own writers come out the same on every run. A forced failure still wins.
using RandomSource = void (*)(void* context, MutBytes out);
void set_random_source(RandomSource source, void* context);

// Called with each result block just before it is released (after the wipe).
using ReleaseHook = void (*)(const std::uint8_t* data, std::size_t wiped, std::size_t capacity);
void set_release_hook(ReleaseHook hook);

// The calling thread's work stack, or an empty view before the thread's first call.
MutBytes work_stack();

}  // namespace vesk::testing_hooks

namespace vesk::crypto::testing_hooks {

// Called with each libcrypto block just before it goes back to the C allocator (after the wipe).
using CryptoReleaseHook = void (*)(const std::uint8_t* block, std::size_t len);
void set_crypto_release_hook(CryptoReleaseHook hook);

}  // namespace vesk::crypto::testing_hooks
