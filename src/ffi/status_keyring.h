// The keyring family's errors as statuses. The key-file table serves every export that writes or
// opens key files: recipient keys, signing identities and identity generation.
#pragma once

#include "ffi/status.h"
#include "keyring/armor.h"
#include "keyring/key_file.h"
#include "keyring/recipient.h"

namespace vesk::ffi {

Status status_of(const keyring::KeyFileError& error);
Status status_of(keyring::KeypairError error);
Status status_of(keyring::DearmorError error);

}  // namespace vesk::ffi
