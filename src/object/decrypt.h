// Decryption of a container of format 1.0 or 0.5 with one recipient secret seed. Everything is
// authenticated before anything is returned.
#pragma once

#include "core/bytes.h"
#include "core/crypto/xwing.h"
#include "core/expected.h"
#include "core/memory.h"
#include "object/object_error.h"

namespace vesk::object {

struct Decrypted {
  OutputBuffer plaintext;
  OutputBuffer file_name;     // empty when the metadata has none
  OutputBuffer content_type;  // empty when the metadata has none
};

Expected<Decrypted, ObjectError> decrypt(Bytes container, crypto::XWingSeed secret_seed);

}  // namespace vesk::object
