// The container family's errors as statuses, for encryption and decryption alike.
#pragma once

#include "vesk.h"
#include "object/object_error.h"

namespace vesk::ffi {

VeskStatus status_of(const object::ObjectError& error);

}  // namespace vesk::ffi
