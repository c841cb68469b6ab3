// Protected key files ("VESK-KEY"): the writer shared by vesk_secret_key_protect and
// vesk_identity_generate, and the parser shared by vesk_secret_key_open and
// vesk_signing_identity_open.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "core/bytes.h"
#include "core/expected.h"
#include "core/secret.h"

namespace vesk::keyring {

inline constexpr std::size_t kKeyFileV1Len = 94;
inline constexpr std::size_t kKeyFileV2Len = 95;
inline constexpr std::size_t kMagicLen = 8;

enum class KeyFileErrorKind {
  UnsupportedVersion,  // version byte other than 1 or 2
  Malformed,           // lengths, kind byte, data that is neither key file nor seed
  BadParameters,       // Argon2 parameters out of bounds, or refused by the derivation
  WrongPassphrase,     // no passphrase form opens the file (or none was given)
  PassphraseTooShort,  // writer: fewer than 8 scalar values after NFC
  Other,               // randomness or encryption failure while writing
  PassphraseRequired,  // opening a signing identity: a key file, and no passphrase
  NotIdentity,         // opening a signing identity: a recipient key file, or neither key file nor seed
  SeedUnavailable,     // a new identity: the randomness source gave no seed
};

struct KeyFileError {
  KeyFileErrorKind kind;
};

// What a key file holds.
enum class SecretKind : std::uint8_t {
  IdentitySeed = 1,   // kind byte 1
  RecipientSeed = 2,  // kind byte 2, and every version 1 file
};

struct OpenedSecret {
  Key32 secret;
  SecretKind kind;
};

using KeyFileBytes = std::array<std::uint8_t, kKeyFileV2Len>;

// True when the data is at least 8 bytes and begins with "VESK-KEY".
bool has_key_file_magic(Bytes data);

// Writes a version 2 file holding `secret` under the passphrase (UTF-8, normalised to NFC here).
Expected<KeyFileBytes, KeyFileError> write_key_file(Bytes secret32, std::string_view passphrase, SecretKind kind);

// Parses and decrypts a key file. The caller has checked has_key_file_magic. Tries the
// passphrase's NFC form, the form given and its NFD form, each at most once.
Expected<OpenedSecret, KeyFileError> parse_key_file(Bytes data, std::string_view passphrase);

// The recipient secret seed derived from an identity seed (HKDF-Expand-SHA-256 under
// "VESK/0.5 identity encryption").
Key32 identity_encryption_seed(Bytes identity_seed32);

}  // namespace vesk::keyring
