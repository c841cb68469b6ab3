// The typed errors of the container family: a kind, and what the kind needs to be understood (the
// record rule that failed, or a diagnostic text). The exports map kinds to statuses; the details
// stay inside the library.
#pragma once

#include <variant>

#include "format/cbor.h"

namespace vesk::object {

enum class ObjectErrorKind {
  UnusableRecipientKey,  // a recipient key that is not a usable X-Wing public key
  CryptoFailed,          // the randomness source, an encapsulation or a seal failed
  AuthenticationFailed,  // a metadata or chunk tag that does not verify
  Format,                // a record breaks its rules (the FormatError says which)
  NoMatchingRecipient,   // no entry opens with the key and authenticates the header
  Malformed,             // truncation, a bad chunk header, trailing bytes
  SignatureRefused,      // misplaced, missing, unexpected, undecodable or invalid sender signature
  TooLarge,              // the chunk index would overflow
};

struct ObjectError {
  ObjectErrorKind kind;
  std::variant<const char*, format::FormatError> detail = "";

  static ObjectError of(format::FormatError e) { return {ObjectErrorKind::Format, e}; }
  static ObjectError with(ObjectErrorKind kind, const char* detail) { return {kind, detail}; }
};

}  // namespace vesk::object
