// The strict CBOR subset every structured record is written in: unsigned integers, definite byte
// strings, definite UTF-8 text strings, definite arrays and definite maps. The encoder writes
// shortest forms only; the readers accept any argument width and leave shortest form to the
// canonical rule (decode, no trailing bytes, re-encode and compare).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/byte_io.h"
#include "core/bytes.h"
#include "core/expected.h"
#include "core/secret.h"

namespace vesk::format {

enum class FormatErrorKind {
  Malformed,           // missing, truncated, wrong type, indefinite, wrong fixed length, out of order
  NonCanonical,        // trailing bytes, or the re-encoding differs from the input
  UnsupportedVersion,  // a version field other than the supported one
  LimitExceeded,       // a count or length over its limit, or a text breaking its character rules
  Unsupported,         // an extension key below 64 that the record does not know; unsupported signature block
  HeaderTooLarge,      // an encoded header that is empty or longer than 1048576 bytes
};

struct FormatError {
  FormatErrorKind kind;
  const char* detail = "";  // diagnostics only; never crosses the interface
};

template <class T>
using FormatResult = Expected<T, FormatError>;

inline Unexpected<FormatError> format_error(FormatErrorKind kind, const char* detail = "") {
  return unexpected(FormatError{kind, detail});
}

// The size of the shortest head for `argument`: the initial byte, and 0, 1, 2, 4 or 8 bytes more.
constexpr std::size_t cbor_head_len(std::uint64_t argument) {
  if (argument < 24) return 1;
  if (argument <= 0xff) return 2;
  if (argument <= 0xffff) return 3;
  if (argument <= 0xffffffff) return 5;
  return 9;
}

// The major types the subset uses: the top three bits of an item's initial byte.
enum class CborMajor : std::uint8_t { Unsigned = 0, Bytes = 2, Text = 3, Array = 4, Map = 5 };

// Writes shortest forms through a ByteWriter: growable by default (wiping, so metadata leaves
// nothing behind), or into exactly the memory of a record whose length is known up front.
class CborEncoder {
 public:
  CborEncoder() = default;
  explicit CborEncoder(std::size_t reserve) : out_(reserve) {}
  explicit CborEncoder(MutBytes fixed) : out_(fixed) {}

  void write_uint(std::uint64_t n);
  void write_u16(std::uint16_t n);  // same rule; never wider than 0x19 and two bytes
  void write_bytes(Bytes b);
  void write_text(std::string_view s);
  void write_array_head(std::uint64_t count);
  void write_map_head(std::uint64_t count);

  Bytes view() const { return out_.view(); }
  std::size_t size() const { return out_.size(); }
  SecureVector take() { return out_.take(); }
  void finish() const { out_.finish(); }

 private:
  void write_head(CborMajor major, std::uint64_t argument);
  ByteWriter out_;
};

// Reads one item at a time from a borrowed range. Strings come back as views into the input; the
// decoder allocates nothing. On failure the position is unspecified and the decode is abandoned.
// Every failure is Malformed; its detail names the cause ("end of input", "invalid UTF-8", or the
// reader's own text such as "expected u8" or "when converting u16 to u8"). The decoder is a cheap
// value: copy it to look ahead.
class CborDecoder {
 public:
  explicit CborDecoder(Bytes input) : reader_(input) {}

  FormatResult<std::uint8_t> read_u8();
  FormatResult<std::uint16_t> read_u16();
  FormatResult<std::uint64_t> read_u64();
  FormatResult<Bytes> read_bytes();
  // A byte string of exactly |out| bytes, copied into `out` (Malformed for any other length).
  FormatResult<void> read_bytes_into(MutBytes out);
  FormatResult<std::string_view> read_text();
  // The element count, or nullopt for an indefinite-length head (which every record refuses).
  // The count is only a claim: compare it with remaining() before reserving anything for it.
  FormatResult<std::optional<std::uint64_t>> read_array_head();
  FormatResult<std::optional<std::uint64_t>> read_map_head();
  // A definite array/map head; an indefinite one is Malformed.
  FormatResult<std::uint64_t> read_definite_array();
  FormatResult<std::uint64_t> read_definite_map();
  // Reads a u8 and fails (Malformed) unless it equals `key`.
  FormatResult<void> expect_key(std::uint8_t key);

  std::size_t position() const { return reader_.position(); }
  std::size_t remaining() const { return reader_.remaining(); }
  bool at_end() const { return reader_.at_end(); }
  Bytes input() const { return reader_.input(); }

 private:
  struct Head {
    std::uint8_t info;  // additional information 0..27, or 31 (indefinite)
    std::uint64_t argument;
  };
  // Reads a head of major type `major` (anything else fails with `mismatch`); additional
  // information 31 is accepted only when `allow_indefinite`.
  FormatResult<Head> read_head(CborMajor major, const char* mismatch, bool allow_indefinite);
  // A string body of a claimed length, checked against the rest of the input first.
  FormatResult<Bytes> read_body(std::uint64_t length);
  ByteReader reader_;
};

// An unrecognised map entry that a record admits (key 64..65535, byte-string value of at most
// 65536 bytes), kept and written back verbatim. The value may come from encrypted metadata, so it
// is wiped when released.
struct ExtensionEntry {
  std::uint16_t key;
  SecureVector value;
  friend bool operator==(const ExtensionEntry&, const ExtensionEntry&) = default;
};

inline constexpr std::uint64_t kFirstExtensionKey = 64;
inline constexpr std::size_t kMaxExtensionValue = 65536;

// Reads `count` extension entries following the key `previous_key`: each key must be above the
// previous one (Malformed), not below 64 (Unsupported), not above 65535 (Malformed); each value a
// byte string of at most 65536 bytes (Malformed). More than `max_entries` is LimitExceeded, checked
// before anything is read or reserved.
FormatResult<std::vector<ExtensionEntry>> read_extension_entries(CborDecoder& d, std::uint64_t count,
                                                                 std::uint64_t previous_key,
                                                                 std::size_t max_entries);
// One extension entry whose key the record has already read (a record that reads each key as an
// integer and only then learns it starts the extensions): the key rules above, then the value.
FormatResult<ExtensionEntry> read_extension_value(CborDecoder& d, std::uint64_t key,
                                                  std::uint64_t previous_key);
// Writes the entries after the known ones; LimitExceeded for too many entries, a key below 64,
// keys not strictly ascending or a value over 65536 bytes. Nothing is written on failure.
FormatResult<void> write_extension_entries(CborEncoder& e, std::span<const ExtensionEntry> entries,
                                           std::size_t max_entries);

// The three-step canonical decode of a top-level record: `decode(CborDecoder&)` returns
// FormatResult<T>; the cursor must then stand at the end (else NonCanonical); `encode(const T&,
// CborEncoder&)` must reproduce the input byte for byte (else NonCanonical). Encoder failures are
// passed on.
template <class T, class Decode, class Encode>
FormatResult<T> decode_canonical(Bytes input, Decode&& decode, Encode&& encode) {
  CborDecoder d(input);
  auto value = decode(d);
  if (!value) return unexpected(value.error());
  if (!d.at_end()) return format_error(FormatErrorKind::NonCanonical, "trailing bytes");
  CborEncoder e(input.size());
  auto written = encode(*value, e);
  if (!written) return unexpected(written.error());
  if (!equal_bytes(e.view(), input)) return format_error(FormatErrorKind::NonCanonical, "re-encoding differs");
  return value;
}

}  // namespace vesk::format
