#include "keyring/recipient.h"

#include "core/random.h"

namespace vesk::keyring {

Expected<RecipientKeypair, KeypairError> generate_keypair() {
  SecretArray<kSeedLen> seed;
  if (!random_fill(seed.span())) return unexpected(KeypairError::RandomnessFailed);
  // The expanded secret keys live in the derived key object and are cleared with it.
  auto key = crypto::XWingSecretKey::try_from_seed(seed.fixed());
  if (!key) return unexpected(KeypairError::DerivationFailed);
  return RecipientKeypair{std::move(seed), key->public_key()};
}

Expected<crypto::XWingPublicKey, KeypairError> recipient_public_key(crypto::XWingSeed seed) {
  auto key = crypto::XWingSecretKey::try_from_seed(seed);
  if (!key) return unexpected(KeypairError::DerivationFailed);
  return key->public_key();
}

Expected<SecretArray<kSeedLen>, KeyFileError> open_recipient_key(Bytes data,
                                                                 std::optional<std::string_view> passphrase) {
  if (data.size() < kMagicLen) return unexpected(KeyFileError{KeyFileErrorKind::Malformed});
  if (has_key_file_magic(data)) {
    if (!passphrase) return unexpected(KeyFileError{KeyFileErrorKind::WrongPassphrase});
    VESK_TRY(opened, parse_key_file(data, *passphrase));
    if (opened.kind == SecretKind::RecipientSeed) return std::move(opened.secret);
    return identity_encryption_seed(opened.secret.view());
  }
  if (data.size() != kSeedLen) return unexpected(KeyFileError{KeyFileErrorKind::Malformed});
  return identity_encryption_seed(data);
}

}  // namespace vesk::keyring
