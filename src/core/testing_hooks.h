// Observation and failure points of the core family, for tests only. None of them changes a
// result; set them while no other thread uses the library.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/bytes.h"

namespace vesk::testing_hooks {

// The one stand-in for the system randomness source. While set, every random_fill calls
// `source(context, out)` instead: it fills `out` and returns 0, or returns an errno value, which
// fails the draw with that error. nullptr restores the system source. Tests install one to reach
// the paths a healthy machine never takes (a failing source) or to know what was drawn; the corpus
// generator (tools/vectorgen) installs one so that what it writes through the library's own
// writers comes out the same on every run.
using RandomSource = int (*)(void* context, MutBytes out);
void set_random_source(RandomSource source, void* context = nullptr);

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
