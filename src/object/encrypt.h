// Encryption of one plaintext to 1..64 recipients into a format 1.0 container.
#pragma once

#include <optional>
#include <string_view>

#include "core/bytes.h"
#include "core/expected.h"
#include "core/memory.h"
#include "object/object_error.h"

namespace vesk::object {

// `recipient_keys` holds 1..64 recipient public keys back to back; every one is checked before
// anything random is drawn (UnusableRecipientKey). The texts are UTF-8 and are checked against the
// metadata rules here (a breach is a Format error). The result is sized exactly up front and the
// payload is sealed straight into it.
Expected<OutputBuffer, ObjectError> encrypt(Bytes plaintext, Bytes recipient_keys,
                                            std::optional<std::string_view> file_name,
                                            std::optional<std::string_view> content_type);

}  // namespace vesk::object
