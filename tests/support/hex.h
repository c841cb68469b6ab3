// Lower-case hex of bytes, for tests and the development generators.
#pragma once

#include <string>

#include "core/bytes.h"

namespace vesk::testing {

inline std::string to_hex(Bytes b) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  s.reserve(b.size() * 2);
  for (std::uint8_t c : b) {
    s.push_back(digits[c >> 4]);
    s.push_back(digits[c & 15]);
  }
  return s;
}

}  // namespace vesk::testing
