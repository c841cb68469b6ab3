// The records of an encrypted container: the fixed prelude, the header block [body, MAC], the
// header body (`ContainerHeader`) with its recipient entries and signature block, and the framing
// of the payload chunks. Decoders return views into their input; nothing is copied except the
// extension entries.
//
//   prelude (16) | header block (L) | payload_salt (16) | chunk | chunk | ... | last chunk
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/byte_io.h"
#include "core/bytes.h"
#include "core/check.h"
#include "core/secret.h"
#include "core/crypto/aead.h"
#include "core/crypto/ed25519.h"
#include "core/crypto/hash.h"
#include "core/crypto/mldsa.h"
#include "core/crypto/xwing.h"
#include "format/cbor.h"

namespace vesk::format {

inline constexpr std::array<std::uint8_t, 8> kContainerMagic = {0x56, 0x45, 0x53, 0x4b, 0x0d, 0x0a, 0x1a, 0x0a};
// The format's 16-bit tag, 0x0001, in the HPKE info and associated data, the metadata's associated
// data and the signature transcripts.
inline constexpr std::array<std::uint8_t, 2> kFormatTag = {0x00, 0x01};
inline constexpr std::size_t kPreludeLen = 16;
inline constexpr std::size_t kMaxHeaderBlockLen = 1048576;
inline constexpr std::size_t kMaxHeaderBodyLen = 1048576;
inline constexpr std::size_t kHeaderMacLen = crypto::kDigest32Len;  // HMAC-SHA-256
inline constexpr std::size_t kObjectIdLen = 32;
inline constexpr std::size_t kPayloadSaltLen = 16;
inline constexpr std::size_t kMaxRecipients = 64;
inline constexpr std::size_t kEncapsulationLen = crypto::kXWingCiphertextLen;  // 1120
inline constexpr std::size_t kCekLen = 32;                                     // the content key (CEK)
inline constexpr std::size_t kWrappedCekLen = kCekLen + crypto::kAeadTagLen;   // the sealed content key: 48
inline constexpr std::size_t kMaxRecipientFields = 7;  // byte strings of an entry of an unknown type
inline constexpr std::size_t kMaxRecipientFieldLen = 65536;
inline constexpr std::size_t kMaxHeaderExtensions = 16;

// The metadata record, and the same sealed: a tag over nothing at the least.
inline constexpr std::size_t kMaxMetadataLen = 262144;
inline constexpr std::size_t kMinEncryptedMetadata = crypto::kAeadTagLen;
inline constexpr std::size_t kMaxEncryptedMetadata = kMaxMetadataLen + crypto::kAeadTagLen;  // 262160

// The sender signature's hybrid verifying key (1984) and signature (3373): Ed25519, then ML-DSA-65.
inline constexpr std::size_t kSignatureKeyLen = crypto::kEd25519PublicLen + crypto::kMlDsa65PublicLen;
inline constexpr std::size_t kSignatureLen = crypto::kEd25519SignatureLen + crypto::kMlDsa65SignatureLen;

// Payload chunks: type byte, 32-bit big-endian ciphertext length, ciphertext with its tag.
inline constexpr std::size_t kChunkHeaderLen = 5;
inline constexpr std::size_t kChunkPlaintextLen = 65536;
inline constexpr std::size_t kChunkTagLen = crypto::kAeadTagLen;
inline constexpr std::size_t kFullChunkLen = kChunkPlaintextLen + kChunkTagLen;  // 65552
inline constexpr std::uint64_t kMaxChunkIndex = 0xffffffff;
inline constexpr std::uint8_t kChunkMore = 1;
inline constexpr std::uint8_t kChunkLast = 2;

enum class FormatVersion : std::uint8_t { V1_0 = 1, V0_5 = 2 };

struct ContainerPrelude {
  FormatVersion version = FormatVersion::V1_0;
  bool signed_flag = false;
  std::uint32_t header_len = 0;  // L, the length of the header block

