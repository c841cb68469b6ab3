// The keys, nonces and associated data a container derives from its content key (CEK): the
// metadata key, the header-MAC key and the payload key, the header MAC, and the per-chunk nonce
// and associated data that bind each chunk to its position, type, length and header.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "core/bytes.h"
#include "core/crypto/aead.h"
#include "core/crypto/hash.h"
#include "core/secret.h"
#include "format/container.h"

namespace vesk::format {

inline constexpr std::string_view kMetadataLabel = "VESK/0.1 metadata";
inline constexpr std::string_view kChunkLabel = "VESK/0.1 chunk";
inline constexpr std::size_t kMetadataAadLen = kMetadataLabel.size() + kObjectIdLen + kFormatTag.size();  // 51
// The chunk label, the object id and the header hash, then BE64(index), type and BE32(length).
inline constexpr std::size_t kChunkAadPrefixLen = kChunkLabel.size() + kObjectIdLen + crypto::kDigest32Len;  // 78
inline constexpr std::size_t kChunkAadLen = kChunkAadPrefixLen + 8 + 1 + 4;                                 // 91

// HKDF-SHA-256(salt = object_id, IKM = CEK, info = "VESK/0.1 metadata").
Key32 derive_metadata_key(Bytes cek, Bytes object_id);
// HKDF-SHA-256(salt = object_id, IKM = CEK, info = "VESK/0.1 header-mac").
Key32 derive_header_mac_key(Bytes cek, Bytes object_id);
// HKDF-SHA-256(salt = payload_salt, IKM = CEK, info = "VESK/0.1 payload" || object_id).
Key32 derive_payload_key(Bytes cek, Bytes payload_salt, Bytes object_id);

// HMAC-SHA-256(header-MAC key, prelude || header body).
crypto::Digest32 header_mac(Bytes mac_key, Bytes prelude, Bytes body);

// The metadata is sealed once per key, under the all-zero nonce.
inline constexpr std::array<std::uint8_t, crypto::kAeadNonceLen> kMetadataNonce{};
// "VESK/0.1 metadata" || object_id || 0x00 0x01.
std::array<std::uint8_t, kMetadataAadLen> metadata_aad(Bytes object_id);

// 0x00 0x00 0x00 || BE64(index) || 0x01 for the last chunk, 0x00 otherwise.
std::array<std::uint8_t, crypto::kAeadNonceLen> chunk_nonce(std::uint64_t index, bool last);

// "VESK/0.1 chunk" || object_id || header_hash || BE64(index) || type || BE32(plaintext length).
// The fixed prefix is built once; each chunk fills in its own tail.
class ChunkAad {
 public:
  ChunkAad(Bytes object_id, Bytes header_hash);
  std::array<std::uint8_t, kChunkAadLen> at(std::uint64_t index, std::uint8_t type, std::uint32_t plaintext_len) const;

 private:
  std::array<std::uint8_t, kChunkAadPrefixLen> prefix_{};
};

}  // namespace vesk::format
