#include "object/decrypt.h"

#include <array>
#include <cstring>
#include <optional>
#include <variant>
#include <vector>

#include "core/byte_io.h"
#include "core/crypto/aead.h"
#include "core/crypto/hash.h"
#include "core/crypto/xwing.h"
#include "format/container.h"
#include "format/container_keys.h"
#include "format/metadata.h"
#include "format/signature_rules.h"
#include "object/wrap.h"
#include "sign/hybrid.h"

namespace vesk::object {

namespace {

using namespace vesk::format;

Unexpected<ObjectError> malformed(const char* detail) {
  return unexpected(ObjectError::with(ObjectErrorKind::Malformed, detail));
}
Unexpected<ObjectError> refused(const char* detail) {
  return unexpected(ObjectError::with(ObjectErrorKind::SignatureRefused, detail));
}
template <class T>
Unexpected<ObjectError> format_failure(const FormatResult<T>& r) {
  return unexpected(ObjectError::of(r.error()));
}

// What stands before the payload, as a recipient's key opens it: the prelude and the header block,
// each copied once out of the caller's memory, the records they decode to, the content key, and
// the metadata with its plaintext. Filled in place, stage by stage, and never copied: the records
// point into the copies.
struct OpenedHeader {
  std::array<std::uint8_t, kPreludeLen> prelude_bytes{};
  ContainerPrelude prelude;
  std::vector<std::uint8_t> block_bytes;
  HeaderBlock block;       // views into block_bytes
  ContainerHeader header;  // views into block_bytes
  Cek cek;
  SecureVector metadata_plain;
  ContainerMetadata metadata;  // views into metadata_plain

