// Encrypted containers: vesk_encrypt and vesk_decrypt.
#include "ffi/args.h"
#include "ffi/deliver.h"
#include "ffi/guard.h"
#include "ffi/handles.h"
#include "ffi/results.h"
#include "ffi/status_object.h"
#include "object/decrypt.h"
#include "object/encrypt.h"
#include "vesk.h"

using namespace vesk;

extern "C" {

VESK_EXPORT VeskStatus vesk_encrypt(const uint8_t* data, size_t data_len, const uint8_t* recipients,
                                    size_t recipient_count, const char* file_name, const char* content_type,
                                    VeskBuffer* out) {
  if (!ffi::range_ok(data, data_len, VESK_MAX_PLAINTEXT) ||
      !ffi::count_ok(recipients, recipient_count, 1, VESK_MAX_RECIPIENTS) || !ffi::present(out) ||
      !ffi::optional_text_ok(file_name) || !ffi::optional_text_ok(content_type))
    return VESK_INVALID_ARGUMENT;
  return ffi::guarded_with_secrets([&]() -> VeskStatus {
    // The plaintext is read once, chunk by chunk, as it is sealed; everything else is copied.
    const ffi::InputCopy keys(recipients, recipient_count * VESK_PUBLIC_KEY_LEN);
    const ffi::TextCopy name_copy(file_name), type_copy(content_type);
    if (!name_copy.valid() || !type_copy.valid()) return VESK_INVALID_ARGUMENT;
    return ffi::deliver(out,
                        object::encrypt(view(data, data_len), keys.view(), name_copy.optional(), type_copy.optional()));
  });
}

VESK_EXPORT VeskStatus vesk_decrypt(const uint8_t* data, size_t data_len, const VeskSecretKeyHandle* secret_key,
                                    VeskBuffer* plaintext_out, VeskBuffer* file_name_out,
                                    VeskBuffer* content_type_out) {
  // The cap is the largest container a plaintext of VESK_MAX_PLAINTEXT bytes can produce, so that
  // everything vesk_encrypt writes can be read back. The two text outputs are optional.
  if (!ffi::range_ok(data, data_len, VESK_MAX_CONTAINER) || !ffi::present(secret_key) || !ffi::present(plaintext_out))
    return VESK_INVALID_ARGUMENT;
  return ffi::guarded_with_secrets([&]() -> VeskStatus {
    auto result = object::decrypt(view(data, data_len), ffi::seed_of(secret_key));
    if (!result) return ffi::status_of(result.error());
    ffi::put_output(plaintext_out, std::move(result->plaintext));
    if (file_name_out != nullptr) ffi::put_output(file_name_out, std::move(result->file_name));
    if (content_type_out != nullptr) ffi::put_output(content_type_out, std::move(result->content_type));
    return VESK_OK;
  });
}

}  // extern "C"
