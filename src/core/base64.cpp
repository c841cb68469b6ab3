#include "core/base64.h"

#include <array>

#include "core/check.h"

namespace vesk {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 256> make_decode_table() {
  std::array<std::int8_t, 256> t{};
  for (auto& v : t) v = -1;
  for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
  return t;
}
constexpr auto kDecode = make_decode_table();

}  // namespace

std::size_t base64_encoded_size(std::size_t n) { return checked_mul(checked_add(n, 2) / 3, 4); }

void base64_encode_append(Bytes data, std::string& out) {
  out.reserve(out.size() + base64_encoded_size(data.size()));
  std::size_t i = 0;
  for (; i + 3 <= data.size(); i += 3) {
    const std::uint32_t v = (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8) | data[i + 2];
    out.push_back(kAlphabet[(v >> 18) & 63]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.push_back(kAlphabet[(v >> 6) & 63]);
    out.push_back(kAlphabet[v & 63]);
  }
  const std::size_t rest = data.size() - i;
  if (rest == 1) {
    const std::uint32_t v = std::uint32_t{data[i]} << 16;
    out.push_back(kAlphabet[(v >> 18) & 63]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.append("==");
  } else if (rest == 2) {
    const std::uint32_t v = (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8);
    out.push_back(kAlphabet[(v >> 18) & 63]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.push_back(kAlphabet[(v >> 6) & 63]);
    out.push_back('=');
  }
}

std::string base64_encode(Bytes data) {
  std::string out;
  base64_encode_append(data, out);
  return out;
}

std::optional<std::size_t> base64_decode(std::string_view text, MutBytes out) {
  if (text.size() % 4 != 0) return std::nullopt;
  VESK_CHECK(out.size() >= base64_decode_estimate(text.size()), "base64 output buffer too small");
  std::size_t o = 0;
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    std::int8_t d[4];
    int pad = 0;
    for (int j = 0; j < 4; ++j) {
      const char c = text[i + j];
      if (c == '=' && last && j >= 2) {
        d[j] = 0;
        ++pad;
        continue;
      }
      if (pad > 0) return std::nullopt;  // data after padding
      d[j] = kDecode[static_cast<unsigned char>(c)];
      if (d[j] < 0) return std::nullopt;
    }
    const std::uint32_t v = (std::uint32_t(d[0]) << 18) | (std::uint32_t(d[1]) << 12) |
                            (std::uint32_t(d[2]) << 6) | std::uint32_t(d[3]);
    // Unused low bits of the last character before the padding must be zero.
    if (pad == 1 && (v & 0xFF) != 0) return std::nullopt;
    if (pad == 2 && (v & 0xFFFF) != 0) return std::nullopt;
    out[o++] = static_cast<std::uint8_t>(v >> 16);
    if (pad < 2) out[o++] = static_cast<std::uint8_t>(v >> 8);
    if (pad < 1) out[o++] = static_cast<std::uint8_t>(v);
  }
  return o;
}

}  // namespace vesk
