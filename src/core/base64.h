// Base64 with the standard alphabet and "=" padding; decoding accepts only the canonical form.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "core/bytes.h"

namespace vesk {

std::size_t base64_encoded_size(std::size_t n);
// Appends the encoding of `data` to `out`.
void base64_encode_append(Bytes data, std::string& out);
std::string base64_encode(Bytes data);

// Bytes a decoder must have room for: three per four characters (an upper bound).
inline std::size_t base64_decode_estimate(std::size_t text_len) { return text_len / 4 * 3; }

// Strict decoding into `out` (at least base64_decode_estimate bytes): length a multiple of four,
// alphabet characters only, padding exactly as the canonical encoding has it and zero unused bits.
// Returns the decoded length, or nullopt.
std::optional<std::size_t> base64_decode(std::string_view text, MutBytes out);

}  // namespace vesk
