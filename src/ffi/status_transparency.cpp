#include "ffi/status_transparency.h"

#include "core/check.h"

namespace vesk::ffi {

VeskStatus proof_status(bool verified) { return verified ? VESK_OK : VESK_AUTHENTICATION_FAILED; }

VeskStatus status_of(transparency::CheckpointError error) {
  using E = transparency::CheckpointError;
  switch (error) {
    case E::UnusableKey: return VESK_NOT_KEY_FILE;
    case E::Malformed: return VESK_MALFORMED_INPUT;
    case E::OriginMismatch:
    case E::NoLogSignature:
    case E::BadLogSignature: return VESK_AUTHENTICATION_FAILED;
  }
  VESK_FAULT("checkpoint error out of range");
}

}  // namespace vesk::ffi
