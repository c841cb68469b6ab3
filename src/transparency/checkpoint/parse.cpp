#include <algorithm>
#include <charconv>
#include <optional>
#include <string>

#include "core/base64.h"
#include "core/byte_io.h"
#include "core/crypto/hash.h"
#include "core/utf8.h"
#include "transparency/checkpoint/checkpoint.h"

namespace vesk::transparency {
namespace {

constexpr std::uint8_t kLineFeed = 0x0A;
// Base64 of 32 bytes: ten full groups and one group with a single "=".
constexpr std::size_t kRootBase64Len = 44;

Unexpected<CheckpointError> malformed() { return unexpected(CheckpointError::Malformed); }

// Control characters other than the line feed: C0 (tab and carriage return included), DEL and C1.
bool is_refused_control(char32_t c) { return (c < 0x20 && c != 0x0A) || (c >= 0x7F && c <= 0x9F); }

// Reads one line up to its line feed, which is consumed and not returned; nullopt if the rest
// holds no line feed.
std::optional<Bytes> read_line(ByteReader& in) {
  const Bytes rest = in.rest();
  const auto lf = std::find(rest.begin(), rest.end(), kLineFeed);
  if (lf == rest.end()) return std::nullopt;
  auto line = in.read(static_cast<std::size_t>(lf - rest.begin()));
  VESK_CHECK(line && in.skip(1), "checkpoint line split out of range");
  return line;
}

// Origins and key names: 1 to 256 bytes of printable ASCII without space, and no "+".
bool is_valid_name(Bytes name) {
  if (name.empty() || name.size() > kMaxKeyNameLen) return false;
  return std::all_of(name.begin(), name.end(), [](std::uint8_t b) { return b >= 0x21 && b <= 0x7E && b != '+'; });
}

std::optional<std::uint64_t> parse_decimal(Bytes digits) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t v = 0;
  for (std::uint8_t d : digits) {
    if (d < '0' || d > '9') return std::nullopt;
    if (__builtin_mul_overflow(v, 10, &v) || __builtin_add_overflow(v, d - '0', &v)) return std::nullopt;
  }
  return v;
}

std::string decimal(std::uint64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// Where the body ends: the position of the first line feed of the text's last blank line. None
// unless the text is UTF-8 without refused control characters, ends with a line feed and has a
// blank line. Checkpoints are nearly all ASCII, which is checked inline.
std::optional<std::size_t> body_split(Bytes text) {
  std::optional<std::size_t> last_blank;
  bool after_lf = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::uint8_t b = text[pos];
    if (b < 0x80) {
      if (is_refused_control(b)) return std::nullopt;
      if (b == kLineFeed && after_lf) last_blank = pos - 1;
      after_lf = b == kLineFeed;
      ++pos;
      continue;
    }
    auto c = next_scalar(text, pos);
    if (!c || is_refused_control(*c)) return std::nullopt;
    after_lf = false;
  }
  if (text.empty() || text.back() != kLineFeed) return std::nullopt;
  return last_blank;
}

}  // namespace

SignatureLine ParsedCheckpoint::signature(std::size_t i) const {
  VESK_CHECK(i < count_, "checkpoint signature index out of range");
  const Line& l = lines_[i];
  return SignatureLine{l.key_name, l.key_hash, Bytes(payloads_).subspan(l.offset, l.length)};
}

// 1 to 32 lines, each "— <key name> <Base64 of key hash || signature>".
bool ParsedCheckpoint::read_signature_lines(Bytes block_bytes) {
  ByteReader block(block_bytes);
  // Decoded payloads never exceed three quarters of the block, so one reservation holds them all.
  payloads_.reserve(base64_decode_estimate(block.remaining()));
  while (!block.at_end()) {
    if (count_ == kMaxSignatureLines) return false;
    auto line = read_line(block);
    VESK_CHECK(line.has_value(), "signature block does not end with a line feed");
    if (!read_signature_line(*line)) return false;
  }
  return count_ != 0;
}

