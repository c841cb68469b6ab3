// The signing family's errors as statuses: message signatures and challenges.
#pragma once

#include "ffi/status.h"
#include "sign/challenge/challenge.h"
#include "sign/message.h"

namespace vesk::ffi {

Status status_of(const sign::MessageError& error);
Status status_of(const sign::ChallengeError& error);

}  // namespace vesk::ffi
