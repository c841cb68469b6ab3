#include "ffi/status_keyring.h"

#include "core/check.h"

namespace vesk::ffi {

VeskStatus status_of(const keyring::KeyFileError& error) {
  using K = keyring::KeyFileErrorKind;
  switch (error.kind) {
    case K::UnsupportedVersion:
    case K::NotIdentity: return VESK_NOT_KEY_FILE;
    case K::Malformed:
    case K::BadParameters: return VESK_MALFORMED_INPUT;
    // The writer's randomness or sealing failed: key files report it through their own table, as 6, not as 99.
    case K::Other: return VESK_MALFORMED_INPUT;
    case K::WrongPassphrase: return VESK_WRONG_PASSPHRASE;
    case K::PassphraseTooShort:
    case K::PassphraseRequired: return VESK_INVALID_ARGUMENT;
    case K::SeedUnavailable: return VESK_INTERNAL_ERROR;
  }
  VESK_FAULT("key-file error kind out of range");
}

VeskStatus status_of(keyring::KeypairError error) {
  switch (error) {
    case keyring::KeypairError::RandomnessFailed:
    case keyring::KeypairError::DerivationFailed: return VESK_INTERNAL_ERROR;
  }
  VESK_FAULT("keypair error out of range");
}

VeskStatus status_of(keyring::DearmorError error) {
  switch (error) {
    case keyring::DearmorError::NotBase64: return VESK_MALFORMED_INPUT;
    case keyring::DearmorError::WrongLength: return VESK_INVALID_ARGUMENT;
  }
  VESK_FAULT("dearmor error out of range");
}

}  // namespace vesk::ffi
