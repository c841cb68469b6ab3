#include "ffi/status_keyring.h"

#include "core/check.h"

namespace vesk::ffi {

Status status_of(const keyring::KeyFileError& error) {
  using K = keyring::KeyFileErrorKind;
  switch (error.kind) {
    case K::UnsupportedVersion: return Status::NotKeyFile;
    case K::Malformed:
    case K::BadParameters:
    case K::Other: return Status::MalformedInput;
    case K::WrongPassphrase: return Status::WrongPassphrase;
    case K::PassphraseTooShort: return Status::InvalidArgument;
  }
  VESK_FAULT("key-file error kind out of range");
}

Status status_of(keyring::KeypairError error) {
  switch (error) {
    case keyring::KeypairError::RandomnessFailed:
    case keyring::KeypairError::DerivationFailed: return Status::InternalError;
  }
  VESK_FAULT("keypair error out of range");
}

Status status_of(keyring::DearmorError error) {
  switch (error) {
    case keyring::DearmorError::NotBase64: return Status::MalformedInput;
    case keyring::DearmorError::WrongLength: return Status::InvalidArgument;
  }
  VESK_FAULT("dearmor error out of range");
}

}  // namespace vesk::ffi
