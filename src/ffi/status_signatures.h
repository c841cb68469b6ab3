// Status tables of the message-signature and challenge operations.
#pragma once

#include "ffi/status.h"
#include "sign/challenge/challenge.h"
#include "sign/message.h"

namespace vesk::ffi {

Status status_of(const sign::MessageError& error);
Status status_of(const sign::ChallengeError& error);

}  // namespace vesk::ffi
