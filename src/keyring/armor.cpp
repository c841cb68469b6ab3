#include "keyring/armor.h"

#include <string>

#include "core/base64.h"
#include "core/check.h"
#include "core/utf8.h"
#include "keyring/recipient.h"

namespace vesk::keyring {

OutputBuffer armor_public_key(Bytes public_key) {
  std::string base64 = base64_encode(public_key);
  const std::size_t lines = (base64.size() + kArmorLineLen - 1) / kArmorLineLen;
  OutputBuffer out(checked_add(checked_add(kArmorLabel.size(), base64.size()), checked_add(lines, 1)));
  auto append = [&out](std::string_view s) { out.append(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()); };
  append(kArmorLabel);
  for (std::size_t at = 0; at < base64.size(); at += kArmorLineLen) {
    append("\n");
    append(std::string_view(base64).substr(at, kArmorLineLen));
  }
  append("\n");
  return out;
}

Expected<OutputBuffer, DearmorError> dearmor_public_key(std::string_view text) {
  // Lines end at each line feed (a CR before it goes too); the remainder after the last line feed
  // is a line only when it is not empty. Blank lines and label lines go; the rest is joined as is.
  std::string joined;
  joined.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t lf = text.find('\n', pos);
    std::string_view line;
    if (lf == std::string_view::npos) {
      line = text.substr(pos);
      pos = text.size();
    } else {
      line = text.substr(pos, lf - pos);
      pos = lf + 1;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    }
    if (is_all_white_space(as_bytes(line))) continue;
    if (line.substr(0, kArmorLabel.size()) == kArmorLabel) continue;
    joined.append(line);
  }
  const std::string_view base64 = as_text(trim_white_space(as_bytes(joined)));

  OutputBuffer out(base64_decode_estimate(base64.size()));
  const std::size_t room = out.capacity();
  auto decoded = base64_decode(base64, MutBytes(out.extend(room), room));
  if (!decoded) return unexpected(DearmorError::NotBase64);
  if (*decoded != kPublicKeyLen) return unexpected(DearmorError::WrongLength);
  out.truncate(*decoded);
  return out;
}

}  // namespace vesk::keyring
