#include "object/encrypt.h"

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

}  // namespace

Expected<OutputBuffer, ObjectError> encrypt(Bytes plaintext, Bytes recipient_keys,
                                            std::optional<std::string_view> file_name,
                                            std::optional<std::string_view> content_type) {
  VESK_TRY(recipients, usable_recipients(recipient_keys));

  // Fresh content key, object id and payload salt, in that order.
  Cek cek;
  std::array<std::uint8_t, kObjectIdLen> object_id;
  std::array<std::uint8_t, kPayloadSaltLen> payload_salt;
  VESK_TRY_VOID(draw(cek.span()));
  VESK_TRY_VOID(draw(object_id));
  VESK_TRY_VOID(draw(payload_salt));

  // One entry per recipient, in the caller's order.
  std::vector<WrappedCek> wrapped;
  wrapped.reserve(recipients.size());
  const CekWrapper wrapper(cek.view(), object_id);
  for (const crypto::XWingRecipient& recipient : recipients) {
    auto w = wrapper.wrap(recipient);
    if (!w) return unexpected(w.error());
    wrapped.push_back(*w);
  }

  // The metadata, sealed under its own key and the zero nonce.
  ContainerMetadata metadata;
  metadata.file_name = file_name;
  metadata.content_type = content_type;
  auto encoded_metadata = encode_metadata(metadata);
  if (!encoded_metadata) return unexpected(ObjectError::of(encoded_metadata.error()));
  std::vector<std::uint8_t> sealed_metadata(encoded_metadata->size() + kChunkTagLen);
  {
    const Key32 metadata_key = derive_metadata_key(cek.view(), object_id);
    if (!crypto::aead_seal(metadata_key.view(), kMetadataNonce, metadata_aad(object_id),
                           Bytes(encoded_metadata->data(), encoded_metadata->size()), sealed_metadata))
      return seal_failed();
  }

  // The header body: no signature, no extension entries.
  ContainerHeader header;
  header.object_id = object_id;
  header.recipients.reserve(wrapped.size());
  for (const WrappedCek& w : wrapped) header.recipients.push_back(RecipientEntry::wrapped(w.encapsulation, w.wrapped_cek));
  header.encrypted_metadata = sealed_metadata;
  auto body = encode_header(header);
  if (!body) return unexpected(ObjectError::of(body.error()));

  // The block length is known before the MAC, so the prelude (which the MAC covers) is too.
  const std::size_t block_len = header_block_len(body->size());
  if (block_len == 0 || block_len > kMaxHeaderBlockLen)
    return unexpected(ObjectError::of(FormatError{FormatErrorKind::HeaderTooLarge, "header block length"}));
  ContainerPrelude prelude;
  prelude.version = FormatVersion::V1_0;
  prelude.signed_flag = false;
  prelude.header_len = static_cast<std::uint32_t>(block_len);
  const auto prelude_bytes = prelude.encode();
  crypto::Digest32 mac;
  {
    const Key32 mac_key = derive_header_mac_key(cek.view(), object_id);
    mac = header_mac(mac_key.view(), prelude_bytes, *body);
  }

  // Prelude, header block and payload salt, into a result sized exactly for the whole container.
  const std::size_t total = container_len(block_len, plaintext.size());
  OutputBuffer out(total);
  ByteWriter w(MutBytes(out.extend(total), total));
  w.put(prelude_bytes);
  w.put(encode_header_block(*body, mac));
  w.put(payload_salt);

  // The payload: each chunk is sealed from the plaintext straight into its place in the
  // result. A chunk is the last exactly when the look-ahead (the next chunk's bytes) is empty.
  const Key32 payload_key = derive_payload_key(cek.view(), payload_salt, object_id);
  const crypto::Digest32 header_hash = crypto::sha256(*body);
  crypto::ChaChaPoly aead(payload_key.view());
  ChunkAad aad(object_id, header_hash);
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
    if (last) break;
    if (index == kMaxChunkIndex) return unexpected(ObjectError::with(ObjectErrorKind::TooLarge, "chunk index"));
  }
  w.finish();
  return out;
}

}  // namespace vesk::object
