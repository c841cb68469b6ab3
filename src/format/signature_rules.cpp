#include "format/signature_rules.h"

#include "core/byte_io.h"
#include "core/check.h"
#include "core/crypto/hash.h"

namespace vesk::format {
namespace {

constexpr std::string_view kTranscript10 = "VESK/1.0 transcript";
constexpr std::string_view kTranscript05 = "VESK/0.5 transcript";
// The first 12 prelude bytes (magic, version, flags) are covered by the format 1.0 transcript.
constexpr std::size_t kTranscriptPreludeLen = 12;
constexpr std::size_t kBe64 = 8;

}  // namespace

SignatureCheck select_signature(const ContainerPrelude& prelude, const ContainerHeader& header,
                                const ContainerMetadata& metadata) {
  if (header.signature && metadata.signature) return SignatureRefusal::BothPlaces;
  const bool expected = prelude.version == FormatVersion::V0_5 || prelude.signed_flag;
  const std::optional<SignatureBlock>& present = header.signature ? header.signature : metadata.signature;
  if (!present) {
    if (expected) return SignatureRefusal::Missing;
    return NoSignature{};
  }
  if (!expected) return SignatureRefusal::Unexpected;
  return *present;
}

FormatResult<void> check_v05_header(const ContainerHeader& header) {
  if (!header.extensions.empty()) return format_error(FormatErrorKind::Unsupported, "header extension in format 0.5");
  for (const RecipientEntry& entry : header.recipients)
    if (entry.type != kRecipientTypeWrapped)
      return format_error(FormatErrorKind::Unsupported, "recipient type in format 0.5");
  return {};
}

FormatResult<void> check_v05_metadata(const ContainerMetadata& metadata) {
  if (!metadata.extensions.empty()) return format_error(FormatErrorKind::Unsupported, "metadata extension in format 0.5");
  return {};
}

std::string_view signature_context(FormatVersion version) {
  return version == FormatVersion::V0_5 ? "VESK/0.5 container" : "VESK/1.0 container";
}

SecureVector signature_transcript(FormatVersion version, Bytes prelude, const ContainerHeader& header,
                                               Bytes metadata_unsigned, Bytes plaintext_hash,
                                               std::uint64_t plaintext_len) {
  VESK_CHECK(prelude.size() == kPreludeLen && plaintext_hash.size() == crypto::kDigest32Len &&
                 header.object_id.size() == kObjectIdLen,
             "transcript inputs");
  // Reserved for the longer (1.0) form, so that the writer does not grow: the label, prelude
  // bytes, tag and object id; the recipient and extension counts; the framed metadata; the
  // plaintext hash and length; then each entry (type, count, framed fields) and extension (key,
  // framed value).
  std::size_t size = kTranscript10.size() + kTranscriptPreludeLen + kFormatTag.size() + kObjectIdLen + 2 * kBe64 +
                     kBe64 + metadata_unsigned.size() + crypto::kDigest32Len + kBe64;
  for (const RecipientEntry& entry : header.recipients) {
    size += 2 * kBe64;
    for (Bytes field : entry.fields()) size += kBe64 + field.size();
  }
  for (const ExtensionEntry& ext : header.extensions) size += sizeof ext.key + kBe64 + ext.value.size();

  ByteWriter w(size);
  if (version == FormatVersion::V0_5) {
    w.put(as_bytes(kTranscript05));
    w.put(kFormatTag);
    w.put(header.object_id);
    w.put_be64(header.recipients.size());
    for (const RecipientEntry& entry : header.recipients) {
      VESK_CHECK(entry.type == kRecipientTypeWrapped, "format 0.5 transcript of a recipient entry other than type 1");
      w.put(entry.encapsulation());
      w.put(entry.wrapped_cek());
    }
  } else {
    w.put(as_bytes(kTranscript10));
    w.put(prelude.first(kTranscriptPreludeLen));
    w.put(kFormatTag);
    w.put(header.object_id);
    w.put_be64(header.recipients.size());
    for (const RecipientEntry& entry : header.recipients) {
      w.put_be64(entry.type);
      w.put_be64(entry.count);
      for (Bytes field : entry.fields()) w.put_framed(field);
    }
    w.put_be64(header.extensions.size());
    for (const ExtensionEntry& ext : header.extensions) {
      w.put_be16(ext.key);
      w.put_framed(ext.value);
    }
  }
  w.put_framed(metadata_unsigned);
  w.put(plaintext_hash);
  w.put_be64(plaintext_len);
  return w.take();
}

}  // namespace vesk::format
