#include "support/vectors.h"

#include <fstream>
#include <stdexcept>

namespace vesk::testing {

nlohmann::json load_vectors(const std::string& file_name) {
  const std::string path = std::string(VESK_VECTORS_DIR) + "/" + file_name;
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open test vectors " + path);
  nlohmann::json doc = nlohmann::json::parse(in);
  return doc.at("vectors");
}

ByteVec from_hex(const std::string& hex) {
  if (hex.size() % 2 != 0) throw std::invalid_argument("odd hex length");
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw std::invalid_argument("bad hex digit");
  };
  ByteVec out(hex.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<std::uint8_t>(nibble(hex[2 * i]) << 4 | nibble(hex[2 * i + 1]));
  return out;
}

}  // namespace vesk::testing