bool ParsedCheckpoint::read_signature_line(Bytes line_bytes) {
  ByteReader line(line_bytes);
  auto start = line.read(kSignatureLineStart.size());
  if (!start || !equal_bytes(*start, as_bytes(kSignatureLineStart))) return false;
  const Bytes rest = line.rest();
  const auto space = std::find(rest.begin(), rest.end(), std::uint8_t{' '});
  if (space == rest.end()) return false;
  auto name = line.read(static_cast<std::size_t>(space - rest.begin()));
  VESK_CHECK(name && line.skip(1), "signature line split out of range");
  if (!is_valid_name(*name)) return false;

  const std::string_view payload_text = as_text(line.rest());
  const std::size_t offset = payloads_.size();
  payloads_.resize(offset + base64_decode_estimate(payload_text.size()));
  auto decoded = base64_decode(payload_text, MutBytes(payloads_).subspan(offset));
  if (!decoded || *decoded < kKeyHashLen + 1) return false;
  payloads_.resize(offset + *decoded);

  Line& entry = lines_[count_++];
  entry.key_name = as_text(*name);
  std::copy_n(payloads_.begin() + static_cast<std::ptrdiff_t>(offset), kKeyHashLen, entry.key_hash.begin());
  entry.offset = offset + kKeyHashLen;
  entry.length = *decoded - kKeyHashLen;
  return true;
}

std::string ParsedCheckpoint::rebuilt_text() const {
  std::string rebuilt;
  rebuilt.reserve(checked_add(body_.size() + 1, checked_mul(count_, kRebuildPerLine)));
  rebuilt.append(as_text(body_));
  rebuilt.push_back('\n');
  for (std::size_t i = 0; i < count_; ++i) {
    const Line& l = lines_[i];
    rebuilt.append(kSignatureLineStart);
    rebuilt.append(l.key_name);
    rebuilt.push_back(' ');
    base64_encode_append(Bytes(payloads_).subspan(l.offset - kKeyHashLen, l.length + kKeyHashLen), rebuilt);
    rebuilt.push_back('\n');
  }
  return rebuilt;
}

// Exactly three lines: the origin, the tree size in decimal and the root in Base64, each in its
// one canonical spelling.
bool ParsedCheckpoint::read_body() {
  ByteReader body(body_);
  Bytes lines[3];
  for (Bytes& l : lines) {
    auto line = read_line(body);
    if (!line) return false;
    l = *line;
  }
  if (!body.at_end()) return false;

  if (!is_valid_name(lines[0])) return false;
  origin_ = as_text(lines[0]);
  auto size = parse_decimal(lines[1]);
  if (!size) return false;
  tree_size_ = *size;
  if (lines[2].size() != kRootBase64Len) return false;
  std::array<std::uint8_t, kRootBase64Len / 4 * 3> root{};
  auto root_len = base64_decode(as_text(lines[2]), root);
  if (!root_len || *root_len != crypto::kDigest32Len) return false;
  std::copy_n(root.begin(), crypto::kDigest32Len, root_.begin());

  std::string canonical;
  canonical.reserve(body_.size());
  canonical.append(origin_);
  canonical.push_back('\n');
  canonical.append(decimal(tree_size_));
  canonical.push_back('\n');
  base64_encode_append(root_, canonical);
  canonical.push_back('\n');
  return equal_bytes(as_bytes(canonical), body_);
}

Expected<ParsedCheckpoint, CheckpointError> parse_checkpoint(Bytes text) {
  if (text.size() > kMaxCheckpointLen) return malformed();
  const std::optional<std::size_t> split = body_split(text);
  if (!split) return malformed();
  ParsedCheckpoint cp;
  cp.body_ = text.first(*split + 1);
  if (!cp.read_signature_lines(text.subspan(*split + 2))) return malformed();
  // The canonical text, rebuilt from what was parsed, must be the input itself.
  if (!equal_bytes(as_bytes(cp.rebuilt_text()), text)) return malformed();
  if (!cp.read_body()) return malformed();
  return cp;
}

KeyHash checkpoint_key_hash(std::string_view key_name, Bytes verifying_key) {
  const std::uint8_t separator[2] = {0x0A, 0xFF};
  const crypto::Digest32 d = crypto::sha256({as_bytes(key_name), separator, as_bytes(kKeyHashLabel), verifying_key});
  KeyHash h;
  std::copy_n(d.begin(), kKeyHashLen, h.begin());
  return h;
}

}  // namespace vesk::transparency
