// The frame functions: result buffers, status texts, version, and the guard check.
#include "core/memory.h"
#include "core/secret.h"
#include "ffi/guard.h"
#include "ffi/status.h"
#include "vesk.h"

using namespace vesk;

extern "C" {

VESK_EXPORT VeskBuffer vesk_buffer_empty(void) { return VeskBuffer{nullptr, 0, 0}; }

VESK_EXPORT void vesk_buffer_free(VeskBuffer* buf) {
  if (buf == nullptr || buf->data == nullptr) return;
  // Every result is wiped over its length before release, secret or not.
  if (buf->capacity != 0) {
    release_result(buf->data, buf->len, buf->capacity);
  } else {
    wipe(buf->data, buf->len);
  }
  buf->data = nullptr;
  buf->len = 0;
  buf->capacity = 0;
}

VESK_EXPORT const char* vesk_error_message(int32_t status) { return ffi::status_text(status); }

VESK_EXPORT const char* vesk_version(void) { return VESK_VERSION; }

VESK_EXPORT VeskStatus vesk_test_panic(void) {
  return ffi::guarded([]() -> VeskStatus { VESK_FAULT("deliberate panic for the ABI guard test"); });
}

}  // extern "C"
