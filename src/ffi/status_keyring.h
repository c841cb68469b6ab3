// Statuses of the keyring family's errors. The key-file table is shared by every export that
// writes or opens key files (recipient keys, signing identities, identity generation).
#pragma once

#include "ffi/status.h"
#include "keyring/armor.h"
#include "keyring/key_file.h"
#include "keyring/recipient.h"

namespace vesk::ffi {

// unsupported version 3; malformed 6; bad parameters 6; wrong passphrase 2; passphrase too short
// 1; other failure (randomness, encryption) 6.
Status key_file_status(const keyring::KeyFileError& error);

// Randomness and derivation failures of keypair generation: 99.
Status keypair_status(keyring::KeypairError error);

// Base64 that is not strict: 6; a key of the wrong length: 1.
Status dearmor_status(keyring::DearmorError error);

}  // namespace vesk::ffi
