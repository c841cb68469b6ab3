#include "format/container.h"

#include <cstring>

#include "core/byte_io.h"
#include "core/check.h"

namespace vesk::format {
namespace {

using K = FormatErrorKind;

constexpr std::uint64_t kHeaderVersion = 1;
// The header's map keys, in their order.
constexpr std::uint8_t kKeyVersion = 1;
constexpr std::uint8_t kKeyObjectId = 2;
constexpr std::uint8_t kKeyRecipients = 3;
constexpr std::uint8_t kKeyMetadata = 4;
constexpr std::uint8_t kKeySignatures = 5;
constexpr std::uint64_t kKnownHeaderKeys = kKeySignatures;
// A signature block: [type 1, verifying key, signature].
constexpr std::uint64_t kSignatureBlockItems = 3;
constexpr std::uint8_t kSignatureBlockType = 1;

FormatResult<RecipientEntry> read_recipient_entry(CborDecoder& d) {
  VESK_TRY(n, d.read_definite_array());
  if (n < 1 || n > 1 + kMaxRecipientFields) return format_error(K::Malformed, "recipient entry element count");
  VESK_TRY(type, d.read_u16());
  if (type == 0) return format_error(K::Malformed, "recipient entry type 0");
  RecipientEntry entry;
  entry.type = type;
  entry.count = static_cast<std::uint8_t>(n - 1);
  if (type == kRecipientTypeWrapped && n != 3) return format_error(K::Malformed, "type-1 recipient entry element count");
  for (std::uint8_t i = 0; i < entry.count; ++i) {
    VESK_TRY(field, d.read_bytes());
    if (type == kRecipientTypeWrapped) {
      const std::size_t want = i == 0 ? kEncapsulationLen : kWrappedCekLen;
      if (field.size() != want) return format_error(K::Malformed, i == 0 ? "encapsulation length" : "wrapped CEK length");
    } else if (field.size() > kMaxRecipientFieldLen) {
      return format_error(K::LimitExceeded, "recipient entry field too long");
    }
    entry.strings[i] = field;
  }
  return entry;
}

void write_recipient_entry(const RecipientEntry& entry, CborEncoder& e) {
  e.write_array_head(std::uint64_t{entry.count} + 1);
  e.write_uint(entry.type);
  for (Bytes field : entry.fields()) e.write_bytes(field);
}

FormatResult<ContainerHeader> read_header(CborDecoder& d) {
  VESK_TRY(entries, d.read_definite_map());
  if (entries < kKnownHeaderKeys) return format_error(K::Malformed, "header lacks a required key");
  if (entries - kKnownHeaderKeys > kMaxHeaderExtensions) return format_error(K::LimitExceeded, "too many header extensions");
  ContainerHeader h;

  VESK_TRY_VOID(d.expect_key(kKeyVersion));
  VESK_TRY(version, d.read_u64());
  if (version != kHeaderVersion) return format_error(K::UnsupportedVersion, "header version");

  VESK_TRY_VOID(d.expect_key(kKeyObjectId));
  VESK_TRY(object_id, d.read_bytes());
  if (object_id.size() != kObjectIdLen) return format_error(K::Malformed, "object id length");
  h.object_id = object_id;

  VESK_TRY_VOID(d.expect_key(kKeyRecipients));
  VESK_TRY(recipients, d.read_definite_array());
  if (recipients == 0) return format_error(K::Malformed, "no recipient entry");
  if (recipients > kMaxRecipients) return format_error(K::LimitExceeded, "too many recipient entries");
  h.recipients.reserve(recipients);
  for (std::uint64_t i = 0; i < recipients; ++i) {
    VESK_TRY(entry, read_recipient_entry(d));
    h.recipients.push_back(entry);
  }

  VESK_TRY_VOID(d.expect_key(kKeyMetadata));
  VESK_TRY(metadata, d.read_bytes());
  if (metadata.size() < kMinEncryptedMetadata) return format_error(K::Malformed, "encrypted metadata too short");
  if (metadata.size() > kMaxEncryptedMetadata) return format_error(K::LimitExceeded, "encrypted metadata too long");
  h.encrypted_metadata = metadata;

  VESK_TRY_VOID(d.expect_key(kKeySignatures));
  VESK_TRY(signatures, d.read_definite_array());
  if (signatures > 1) return format_error(K::LimitExceeded, "more than one header signature");
  if (signatures == 1) {
    VESK_TRY(block, read_signature_block(d));
    h.signature = block;
  }

  VESK_TRY(extensions, read_extension_entries(d, entries - kKnownHeaderKeys, kKnownHeaderKeys, kMaxHeaderExtensions));
  h.extensions = std::move(extensions);
  return h;
}

FormatResult<void> write_header(const ContainerHeader& h, CborEncoder& e) {
  if (h.object_id.size() != kObjectIdLen) return format_error(K::LimitExceeded, "object id length");
  if (h.recipients.empty() || h.recipients.size() > kMaxRecipients)
    return format_error(K::LimitExceeded, "recipient count");
  if (h.encrypted_metadata.size() < kMinEncryptedMetadata || h.encrypted_metadata.size() > kMaxEncryptedMetadata)
    return format_error(K::LimitExceeded, "encrypted metadata length");
  if (h.extensions.size() > kMaxHeaderExtensions) return format_error(K::LimitExceeded, "too many header extensions");
  e.write_map_head(kKnownHeaderKeys + h.extensions.size());
  e.write_uint(kKeyVersion);
  e.write_uint(kHeaderVersion);
  e.write_uint(kKeyObjectId);
  e.write_bytes(h.object_id);
  e.write_uint(kKeyRecipients);
  e.write_array_head(h.recipients.size());
  for (const RecipientEntry& entry : h.recipients) write_recipient_entry(entry, e);
  e.write_uint(kKeyMetadata);
  e.write_bytes(h.encrypted_metadata);
  e.write_uint(kKeySignatures);
  if (h.signature) {
    e.write_array_head(1);
    write_signature_block(*h.signature, e);
  } else {
    e.write_array_head(0);
  }
  return write_extension_entries(e, h.extensions, kMaxHeaderExtensions);
}

}  // namespace

std::array<std::uint8_t, kPreludeLen> ContainerPrelude::encode() const {
  std::array<std::uint8_t, kPreludeLen> p{};
  std::memcpy(p.data(), kContainerMagic.data(), kContainerMagic.size());
  p[8] = 0x00;
  p[9] = static_cast<std::uint8_t>(version);
  p[10] = 0x01;
  p[11] = signed_flag ? 1 : 0;
  store_be32(p.data() + 12, header_len);
  return p;
}

FormatResult<ContainerPrelude> parse_prelude(Bytes prelude) {
  ByteReader r(prelude);
  auto magic = r.read(kContainerMagic.size());
  if (!magic || !equal_bytes(*magic, kContainerMagic)) return format_error(K::Malformed, "container magic");
  auto zero = r.read_u8();
  auto version = r.read_u8();
  auto one = r.read_u8();
  auto flag = r.read_u8();
  auto len = r.read_be32();
  if (!len || !r.at_end()) return format_error(K::Malformed, "prelude length");
  if (*zero != 0x00 || *one != 0x01) return format_error(K::Malformed, "prelude fixed bytes");
  if (*version != static_cast<std::uint8_t>(FormatVersion::V1_0) &&
      *version != static_cast<std::uint8_t>(FormatVersion::V0_5))
    return format_error(K::UnsupportedVersion, "container format version");
  if (*flag > 1) return format_error(K::Malformed, "signed flag");
  ContainerPrelude p;
  p.version = static_cast<FormatVersion>(*version);
  p.signed_flag = *flag == 1;
  if (p.version == FormatVersion::V0_5 && p.signed_flag) return format_error(K::Malformed, "signed flag in format 0.5");
  if (*len == 0 || *len > kMaxHeaderBlockLen) return format_error(K::HeaderTooLarge, "header block length");
  p.header_len = *len;
  return p;
}

FormatResult<HeaderBlock> decode_header_block(Bytes block) {
  return decode_canonical<HeaderBlock>(
      block,
      [](CborDecoder& d) -> FormatResult<HeaderBlock> {
        VESK_TRY(n, d.read_definite_array());
        if (n != 2) return format_error(K::Malformed, "header block element count");
        VESK_TRY(body, d.read_bytes());
        VESK_TRY(mac, d.read_bytes());
        if (mac.size() != kHeaderMacLen) return format_error(K::Malformed, "header MAC length");
        return HeaderBlock{body, mac};
      },
      [](const HeaderBlock& b, CborEncoder& e) -> FormatResult<void> {
        e.write_array_head(2);
        e.write_bytes(b.body);
        e.write_bytes(b.mac);
        return {};
      });
}

std::vector<std::uint8_t> encode_header_block(Bytes body, Bytes mac) {
  VESK_CHECK(mac.size() == kHeaderMacLen, "header MAC must be 32 bytes");
  std::vector<std::uint8_t> block(header_block_len(body.size()));
  CborEncoder e{MutBytes(block)};
  e.write_array_head(2);
  e.write_bytes(body);
  e.write_bytes(mac);
  e.finish();
  return block;
}

std::size_t header_block_len(std::size_t body_len) {
  return checked_add(cbor_head_len(2) + cbor_head_len(body_len) + cbor_head_len(kHeaderMacLen) + kHeaderMacLen,
                     body_len);
}

RecipientEntry RecipientEntry::wrapped(Bytes encapsulation, Bytes wrapped_cek) {
  RecipientEntry entry;
  entry.type = 1;
  entry.count = 2;
  entry.strings[0] = encapsulation;
  entry.strings[1] = wrapped_cek;
  return entry;
}

FormatResult<SignatureBlock> read_signature_block(CborDecoder& d) {
  VESK_TRY(n, d.read_definite_array());
  if (n != kSignatureBlockItems) return format_error(K::Unsupported, "signature block element count");
  VESK_TRY(type, d.read_u8());
  if (type != kSignatureBlockType) return format_error(K::Unsupported, "signature block type");
  VESK_TRY(key, d.read_bytes());
  if (key.size() != kSignatureKeyLen) return format_error(K::Malformed, "signature key length");
  VESK_TRY(signature, d.read_bytes());
  if (signature.size() != kSignatureLen) return format_error(K::Malformed, "signature length");
  return SignatureBlock{key, signature};
}

void write_signature_block(const SignatureBlock& block, CborEncoder& e) {
  e.write_array_head(kSignatureBlockItems);
  e.write_uint(kSignatureBlockType);
  e.write_bytes(block.verifying_key);
  e.write_bytes(block.signature);
}

FormatResult<ContainerHeader> decode_header(Bytes body) {
  if (body.empty() || body.size() > kMaxHeaderBodyLen) return format_error(K::HeaderTooLarge, "header body length");
  return decode_canonical<ContainerHeader>(body, read_header, write_header);
}

FormatResult<SecureVector> encode_header(const ContainerHeader& header) {
  CborEncoder e;
  VESK_TRY_VOID(write_header(header, e));
  if (e.size() == 0 || e.size() > kMaxHeaderBodyLen) return format_error(K::HeaderTooLarge, "header body length");
  return e.take();
}

bool chunk_header_ok(std::uint8_t type, std::uint32_t n, std::uint64_t index) {
  if (type == kChunkMore) return n == kFullChunkLen;
  if (type == kChunkLast) return n >= kChunkTagLen && n <= kFullChunkLen && (n > kChunkTagLen || index == 0);
  return false;
}

void write_chunk_header(ByteWriter& w, std::uint8_t type, std::size_t sealed_len) {
  VESK_CHECK(sealed_len <= kFullChunkLen, "chunk longer than the framing allows");
  w.put_u8(type);
  w.put_be32(static_cast<std::uint32_t>(sealed_len));
}

Expected<ChunkFrame, const char*> ChunkFrames::next() {
  auto type = in_.read_u8();
  auto n = in_.read_be32();
  if (!type || !n) return unexpected("payload truncated");
  if (!chunk_header_ok(*type, *n, index_)) return unexpected("chunk framing");
  auto sealed = in_.read(*n);
  if (!sealed) return unexpected("chunk truncated");
  return ChunkFrame{index_++, *type, *sealed};
}

}  // namespace vesk::format
