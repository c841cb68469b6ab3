// Checkpoint texts: the structural and canonical-form rules of the parser and the key hash.
// Verification through the export, with checkpoints signed by the fixed identities, is in the
// corpus (vectors/checkpoint_verify.json).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/base64.h"
#include "sign/hybrid.h"
#include "support/test_util.h"
#include "support/vectors.h"
#include "transparency/checkpoint/checkpoint.h"

namespace {

using vesk::as_bytes;
using vesk::testing::ByteVec;
using vesk::transparency::CheckpointError;
using vesk::transparency::parse_checkpoint;

const std::string kDash = "\xE2\x80\x94 ";
const std::string kOrigin = "example.com/log";

std::string b64(const ByteVec& b) { return vesk::base64_encode(b); }

ByteVec payload(std::size_t signature_len, std::uint32_t seed = 3) {
  ByteVec p = {0xC2, 0xEF, 0x0A, 0x52};
  ByteVec sig = vesk::testing::test_bytes(signature_len, seed);
  p.insert(p.end(), sig.begin(), sig.end());
  return p;
}

std::string root_b64() { return b64(vesk::testing::test_bytes(32, 9)); }

std::string body(const std::string& size = "42", const std::string& origin = kOrigin) {
  return origin + "\n" + size + "\n" + root_b64() + "\n";
}

std::string sig_line(const std::string& name, const ByteVec& p) { return kDash + name + " " + b64(p) + "\n"; }

std::string text_with(const std::string& b, const std::vector<std::string>& lines) {
  std::string t = b + "\n";
  for (const auto& l : lines) t += l;
  return t;
}

std::string good_text() { return text_with(body(), {sig_line(kOrigin, payload(3373))}); }

TEST(CheckpointParse, WellFormedTextGivesItsPieces) {
  const std::string text = text_with(body("18446744073709551615"),
                                     {sig_line(kOrigin, payload(3373)), sig_line("other.example/witness", payload(64, 5))});
  auto cp = parse_checkpoint(as_bytes(text));
  ASSERT_TRUE(cp.has_value());
  EXPECT_EQ(cp->origin(), kOrigin);
  EXPECT_EQ(cp->tree_size(), 18446744073709551615ull);
  const ByteVec root = vesk::testing::test_bytes(32, 9);
  EXPECT_TRUE(std::equal(root.begin(), root.end(), cp->root().begin()));
  EXPECT_EQ(vesk::as_text(cp->body()), body("18446744073709551615"));
  ASSERT_EQ(cp->signature_count(), 2u);
  const auto first = cp->signature(0), second = cp->signature(1);
  EXPECT_EQ(first.key_name, kOrigin);
  EXPECT_EQ(first.key_hash, (vesk::transparency::KeyHash{0xC2, 0xEF, 0x0A, 0x52}));
  EXPECT_EQ(ByteVec(first.signature.begin(), first.signature.end()), vesk::testing::test_bytes(3373, 3));
  EXPECT_EQ(second.key_name, "other.example/witness");
  EXPECT_EQ(ByteVec(second.signature.begin(), second.signature.end()), vesk::testing::test_bytes(64, 5));
}

std::string replace_once(std::string s, const std::string& from, const std::string& to) {
  auto at = s.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) s.replace(at, from.size(), to);
  return s;
}

// Built by appending: GCC 12 warns falsely about "literal" + std::string temporaries.
std::string witness_name(std::size_t i) {
  std::string s = "w";
  s += std::to_string(i);
  return s;
}

std::string lines_of(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += sig_line(witness_name(i), payload(8, static_cast<std::uint32_t>(i)));
  return s;
}

