// Loading the published test vectors and other files of the tests folder, and hex helpers.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "support/bytes.h"
#include "support/hex.h"

namespace vesk::testing {

// The "vectors" array of a file in the vectors folder; fails the test (throws) if it is missing.
nlohmann::json load_vectors(const std::string& file_name);
// The text of a file below the repository's tests folder; throws if it cannot be read.
std::string read_tests_file(const std::string& relative_path);

ByteVec from_hex(const std::string& hex);
inline std::string to_hex(const std::uint8_t* data, std::size_t len) { return to_hex(Bytes(data, len)); }
inline std::string to_hex(const ByteVec& v) { return to_hex(Bytes(v)); }
// A JSON string field decoded from hex.
inline ByteVec hex_field(const nlohmann::json& v, const char* name) { return from_hex(v.at(name).get<std::string>()); }

}  // namespace vesk::testing
