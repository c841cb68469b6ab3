// Byte views and fixed-width big-endian helpers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace vesk {

using Bytes = std::span<const std::uint8_t>;
using MutBytes = std::span<std::uint8_t>;

inline Bytes as_bytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}
inline std::string_view as_text(Bytes b) {
  return {reinterpret_cast<const char*>(b.data()), b.size()};
}
// A view of caller memory that may be NULL when the length is 0.
inline Bytes view(const std::uint8_t* p, std::size_t n) { return n == 0 ? Bytes{} : Bytes{p, n}; }

inline void store_be16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}
inline void store_be32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 3; i >= 0; --i, v >>= 8) p[i] = static_cast<std::uint8_t>(v);
}
inline void store_be64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 7; i >= 0; --i, v >>= 8) p[i] = static_cast<std::uint8_t>(v);
}
inline std::uint16_t load_be16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
inline std::uint32_t load_be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
inline std::uint64_t load_be64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
  return v;
}
inline std::array<std::uint8_t, 8> be64(std::uint64_t v) {
  std::array<std::uint8_t, 8> out;
  store_be64(out.data(), v);
  return out;
}

inline bool equal_bytes(Bytes a, Bytes b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0);
}
// Compares every byte whatever the first difference (MACs, tags).
bool ct_equal(Bytes a, Bytes b);

}  // namespace vesk
