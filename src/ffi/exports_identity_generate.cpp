// vesk_identity_generate: a fresh identity seed, handed back only inside a protected key file.
#include "ffi/args.h"
#include "ffi/deliver.h"
#include "ffi/guard.h"
#include "ffi/results.h"
#include "ffi/status_keyring.h"
#include "keyring/identity_seed.h"
#include "vesk.h"

using namespace vesk;

extern "C" {

VESK_EXPORT VeskStatus vesk_identity_generate(const char* passphrase, VeskBuffer* key_file_out) {
  if (!ffi::present(key_file_out) || !ffi::text_ok(passphrase)) return VESK_INVALID_ARGUMENT;
  return ffi::guarded_with_secrets([&]() -> VeskStatus {
    const ffi::TextCopy passphrase_copy(passphrase);
    if (!passphrase_copy.valid()) return VESK_INVALID_ARGUMENT;
    return ffi::deliver(key_file_out, keyring::generate_identity_key_file(passphrase_copy.view()));
  });
}

}  // extern "C"