TEST(CheckpointParse, StructureAndCanonicalForm) {
  const std::string root = root_b64();
  std::string non_canonical_root = root;  // 32 bytes leave two unused bits in the last character
  non_canonical_root[42] = static_cast<char>(non_canonical_root[42] == 'A' ? 'B' : non_canonical_root[42] + 1);
  const std::string good_sig = sig_line(kOrigin, payload(3373));
  std::string long_text = text_with(body(), {sig_line(kOrigin, payload(3373))});
  struct Case {
    const char* what;
    std::string text;
    bool ok;
  };
  const Case cases[] = {
      {"well formed", good_text(), true},
      {"empty text", "", false},
      {"missing final line feed", good_text().substr(0, good_text().size() - 1), false},
      {"CRLF line ends", replace_once(replace_once(good_text(), "log\n", "log\r\n"), "42\n", "42\r\n"), false},
      {"CR at the very end", good_text() + "\r", false},
      {"tab in the origin", text_with(body("42", "example.com/\tlog"), {good_sig}), false},
      {"tab after a signature", good_text().substr(0, good_text().size() - 1) + "\t\n", false},
      {"NUL byte", replace_once(good_text(), "42", std::string("4\0" "2", 3)), false},
      {"DEL", replace_once(good_text(), "42", "4\x7f"), false},
      {"C1 control U+0085", replace_once(good_text(), "42", "4\xC2\x85"), false},
      {"invalid UTF-8", replace_once(good_text(), "42", "4\xFF"), false},
      {"overlong UTF-8", replace_once(good_text(), "42", "4\xC0\xAF"), false},
      {"fourth body line", text_with(body() + "extension\n", {good_sig}), false},
      {"two body lines", text_with(kOrigin + "\n42\n", {good_sig}), false},
      {"empty body line", text_with(kOrigin + "\n\n" + root + "\n", {good_sig}), false},
      {"blank line twice", text_with(body() + "\n", {good_sig}), false},
      {"no blank line", body() + good_sig, false},
      {"no signature line", body() + "\n", false},
      {"trailing blank line", good_text() + "\n", false},
      {"size 007", text_with(body("007"), {good_sig}), false},
      {"size +7", text_with(body("+7"), {good_sig}), false},
      {"size -1", text_with(body("-1"), {good_sig}), false},
      {"size empty", text_with(body(""), {good_sig}), false},
      {"size with a space", text_with(body(" 7"), {good_sig}), false},
      {"size 2^64", text_with(body("18446744073709551616"), {good_sig}), false},
      {"size 0", text_with(body("0"), {good_sig}), true},
      {"size 00", text_with(body("00"), {good_sig}), false},
      {"size 2^64 - 1", text_with(body("18446744073709551615"), {good_sig}), true},
      {"root without padding", replace_once(good_text(), root, root.substr(0, 43)), false},
      {"root with non-zero unused bits", replace_once(good_text(), root, non_canonical_root), false},
      {"root of 33 bytes", replace_once(good_text(), root, b64(vesk::testing::test_bytes(33, 9))), false},
      {"root of 31 bytes", replace_once(good_text(), root, b64(vesk::testing::test_bytes(31, 9))), false},
      {"root in the URL alphabet", replace_once(good_text(), root, std::string(root).replace(0, 1, "-")), false},
      {"root with a trailing space", replace_once(good_text(), root, root + " "), false},
      {"origin of 256 bytes", text_with(body("1", std::string(256, 'o')), {good_sig}), true},
      {"origin of 257 bytes", text_with(body("1", std::string(257, 'o')), {good_sig}), false},
      {"origin with a space", text_with(body("1", "example.com log"), {good_sig}), false},
      {"origin with +", text_with(body("1", "example.com+log"), {good_sig}), false},
      {"origin not ASCII", text_with(body("1", "example.com/l\xC3\xB6g"), {good_sig}), false},
      {"32 signature lines", text_with(body(), {lines_of(32)}), true},
      {"33 signature lines", text_with(body(), {lines_of(33)}), false},
      {"key name of 256 bytes", text_with(body(), {sig_line(std::string(256, 'k'), payload(5))}), true},
      {"key name of 257 bytes", text_with(body(), {sig_line(std::string(257, 'k'), payload(5))}), false},
      {"key name with +", text_with(body(), {sig_line("key+name", payload(5))}), false},
      {"key name not ASCII", text_with(body(), {sig_line("k\xC3\xA9y", payload(5))}), false},
      {"empty key name", text_with(body(), {kDash + " " + b64(payload(5)) + "\n"}), false},
      {"no space after the name", text_with(body(), {kDash + kOrigin + b64(payload(5)) + "\n"}), false},
      {"two spaces after the name", text_with(body(), {kDash + kOrigin + "  " + b64(payload(5)) + "\n"}), false},
      {"payload of 5 bytes", text_with(body(), {sig_line(kOrigin, payload(1))}), true},
      {"payload of 4 bytes", text_with(body(), {sig_line(kOrigin, payload(0))}), false},
      {"empty payload", text_with(body(), {kDash + kOrigin + " \n"}), false},
      {"payload without padding", text_with(body(), {kDash + kOrigin + " " + b64(payload(3)).substr(0, 10) + "\n"}), false},
      {"hyphen instead of the dash", text_with(body(), {"- " + kOrigin + " " + b64(payload(5)) + "\n"}), false},
      {"dash without its space", text_with(body(), {"\xE2\x80\x94" + kOrigin + " " + b64(payload(5)) + "\n"}), false},
      {"en dash", text_with(body(), {"\xE2\x80\x93 " + kOrigin + " " + b64(payload(5)) + "\n"}), false},
      {"a good line then a bad one", text_with(body(), {good_sig, "not a signature\n"}), false},
  };
  for (const Case& c : cases) {
    auto cp = parse_checkpoint(as_bytes(c.text));
    EXPECT_EQ(cp.has_value(), c.ok) << c.what;
    if (!c.ok && !cp.has_value()) {
      EXPECT_EQ(cp.error(), CheckpointError::Malformed) << c.what;
    }
  }
}