  OpenedHeader() = default;
  OpenedHeader(const OpenedHeader&) = delete;
  OpenedHeader& operator=(const OpenedHeader&) = delete;
  bool v05() const { return prelude.version == FormatVersion::V0_5; }
};

// The prelude and the header block, copied, and what they decode to with the refusals of format 0.5.
Expected<void, ObjectError> read_header(ByteReader& in, OpenedHeader& h) {
  auto prelude_in = in.read(kPreludeLen);
  if (!prelude_in) return malformed("shorter than a prelude");
  std::memcpy(h.prelude_bytes.data(), prelude_in->data(), kPreludeLen);
  auto prelude = parse_prelude(h.prelude_bytes);
  if (!prelude) return format_failure(prelude);
  h.prelude = *prelude;
  auto block_in = in.read(h.prelude.header_len);
  if (!block_in) return malformed("header block truncated");
  h.block_bytes.assign(block_in->begin(), block_in->end());

  auto block = decode_header_block(h.block_bytes);
  if (!block) return format_failure(block);
  h.block = *block;
  auto header = decode_header(h.block.body);
  if (!header) return format_failure(header);
  h.header = std::move(*header);
  if (h.v05()) {
    if (auto ok = check_v05_header(h.header); !ok) return format_failure(ok);
  }
  return {};
}

// The recipient entry that opens with this key and authenticates the header; then the metadata:
// its tag, its record rules, and the refusals of format 0.5.
Expected<void, ObjectError> open_metadata(OpenedHeader& h, crypto::XWingSeed secret_seed) {
  {
    const crypto::XWingSecretKey key = crypto::XWingSecretKey::from_seed(secret_seed);
    auto found = find_cek(key, h.header, h.prelude_bytes, h.block.body, h.block.mac);
    if (!found) return unexpected(found.error());
    h.cek = std::move(*found);
  }
  h.metadata_plain.resize(h.header.encrypted_metadata.size() - kChunkTagLen);
  {
    const Key32 metadata_key = derive_metadata_key(h.cek.view(), h.header.object_id);
    if (!crypto::aead_open(metadata_key.view(), kMetadataNonce, metadata_aad(h.header.object_id),
                           h.header.encrypted_metadata, h.metadata_plain))
      return unexpected(ObjectError::with(ObjectErrorKind::AuthenticationFailed, "metadata tag"));
  }
  auto metadata = decode_metadata(h.metadata_plain);
  if (!metadata) return format_failure(metadata);
  h.metadata = std::move(*metadata);
  if (h.v05()) {
    if (auto ok = check_v05_metadata(h.metadata); !ok) return format_failure(ok);
  }
  return {};
}

// The plaintext length of the payload's chunks as far as their framing follows the chunk rules.
// A payload that decrypts has exactly this length; one that does not fails before writing past it.
std::size_t framed_plaintext_len(Bytes payload) {
  ChunkFrames frames(payload);
  std::size_t total = 0;
  for (auto frame = frames.next(); frame; frame = frames.next()) {
    total += frame->ciphertext().size();
    if (frame->last() || frame->index == kMaxChunkIndex) break;
  }
  return total;
}

// The payload salt, then the chunks in one pass, each copied into its place in the result and
// opened there (and hashed, when `plaintext_hash` is given). The result is sized by a first look
// at the framing; framing that has changed since is refused.
Expected<OutputBuffer, ObjectError> open_payload(ByteReader& in, const OpenedHeader& h,
                                                 crypto::Sha256* plaintext_hash) {
  auto payload_salt = in.read(kPayloadSaltLen);
  if (!payload_salt) return malformed("payload salt truncated");
  const Key32 payload_key = derive_payload_key(h.cek.view(), *payload_salt, h.header.object_id);
  const ChunkAad aad(h.header.object_id, crypto::sha256(h.block.body));
  crypto::ChaChaPoly aead(payload_key.view());
  OutputBuffer plaintext(framed_plaintext_len(in.rest()));
  ChunkFrames frames(in.rest());
  for (;;) {
    auto frame = frames.next();
    if (!frame) return malformed(frame.error());
    const std::size_t len = frame->ciphertext().size();
    if (len > plaintext.capacity() - plaintext.size()) return malformed("payload changed while read");
    std::uint8_t* plain = plaintext.extend(len);
    if (!aead.open_copying(chunk_nonce(frame->index, frame->last()),
                           aad.at(frame->index, frame->type, static_cast<std::uint32_t>(len)), frame->ciphertext(),
                           MutBytes(plain, len), frame->tag()))
      return unexpected(ObjectError::with(ObjectErrorKind::AuthenticationFailed, "chunk tag"));
    if (frame->last() && !frames.at_end()) return malformed("bytes after the last chunk");
    if (plaintext_hash != nullptr) plaintext_hash->update(Bytes(plain, len));
    if (frame->last()) break;
    if (frame->index == kMaxChunkIndex) return unexpected(ObjectError::with(ObjectErrorKind::TooLarge, "chunk index"));
  }
  return plaintext;
}

// The sender's signature over its version's transcript of the container.
Expected<void, ObjectError> verify_sender(const OpenedHeader& h, const SignatureBlock& signature,
                                          crypto::Sha256& plaintext_hash, std::uint64_t plaintext_len) {
  auto key = sign::decode_verifying_key(signature.verifying_key);
  if (!key) return refused("verifying key does not decode");
  auto unsigned_metadata = encode_metadata(h.metadata, false);
  if (!unsigned_metadata) return format_failure(unsigned_metadata);
  const crypto::Digest32 digest = plaintext_hash.finish();
  const SecureVector transcript =
      signature_transcript(h.prelude.version, h.prelude_bytes, h.header, *unsigned_metadata, digest, plaintext_len);
  if (!sign::hybrid_verify(*key, as_bytes(signature_context(h.prelude.version)), transcript, signature.signature))
    return refused("signature does not verify");
  return {};
}

OutputBuffer copy_text(const std::optional<std::string_view>& text) {
  return text ? OutputBuffer::copy_of(as_bytes(*text).data(), text->size()) : OutputBuffer();
}

}  // namespace

Expected<Decrypted, ObjectError> decrypt(Bytes container, crypto::XWingSeed secret_seed) {
  // The caller's memory may change while it is read (a mapped file someone writes, another
  // thread), so nothing is read from it twice between a check and a use: the prelude and the
  // header block (which carries the sealed metadata) are copied once and used only from the copy;
  // each chunk is copied into its place in the result and decrypted there.
  ByteReader in(container);
  OpenedHeader h;
  VESK_TRY_VOID(read_header(in, h));
  VESK_TRY_VOID(open_metadata(h, secret_seed));

  // The plaintext is hashed only when a signature is to be verified over it.
  const SignatureCheck signature = select_signature(h.prelude, h.header, h.metadata);
  const SignatureBlock* to_verify = std::get_if<SignatureBlock>(&signature);
  std::optional<crypto::Sha256> plaintext_hash;
  if (to_verify != nullptr) plaintext_hash.emplace();
  VESK_TRY(plaintext, open_payload(in, h, plaintext_hash ? &*plaintext_hash : nullptr));

  // The signature rules are applied once the payload has authenticated.
  if (std::holds_alternative<SignatureRefusal>(signature)) return refused("signature placement");
  if (to_verify != nullptr) VESK_TRY_VOID(verify_sender(h, *to_verify, *plaintext_hash, plaintext.size()));

  // The texts, copied out of the metadata plaintext before it is wiped.
  return Decrypted{std::move(plaintext), copy_text(h.metadata.file_name), copy_text(h.metadata.content_type)};
}

}  // namespace vesk::object
