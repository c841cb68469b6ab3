// The transparency family's results as statuses.
#pragma once

#include "ffi/status.h"
#include "transparency/checkpoint/checkpoint.h"

namespace vesk::ffi {

// A proof either verifies or it does not; every refusal is the one status.
Status proof_status(bool verified);
Status status_of(transparency::CheckpointError error);

}  // namespace vesk::ffi
