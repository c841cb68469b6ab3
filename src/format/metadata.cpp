#include "format/metadata.h"

#include "core/utf8.h"

namespace vesk::format {
namespace {

using K = FormatErrorKind;

// The metadata's map keys, in their order.
constexpr std::uint8_t kKeyFileName = 1;
constexpr std::uint8_t kKeyContentType = 2;
constexpr std::uint8_t kKeySignature = 3;
constexpr std::uint64_t kLastKnownKey = kKeySignature;
// Room for a signature block: its head, type, and the key and signature with their heads.
constexpr std::size_t kSignatureBlockRoom = 16 + kSignatureKeyLen + kSignatureLen;

bool is_reserved_device_name(std::string_view stem) {
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  std::string_view names[] = {"CON", "PRN", "AUX", "NUL"};
  auto equals_upper = [&](std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
      if (upper(a[i]) != b[i]) return false;
    return true;
  };
  for (std::string_view n : names)
    if (equals_upper(stem, n)) return true;
  if (stem.size() == 4 && (equals_upper(stem.substr(0, 3), "COM") || equals_upper(stem.substr(0, 3), "LPT")))
    return stem[3] >= '1' && stem[3] <= '9';
  return false;
}

FormatResult<void> write_metadata(const ContainerMetadata& m, CborEncoder& e, bool with_signature) {
  if (m.file_name && !file_name_ok(*m.file_name)) return format_error(K::LimitExceeded, "file name");
  if (m.content_type && !content_type_ok(*m.content_type)) return format_error(K::LimitExceeded, "content type");
  if (m.extensions.size() > kMaxMetadataExtensions) return format_error(K::LimitExceeded, "too many metadata extensions");
  const bool signature = with_signature && m.signature.has_value();
  e.write_map_head(std::uint64_t{m.file_name.has_value()} + m.content_type.has_value() + signature + m.extensions.size());
  if (m.file_name) {
    e.write_uint(kKeyFileName);
    e.write_text(*m.file_name);
  }
  if (m.content_type) {
    e.write_uint(kKeyContentType);
    e.write_text(*m.content_type);
  }
  if (signature) {
    e.write_uint(kKeySignature);
    write_signature_block(*m.signature, e);
  }
  return write_extension_entries(e, m.extensions, kMaxMetadataExtensions);
}

FormatResult<ContainerMetadata> read_metadata(CborDecoder& d) {
  VESK_TRY(entries, d.read_definite_map());
  if (entries > kMaxMetadataEntries) return format_error(K::LimitExceeded, "too many metadata entries");
  ContainerMetadata m;
  std::uint64_t previous = 0;
  for (std::uint64_t i = 0; i < entries; ++i) {
    const CborDecoder before_key = d;
    VESK_TRY(key, d.read_u64());
    if (key > kLastKnownKey) {
      // The first key past the known ones starts the extension entries, which read their own keys.
      d = before_key;
      auto extensions = read_extension_entries(d, entries - i, kLastKnownKey, kMaxMetadataExtensions);
      if (!extensions) {
        // Keys 4..63 keep their kind; every other refused extension counts as over the limits.
        if (extensions.error().kind == K::Unsupported) return unexpected(extensions.error());
        return format_error(K::LimitExceeded, extensions.error().detail);
      }
      m.extensions = std::move(*extensions);
      break;
    }
    if (key == 0 || key <= previous) return format_error(K::LimitExceeded, "metadata keys not ascending");
    previous = key;
    if (key == kKeySignature) {
      auto block = read_signature_block(d);
      if (!block) return format_error(K::LimitExceeded, block.error().detail);
      m.signature = *block;
      continue;
    }
    VESK_TRY(text, d.read_text());
    if (text.size() > kMaxMetadataTextLen) return format_error(K::LimitExceeded, "metadata text too long");
    (key == kKeyFileName ? m.file_name : m.content_type) = text;
  }
  return m;
}

}  // namespace

bool file_name_ok(std::string_view name) {
  if (name.empty() || name.size() > kMaxMetadataTextLen || !is_valid_utf8(name)) return false;
  if (name == "." || name == "..") return false;
  const Bytes bytes = as_bytes(name);
  std::size_t pos = 0;
  char32_t last = 0;
  while (pos < bytes.size()) {
    auto c = next_scalar(bytes, pos);
    if (!c) return false;
    if (*c < 0x20 || (*c >= 0x7f && *c <= 0x9f)) return false;
    switch (*c) {
      case '<': case '>': case ':': case '"': case '/': case '\\': case '|': case '?': case '*':
        return false;
      default:
        break;
    }
    last = *c;
  }
  if (last == ' ' || last == '.') return false;
  return !is_reserved_device_name(name.substr(0, name.find('.')));
}

bool content_type_ok(std::string_view type) {
  if (type.empty() || type.size() > kMaxMetadataTextLen) return false;
  for (char c : type)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e) return false;
  return true;
}

FormatResult<ContainerMetadata> decode_metadata(Bytes input) {
  if (input.size() > kMaxMetadataLen) return format_error(K::LimitExceeded, "metadata too long");
  return decode_canonical<ContainerMetadata>(input, read_metadata, [](const ContainerMetadata& m, CborEncoder& e) {
    return write_metadata(m, e, true);
  });
}

FormatResult<SecureVector> encode_metadata(const ContainerMetadata& metadata, bool with_signature) {
  CborEncoder e(2 * kMaxMetadataTextLen + 16 + (with_signature && metadata.signature ? kSignatureBlockRoom : 0));
  VESK_TRY_VOID(write_metadata(metadata, e, with_signature));
  if (e.size() > kMaxMetadataLen) return format_error(K::LimitExceeded, "metadata too long");
  return e.take();
}

}  // namespace vesk::format
