// Signing identities: opening from a key file or a bare identity seed, the verifying key, release.
#include "core/memory.h"
#include "ffi/args.h"
#include "ffi/guard.h"
#include "ffi/handles.h"
#include "ffi/results.h"
#include "ffi/status_keyring.h"
#include "keyring/key_file.h"
#include "sign/hybrid.h"
#include "vesk.h"

using namespace vesk;
using ffi::Status;

extern "C" {

VESK_EXPORT VeskStatus vesk_signing_identity_open(const uint8_t* data, size_t data_len, const char* passphrase,
                                                  VeskSigningIdentityHandle** out) {
  if (out == nullptr || !ffi::range_ok(data, data_len, VESK_MAX_KEY_DATA)) return code(Status::InvalidArgument);
  if (!ffi::optional_text_arg(passphrase)) return code(Status::InvalidArgument);

  VeskSigningIdentityHandle* handle = nullptr;
  const VeskStatus status = ffi::guarded_with_secrets([&]() -> Status {
    const ffi::InputCopy input_copy(data, data_len);
    const ffi::TextCopy pass(passphrase);
    if (!pass.valid()) return Status::InvalidArgument;
    const Bytes input = input_copy.view();
    std::unique_ptr<sign::SigningIdentity> identity;
    if (keyring::has_key_file_magic(input)) {
      // A key file cannot be opened without its passphrase; unlike a recipient key, that is an
      // argument error here.
      if (!pass.optional()) return Status::InvalidArgument;
      auto opened = keyring::parse_key_file(input, pass.view());
      if (!opened) return ffi::status_of(opened.error());
      // A recipient secret is not an identity seed; its bytes are wiped as `opened` goes.
      if (opened->kind != keyring::SecretKind::IdentitySeed) return Status::NotKeyFile;
      identity = sign::SigningIdentity::from_seed(opened->secret.view());
    } else {
      // A bare identity seed; a passphrase, if given, plays no part.
      if (input.size() != sign::kIdentitySeedLen) return Status::NotKeyFile;
      identity = sign::SigningIdentity::from_seed(input);
    }
    handle = ffi::new_signing_identity_handle(std::move(identity));
    return Status::Ok;
  });
  if (status == VESK_OK) *out = handle;
  return status;
}

VESK_EXPORT VeskStatus vesk_signing_identity_public(const VeskSigningIdentityHandle* identity, VeskBuffer* out) {
  if (identity == nullptr || out == nullptr) return code(Status::InvalidArgument);
  return ffi::guarded([&]() -> Status {
    ffi::put_bytes(out, ffi::identity_of(identity).verifying_key());
    return Status::Ok;
  });
}

VESK_EXPORT void vesk_signing_identity_free(VeskSigningIdentityHandle* identity) {
  ffi::free_signing_identity_handle(identity);
}

}  // extern "C"
