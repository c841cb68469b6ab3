// Byte strings in tests: the owned type, copies of views, texts as bytes and concatenation.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <ranges>
#include <string_view>
#include <vector>

#include "core/bytes.h"

namespace vesk::testing {

using ByteVec = std::vector<std::uint8_t>;

// An owned copy of a view (a digest, a key, a stretch of a larger buffer).
inline ByteVec to_vec(Bytes b) { return ByteVec(b.begin(), b.end()); }

// The bytes of a text, without a terminator.
inline ByteVec text_bytes(std::string_view s) { return ByteVec(s.begin(), s.end()); }

// The parts one after another: cat({a, b, c}), or cat(parts) for a range of byte strings.
template <std::ranges::input_range Pieces>
  requires std::convertible_to<std::ranges::range_reference_t<const Pieces&>, Bytes>
ByteVec cat(const Pieces& parts) {
  std::size_t total = 0;
  for (Bytes p : parts) total += p.size();
  ByteVec out;
  out.reserve(total);
  for (Bytes p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
inline ByteVec cat(std::initializer_list<Bytes> parts) { return cat<std::initializer_list<Bytes>>(parts); }

}  // namespace vesk::testing
