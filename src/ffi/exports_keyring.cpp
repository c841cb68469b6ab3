// Recipient keys and key files: generation, public keys, armor, inspection, protect and open.
#include <cstring>

#include "core/memory.h"
#include "ffi/args.h"
#include "ffi/deliver.h"
#include "ffi/guard.h"
#include "ffi/handles.h"
#include "ffi/key_data.h"
#include "ffi/results.h"
#include "ffi/status_keyring.h"
#include "keyring/armor.h"
#include "keyring/key_file.h"
#include "keyring/recipient.h"
#include "vesk.h"

using namespace vesk;

extern "C" {

VESK_EXPORT VeskStatus vesk_keypair_generate(VeskSecretKeyHandle** secret_out, VeskBuffer* public_key_out) {
  if (!ffi::present(secret_out) || !ffi::present(public_key_out)) return VESK_INVALID_ARGUMENT;
  return ffi::guarded_with_secrets([&]() -> VeskStatus {
    auto pair = keyring::generate_keypair();
    if (!pair) return ffi::status_of(pair.error());
    OutputBuffer public_key = OutputBuffer::copy_of(pair->public_key.data(), pair->public_key.size());
    VeskSecretKeyHandle* handle = ffi::new_secret_key_handle(pair->seed.fixed());
    ffi::put_output(public_key_out, std::move(public_key));
    *secret_out = handle;
    return VESK_OK;
  });
}

VESK_EXPORT VeskStatus vesk_secret_key_public(const VeskSecretKeyHandle* secret_key, VeskBuffer* public_key_out) {
  if (!ffi::present(secret_key) || !ffi::present(public_key_out)) return VESK_INVALID_ARGUMENT;
  return ffi::guarded_with_secrets([&]() -> VeskStatus {
    return ffi::deliver(public_key_out, keyring::recipient_public_key(ffi::seed_of(secret_key)));
  });
}

VESK_EXPORT VeskStatus vesk_public_key_armor(const uint8_t* public_key, size_t public_key_len, VeskBuffer* text_out) {
  if (!ffi::exact_ok(public_key, public_key_len, VESK_PUBLIC_KEY_LEN) || !ffi::present(text_out))
    return VESK_INVALID_ARGUMENT;
  return ffi::guarded([&]() -> VeskStatus {
    const ffi::InputCopy key(public_key, public_key_len);
    ffi::put_output(text_out, keyring::armor_public_key(key.view()));
    return VESK_OK;
  });
}

VESK_EXPORT VeskStatus vesk_public_key_dearmor(const char* text, VeskBuffer* public_key_out) {
  if (!ffi::text_ok(text) || !ffi::present(public_key_out)) return VESK_INVALID_ARGUMENT;
  return ffi::guarded([&]() -> VeskStatus {
    const ffi::TextCopy armor(text);
    if (!armor.valid()) return VESK_INVALID_ARGUMENT;
    return ffi::deliver(public_key_out, keyring::dearmor_public_key(armor.view()));
  });
}

VESK_EXPORT VeskStatus vesk_inspect_key(const uint8_t* data, size_t data_len, int32_t* is_key_file_out) {
  if (!ffi::range_ok(data, data_len, VESK_MAX_KEY_DATA) || !ffi::present(is_key_file_out))
    return VESK_INVALID_ARGUMENT;
  return ffi::guarded([&]() -> VeskStatus {
    const ffi::InputCopy input(data, data_len);
    *is_key_file_out = keyring::has_key_file_magic(input.view()) ? 1 : 0;
    return VESK_OK;
  });
}

VESK_EXPORT void vesk_secret_key_free(VeskSecretKeyHandle* secret_key) { ffi::free_secret_key_handle(secret_key); }

VESK_EXPORT VeskStatus vesk_secret_key_protect(const VeskSecretKeyHandle* secret_key, const char* passphrase,
                                               VeskBuffer* key_file_out) {
  if (!ffi::present(secret_key) || !ffi::text_ok(passphrase) || !ffi::present(key_file_out))
    return VESK_INVALID_ARGUMENT;
  return ffi::guarded_with_secrets([&] {
    return ffi::put_key_file(passphrase, key_file_out, [&](std::string_view pass) {
      return keyring::write_key_file(ffi::seed_of(secret_key), pass, keyring::SecretKind::RecipientSeed);
    });
  });
}

VESK_EXPORT VeskStatus vesk_secret_key_open(const uint8_t* data, size_t data_len, const char* passphrase,
                                            VeskSecretKeyHandle** key_out) {
  return ffi::open_key_data(data, data_len, passphrase, key_out, keyring::open_recipient_key,
                            [](const auto& seed) { return ffi::new_secret_key_handle(seed.fixed()); });
}

}  // extern "C"
