// Encrypted containers: vesk_encrypt and vesk_decrypt, with the container family's status tables.
#include <optional>
#include <vector>

#include "core/crypto/xwing.h"
#include "ffi/args.h"
#include "format/container.h"
#include "ffi/guard.h"
#include "ffi/handles.h"
#include "ffi/results.h"
#include "ffi/status.h"
#include "object/decrypt.h"
#include "object/encrypt.h"
#include "object/object_error.h"
#include "object/wrap.h"
#include "vesk.h"

using namespace vesk;

namespace {

using object::ObjectErrorKind;

// The decryption cap is the longest container the largest plaintext can give.
static_assert(VESK_MAX_CONTAINER == format::kPreludeLen + format::kMaxHeaderBlockLen + format::kPayloadSaltLen +
                                        std::uint64_t{VESK_MAX_PLAINTEXT} +
                                        format::chunk_count(VESK_MAX_PLAINTEXT) *
                                            (format::kChunkHeaderLen + format::kChunkTagLen));

ffi::Status encrypt_status(const object::ObjectError& e) {
  switch (e.kind) {
    case ObjectErrorKind::InvalidArgument: return ffi::Status::InvalidArgument;
    case ObjectErrorKind::Crypto: return ffi::Status::AuthenticationFailed;
    case ObjectErrorKind::Format: return ffi::Status::MalformedInput;
    case ObjectErrorKind::TooLarge: return ffi::Status::InputTooLarge;
    case ObjectErrorKind::NoMatchingRecipient:
    case ObjectErrorKind::Malformed:
    case ObjectErrorKind::SignatureRefused: return ffi::Status::MalformedInput;
  }
  return ffi::Status::MalformedInput;
}

ffi::Status decrypt_status(const object::ObjectError& e) {
  switch (e.kind) {
    case ObjectErrorKind::InvalidArgument: return ffi::Status::InvalidArgument;
    case ObjectErrorKind::Crypto: return ffi::Status::AuthenticationFailed;
    case ObjectErrorKind::NoMatchingRecipient: return ffi::Status::NoMatchingRecipient;
    case ObjectErrorKind::Format:
    case ObjectErrorKind::Malformed:
    case ObjectErrorKind::SignatureRefused: return ffi::Status::MalformedInput;
    case ObjectErrorKind::TooLarge: return ffi::Status::InputTooLarge;
  }
  return ffi::Status::MalformedInput;
}

}  // namespace

extern "C" {

VESK_EXPORT VeskStatus vesk_encrypt(const uint8_t* data, size_t data_len, const uint8_t* recipients,
                                    size_t recipient_count, const char* file_name, const char* content_type,
                                    VeskBuffer* out) {
  if (data_len > VESK_MAX_PLAINTEXT) return VESK_INVALID_ARGUMENT;
  if (recipient_count == 0 || recipient_count > VESK_MAX_RECIPIENTS) return VESK_INVALID_ARGUMENT;
  if (out == nullptr) return VESK_INVALID_ARGUMENT;
  if (data == nullptr && data_len != 0) return VESK_INVALID_ARGUMENT;
  if (recipients == nullptr) return VESK_INVALID_ARGUMENT;
  return ffi::guarded_with_secrets([&]() -> ffi::Status {
    // Every key is validated, in list order, before anything random is drawn.
    std::vector<crypto::XWingRecipient> keys;
    keys.reserve(recipient_count);
    for (std::size_t i = 0; i < recipient_count; ++i) {
      auto key = object::validate_public_key(Bytes(recipients + i * VESK_PUBLIC_KEY_LEN, VESK_PUBLIC_KEY_LEN));
      if (!key) return ffi::Status::InvalidArgument;
      keys.push_back(std::move(*key));
    }
    const auto name = ffi::optional_text_arg(file_name);
    const auto type = ffi::optional_text_arg(content_type);
    if (!name || !type) return ffi::Status::InvalidArgument;

    auto container = object::encrypt(view(data, data_len), keys, *name, *type);
    if (!container) return encrypt_status(container.error());
    ffi::put_output(out, std::move(*container));
    return ffi::Status::Ok;
  });
}

VESK_EXPORT VeskStatus vesk_decrypt(const uint8_t* data, size_t data_len, const VeskSecretKeyHandle* secret_key,
                                    VeskBuffer* plaintext_out, VeskBuffer* file_name_out,
                                    VeskBuffer* content_type_out) {
  // The cap is the largest container a plaintext of VESK_MAX_PLAINTEXT bytes can produce, so that
  // everything vesk_encrypt writes can be read back.
  if (data_len > VESK_MAX_CONTAINER) return VESK_INVALID_ARGUMENT;
  if (secret_key == nullptr) return VESK_INVALID_ARGUMENT;
  if (plaintext_out == nullptr) return VESK_INVALID_ARGUMENT;
  if (data == nullptr && data_len != 0) return VESK_INVALID_ARGUMENT;
  return ffi::guarded_with_secrets([&]() -> ffi::Status {
    auto result = object::decrypt(view(data, data_len), ffi::seed_of(secret_key));
    if (!result) return decrypt_status(result.error());
    ffi::put_output(plaintext_out, std::move(result->plaintext));
    if (file_name_out != nullptr) ffi::put_output(file_name_out, std::move(result->file_name));
    if (content_type_out != nullptr) ffi::put_output(content_type_out, std::move(result->content_type));
    return ffi::Status::Ok;
  });
}

}  // extern "C"
