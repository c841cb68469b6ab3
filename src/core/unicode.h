// Unicode normalisation into wiping buffers (passphrase forms are secrets).
#pragma once

#include <optional>

#include "core/bytes.h"
#include "core/secret.h"

namespace vesk {

enum class NormalForm { Nfc, Nfd };

// The normalised UTF-8 of well-formed UTF-8 text; nullopt if the text is not well formed. Every
// working buffer is wiped when released.
std::optional<SecureVector> normalize(Bytes utf8, NormalForm form);

}  // namespace vesk
