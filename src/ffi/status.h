// Statuses at the interface, and the texts vesk_error_message gives for them.
#pragma once

#include <cstdint>

#include "vesk.h"

namespace vesk::ffi {

enum class Status : VeskStatus {
  Ok = VESK_OK,
  InvalidArgument = VESK_INVALID_ARGUMENT,
  WrongPassphrase = VESK_WRONG_PASSPHRASE,
  NotKeyFile = VESK_NOT_KEY_FILE,
  AuthenticationFailed = VESK_AUTHENTICATION_FAILED,
  NoMatchingRecipient = VESK_NO_MATCHING_RECIPIENT,
  MalformedInput = VESK_MALFORMED_INPUT,
  InputTooLarge = VESK_INPUT_TOO_LARGE,
  ChallengeExpired = VESK_CHALLENGE_EXPIRED,
  ChallengeReplayed = VESK_CHALLENGE_REPLAYED,
  InternalFault = VESK_INTERNAL_FAULT,
  InternalError = VESK_INTERNAL_ERROR,
};

inline VeskStatus code(Status s) { return static_cast<VeskStatus>(s); }

const char* status_text(std::int32_t status);

}  // namespace vesk::ffi
