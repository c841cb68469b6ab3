// An operation's result handed to the caller: its error as the family's status, or its value in
// the caller's buffer.
#pragma once

#include <type_traits>
#include <utility>

#include "core/expected.h"
#include "core/memory.h"
#include "ffi/results.h"
#include "ffi/status_identity.h"
#include "ffi/status_keyring.h"
#include "ffi/status_object.h"
#include "ffi/status_sign.h"
#include "ffi/status_transparency.h"
#include "vesk.h"

namespace vesk::ffi {

// An OutputBuffer is handed over as it stands; any other value (the bytes of a fixed or growing
// record) is copied into a result of its exact length.
template <class T, class E>
VeskStatus deliver(VeskBuffer* out, Expected<T, E>&& result) {
  if (!result) return status_of(result.error());
  if constexpr (std::is_same_v<T, OutputBuffer>) {
    put_output(out, std::move(*result));
  } else {
    put_bytes(out, *result);
  }
  return VESK_OK;
}

}  // namespace vesk::ffi
