#include "ffi/status_transparency.h"

#include "core/check.h"

namespace vesk::ffi {

Status proof_status(bool verified) { return verified ? Status::Ok : Status::AuthenticationFailed; }

Status status_of(transparency::CheckpointError error) {
  using E = transparency::CheckpointError;
  switch (error) {
    case E::UnusableKey: return Status::NotKeyFile;
    case E::Malformed: return Status::MalformedInput;
    case E::OriginMismatch:
    case E::NoLogSignature:
    case E::BadLogSignature: return Status::AuthenticationFailed;
  }
  VESK_FAULT("checkpoint error out of range");
}

}  // namespace vesk::ffi
