#include "keyring/identity_seed.h"

#include "core/random.h"

namespace vesk::keyring {
namespace {

Unexpected<KeyFileError> fail(KeyFileErrorKind kind) { return unexpected(KeyFileError{kind}); }

}  // namespace

Expected<KeyFileBytes, KeyFileError> generate_identity_key_file(std::string_view passphrase) {
  // The seed never leaves this array, which wipes itself on every way out, faults included.
  Key32 seed;
  if (!random_fill(seed.span())) return fail(KeyFileErrorKind::SeedUnavailable);
  return write_key_file(seed.view(), passphrase, SecretKind::IdentitySeed);
}

Expected<Key32, KeyFileError> open_identity_seed(Bytes data, std::optional<std::string_view> passphrase) {
  if (!has_key_file_magic(data)) {
    if (data.size() != kIdentitySeedLen) return fail(KeyFileErrorKind::NotIdentity);
    return Key32(data);
  }
  // Unlike a recipient key, a signing identity is not opened from a key file without its
  // passphrase: that is the caller's mistake, not a wrong passphrase.
  if (!passphrase) return fail(KeyFileErrorKind::PassphraseRequired);
  VESK_TRY(opened, parse_key_file(data, *passphrase));
  // A recipient secret is not an identity seed; its bytes are wiped as `opened` goes.
  if (opened.kind != SecretKind::IdentitySeed) return fail(KeyFileErrorKind::NotIdentity);
  return std::move(opened.secret);
}

}  // namespace vesk::keyring
