// `ContainerMetadata`, the record sealed inside the header: an optional file name, an optional
// content type, an optional sender signature and extension entries. Decoding applies the
// canonical rule, so the encoder's content rules hold for every container read.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "core/bytes.h"
#include "core/secret.h"
#include "format/cbor.h"
#include "format/container.h"

namespace vesk::format {

inline constexpr std::size_t kMaxMetadataEntries = 19;
inline constexpr std::size_t kMaxMetadataExtensions = 16;
inline constexpr std::size_t kMaxMetadataTextLen = 255;

struct ContainerMetadata {
  std::optional<std::string_view> file_name;
  std::optional<std::string_view> content_type;
  std::optional<SignatureBlock> signature;
  std::vector<ExtensionEntry> extensions;
};

// A portable plain file name: 1..255 bytes of UTF-8; not "." or ".."; no control character
// (below U+0020 or U+007F..U+009F) and none of < > : " / \ | ? *; not ending in a space or ".";
// the part before the first "." is no reserved device name (CON, PRN, AUX, NUL, COM1..9, LPT1..9,
// in any ASCII case).
bool file_name_ok(std::string_view name);
// 1..255 bytes, each printable ASCII (0x20..0x7e).
bool content_type_ok(std::string_view type);

// Decodes the metadata plaintext. Views point into `input`.
FormatResult<ContainerMetadata> decode_metadata(Bytes input);
// Encodes the metadata, with or without its signature (the signed transcript leaves it out).
// LimitExceeded when a text breaks its rule, for too many extensions or over 262144 bytes. The
// result may name the file, so it lives in wiping memory.
FormatResult<SecureVector> encode_metadata(const ContainerMetadata& metadata, bool with_signature = true);

}  // namespace vesk::format
