// The argument rules every export applies before any work, as small reusable checks. Each returns
// true when the argument is acceptable; an export refuses with VESK_INVALID_ARGUMENT when one
// does not hold. Caps are the public VESK_* constants.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "core/bytes.h"
#include "core/secret.h"
#include "core/utf8.h"

namespace vesk::ffi {

// A handle or an out-parameter: always required.
inline bool present(const void* p) { return p != nullptr; }

// A byte range: a zero length accepts any pointer; otherwise the pointer must be set and the
// length within the cap.
inline bool range_ok(const void* p, std::size_t len, std::size_t cap) {
  return len <= cap && (len == 0 || p != nullptr);
}
// An exact-length byte range: the pointer is always required.
inline bool exact_ok(const void* p, std::size_t len, std::size_t exact) { return p != nullptr && len == exact; }
// An array of `count` records: the pointer is always required, and the count within min..max.
inline bool count_ok(const void* p, std::size_t count, std::size_t min, std::size_t max) {
  return p != nullptr && count >= min && count <= max;
}

// A required text: non-NULL and valid UTF-8.
inline bool text_ok(const char* s) { return s != nullptr && is_valid_utf8(std::string_view(s, std::strlen(s))); }
// An optional text: NULL (absent), or valid UTF-8.
inline bool optional_text_ok(const char* s) { return s == nullptr || text_ok(s); }

// Caller memory may change while the library works on it (another thread, a mapped file someone
// else writes). What a check was made on must be what is used, so inside the guard every input is
// copied once into memory the library owns, and used only from that copy. The copies are wiped:
// key data may be a bare seed, a text may be a passphrase.

// A byte range, copied.
class InputCopy {
 public:
  InputCopy(const std::uint8_t* p, std::size_t len) {
    if (len != 0) bytes_.assign(p, p + len);
  }
  Bytes view() const { return {bytes_.data(), bytes_.size()}; }

 private:
  SecureVector bytes_;
};

// A text argument, copied up to its terminating NUL. The argument checks already required valid
// UTF-8, but the copy is what counts: a text that changed since is refused as invalid.
class TextCopy {
 public:
  explicit TextCopy(const char* s) : present_(s != nullptr) {
    if (s != nullptr) bytes_.assign(s, s + std::strlen(s));
    valid_ = is_valid_utf8(view());
  }
  // Valid UTF-8, or absent (NULL).
  bool valid() const { return valid_; }
  std::string_view view() const { return {reinterpret_cast<const char*>(bytes_.data()), bytes_.size()}; }
  std::optional<std::string_view> optional() const {
    return present_ ? std::optional<std::string_view>(view()) : std::nullopt;
  }

 private:
  SecureVector bytes_;
  bool present_;
  bool valid_ = false;
};

}  // namespace vesk::ffi
