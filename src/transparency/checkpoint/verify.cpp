#include "sign/hybrid.h"
#include "transparency/checkpoint/checkpoint.h"

namespace vesk::transparency {

Expected<VerifiedCheckpoint, CheckpointError> verify_checkpoint(Bytes text, std::string_view expected_origin,
                                                                const sign::DecodedVerifyingKey& key) {
  VESK_TRY(cp, parse_checkpoint(text));
  if (cp.origin() != expected_origin) return unexpected(CheckpointError::OriginMismatch);

  // Lines of other signers are skipped; every line by the log's key must hold, so a second,
  // altered copy of the log's signature cannot hide behind a good one.
  const KeyHash log_key_hash = checkpoint_key_hash(expected_origin, key.bytes());
  bool matched = false;
  for (std::size_t i = 0; i < cp.signature_count(); ++i) {
    const SignatureLine line = cp.signature(i);
    if (line.key_name != expected_origin || line.key_hash != log_key_hash) continue;
    matched = true;
    if (line.signature.size() != sign::kSignatureLen ||
        !sign::hybrid_verify(key, as_bytes(kCheckpointContext), cp.body(), line.signature))
      return unexpected(CheckpointError::BadLogSignature);
  }
  if (!matched) return unexpected(CheckpointError::NoLogSignature);
  return VerifiedCheckpoint{cp.tree_size(), cp.root()};
}

Expected<VerifiedCheckpoint, CheckpointError> verify_checkpoint(Bytes text, std::string_view expected_origin,
                                                                Bytes verifying_key) {
  // The key is decoded before the text is looked at, so an unusable key is reported as such
  // whatever the text holds.
  auto key = sign::decode_verifying_key(verifying_key);
  if (!key) return unexpected(CheckpointError::UnusableKey);
  return verify_checkpoint(text, expected_origin, *key);
}

}  // namespace vesk::transparency
