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

// The two proof exports alike: a proof between two hashes, all three checked, then copied in, and
// `verify(first, proof, second)` run on the copies.
template <class Verify>
VeskStatus verify_proof(const uint8_t* first, size_t first_len, const uint8_t* proof, size_t proof_len,
                        const uint8_t* second, size_t second_len, Verify&& verify) {
  if (!hash_ok(first, first_len) || !hash_ok(second, second_len) || !proof_ok(proof, proof_len))
    return VESK_INVALID_ARGUMENT;
  return ffi::guarded([&] {
    const ffi::InputCopy first_copy(first, first_len), path(proof, proof_len), second_copy(second, second_len);
    return ffi::proof_status(verify(hash_view(first_copy), path.view(), hash_view(second_copy)));
  });
}

}  // namespace

extern "C" {

VESK_EXPORT VeskStatus vesk_transparency_verify_inclusion(const uint8_t* leaf_hash, size_t leaf_hash_len,
                                                          uint64_t leaf_index, uint64_t tree_size,
                                                          const uint8_t* proof, size_t proof_len,
                                                          const uint8_t* root, size_t root_len) {
  return verify_proof(leaf_hash, leaf_hash_len, proof, proof_len, root, root_len,
                      [&](transparency::HashView leaf, Bytes path, transparency::HashView expected) {
                        return transparency::verify_inclusion(leaf, leaf_index, tree_size, path, expected);
                      });
}

VESK_EXPORT VeskStatus vesk_transparency_verify_consistency(uint64_t old_size, uint64_t new_size,
                                                            const uint8_t* proof, size_t proof_len,
                                                            const uint8_t* old_root, size_t old_root_len,
                                                            const uint8_t* new_root, size_t new_root_len) {
  return verify_proof(old_root, old_root_len, proof, proof_len, new_root, new_root_len,
                      [&](transparency::HashView old_hash, Bytes path, transparency::HashView new_hash) {
                        return transparency::verify_consistency(old_size, new_size, path, old_hash, new_hash);
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
