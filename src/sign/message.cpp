#include "sign/message.h"

namespace vesk::sign {
namespace {

// A context whose first five bytes are "VESK/"; shorter contexts are never reserved.
bool is_reserved_context(Bytes context) {
  const Bytes prefix = as_bytes(kReservedContextPrefix);
  return context.size() >= prefix.size() && equal_bytes(context.first(prefix.size()), prefix);
}

}  // namespace

Expected<Signature, MessageError> sign_message(const SigningIdentity& identity, Bytes context, Bytes message) {
  if (is_reserved_context(context)) return unexpected(MessageError{MessageErrorKind::ReservedContext});
  return hybrid_sign(identity, context, message);
}

Expected<void, MessageError> verify_message(Bytes verifying_key, Bytes context, Bytes message, Bytes signature) {
  const std::optional<DecodedVerifyingKey> key = decode_verifying_key(verifying_key);
  if (!key) return unexpected(MessageError{MessageErrorKind::UndecodableKey});
  if (!hybrid_verify(*key, context, message, signature)) return unexpected(MessageError{MessageErrorKind::Invalid});
  return {};
}

}  // namespace vesk::sign
