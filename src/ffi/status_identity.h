// The identity family's error -> status table.
#pragma once

#include "ffi/status.h"
#include "identity/epoch_chain.h"
#include "identity/identity_error.h"

namespace vesk::ffi {

Status identity_status(const identity::IdentityError& error);
Status epoch_status(const identity::EpochChainError& error);

}  // namespace vesk::ffi
