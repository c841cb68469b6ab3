// Signed checkpoints: a three-line body (origin, tree size, root hash), a blank line, and 1 to 32
// signature lines "— <key name> <Base64 of key hash || signature>". Accepted only in the one
// canonical form; the log's hybrid signatures are checked over the body.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/bytes.h"
#include "core/expected.h"
#include "transparency/merkle.h"

namespace vesk::sign {
class DecodedVerifyingKey;
}

namespace vesk::transparency {

inline constexpr std::size_t kMaxCheckpointLen = 196608;
inline constexpr std::size_t kMaxSignatureLines = 32;
inline constexpr std::size_t kMaxKeyNameLen = 256;
inline constexpr std::size_t kKeyHashLen = 4;
// Reserved per signature line for the canonical rebuild: a hybrid signature line with room to spare.
inline constexpr std::size_t kRebuildPerLine = 4600;
inline constexpr std::string_view kCheckpointContext = "VESK/1.0 checkpoint";
inline constexpr std::string_view kKeyHashLabel = "VESK/1.0 vesk-sign";
// U+2014 EM DASH and a space open every signature line.
inline constexpr std::string_view kSignatureLineStart = "\xE2\x80\x94 ";

enum class CheckpointError : std::uint8_t {
  UnusableKey,        // the log's verifying key does not decode
  Malformed,          // not well formed, or not in its canonical form
  OriginMismatch,     // another log's checkpoint
  NoLogSignature,     // no signature line carries the log's key name and key hash
  BadLogSignature,    // a line by the log's key is not a valid signature over the body
};

using KeyHash = std::array<std::uint8_t, kKeyHashLen>;

struct SignatureLine {
  std::string_view key_name;  // borrowed from the text
  KeyHash key_hash;
  Bytes signature;            // borrowed from the parsed checkpoint
};

// A checkpoint that passed every structural check. Views borrow from the text given to
// parse_checkpoint (origin, body, key names) and from this object (signatures), so neither may go
// away while it is in use.
class ParsedCheckpoint {
 public:
  std::string_view origin() const { return origin_; }
  std::uint64_t tree_size() const { return tree_size_; }
  const crypto::Digest32& root() const { return root_; }
  // The three body lines with their line feeds: the signed message.
  Bytes body() const { return body_; }
  std::size_t signature_count() const { return count_; }
  SignatureLine signature(std::size_t i) const;

 private:
  friend Expected<ParsedCheckpoint, CheckpointError> parse_checkpoint(Bytes text);
  // The stages of parse_checkpoint after the body is split off; each is false for a text that is
  // not well formed.
  bool read_signature_lines(Bytes block);
  bool read_signature_line(Bytes line);
  std::string rebuilt_text() const;  // the canonical text of what was parsed
  bool read_body();
  struct Line {
    std::string_view key_name;
    KeyHash key_hash;
    std::size_t offset;  // of the signature in payloads_
    std::size_t length;
  };
  std::string_view origin_;
  std::uint64_t tree_size_ = 0;
  crypto::Digest32 root_{};
  Bytes body_;
  std::vector<std::uint8_t> payloads_;  // decoded signatures, back to back
  std::array<Line, kMaxSignatureLines> lines_{};
  std::size_t count_ = 0;
};

// Every structural and canonical-form check; any failure is Malformed. No signature is checked.
Expected<ParsedCheckpoint, CheckpointError> parse_checkpoint(Bytes text);

// First 4 bytes of SHA-256(name || 0x0A || 0xFF || "VESK/1.0 vesk-sign" || verifying key).
KeyHash checkpoint_key_hash(std::string_view key_name, Bytes verifying_key);

struct VerifiedCheckpoint {
  std::uint64_t tree_size;
  crypto::Digest32 root;
};

// Parses the text, requires the body's origin to be `expected_origin` byte for byte, and requires
// every line by the log's key (name = origin, key hash from `key`) to be a valid 3373-byte hybrid
// signature over the body, with at least one such line. Lines of other signers are ignored.
Expected<VerifiedCheckpoint, CheckpointError> verify_checkpoint(Bytes text, std::string_view expected_origin,
                                                                const sign::DecodedVerifyingKey& key);
// The same, decoding the key first: a key that does not decode is refused before the text is read.
Expected<VerifiedCheckpoint, CheckpointError> verify_checkpoint(Bytes text, std::string_view expected_origin,
                                                                Bytes verifying_key);

}  // namespace vesk::transparency
