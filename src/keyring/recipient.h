// Recipient keypairs: a 32-byte X-Wing seed is the whole secret key; the 1216-byte public key is
// recomputed from it whenever it is needed.
#pragma once

#include <optional>
#include <string_view>

#include "core/bytes.h"
#include "core/crypto/xwing.h"
#include "core/expected.h"
#include "core/secret.h"
#include "keyring/key_file.h"

namespace vesk::keyring {

inline constexpr std::size_t kSeedLen = crypto::kXWingSeedLen;         // 32
inline constexpr std::size_t kPublicKeyLen = crypto::kXWingPublicLen;  // 1216

enum class KeypairError {
  RandomnessFailed,  // the system randomness source failed
  DerivationFailed,  // libcrypto reported the key derivation as failed
};

struct RecipientKeypair {
  SecretArray<kSeedLen> seed;
  crypto::XWingPublicKey public_key;
};

// Draws a fresh seed and derives its keypair.
Expected<RecipientKeypair, KeypairError> generate_keypair();

// The public key of a seed.
Expected<crypto::XWingPublicKey, KeypairError> recipient_public_key(crypto::XWingSeed seed);

// The recipient seed held by key data: a key file of either kind (passphrase required; an
// identity seed becomes its derived encryption key) or a bare 32-byte identity seed (its derived
// encryption key; the passphrase is ignored).
Expected<SecretArray<kSeedLen>, KeyFileError> open_recipient_key(Bytes data,
                                                                 std::optional<std::string_view> passphrase);

}  // namespace vesk::keyring
