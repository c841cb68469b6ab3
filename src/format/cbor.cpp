#include "format/cbor.h"

#include <algorithm>

#include "core/utf8.h"

namespace vesk::format {
namespace {

constexpr std::uint8_t kInfoOneByte = 24;
constexpr std::uint8_t kInfoTwoBytes = 25;
constexpr std::uint8_t kInfoFourBytes = 26;
constexpr std::uint8_t kInfoEightBytes = 27;
constexpr std::uint8_t kInfoIndefinite = 31;

constexpr const char* kEndOfInput = "end of input";

Unexpected<FormatError> malformed(const char* detail) {
  return format_error(FormatErrorKind::Malformed, detail);
}

}  // namespace

// ---- Writing ----

void CborEncoder::write_head(CborMajor major, std::uint64_t argument) {
  const auto initial = static_cast<std::uint8_t>(static_cast<std::uint8_t>(major) << 5);
  switch (cbor_head_len(argument)) {
    case 1:
      out_.put_u8(static_cast<std::uint8_t>(initial | argument));
      break;
    case 2:
      out_.put_u8(initial | kInfoOneByte);
      out_.put_u8(static_cast<std::uint8_t>(argument));
      break;
    case 3:
      out_.put_u8(initial | kInfoTwoBytes);
      out_.put_be16(static_cast<std::uint16_t>(argument));
      break;
    case 5:
      out_.put_u8(initial | kInfoFourBytes);
      out_.put_be32(static_cast<std::uint32_t>(argument));
      break;
    default:
      out_.put_u8(initial | kInfoEightBytes);
      out_.put_be64(argument);
      break;
  }
}

void CborEncoder::write_uint(std::uint64_t n) { write_head(CborMajor::Unsigned, n); }
void CborEncoder::write_u16(std::uint16_t n) { write_head(CborMajor::Unsigned, n); }
void CborEncoder::write_bytes(Bytes b) {
  write_head(CborMajor::Bytes, b.size());
  out_.put(b);
}
void CborEncoder::write_text(std::string_view s) {
  write_head(CborMajor::Text, s.size());
  out_.put(as_bytes(s));
}
void CborEncoder::write_array_head(std::uint64_t count) { write_head(CborMajor::Array, count); }
void CborEncoder::write_map_head(std::uint64_t count) { write_head(CborMajor::Map, count); }

// ---- Reading ----

FormatResult<CborDecoder::Head> CborDecoder::read_head(CborMajor major, const char* mismatch,
                                                       bool allow_indefinite) {
  // The type is judged from the initial byte alone, so a wrong item is reported as such even when
  // its argument would run past the end.
  const auto initial = reader_.read_u8();
  if (!initial) return malformed(kEndOfInput);
  const std::uint8_t info = *initial & 0x1f;
  if ((*initial >> 5) != static_cast<std::uint8_t>(major)) return malformed(mismatch);
  switch (info) {
    case kInfoOneByte:
    case kInfoTwoBytes:
    case kInfoFourBytes:
    case kInfoEightBytes: {
      // 24..27: the argument follows in 1, 2, 4 or 8 bytes.
      const auto a = reader_.read_be(std::size_t{1} << (info - kInfoOneByte));
      if (!a) return malformed(kEndOfInput);
      return Head{info, *a};
    }
    case kInfoIndefinite:
      if (allow_indefinite) return Head{info, 0};
      return malformed(mismatch);
    default:
      if (info < kInfoOneByte) return Head{info, info};
      return malformed(mismatch);  // 28..30 are reserved
  }
}

FormatResult<Bytes> CborDecoder::read_body(std::uint64_t length) {
  // Compared in 64 bits before any narrowing, so a claim beyond size_t or beyond the rest of the
  // input fails here and nothing is touched.
  if (length > static_cast<std::uint64_t>(reader_.remaining())) return malformed(kEndOfInput);
  const auto body = reader_.read(static_cast<std::size_t>(length));
  if (!body) return malformed(kEndOfInput);
  return *body;
}

FormatResult<std::uint8_t> CborDecoder::read_u8() {
  VESK_TRY(h, read_head(CborMajor::Unsigned, "expected u8", false));
  if (h.argument <= 0xff) return static_cast<std::uint8_t>(h.argument);
  switch (h.info) {
    case kInfoTwoBytes: return malformed("when converting u16 to u8");
    case kInfoFourBytes: return malformed("when converting u32 to u8");
    default: return malformed("when converting u64 to u8");
  }
}

FormatResult<std::uint16_t> CborDecoder::read_u16() {
  VESK_TRY(h, read_head(CborMajor::Unsigned, "expected u16", false));
  if (h.argument <= 0xffff) return static_cast<std::uint16_t>(h.argument);
  if (h.info == kInfoFourBytes) return malformed("when converting u32 to u16");
  return malformed("when converting u64 to u16");
}

FormatResult<std::uint64_t> CborDecoder::read_u64() {
  VESK_TRY(h, read_head(CborMajor::Unsigned, "expected u64", false));
  return h.argument;
}

FormatResult<Bytes> CborDecoder::read_bytes() {
  VESK_TRY(h, read_head(CborMajor::Bytes, "expected bytes (definite length)", false));
  return read_body(h.argument);
}

FormatResult<void> CborDecoder::read_bytes_into(MutBytes out) {
  VESK_TRY(body, read_bytes());
  if (body.size() != out.size()) return malformed("byte string of the wrong length");
  std::copy(body.begin(), body.end(), out.begin());
  return {};
}

FormatResult<std::string_view> CborDecoder::read_text() {
  VESK_TRY(h, read_head(CborMajor::Text, "expected text (definite length)", false));
  VESK_TRY(body, read_body(h.argument));
  if (!is_valid_utf8(body)) return malformed("invalid UTF-8");
  return as_text(body);
}

FormatResult<std::optional<std::uint64_t>> CborDecoder::read_array_head() {
  VESK_TRY(h, read_head(CborMajor::Array, "expected array", true));
  if (h.info == kInfoIndefinite) return std::optional<std::uint64_t>{};
  return std::optional<std::uint64_t>{h.argument};
}

FormatResult<std::optional<std::uint64_t>> CborDecoder::read_map_head() {
  VESK_TRY(h, read_head(CborMajor::Map, "expected map", true));
  if (h.info == kInfoIndefinite) return std::optional<std::uint64_t>{};
  return std::optional<std::uint64_t>{h.argument};
}

FormatResult<std::uint64_t> CborDecoder::read_definite_array() {
  VESK_TRY(count, read_array_head());
  if (!count) return malformed("indefinite-length array");
  return *count;
}

FormatResult<std::uint64_t> CborDecoder::read_definite_map() {
  VESK_TRY(count, read_map_head());
  if (!count) return malformed("indefinite-length map");
  return *count;
}

FormatResult<void> CborDecoder::expect_key(std::uint8_t key) {
  VESK_TRY(k, read_u8());
  if (k != key) return malformed("unexpected map key");
  return {};
}

// ---- Extension entries ----

FormatResult<ExtensionEntry> read_extension_value(CborDecoder& d, std::uint64_t key,
                                                  std::uint64_t previous_key) {
  if (key <= previous_key) return malformed("map keys not strictly ascending");
  if (key < kFirstExtensionKey) {
    return format_error(FormatErrorKind::Unsupported, "unknown key below 64");
  }
  if (key > 0xffff) return malformed("extension key above 65535");
  VESK_TRY(value, d.read_bytes());
  if (value.size() > kMaxExtensionValue) return malformed("extension value over 65536 bytes");
  return ExtensionEntry{static_cast<std::uint16_t>(key), SecureVector(value.begin(), value.end())};
}

FormatResult<std::vector<ExtensionEntry>> read_extension_entries(CborDecoder& d, std::uint64_t count,
                                                                 std::uint64_t previous_key,
                                                                 std::size_t max_entries) {
  if (count > max_entries) {
    return format_error(FormatErrorKind::LimitExceeded, "too many extension entries");
  }
  std::vector<ExtensionEntry> entries;
  // An entry takes at least three bytes (0x18 0x40 0x40), so the input bounds what is worth
  // reserving whatever the caller's limit.
  entries.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, d.remaining() / 3)));
  for (std::uint64_t i = 0; i < count; ++i) {
    VESK_TRY(key, d.read_u64());
    VESK_TRY(entry, read_extension_value(d, key, previous_key));
    previous_key = key;
    entries.push_back(std::move(entry));
  }
  return entries;
}

FormatResult<void> write_extension_entries(CborEncoder& e, std::span<const ExtensionEntry> entries,
                                           std::size_t max_entries) {
  if (entries.size() > max_entries) {
    return format_error(FormatErrorKind::LimitExceeded, "too many extension entries");
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].key < kFirstExtensionKey) {
      return format_error(FormatErrorKind::LimitExceeded, "extension key below 64");
    }
    if (i > 0 && entries[i].key <= entries[i - 1].key) {
      return format_error(FormatErrorKind::LimitExceeded, "extension keys not strictly ascending");
    }
    if (entries[i].value.size() > kMaxExtensionValue) {
      return format_error(FormatErrorKind::LimitExceeded, "extension value over 65536 bytes");
    }
  }
  for (const ExtensionEntry& entry : entries) {
    e.write_u16(entry.key);
    e.write_bytes(entry.value);
  }
  return {};
}


}  // namespace vesk::format
