// The texts vesk_error_message gives for the statuses. The statuses themselves are the VESK_*
// values of vesk.h, spelled that way everywhere in this family.
#pragma once

#include <cstdint>

#include "vesk.h"

namespace vesk::ffi {

const char* status_text(std::int32_t status);

}  // namespace vesk::ffi
