#include "support/vectors.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vesk::testing {

std::string read_tests_file(const std::string& relative_path) {
  const std::string path = std::string(VESK_TESTS_DIR) + "/" + relative_path;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

nlohmann::json load_vectors(const std::string& file_name) {
  return nlohmann::json::parse(read_tests_file("vectors/" + file_name)).at("vectors");
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
