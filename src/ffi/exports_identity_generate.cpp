// vesk_identity_generate: a fresh identity seed, handed back only inside a protected key file.
#include "core/random.h"
#include "core/secret.h"
#include "ffi/args.h"
#include "ffi/guard.h"
#include "ffi/random_sourced.h"
#include "ffi/results.h"
#include "ffi/status_keyring.h"
#include "keyring/key_file.h"
#include "vesk.h"

using namespace vesk;

namespace vesk::ffi {

VeskStatus identity_generate_from(RandomFill fill, const char* passphrase, VeskBuffer* key_file_out) {
  if (key_file_out == nullptr) return VESK_INVALID_ARGUMENT;
  const auto text = text_arg(passphrase);
  if (!text) return VESK_INVALID_ARGUMENT;
  return guarded_with_secrets([&]() -> Status {
    const TextCopy passphrase_copy(passphrase);
    if (!passphrase_copy.valid()) return Status::InvalidArgument;
    // The seed never leaves this array, which wipes itself on every way out, faults included.
    SecretArray<32> seed;
    if (!fill(seed.span())) return Status::InternalError;
    auto file = keyring::write_key_file(seed.view(), passphrase_copy.view(), keyring::SecretKind::IdentitySeed);
    if (!file) return status_of(file.error());
    put_bytes(key_file_out, *file);
    return Status::Ok;
  });
}

}  // namespace vesk::ffi

extern "C" {

VESK_EXPORT VeskStatus vesk_identity_generate(const char* passphrase, VeskBuffer* key_file_out) {
  return ffi::identity_generate_from(&random_fill, passphrase, key_file_out);
}

}  // extern "C"
