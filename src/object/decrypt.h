// Decryption of a container of format 1.0 or 0.5 with one recipient secret seed. Everything is
// authenticated before anything is returned.
#pragma once

#include "core/bytes.h"
#include "core/expected.h"
#include "core/memory.h"
#include "object/object_error.h"

namespace vesk::object {

struct Decrypted {
  OutputBuffer plaintext;
  OutputBuffer file_name;     // empty when the metadata has none
  OutputBuffer content_type;  // empty when the metadata has none
};

// `secret_seed` is the recipient's 32-byte X-Wing seed.
Expected<Decrypted, ObjectError> decrypt(Bytes container, Bytes secret_seed);

}  // namespace vesk::object
