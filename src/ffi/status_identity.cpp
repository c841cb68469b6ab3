#include "ffi/status_identity.h"

namespace vesk::ffi {

using identity::ErrorStage;

VeskStatus status_of(const identity::IdentityError& error) {
  using K = identity::IdentityErrorKind;
  switch (error.kind) {
    case K::UndecodableKey:
      return VESK_NOT_KEY_FILE;
    // Raised both while decoding (the input does not parse) and during replay (a parsed log that
    // is not a valid history).
    case K::Malformed:
    case K::TooManyEntries:
    case K::LabelTooLong:
      return error.stage == ErrorStage::Decoding ? VESK_MALFORMED_INPUT : VESK_AUTHENTICATION_FAILED;
    case K::EmptyLog:
    case K::SequenceMismatch:
    case K::LinkMismatch:
    case K::BadSignature:
    case K::UnknownSigner:
    case K::UnexpectedEvent:
    case K::DeviceAlreadyActive:
    case K::UnknownDevice:
    case K::LastDevice:
    case K::PinMismatch:
    case K::BindingInvalid:
    case K::EpochBindingMismatch:
      return VESK_AUTHENTICATION_FAILED;
  }
  VESK_FAULT("identity error kind out of range");
}

VeskStatus status_of(const identity::EpochChainError& error) {
  using K = identity::EpochChainErrorKind;
  switch (error.kind) {
    case K::Malformed:
    case K::TooManyEpochs:
      return error.stage == ErrorStage::Decoding ? VESK_MALFORMED_INPUT : VESK_AUTHENTICATION_FAILED;
    case K::NumberMismatch:
    case K::KeyLength:
    case K::HashMismatch:
      return VESK_AUTHENTICATION_FAILED;
    case K::NoSuchEpoch:
      return VESK_INVALID_ARGUMENT;
  }
  VESK_FAULT("epoch chain error kind out of range");
}

VeskStatus status_of(const identity::BoundEpochError& error) {
  return std::visit([](const auto& e) { return status_of(e); }, error);
}

}  // namespace vesk::ffi
