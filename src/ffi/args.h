// The argument rules every export applies before any work, as small reusable checks. Each returns
// true when the argument is acceptable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "core/bytes.h"
#include "core/utf8.h"

namespace vesk::ffi {

// A byte range: a zero length accepts any pointer; otherwise the pointer must be set and the
// length within the cap.
inline bool range_ok(const void* p, std::size_t len, std::size_t cap) {
  return len <= cap && (len == 0 || p != nullptr);
}
// An exact-length byte range: the pointer is always required.
inline bool exact_ok(const void* p, std::size_t len, std::size_t exact) { return p != nullptr && len == exact; }

// A required text: non-NULL and valid UTF-8. Returns its view without the terminating NUL.
inline std::optional<std::string_view> text_arg(const char* s) {
  if (s == nullptr) return std::nullopt;
  std::string_view v(s, std::strlen(s));
  if (!is_valid_utf8(v)) return std::nullopt;
  return v;
}

// An optional text: NULL means absent (an engaged optional holding nullopt); invalid UTF-8 is a
// breach (nullopt).
inline std::optional<std::optional<std::string_view>> optional_text_arg(const char* s) {
  if (s == nullptr) return std::optional<std::string_view>{};
  auto v = text_arg(s);
  if (!v) return std::nullopt;
  return std::optional<std::string_view>{*v};
}

inline Bytes range(const std::uint8_t* p, std::size_t len) { return view(p, len); }

}  // namespace vesk::ffi
