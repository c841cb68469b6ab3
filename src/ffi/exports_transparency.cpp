// The transparency exports: Merkle inclusion and consistency proofs, and signed checkpoints.
#include "ffi/args.h"
#include "ffi/guard.h"
#include "ffi/results.h"
#include "ffi/status_transparency.h"
#include "transparency/checkpoint/checkpoint.h"
#include "transparency/merkle.h"
#include "vesk.h"

using namespace vesk;

namespace {

bool hash_ok(const std::uint8_t* p, std::size_t len) { return ffi::exact_ok(p, len, VESK_HASH_LEN); }

bool proof_ok(const std::uint8_t* p, std::size_t len) {
  return ffi::range_ok(p, len, VESK_MAX_PROOF) && len % VESK_HASH_LEN == 0;
}

transparency::HashView hash_view(const ffi::InputCopy& hash) {
  return transparency::HashView(hash.view().data(), VESK_HASH_LEN);
}

}  // namespace

extern "C" {

VESK_EXPORT VeskStatus vesk_transparency_verify_inclusion(const uint8_t* leaf_hash, size_t leaf_hash_len,
                                                          uint64_t leaf_index, uint64_t tree_size,
                                                          const uint8_t* proof, size_t proof_len,
                                                          const uint8_t* root, size_t root_len) {
  if (!hash_ok(leaf_hash, leaf_hash_len) || !hash_ok(root, root_len) || !proof_ok(proof, proof_len))
    return VESK_INVALID_ARGUMENT;
  return ffi::guarded([&] {
    const ffi::InputCopy leaf(leaf_hash, leaf_hash_len), path(proof, proof_len), expected(root, root_len);
    return ffi::proof_status(
        transparency::verify_inclusion(hash_view(leaf), leaf_index, tree_size, path.view(), hash_view(expected)));
  });
}

VESK_EXPORT VeskStatus vesk_transparency_verify_consistency(uint64_t old_size, uint64_t new_size,
                                                            const uint8_t* proof, size_t proof_len,
                                                            const uint8_t* old_root, size_t old_root_len,
                                                            const uint8_t* new_root, size_t new_root_len) {
  if (!hash_ok(old_root, old_root_len) || !hash_ok(new_root, new_root_len) || !proof_ok(proof, proof_len))
    return VESK_INVALID_ARGUMENT;
  return ffi::guarded([&] {
    const ffi::InputCopy path(proof, proof_len), old_copy(old_root, old_root_len), new_copy(new_root, new_root_len);
    return ffi::proof_status(
        transparency::verify_consistency(old_size, new_size, path.view(), hash_view(old_copy), hash_view(new_copy)));
  });
}

VESK_EXPORT VeskStatus vesk_checkpoint_verify(const uint8_t* checkpoint, size_t checkpoint_len, const char* origin,
                                              const uint8_t* verifying_key, size_t verifying_key_len,
                                              uint64_t* tree_size_out, VeskBuffer* root_out) {
  if (!ffi::text_ok(origin) || !ffi::present(tree_size_out) || !ffi::present(root_out) ||
      !ffi::range_ok(verifying_key, verifying_key_len, VESK_MAX_KEY_DATA) ||
      !ffi::range_ok(checkpoint, checkpoint_len, VESK_MAX_CHECKPOINT))
    return VESK_INVALID_ARGUMENT;
  return ffi::guarded([&]() -> VeskStatus {
    const ffi::InputCopy text(checkpoint, checkpoint_len), key(verifying_key, verifying_key_len);
    const ffi::TextCopy origin_copy(origin);
    if (!origin_copy.valid()) return VESK_INVALID_ARGUMENT;
    auto verified = transparency::verify_checkpoint(text.view(), origin_copy.view(), key.view());
    if (!verified) return ffi::status_of(verified.error());
    ffi::put_bytes(root_out, verified->root);
    *tree_size_out = verified->tree_size;
    return VESK_OK;
  });
}

}  // extern "C"
