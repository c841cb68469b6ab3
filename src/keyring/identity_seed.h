// Identity seeds as key data: a new one, handed back only inside a key file, and the seed that key
// data holds when it is opened as a signing identity. The signing keys themselves are derived
// above this family (sign::SigningIdentity).
#pragma once

#include <optional>
#include <string_view>

#include "core/bytes.h"
#include "core/expected.h"
#include "core/secret.h"
#include "keyring/key_file.h"

namespace vesk::keyring {

inline constexpr std::size_t kIdentitySeedLen = 32;

// Draws a fresh identity seed (SeedUnavailable when the source fails, before the passphrase is
// looked at) and writes it into a version 2 file of kind IdentitySeed under the passphrase. The
// seed never leaves this function in the clear.
Expected<KeyFileBytes, KeyFileError> generate_identity_key_file(std::string_view passphrase);

// The identity seed held by key data: a key file of kind IdentitySeed (PassphraseRequired without
// a passphrase; a recipient key file is NotIdentity), or a bare 32-byte seed (the passphrase, if
// given, plays no part; any other length is NotIdentity).
Expected<Key32, KeyFileError> open_identity_seed(Bytes data, std::optional<std::string_view> passphrase);

}  // namespace vesk::keyring
