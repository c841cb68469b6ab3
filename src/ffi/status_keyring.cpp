#include "ffi/status_keyring.h"

namespace vesk::ffi {

Status key_file_status(const keyring::KeyFileError& error) {
  using K = keyring::KeyFileErrorKind;
  switch (error.kind) {
    case K::UnsupportedVersion: return Status::NotKeyFile;
    case K::Malformed: return Status::MalformedInput;
    case K::BadParameters: return Status::MalformedInput;
    case K::WrongPassphrase: return Status::WrongPassphrase;
    case K::PassphraseTooShort: return Status::InvalidArgument;
    case K::Other: return Status::MalformedInput;
  }
  return Status::InternalError;
}

Status keypair_status(keyring::KeypairError error) {
  switch (error) {
    case keyring::KeypairError::RandomnessFailed:
    case keyring::KeypairError::DerivationFailed:
      return Status::InternalError;
  }
  return Status::InternalError;
}

Status dearmor_status(keyring::DearmorError error) {
  switch (error) {
    case keyring::DearmorError::NotBase64: return Status::MalformedInput;
    case keyring::DearmorError::WrongLength: return Status::InvalidArgument;
  }
  return Status::InternalError;
}

}  // namespace vesk::ffi
