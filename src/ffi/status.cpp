#include "ffi/status.h"

namespace vesk::ffi {

const char* status_text(std::int32_t status) {
  switch (status) {
    case VESK_OK: return "success";
    case VESK_INVALID_ARGUMENT: return "invalid argument";
    case VESK_WRONG_PASSPHRASE: return "incorrect passphrase, or the key file was modified";
    case VESK_NOT_KEY_FILE: return "not a VESK key file";
    case VESK_AUTHENTICATION_FAILED: return "authentication failed; the data was altered";
    case VESK_NO_MATCHING_RECIPIENT: return "no matching recipient for this key";
    case VESK_MALFORMED_INPUT: return "malformed or corrupt input";
    case VESK_INPUT_TOO_LARGE: return "input is too large";
    case VESK_CHALLENGE_EXPIRED: return "the challenge expired before it was answered";
    case VESK_CHALLENGE_REPLAYED: return "this challenge was already answered";
    case VESK_INTERNAL_FAULT: return "internal error (panic)";
    default: return "internal error";
  }
}

}  // namespace vesk::ffi
