// The signing family's errors as statuses: message signatures and challenges.
#pragma once

#include "vesk.h"
#include "sign/challenge/challenge.h"
#include "sign/message.h"

namespace vesk::ffi {

VeskStatus status_of(const sign::MessageError& error);
VeskStatus status_of(const sign::ChallengeError& error);

}  // namespace vesk::ffi
