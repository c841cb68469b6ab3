#include "ffi/status_object.h"

#include "core/check.h"

namespace vesk::ffi {

VeskStatus status_of(const object::ObjectError& error) {
  using K = object::ObjectErrorKind;
  switch (error.kind) {
    case K::UnusableRecipientKey: return VESK_INVALID_ARGUMENT;
    // Randomness included: one status for any crypto failure, so no failed step can be told from altered data.
    case K::CryptoFailed:
    case K::AuthenticationFailed: return VESK_AUTHENTICATION_FAILED;
    case K::NoMatchingRecipient: return VESK_NO_MATCHING_RECIPIENT;
    case K::Format:
    case K::Malformed:
    case K::SignatureRefused: return VESK_MALFORMED_INPUT;
    case K::TooLarge: return VESK_INPUT_TOO_LARGE;
  }
  VESK_FAULT("container error kind out of range");
}

}  // namespace vesk::ffi
