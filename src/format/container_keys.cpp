#include "format/container_keys.h"

#include <cstring>
#include <string_view>

#include "core/byte_io.h"
#include "core/check.h"
#include "core/crypto/hmac.h"

namespace vesk::format {
namespace {

constexpr std::string_view kHeaderMacLabel = "VESK/0.1 header-mac";
constexpr std::string_view kPayloadLabel = "VESK/0.1 payload";

Key32 derive(Bytes salt, Bytes cek, std::initializer_list<Bytes> info) {
  VESK_CHECK(cek.size() == kCekLen, "content key must be 32 bytes");
  Key32 key;
  crypto::hkdf(salt, cek, info, key.span());
  return key;
}

}  // namespace

Key32 derive_metadata_key(Bytes cek, Bytes object_id) {
  return derive(object_id, cek, {as_bytes(kMetadataLabel)});
}

Key32 derive_header_mac_key(Bytes cek, Bytes object_id) {
  return derive(object_id, cek, {as_bytes(kHeaderMacLabel)});
}

Key32 derive_payload_key(Bytes cek, Bytes payload_salt, Bytes object_id) {
  return derive(payload_salt, cek, {as_bytes(kPayloadLabel), object_id});
}

crypto::Digest32 header_mac(Bytes mac_key, Bytes prelude, Bytes body) {
  return crypto::hmac_sha256(mac_key, {prelude, body});
}

std::array<std::uint8_t, kMetadataAadLen> metadata_aad(Bytes object_id) {
  VESK_CHECK(object_id.size() == kObjectIdLen, "object id must be 32 bytes");
  return fixed_record<kMetadataAadLen>([&](ByteWriter& w) {
    w.put(as_bytes(kMetadataLabel));
    w.put(object_id);
    w.put(kFormatTag);
  });
}

std::array<std::uint8_t, crypto::kAeadNonceLen> chunk_nonce(std::uint64_t index, bool last) {
  return fixed_record<crypto::kAeadNonceLen>([&](ByteWriter& w) {
    w.put(std::array<std::uint8_t, 3>{});
    w.put_be64(index);
    w.put_u8(last ? 0x01 : 0x00);
  });
}

ChunkAad::ChunkAad(Bytes object_id, Bytes header_hash) {
  VESK_CHECK(object_id.size() == kObjectIdLen && header_hash.size() == crypto::kDigest32Len,
             "chunk associated data inputs");
  prefix_ = fixed_record<kChunkAadPrefixLen>([&](ByteWriter& w) {
    w.put(as_bytes(kChunkLabel));
    w.put(object_id);
    w.put(header_hash);
  });
}

std::array<std::uint8_t, kChunkAadLen> ChunkAad::at(std::uint64_t index, std::uint8_t type,
                                                    std::uint32_t plaintext_len) const {
  return fixed_record<kChunkAadLen>([&](ByteWriter& w) {
    w.put(prefix_);
    w.put_be64(index);
    w.put_u8(type);
    w.put_be32(plaintext_len);
  });
}

}  // namespace vesk::format
