// Signing identities: opening from a key file or a bare identity seed, the verifying key, release.
#include "ffi/args.h"
#include "ffi/guard.h"
#include "ffi/handles.h"
#include "ffi/key_data.h"
#include "ffi/results.h"
#include "ffi/status_keyring.h"
#include "keyring/identity_seed.h"
#include "sign/hybrid.h"
#include "vesk.h"

using namespace vesk;

extern "C" {

VESK_EXPORT VeskStatus vesk_signing_identity_open(const uint8_t* data, size_t data_len, const char* passphrase,
                                                  VeskSigningIdentityHandle** out) {
  return ffi::open_key_data(data, data_len, passphrase, out, keyring::open_identity_seed, [](const Key32& seed) {
    return ffi::new_signing_identity_handle(sign::SigningIdentity::from_seed(seed.view()));
  });
}

VESK_EXPORT VeskStatus vesk_signing_identity_public(const VeskSigningIdentityHandle* identity, VeskBuffer* out) {
  if (!ffi::present(identity) || !ffi::present(out)) return VESK_INVALID_ARGUMENT;
  return ffi::guarded([&]() -> VeskStatus {
    ffi::put_bytes(out, ffi::identity_of(identity).verifying_key());
    return VESK_OK;
  });
}

VESK_EXPORT void vesk_signing_identity_free(VeskSigningIdentityHandle* identity) {
  ffi::free_signing_identity_handle(identity);
}

}  // extern "C"
