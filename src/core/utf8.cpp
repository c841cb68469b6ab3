#include "core/utf8.h"

namespace vesk {

std::optional<char32_t> next_scalar(Bytes s, std::size_t& pos) {
  if (pos >= s.size()) return std::nullopt;
  const std::uint8_t b0 = s[pos];
  if (b0 < 0x80) {
    ++pos;
    return b0;
  }
  std::size_t len;
  char32_t cp;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return std::nullopt;
  }
  if (s.size() - pos < len) return std::nullopt;
  for (std::size_t i = 1; i < len; ++i) {
    const std::uint8_t b = s[pos + i];
    if ((b & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
  pos += len;
  return cp;
}

bool is_valid_utf8(Bytes text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    // ASCII runs are the common case.
    if (text[pos] < 0x80) {
      ++pos;
      continue;
    }
    if (!next_scalar(text, pos)) return false;
  }
  return true;
}

std::size_t count_scalars(Bytes text) {
  std::size_t n = 0;
  std::size_t pos = 0;
  while (next_scalar(text, pos)) ++n;
  return n;
}

bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

bool is_all_white_space(Bytes text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    auto c = next_scalar(text, pos);
    if (!c || !is_white_space(*c)) return false;
  }
  return true;
}

Bytes trim_white_space(Bytes text) {
  // Leading: walk forward over white space.
  std::size_t start = 0;
  for (;;) {
    std::size_t p = start;
    auto c = next_scalar(text, p);
    if (!c || !is_white_space(*c)) break;
    start = p;
  }
  // Trailing: decode forward from `start`, remembering where the last non-space scalar ended.
  std::size_t end = start;
  std::size_t p = start;
  while (p < text.size()) {
    auto c = next_scalar(text, p);
    if (!c) {
      end = text.size();  // ill-formed tail: keep it, the decoder refuses it later
      break;
    }
    if (!is_white_space(*c)) end = p;
  }
  return text.subspan(start, end - start);
}

}  // namespace vesk
