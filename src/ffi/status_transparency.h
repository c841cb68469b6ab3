// The transparency family's results as statuses.
#pragma once

#include "vesk.h"
#include "transparency/checkpoint/checkpoint.h"

namespace vesk::ffi {

// A proof either verifies or it does not; every refusal is the one status.
VeskStatus proof_status(bool verified);
VeskStatus status_of(transparency::CheckpointError error);

}  // namespace vesk::ffi
