#include "object/encrypt.h"

#include <array>
#include <vector>

#include "core/byte_io.h"
#include "core/crypto/aead.h"
#include "core/random.h"
#include "format/container.h"
#include "format/container_keys.h"
#include "format/metadata.h"
#include "object/wrap.h"

namespace vesk::object {
namespace {

using namespace vesk::format;

Expected<void, ObjectError> draw(MutBytes out) {
  if (!random_fill(out)) return unexpected(ObjectError::with(ObjectErrorKind::CryptoFailed, "randomness"));
  return {};
}

Unexpected<ObjectError> seal_failed() { return unexpected(ObjectError::with(ObjectErrorKind::CryptoFailed, "seal")); }

// What each container draws fresh: its content key, object id and payload salt, in that order.
struct Fresh {
  Cek cek;
  std::array<std::uint8_t, kObjectIdLen> object_id;
  std::array<std::uint8_t, kPayloadSaltLen> payload_salt;
};

Expected<void, ObjectError> draw_fresh(Fresh& f) {
  VESK_TRY_VOID(draw(f.cek.span()));
  VESK_TRY_VOID(draw(f.object_id));
  return draw(f.payload_salt);
}

// One entry per recipient, in the caller's order.
Expected<std::vector<WrappedCek>, ObjectError> wrap_for(const std::vector<crypto::XWingRecipient>& recipients,
                                                        const Fresh& f) {
  std::vector<WrappedCek> wrapped;
  wrapped.reserve(recipients.size());
  const CekWrapper wrapper(f.cek.view(), f.object_id);
  for (const crypto::XWingRecipient& recipient : recipients) {
    VESK_TRY(w, wrapper.wrap(recipient));
    wrapped.push_back(w);
  }
  return wrapped;
}

// The metadata, sealed under its own key and the zero nonce.
Expected<std::vector<std::uint8_t>, ObjectError> seal_metadata(const Fresh& f, std::optional<std::string_view> file_name,
                                                               std::optional<std::string_view> content_type) {
  ContainerMetadata metadata;
  metadata.file_name = file_name;
  metadata.content_type = content_type;
  auto encoded = encode_metadata(metadata);
  if (!encoded) return unexpected(ObjectError::of(encoded.error()));
  std::vector<std::uint8_t> sealed(encoded->size() + kChunkTagLen);
  const Key32 metadata_key = derive_metadata_key(f.cek.view(), f.object_id);
  if (!crypto::aead_seal(metadata_key.view(), kMetadataNonce, metadata_aad(f.object_id), *encoded, sealed))
    return seal_failed();
  return sealed;
}

// The header body: no signature, no extension entries.
Expected<SecureVector, ObjectError> header_body(const Fresh& f, const std::vector<WrappedCek>& wrapped,
                                                Bytes sealed_metadata) {
  ContainerHeader header;
  header.object_id = f.object_id;
  header.recipients.reserve(wrapped.size());
  for (const WrappedCek& w : wrapped) header.recipients.push_back(RecipientEntry::wrapped(w.encapsulation, w.wrapped_cek));
  header.encrypted_metadata = sealed_metadata;
  auto body = encode_header(header);
  if (!body) return unexpected(ObjectError::of(body.error()));
  return std::move(*body);
}

// The prelude of a format 1.0 container, unsigned. The block's length is known before its MAC,
// so the prelude (which the MAC covers) is too.
Expected<std::array<std::uint8_t, kPreludeLen>, ObjectError> prelude_for(std::size_t block_len) {
  if (block_len == 0 || block_len > kMaxHeaderBlockLen)
    return unexpected(ObjectError::of(FormatError{FormatErrorKind::HeaderTooLarge, "header block length"}));
  ContainerPrelude prelude;
  prelude.version = FormatVersion::V1_0;
  prelude.signed_flag = false;
  prelude.header_len = static_cast<std::uint32_t>(block_len);
  return prelude.encode();
}

// The payload: each chunk is sealed from the plaintext straight into its place in the result. A
// chunk is the last exactly when the look-ahead (the next chunk's bytes) is empty.
Expected<void, ObjectError> seal_payload(ByteWriter& w, Bytes plaintext, const Fresh& f, Bytes body) {
  const Key32 payload_key = derive_payload_key(f.cek.view(), f.payload_salt, f.object_id);
  crypto::ChaChaPoly aead(payload_key.view());
  const ChunkAad aad(f.object_id, crypto::sha256(body));
  std::size_t offset = 0;
  for (std::uint64_t index = 0;; ++index) {
    const std::size_t take = std::min(kChunkPlaintextLen, plaintext.size() - offset);
    const bool last = plaintext.size() - offset - take == 0;
    const std::uint8_t type = last ? kChunkLast : kChunkMore;
    write_chunk_header(w, type, take + kChunkTagLen);
    const MutBytes sealed = w.add_space(take + kChunkTagLen);
    if (!aead.seal(chunk_nonce(index, last), aad.at(index, type, static_cast<std::uint32_t>(take)),
                   plaintext.subspan(offset, take), sealed.first(take), sealed.subspan(take)))
      return seal_failed();
    offset += take;
    if (last) return {};
    if (index == kMaxChunkIndex) return unexpected(ObjectError::with(ObjectErrorKind::TooLarge, "chunk index"));
  }
}

}  // namespace

Expected<OutputBuffer, ObjectError> encrypt(Bytes plaintext, Bytes recipient_keys,
                                            std::optional<std::string_view> file_name,
                                            std::optional<std::string_view> content_type) {
  VESK_TRY(recipients, usable_recipients(recipient_keys));
  Fresh fresh;
  VESK_TRY_VOID(draw_fresh(fresh));
  VESK_TRY(wrapped, wrap_for(recipients, fresh));
  VESK_TRY(sealed_metadata, seal_metadata(fresh, file_name, content_type));
  VESK_TRY(body, header_body(fresh, wrapped, sealed_metadata));
  const std::size_t block_len = header_block_len(body.size());
  VESK_TRY(prelude, prelude_for(block_len));
  crypto::Digest32 mac;
  {
    const Key32 mac_key = derive_header_mac_key(fresh.cek.view(), fresh.object_id);
    mac = header_mac(mac_key.view(), prelude, body);
  }

  // Prelude, header block, payload salt and payload, into a result sized exactly for them.
  const std::size_t total = container_len(block_len, plaintext.size());
  OutputBuffer out(total);
  ByteWriter w(MutBytes(out.extend(total), total));
  w.put(prelude);
  w.put(encode_header_block(body, mac));
  w.put(fresh.payload_salt);
  VESK_TRY_VOID(seal_payload(w, plaintext, fresh, body));
  w.finish();
  return out;
}

}  // namespace vesk::object
