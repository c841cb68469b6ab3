// vesk_identity_generate: a fresh identity seed, handed back only inside a protected key file.
#include "ffi/args.h"
#include "ffi/guard.h"
#include "ffi/key_data.h"
#include "keyring/identity_seed.h"
#include "vesk.h"

using namespace vesk;

extern "C" {

VESK_EXPORT VeskStatus vesk_identity_generate(const char* passphrase, VeskBuffer* key_file_out) {
  if (!ffi::present(key_file_out) || !ffi::text_ok(passphrase)) return VESK_INVALID_ARGUMENT;
  return ffi::guarded_with_secrets([&] {
    return ffi::put_key_file(passphrase, key_file_out, keyring::generate_identity_key_file);
  });
}

}  // extern "C"
