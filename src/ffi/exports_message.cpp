// Message signatures: vesk_sign_message and vesk_verify_message.
#include "ffi/args.h"
#include "ffi/deliver.h"
#include "ffi/guard.h"
#include "ffi/handles.h"
#include "ffi/results.h"
#include "ffi/status_sign.h"
#include "sign/message.h"
#include "vesk.h"

using namespace vesk;

extern "C" {

VESK_EXPORT VeskStatus vesk_sign_message(const VeskSigningIdentityHandle* identity, const uint8_t* context,
                                         size_t context_len, const uint8_t* message, size_t message_len,
                                         VeskBuffer* signature_out) {
  if (!ffi::present(identity) || !ffi::present(signature_out) ||
      !ffi::range_ok(context, context_len, VESK_MAX_CONTEXT) || !ffi::range_ok(message, message_len, VESK_MAX_PLAINTEXT))
    return VESK_INVALID_ARGUMENT;
  return ffi::guarded_with_secrets([&]() -> VeskStatus {
    // A context in the library's own "VESK/" namespace is the signing family's refusal: the
    // context is copied, so that what is checked is what is signed. The message is read once,
    // into the signing input.
    const ffi::InputCopy context_copy(context, context_len);
    return ffi::deliver(signature_out, sign::sign_message(ffi::identity_of(identity), context_copy.view(),
                                                          view(message, message_len)));
  });
}

VESK_EXPORT VeskStatus vesk_verify_message(const uint8_t* verifying_key, size_t verifying_key_len,
                                           const uint8_t* context, size_t context_len, const uint8_t* message,
                                           size_t message_len, const uint8_t* signature, size_t signature_len) {
  // A key or signature of the wrong size is an argument breach, never a failed verification.
  if (!ffi::exact_ok(verifying_key, verifying_key_len, VESK_VERIFYING_KEY_LEN) ||
      !ffi::range_ok(context, context_len, VESK_MAX_CONTEXT) ||
      !ffi::range_ok(message, message_len, VESK_MAX_PLAINTEXT) ||
      !ffi::exact_ok(signature, signature_len, VESK_SIGNATURE_LEN))
    return VESK_INVALID_ARGUMENT;
  return ffi::guarded([&]() -> VeskStatus {
    // The message is read once, into the signing input both halves verify.
    const ffi::InputCopy key(verifying_key, verifying_key_len), context_copy(context, context_len),
        sig(signature, signature_len);
    auto verified = sign::verify_message(key.view(), context_copy.view(), view(message, message_len), sig.view());
    if (!verified) return ffi::status_of(verified.error());
    return VESK_OK;
  });
}

}  // extern "C"
