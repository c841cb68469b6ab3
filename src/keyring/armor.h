// The text armor of recipient public keys: the label "vesk-public-key:", then the Base64 of the key
// in lines of at most 64 characters, each after a line feed, then a final line feed.
#pragma once

#include <string_view>

#include "core/bytes.h"
#include "core/expected.h"
#include "core/memory.h"

namespace vesk::keyring {

inline constexpr std::string_view kArmorLabel = "vesk-public-key:";
inline constexpr std::size_t kArmorLineLen = 64;
inline constexpr std::size_t kArmorLen = 1667;  // the armor of a 1216-byte key

enum class DearmorError {
  NotBase64,    // the Base64 text is not strict, canonical Base64
  WrongLength,  // it decodes to other than 1216 bytes
};

// Armors any 1216 bytes (the key is not checked otherwise).
OutputBuffer armor_public_key(Bytes public_key);

// Reads an armored public key. Line feeds or CR LF, blank and white-space lines, and lines that
// begin with the label (anywhere) are tolerated; the Base64 itself must be strict. The result's
// capacity is the decoder's estimate for the Base64 text (1218 for a canonical armor).
Expected<OutputBuffer, DearmorError> dearmor_public_key(std::string_view text);

}  // namespace vesk::keyring
