// The keyring family's errors as statuses. The key-file table serves every export that writes or
// opens key files: recipient keys, signing identities and identity generation.
#pragma once

#include "vesk.h"
#include "keyring/armor.h"
#include "keyring/key_file.h"
#include "keyring/recipient.h"

namespace vesk::ffi {

VeskStatus status_of(const keyring::KeyFileError& error);
VeskStatus status_of(keyring::KeypairError error);
VeskStatus status_of(keyring::DearmorError error);

}  // namespace vesk::ffi
