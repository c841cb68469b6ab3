// The identity family's errors as statuses: identity logs, epoch chains, and the two together.
#pragma once

#include "vesk.h"
#include "identity/epoch_chain.h"
#include "identity/identity_error.h"
#include "identity/queries.h"

namespace vesk::ffi {

VeskStatus status_of(const identity::IdentityError& error);
VeskStatus status_of(const identity::EpochChainError& error);
VeskStatus status_of(const identity::BoundEpochError& error);

}  // namespace vesk::ffi