TEST(CheckpointParse, LengthLimit) {
  // Large lines of other signers, then one line sized so that the text ends exactly at the limit.
  constexpr std::size_t limit = vesk::transparency::kMaxCheckpointLen;
  std::string base = text_with(body(), {sig_line(kOrigin, payload(3373))});
  for (std::uint32_t i = 0; limit - base.size() > 10000; ++i)
    base += sig_line(witness_name(i), payload(6000, i));
  // The last line is the dash, a name of n bytes, a space, L Base64 characters and a line feed.
  const std::size_t gap = limit - base.size();
  const std::size_t n = 1 + (gap - kDash.size() - 3) % 4;
  const std::size_t chars = gap - kDash.size() - n - 2;
  ASSERT_EQ(chars % 4, 0u);
  const ByteVec last = payload(chars / 4 * 3 - 4);
  const std::string at_limit = base + sig_line(std::string(n, 'n'), last);
  ASSERT_EQ(at_limit.size(), limit);
  EXPECT_TRUE(parse_checkpoint(as_bytes(at_limit)).has_value());
  const std::string over = base + sig_line(std::string(n + 1, 'n'), last);
  ASSERT_EQ(over.size(), limit + 1);
  auto cp = parse_checkpoint(as_bytes(over));
  ASSERT_FALSE(cp.has_value());
  EXPECT_EQ(cp.error(), CheckpointError::Malformed);
}

TEST(CheckpointKeyHash, FirstFourBytesOfTheFramedDigest) {
  ByteVec key(1984);
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i % 251);
  // Computed independently: SHA-256(name || 0A FF || "VESK/1.0 vesk-sign" || key)[0..4].
  EXPECT_EQ(vesk::transparency::checkpoint_key_hash("example.com/log", key),
            (vesk::transparency::KeyHash{0xC2, 0xEF, 0x0A, 0x52}));
  EXPECT_EQ(vesk::transparency::checkpoint_key_hash("a", key), (vesk::transparency::KeyHash{0x52, 0x3E, 0x37, 0xE1}));
}

}  // namespace
