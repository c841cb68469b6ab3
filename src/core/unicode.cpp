#include "core/unicode.h"

#include <utf8proc.h>

#include <cstring>
#include <vector>

namespace vesk {

std::optional<SecureVector> normalize(Bytes utf8, NormalForm form) {
  const auto options = static_cast<utf8proc_option_t>(
      UTF8PROC_STABLE | (form == NormalForm::Nfc ? UTF8PROC_COMPOSE : UTF8PROC_DECOMPOSE));
  const auto* in = reinterpret_cast<const utf8proc_uint8_t*>(utf8.data());
  const auto in_len = static_cast<utf8proc_ssize_t>(utf8.size());
  if (utf8.empty()) return SecureVector{};

  // First pass sizes the decomposition; the second writes it into a buffer we own and wipe.
  utf8proc_ssize_t needed = utf8proc_decompose(in, in_len, nullptr, 0, options);
  if (needed < 0) return std::nullopt;
  // utf8proc_reencode writes the UTF-8 result over the same buffer; it needs one spare slot.
  std::vector<utf8proc_int32_t, WipingAllocator<utf8proc_int32_t>> work(static_cast<std::size_t>(needed) + 1);
  utf8proc_ssize_t n = utf8proc_decompose(in, in_len, work.data(), needed, options);
  if (n < 0 || n > needed) return std::nullopt;
  utf8proc_ssize_t bytes = utf8proc_reencode(work.data(), n, options);
  if (bytes < 0) return std::nullopt;
  const auto* out = reinterpret_cast<const std::uint8_t*>(work.data());
  return SecureVector(out, out + bytes);
}

}  // namespace vesk
