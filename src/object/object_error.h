// The typed errors of the container family. The exports map kinds to statuses; the detail texts
// serve diagnostics only.
#pragma once

#include <cstddef>

#include "format/cbor.h"

namespace vesk::object {

// Failures of the wrapping layer and of the AEAD under it.
enum class CryptoErrorKind {
  AuthenticationFailed,  // "cryptographic authentication failed"
  DegeneratePublicKey,   // "recipient public key is degenerate"
  InvalidParameter,      // "invalid cryptographic parameter"
  Randomness,            // "operating-system randomness failed: ..."
  Hpke,                  // "HPKE operation failed: ..."
  InvalidLength,         // "invalid <field> length: expected n, got m"
};

struct CryptoError {
  CryptoErrorKind kind;
  const char* field = "";  // for InvalidLength: "encapsulation", "wrapped CEK", "recipient seed"
  std::size_t expected = 0;
  std::size_t actual = 0;
  int system_error = 0;  // for Randomness
};

enum class ObjectErrorKind {
  InvalidArgument,      // a recipient key refused by validation
  Crypto,               // a crypto error (randomness included), or a metadata or chunk tag that failed
  Format,               // a FormatError
  NoMatchingRecipient,  // no entry opens with the key and authenticates the header
  Malformed,            // truncation, a bad chunk header, trailing bytes
  SignatureRefused,     // misplaced, missing, unexpected, undecodable or invalid sender signature
  TooLarge,             // the chunk index would overflow
};

struct ObjectError {
  ObjectErrorKind kind;
  CryptoError crypto{CryptoErrorKind::InvalidParameter};
  format::FormatError format{format::FormatErrorKind::Malformed};
  const char* detail = "";

  static ObjectError of(CryptoError e) { return {ObjectErrorKind::Crypto, e}; }
  static ObjectError of(format::FormatError e) {
    return {ObjectErrorKind::Format, CryptoError{CryptoErrorKind::InvalidParameter}, e, e.detail};
  }
  static ObjectError with(ObjectErrorKind kind, const char* detail) {
    return {kind, CryptoError{CryptoErrorKind::InvalidParameter}, format::FormatError{format::FormatErrorKind::Malformed},
            detail};
  }
};

}  // namespace vesk::object
