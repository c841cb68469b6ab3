// Message signatures: a caller's message signed under a caller-chosen context. Contexts that
// begin with "VESK/" belong to the library's own records and are never signed for a caller.
#pragma once

#include <string_view>

#include "core/bytes.h"
#include "core/expected.h"
#include "sign/hybrid.h"

namespace vesk::sign {

inline constexpr std::size_t kMaxContextLen = 4096;
inline constexpr std::size_t kMaxMessageLen = std::size_t{1} << 30;
inline constexpr std::string_view kReservedContextPrefix = "VESK/";

enum class MessageErrorKind {
  ReservedContext,  // signing: the context begins with "VESK/"
  UndecodableKey,   // verifying: the key's Ed25519 part is not a point (or the length is wrong)
  Invalid,          // verifying: the signature does not verify
};

struct MessageError {
  MessageErrorKind kind;
};

// Deterministic. The length caps are the caller's to enforce.
Expected<Signature, MessageError> sign_message(const SigningIdentity& identity, Bytes context, Bytes message);

// Any context is accepted here, reserved ones included, so that the library's own records can be
// checked. The key is decoded afresh on every call.
Expected<void, MessageError> verify_message(Bytes verifying_key, Bytes context, Bytes message, Bytes signature);

}  // namespace vesk::sign
