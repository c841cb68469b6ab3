// UTF-8 validation and scalar-value iteration, and the Unicode White_Space set.
#pragma once

#include <cstddef>
#include <optional>

#include "core/bytes.h"

namespace vesk {

// Well-formed UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(Bytes text);
inline bool is_valid_utf8(std::string_view text) { return is_valid_utf8(as_bytes(text)); }

// Decodes the scalar value at `pos` and advances past it; nullopt (pos unchanged) at the end of
// the text or at an ill-formed sequence.
std::optional<char32_t> next_scalar(Bytes text, std::size_t& pos);

// Number of scalar values of well-formed text.
std::size_t count_scalars(Bytes text);

// The White_Space property: U+0009..U+000D, U+0020, U+0085, U+00A0, U+1680, U+2000..U+200A,
// U+2028, U+2029, U+202F, U+205F, U+3000.
bool is_white_space(char32_t c);

// True when every scalar value of the well-formed text is White_Space (and for empty text).
bool is_all_white_space(Bytes text);

// The text with leading and trailing White_Space removed.
Bytes trim_white_space(Bytes text);

}  // namespace vesk
