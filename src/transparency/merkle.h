// Verification of Merkle inclusion and consistency proofs over trees of the RFC 6962 shape: the
// tree over n leaves splits at the largest power of two below n, and an interior node is
// SHA-256(0x01 || left || right). Only verification lives here; leaves are hashed by the caller.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/bytes.h"
#include "core/crypto/hash.h"

namespace vesk::transparency {

// A 64-bit size gives a tree of at most 64 levels, so no proof is longer.
inline constexpr std::size_t kMaxProofHashes = 64;
inline constexpr std::size_t kMaxProofLen = kMaxProofHashes * crypto::kDigest32Len;

using HashView = std::span<const std::uint8_t, crypto::kDigest32Len>;

// Largest power of two strictly below b, for b >= 2.
std::uint64_t split_point(std::uint64_t b);

// True exactly when `proof` (concatenated 32-byte hashes, the audit path from the leaf upward)
// shows that `leaf` is at `index` in the tree of `size` leaves whose root is `root`. Every other
// outcome (index out of range, wrong proof length, mismatch) is the one answer false.
bool verify_inclusion(HashView leaf, std::uint64_t index, std::uint64_t size, Bytes proof, HashView root);

// True exactly when `proof` shows that the tree of `old_size` leaves with root `old_root` is a
// prefix of the tree of `new_size` leaves with root `new_root`. A proof from the empty tree is
// refused.
bool verify_consistency(std::uint64_t old_size, std::uint64_t new_size, Bytes proof, HashView old_root,
                        HashView new_root);

}  // namespace vesk::transparency