  std::array<std::uint8_t, kPreludeLen> encode() const;
};

// The 16 prelude bytes. Version bytes other than 1 and 2 are refused: they are never written.
FormatResult<ContainerPrelude> parse_prelude(Bytes prelude);

struct HeaderBlock {
  Bytes body;
  Bytes mac;  // 32 bytes
};
// [body, MAC] as a canonical CBOR array filling all of `block`.
FormatResult<HeaderBlock> decode_header_block(Bytes block);
std::vector<std::uint8_t> encode_header_block(Bytes body, Bytes mac);
// The length of the encoded block for a body of `body_len` bytes (the MAC's length is fixed).
std::size_t header_block_len(std::size_t body_len);

// Type 1 is [1, encapsulation (1120), wrapped CEK (48)]; types 2..65535 carry up to seven byte
// strings verbatim; type 0 is refused.
inline constexpr std::uint16_t kRecipientTypeWrapped = 1;
struct RecipientEntry {
  std::uint16_t type = 1;
  std::uint8_t count = 0;  // byte strings in use
  std::array<Bytes, kMaxRecipientFields> strings{};

  static RecipientEntry wrapped(Bytes encapsulation, Bytes wrapped_cek);
  std::span<const Bytes> fields() const { return {strings.data(), count}; }
  Bytes encapsulation() const { return strings[0]; }
  Bytes wrapped_cek() const { return strings[1]; }
};

// [1, verifying key (1984), hybrid signature (3373)].
struct SignatureBlock {
  Bytes verifying_key;
  Bytes signature;
};
FormatResult<SignatureBlock> read_signature_block(CborDecoder& d);
void write_signature_block(const SignatureBlock& block, CborEncoder& e);

struct ContainerHeader {
  Bytes object_id;  // 32 bytes
  std::vector<RecipientEntry> recipients;
  Bytes encrypted_metadata;
  std::optional<SignatureBlock> signature;
  std::vector<ExtensionEntry> extensions;
};

// The header body: its length (HeaderTooLarge), the record rules and the canonical rule.
FormatResult<ContainerHeader> decode_header(Bytes body);
// The canonical body; LimitExceeded for counts and lengths out of bounds, HeaderTooLarge for a
// body over 1048576 bytes.
FormatResult<SecureVector> encode_header(const ContainerHeader& header);

// True when a chunk of `type` with ciphertext length `n` may stand at `index`.
bool chunk_header_ok(std::uint8_t type, std::uint32_t n, std::uint64_t index);
// The framing before a chunk's `sealed_len` sealed bytes (ciphertext and tag); the sealed bytes
// follow through w.add_space.
void write_chunk_header(ByteWriter& w, std::uint8_t type, std::size_t sealed_len);

// One framed chunk: its position, type, and sealed bytes (ciphertext, then the 16-byte tag).
struct ChunkFrame {
  std::uint64_t index;
  std::uint8_t type;
  Bytes sealed;

  bool last() const { return type == kChunkLast; }
  Bytes ciphertext() const { return sealed.first(sealed.size() - kChunkTagLen); }
  Bytes tag() const { return sealed.last(kChunkTagLen); }
};

// Walks the chunk framing of a payload, one frame at a time, as far as it follows the chunk rules.
// A failure names what broke: "payload truncated", "chunk framing" or "chunk truncated".
class ChunkFrames {
 public:
  explicit ChunkFrames(Bytes payload) : in_(payload) {}
  Expected<ChunkFrame, const char*> next();
  bool at_end() const { return in_.at_end(); }

 private:
  ByteReader in_;
  std::uint64_t index_ = 0;
};
// The number of chunks a plaintext of `len` bytes is cut into (an empty one still has one).
constexpr std::uint64_t chunk_count(std::uint64_t len) {
  return len == 0 ? 1 : (len - 1) / kChunkPlaintextLen + 1;
}

// The exact length of a container with a header block of `header_block_len` bytes and a plaintext
// of `plaintext_len` bytes: prelude, block, payload salt, and per chunk its framing, its bytes and
// its tag.
constexpr std::size_t container_len(std::size_t header_block_len, std::size_t plaintext_len) {
  const std::size_t framing = checked_mul(chunk_count(plaintext_len), kChunkHeaderLen + kChunkTagLen);
  return checked_add(checked_add(kPreludeLen + kPayloadSaltLen, header_block_len), checked_add(plaintext_len, framing));
}

}  // namespace vesk::format
