#include "object/decrypt.h"

#include <array>
#include <cstring>
#include <optional>
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

}  // namespace

Expected<Decrypted, ObjectError> decrypt(Bytes container, crypto::XWingSeed secret_seed) {
  // The caller's memory may change while it is read (a mapped file someone writes, another
  // thread), so nothing is read from it twice between a check and a use. The prelude and the
  // header block (which carries the sealed metadata) are copied once and used only from the copy;
  // each chunk is copied into its place in the result and decrypted there.
  ByteReader in(container);
  auto prelude_in = in.read(kPreludeLen);
  if (!prelude_in) return malformed("shorter than a prelude");
  std::array<std::uint8_t, kPreludeLen> prelude_copy;
  std::memcpy(prelude_copy.data(), prelude_in->data(), kPreludeLen);
  const Bytes prelude_bytes(prelude_copy);
  auto prelude = parse_prelude(prelude_bytes);
  if (!prelude) return format_failure(prelude);
  auto block_in = in.read(prelude->header_len);
  if (!block_in) return malformed("header block truncated");
  const std::vector<std::uint8_t> block_copy(block_in->begin(), block_in->end());
  const Bytes block_bytes(block_copy);

  // Header block, header body, and the refusals of format 0.5.
  auto block = decode_header_block(block_bytes);
  if (!block) return format_failure(block);
  auto header = decode_header(block->body);
  if (!header) return format_failure(header);
  const bool v05 = prelude->version == FormatVersion::V0_5;
  if (v05) {
    if (auto ok = check_v05_header(*header); !ok) return format_failure(ok);
  }

  // The recipient entry that opens with this key and authenticates the header.
  Cek cek;
  {
    const crypto::XWingSecretKey key = crypto::XWingSecretKey::from_seed(secret_seed);
    auto found = find_cek(key, *header, prelude_bytes, block->body, block->mac);
    if (!found) return unexpected(found.error());
    cek = std::move(*found);
  }

  // The metadata: its tag, then its record rules.
  SecureVector metadata_plain(header->encrypted_metadata.size() - kChunkTagLen);
  {
    const Key32 metadata_key = derive_metadata_key(cek.view(), header->object_id);
    if (!crypto::aead_open(metadata_key.view(), kMetadataNonce, metadata_aad(header->object_id),
                           header->encrypted_metadata, metadata_plain))
      return unexpected(ObjectError::with(ObjectErrorKind::AuthenticationFailed, "metadata tag"));
  }
  auto metadata = decode_metadata(Bytes(metadata_plain.data(), metadata_plain.size()));
  if (!metadata) return format_failure(metadata);
  if (v05) {
    if (auto ok = check_v05_metadata(*metadata); !ok) return format_failure(ok);
  }

  // Payload salt and key, the header hash, and whether a signature will need the plaintext
  // hash (only then is the plaintext hashed).
  auto payload_salt = in.read(kPayloadSaltLen);
  if (!payload_salt) return malformed("payload salt truncated");
  const Key32 payload_key = derive_payload_key(cek.view(), *payload_salt, header->object_id);
  const crypto::Digest32 header_hash = crypto::sha256(block->body);
  const auto signature = select_signature(*prelude, *header, *metadata);
  const bool verify = signature.has_value() && signature->has_value();
  std::optional<crypto::Sha256> plaintext_hash;
  if (verify) plaintext_hash.emplace();

  // The chunks, in one pass, each copied into its place in the result and opened there. The
  // result is sized by a first look at the framing; framing that has changed since is refused.
  Decrypted out;
  out.plaintext = OutputBuffer(framed_plaintext_len(in.rest()));
  crypto::ChaChaPoly aead(payload_key.view());
  ChunkAad aad(header->object_id, header_hash);
  ChunkFrames frames(in.rest());
  for (;;) {
    auto frame = frames.next();
    if (!frame) return malformed(frame.error());
    const std::size_t len = frame->ciphertext().size();
    if (len > out.plaintext.capacity() - out.plaintext.size()) return malformed("payload changed while read");
    std::uint8_t* plain = out.plaintext.extend(len);
    if (!aead.open_copying(chunk_nonce(frame->index, frame->last()),
                           aad.at(frame->index, frame->type, static_cast<std::uint32_t>(len)), frame->ciphertext(),
                           MutBytes(plain, len), frame->tag()))
      return unexpected(ObjectError::with(ObjectErrorKind::AuthenticationFailed, "chunk tag"));
    if (frame->last() && !frames.at_end()) return malformed("bytes after the last chunk");
    if (plaintext_hash) plaintext_hash->update(Bytes(plain, len));
    if (frame->last()) break;
    if (frame->index == kMaxChunkIndex) return unexpected(ObjectError::with(ObjectErrorKind::TooLarge, "chunk index"));
  }

  // The signature rules, and the signature itself over its version's transcript.
  if (!signature) return refused("signature placement");
  if (verify) {
    const SignatureBlock& block_sig = **signature;
    auto key = sign::decode_verifying_key(block_sig.verifying_key);
    if (!key) return refused("verifying key does not decode");
    auto unsigned_metadata = encode_metadata(*metadata, false);
    if (!unsigned_metadata) return format_failure(unsigned_metadata);
    const crypto::Digest32 digest = plaintext_hash->finish();
    const SecureVector transcript = signature_transcript(
        prelude->version, prelude_bytes, *header, Bytes(unsigned_metadata->data(), unsigned_metadata->size()), digest,
        out.plaintext.size());
    if (!sign::hybrid_verify(*key, as_bytes(signature_context(prelude->version)), transcript, block_sig.signature))
      return refused("signature does not verify");
  }

  // The texts, copied out of the metadata plaintext before it is wiped.
  if (metadata->file_name)
    out.file_name = OutputBuffer::copy_of(as_bytes(*metadata->file_name).data(), metadata->file_name->size());
  if (metadata->content_type)
    out.content_type = OutputBuffer::copy_of(as_bytes(*metadata->content_type).data(), metadata->content_type->size());
  return out;
}

}  // namespace vesk::object
