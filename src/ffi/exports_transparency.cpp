// The transparency exports: Merkle inclusion and consistency proofs, and signed checkpoints.
#include "ffi/args.h"
#include "ffi/guard.h"
#include "ffi/results.h"
#include "ffi/status.h"
#include "transparency/merkle.h"
#include "vesk.h"

using namespace vesk;

namespace {

bool hash_ok(const std::uint8_t* p, std::size_t len) { return ffi::exact_ok(p, len, transparency::kHashLen); }

bool proof_ok(const std::uint8_t* p, std::size_t len) {
  return ffi::range_ok(p, len, VESK_MAX_PROOF) && len % transparency::kHashLen == 0;
}

transparency::HashView hash_view(const std::uint8_t* p) { return transparency::HashView(p, transparency::kHashLen); }

// A proof either verifies or it does not; every refusal is the one status.
ffi::Status proof_status(bool verified) {
  return verified ? ffi::Status::Ok : ffi::Status::AuthenticationFailed;
}

}  // namespace

extern "C" {

VESK_EXPORT VeskStatus vesk_transparency_verify_inclusion(const uint8_t* leaf_hash, size_t leaf_hash_len,
                                                          uint64_t leaf_index, uint64_t tree_size,
                                                          const uint8_t* proof, size_t proof_len,
                                                          const uint8_t* root, size_t root_len) {
  if (!hash_ok(leaf_hash, leaf_hash_len) || !hash_ok(root, root_len) || !proof_ok(proof, proof_len))
    return code(ffi::Status::InvalidArgument);
  return ffi::guarded([&] {
    return proof_status(transparency::verify_inclusion(hash_view(leaf_hash), leaf_index, tree_size,
                                                       ffi::range(proof, proof_len), hash_view(root)));
  });
}

VESK_EXPORT VeskStatus vesk_transparency_verify_consistency(uint64_t old_size, uint64_t new_size,
                                                            const uint8_t* proof, size_t proof_len,
                                                            const uint8_t* old_root, size_t old_root_len,
                                                            const uint8_t* new_root, size_t new_root_len) {
  if (!hash_ok(old_root, old_root_len) || !hash_ok(new_root, new_root_len) || !proof_ok(proof, proof_len))
    return code(ffi::Status::InvalidArgument);
  return ffi::guarded([&] {
    return proof_status(transparency::verify_consistency(old_size, new_size, ffi::range(proof, proof_len),
                                                         hash_view(old_root), hash_view(new_root)));
  });
}

}  // extern "C"
