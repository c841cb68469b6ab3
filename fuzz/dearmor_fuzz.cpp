// Armored public keys: any text either decodes to exactly 1216 bytes (in a 1218-byte allocation)
// that armor and dearmor back to themselves, or is refused; nothing faults.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/bytes.h"
#include "core/utf8.h"
#include "keyring/armor.h"

using namespace vesk;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The export takes a NUL-terminated UTF-8 text.
  std::string_view text(reinterpret_cast<const char*>(data), size);
  text = text.substr(0, text.find('\0'));
  if (!is_valid_utf8(text)) return 0;

  auto key = keyring::dearmor_public_key(text);
  if (!key) return 0;
  if (key->size() != 1216 || key->capacity() != 1218) std::abort();
  const Bytes decoded(key->data(), key->size());
  OutputBuffer armor = keyring::armor_public_key(decoded);
  if (armor.size() != keyring::kArmorLen) std::abort();
  auto again = keyring::dearmor_public_key(as_text(Bytes(armor.data(), armor.size())));
  if (!again || !equal_bytes(Bytes(again->data(), again->size()), decoded)) std::abort();
  return 0;
}
