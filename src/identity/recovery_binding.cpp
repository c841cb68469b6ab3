#include "identity/recovery_binding.h"

#include <algorithm>

#include "core/byte_io.h"

namespace vesk::identity {

IdentityResult<RecoveryBinding> decode_recovery_binding(Bytes input) {
  auto malformed = [] { return unexpected(decoding_error(IdentityErrorKind::Malformed)); };
  if (input.size() != kRecoveryBindingLen) return malformed();
  ByteReader r(input);
  auto identity = r.read(crypto::kDigest32Len);
  auto key_bytes = r.read(sign::kVerifyingKeyLen);
  auto signature = r.read(sign::kSignatureLen);
  VESK_CHECK(identity && key_bytes && signature && r.at_end(), "recovery binding layout");
  auto key = sign::decode_verifying_key(*key_bytes);
  if (!key) return malformed();
  RecoveryBinding b{crypto::Digest32{}, std::move(*key), sign::Signature{}};
  std::copy(identity->begin(), identity->end(), b.identity.begin());
  std::copy(signature->begin(), signature->end(), b.signature.begin());
  return b;
}

std::array<std::uint8_t, kRecoveryBindingSignedLen> recovery_binding_message(const crypto::Digest32& identity,
                                                                           const sign::VerifyingKeyBytes& key) {
  return fixed_record<kRecoveryBindingSignedLen>([&](ByteWriter& w) {
    w.put(identity);
    w.put(key);
  });
}

}  // namespace vesk::identity
