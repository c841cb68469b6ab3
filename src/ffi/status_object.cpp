#include "ffi/status_object.h"

#include "core/check.h"

namespace vesk::ffi {

Status status_of(const object::ObjectError& error) {
  using K = object::ObjectErrorKind;
  switch (error.kind) {
    case K::UnusableRecipientKey: return Status::InvalidArgument;
    case K::CryptoFailed:
    case K::AuthenticationFailed: return Status::AuthenticationFailed;
    case K::NoMatchingRecipient: return Status::NoMatchingRecipient;
    case K::Format:
    case K::Malformed:
    case K::SignatureRefused: return Status::MalformedInput;
    case K::TooLarge: return Status::InputTooLarge;
  }
  VESK_FAULT("container error kind out of range");
}

}  // namespace vesk::ffi
