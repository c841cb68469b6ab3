// The two exports that open key data (a key file, or a bare seed) with an optional passphrase into
// a handle: vesk_secret_key_open and vesk_signing_identity_open. They share their argument rules
// and copies; the keyring family opens the data, and its key-file table says every status.
// The two that write a key file under a passphrase, vesk_secret_key_protect and
// vesk_identity_generate, share what they do inside the guard.
#pragma once

#include <optional>
#include <string_view>

#include "ffi/args.h"
#include "ffi/deliver.h"
#include "ffi/guard.h"
#include "ffi/status_keyring.h"
#include "vesk.h"

namespace vesk::ffi {

// `open(data, passphrase)` is the keyring's opener, returning Expected<seed, keyring::KeyFileError>;
// `make(seed)` builds the handle from the seed it opened.
template <class Handle, class Open, class Make>
VeskStatus open_key_data(const std::uint8_t* data, std::size_t data_len, const char* passphrase, Handle** out,
                         Open&& open, Make&& make) {
  if (!range_ok(data, data_len, VESK_MAX_KEY_DATA) || !optional_text_ok(passphrase) || !present(out))
    return VESK_INVALID_ARGUMENT;
  return guarded_with_secrets([&]() -> VeskStatus {
    const InputCopy input(data, data_len);
    const TextCopy passphrase_copy(passphrase);
    if (!passphrase_copy.valid()) return VESK_INVALID_ARGUMENT;
    auto seed = open(input.view(), passphrase_copy.optional());
    if (!seed) return status_of(seed.error());
    *out = make(*seed);
    return VESK_OK;
  });
}

// Inside the guard: the passphrase is copied and checked again, `write(passphrase)` returns
// Expected<keyring::KeyFileBytes, keyring::KeyFileError>, and the file goes to `out`.
template <class Write>
VeskStatus put_key_file(const char* passphrase, VeskBuffer* out, Write&& write) {
  const TextCopy passphrase_copy(passphrase);
  if (!passphrase_copy.valid()) return VESK_INVALID_ARGUMENT;
  return deliver(out, write(passphrase_copy.view()));
}

}  // namespace vesk::ffi
