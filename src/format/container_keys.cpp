#include "format/container_keys.h"

#include <cstring>
#include <string_view>

#include "core/check.h"
#include "core/crypto/hmac.h"

namespace vesk::format {
namespace {

constexpr std::string_view kMetadataLabel = "VESK/0.1 metadata";
constexpr std::string_view kHeaderMacLabel = "VESK/0.1 header-mac";
constexpr std::string_view kPayloadLabel = "VESK/0.1 payload";
constexpr std::string_view kChunkLabel = "VESK/0.1 chunk";
constexpr std::uint8_t kFormatTag[2] = {0x00, 0x01};

SecretArray<32> derive(Bytes salt, Bytes cek, std::initializer_list<Bytes> info) {
  VESK_CHECK(cek.size() == kCekLen, "content key must be 32 bytes");
  SecretArray<32> key;
  crypto::hkdf(salt, cek, info, key.span());
  return key;
}

}  // namespace

SecretArray<32> derive_metadata_key(Bytes cek, Bytes object_id) {
  return derive(object_id, cek, {as_bytes(kMetadataLabel)});
}

SecretArray<32> derive_header_mac_key(Bytes cek, Bytes object_id) {
  return derive(object_id, cek, {as_bytes(kHeaderMacLabel)});
}

SecretArray<32> derive_payload_key(Bytes cek, Bytes payload_salt, Bytes object_id) {
  return derive(payload_salt, cek, {as_bytes(kPayloadLabel), object_id});
}

crypto::Digest32 header_mac(Bytes mac_key, Bytes prelude, Bytes body) {
  return crypto::hmac_sha256(mac_key, {prelude, body});
}

std::array<std::uint8_t, kMetadataAadLen> metadata_aad(Bytes object_id) {
  VESK_CHECK(object_id.size() == kObjectIdLen, "object id must be 32 bytes");
  std::array<std::uint8_t, kMetadataAadLen> aad;
  std::memcpy(aad.data(), kMetadataLabel.data(), kMetadataLabel.size());
  std::memcpy(aad.data() + kMetadataLabel.size(), object_id.data(), kObjectIdLen);
  std::memcpy(aad.data() + kMetadataLabel.size() + kObjectIdLen, kFormatTag, 2);
  return aad;
}

std::array<std::uint8_t, crypto::kAeadNonceLen> chunk_nonce(std::uint64_t index, bool last) {
  std::array<std::uint8_t, crypto::kAeadNonceLen> nonce{};
  store_be64(nonce.data() + 3, index);
  nonce[11] = last ? 0x01 : 0x00;
  return nonce;
}

ChunkAad::ChunkAad(Bytes object_id, Bytes header_hash) {
  VESK_CHECK(object_id.size() == kObjectIdLen && header_hash.size() == 32, "chunk associated data inputs");
  std::memcpy(bytes_.data(), kChunkLabel.data(), kChunkLabel.size());
  std::memcpy(bytes_.data() + 14, object_id.data(), 32);
  std::memcpy(bytes_.data() + 46, header_hash.data(), 32);
}

Bytes ChunkAad::at(std::uint64_t index, std::uint8_t type, std::uint32_t plaintext_len) {
  store_be64(bytes_.data() + 78, index);
  bytes_[86] = type;
  store_be32(bytes_.data() + 87, plaintext_len);
  return bytes_;
}

}  // namespace vesk::format
