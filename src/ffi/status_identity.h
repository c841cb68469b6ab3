// The identity family's errors as statuses: identity logs, epoch chains, and the two together.
#pragma once

#include "ffi/status.h"
#include "identity/epoch_chain.h"
#include "identity/identity_error.h"
#include "identity/queries.h"

namespace vesk::ffi {

Status status_of(const identity::IdentityError& error);
Status status_of(const identity::EpochChainError& error);
Status status_of(const identity::BoundEpochError& error);

}  // namespace vesk::ffi
