// The container family's errors as statuses, for encryption and decryption alike.
#pragma once

#include "ffi/status.h"
#include "object/object_error.h"

namespace vesk::ffi {

Status status_of(const object::ObjectError& error);

}  // namespace vesk::ffi
