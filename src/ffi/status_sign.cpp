#include "ffi/status_sign.h"

#include "core/check.h"

namespace vesk::ffi {

VeskStatus status_of(const sign::MessageError& error) {
  switch (error.kind) {
    case sign::MessageErrorKind::ReservedContext: return VESK_INVALID_ARGUMENT;
    case sign::MessageErrorKind::UndecodableKey: return VESK_NOT_KEY_FILE;
    case sign::MessageErrorKind::Invalid: return VESK_AUTHENTICATION_FAILED;
  }
  VESK_FAULT("message-signature error kind out of range");
}

VeskStatus status_of(const sign::ChallengeError& error) {
  switch (error.kind) {
    case sign::ChallengeErrorKind::NoNonce: return VESK_INTERNAL_ERROR;
    case sign::ChallengeErrorKind::Malformed: return VESK_MALFORMED_INPUT;
    case sign::ChallengeErrorKind::UndecodableKey: return VESK_NOT_KEY_FILE;
    case sign::ChallengeErrorKind::Expired: return VESK_CHALLENGE_EXPIRED;
    case sign::ChallengeErrorKind::Invalid: return VESK_AUTHENTICATION_FAILED;
    case sign::ChallengeErrorKind::Replayed: return VESK_CHALLENGE_REPLAYED;
  }
  VESK_FAULT("challenge error kind out of range");
}

}  // namespace vesk::ffi
