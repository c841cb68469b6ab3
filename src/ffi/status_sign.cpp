#include "ffi/status_sign.h"

#include "core/check.h"

namespace vesk::ffi {

Status status_of(const sign::MessageError& error) {
  switch (error.kind) {
    case sign::MessageErrorKind::ReservedContext: return Status::InvalidArgument;
    case sign::MessageErrorKind::UndecodableKey: return Status::NotKeyFile;
    case sign::MessageErrorKind::Invalid: return Status::AuthenticationFailed;
  }
  VESK_FAULT("message-signature error kind out of range");
}

Status status_of(const sign::ChallengeError& error) {
  switch (error.kind) {
    case sign::ChallengeErrorKind::Malformed: return Status::MalformedInput;
    case sign::ChallengeErrorKind::UndecodableKey: return Status::NotKeyFile;
    case sign::ChallengeErrorKind::Expired: return Status::ChallengeExpired;
    case sign::ChallengeErrorKind::Invalid: return Status::AuthenticationFailed;
    case sign::ChallengeErrorKind::Replayed: return Status::ChallengeReplayed;
  }
  VESK_FAULT("challenge error kind out of range");
}

}  // namespace vesk::ffi
