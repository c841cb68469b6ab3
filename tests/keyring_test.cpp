// Recipient keypairs, the public-key armor and inspection, through the exported functions.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "core/base64.h"
#include "core/crypto/xwing.h"
#include "core/random.h"
#include "core/testing_hooks.h"
#include "ffi/handles.h"
#include "support/test_util.h"
#include "support/vectors.h"
#include "vesk.h"

namespace vesk::testing {
namespace {

constexpr std::size_t kPk = VESK_PUBLIC_KEY_LEN;

ByteVec seed_of_handle(const VeskSecretKeyHandle* h) { return ByteVec(h->seed, h->seed + 32); }

ByteVec armor_of(const ByteVec& pk) {
  ScopedBuffer text;
  EXPECT_EQ(vesk_public_key_armor(pk.data(), pk.size(), text.out()), VESK_OK);
  return text.bytes();
}
std::string armor_text(const ByteVec& pk) {
  ByteVec a = armor_of(pk);
  return std::string(a.begin(), a.end());
}

// ---- Keypairs -----------------------------------------------------------------------------

TEST(Keypair, GenerationIsFreshAndMatchesItsSeed) {
  VeskSecretKeyHandle* a = nullptr;
  VeskSecretKeyHandle* b = nullptr;
  ScopedBuffer pa, pb, again;
  ASSERT_EQ(vesk_keypair_generate(&a, pa.out()), VESK_OK);
  ASSERT_EQ(vesk_keypair_generate(&b, pb.out()), VESK_OK);
  EXPECT_EQ(pa.size(), kPk);
  EXPECT_EQ(pa.get().capacity, kPk);
  EXPECT_NE(seed_of_handle(a), seed_of_handle(b));
  EXPECT_NE(pa.bytes(), pb.bytes());
  // The public key is the one derived from the seed the handle holds.
  auto derived = crypto::XWingSecretKey::from_seed(ffi::seed_of(a));
  EXPECT_EQ(pa.bytes(), ByteVec(derived.public_key().begin(), derived.public_key().end()));
  ASSERT_EQ(vesk_secret_key_public(a, again.out()), VESK_OK);
  EXPECT_EQ(again.bytes(), pa.bytes());
  EXPECT_EQ(again.get().capacity, kPk);
  vesk_secret_key_free(a);
  vesk_secret_key_free(b);
}

TEST(Keypair, PublicKeyOfAKnownSeedMatchesTheXWingVectors) {
  for (const auto& v : load_vectors("xwing.json")) {
    const ByteVec seed = hex_field(v, "seed");
    VeskSecretKeyHandle* h = ffi::new_secret_key_handle(as_seed(seed));
    ScopedBuffer pk;
    ASSERT_EQ(vesk_secret_key_public(h, pk.out()), VESK_OK);
    EXPECT_EQ(pk.bytes(), hex_field(v, "pk"));
    vesk_secret_key_free(h);
  }
}

TEST(Keypair, RandomnessFailureIsAnInternalErrorAndLeavesOutputsUntouched) {
  VeskSecretKeyHandle* h = sentinel_handle<VeskSecretKeyHandle>();
  VeskBuffer pk = sentinel_buffer();
  vesk::testing_hooks::force_random_failure(EIO);
  const VeskStatus s = vesk_keypair_generate(&h, &pk);
  vesk::testing_hooks::force_random_failure(0);
  EXPECT_EQ(s, VESK_INTERNAL_ERROR);
  EXPECT_EQ(h, sentinel_handle<VeskSecretKeyHandle>());
  EXPECT_TRUE(is_sentinel(pk));
}

// ---- Armor --------------------------------------------------------------------------------

// The armor of a key whose Base64 is known without encoding: 405 groups of four characters, then
// the group of the last byte.
std::string expected_armor(const std::string& base64) {
  std::string out = "vesk-public-key:";
  for (std::size_t at = 0; at < base64.size(); at += 64) {
    out += '\n';
    out.append(base64, at, 64);
  }
  return out + "\n";
}

TEST(Armor, LayoutByteForByte) {
  struct Case {
    const char* name;
    std::uint8_t fill;
    std::string base64;
  };
  const Case cases[] = {
      {"all zero", 0x00, std::string(1620, 'A') + "AA=="},
      {"all ones", 0xFF, std::string(1620, '/') + "/w=="},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = armor_text(ByteVec(kPk, c.fill));
    EXPECT_EQ(text, expected_armor(c.base64));
  }

  const ByteVec pk = test_bytes(kPk, 7);
  ScopedBuffer armor;
  ASSERT_EQ(vesk_public_key_armor(pk.data(), pk.size(), armor.out()), VESK_OK);
  EXPECT_GE(armor.get().capacity, armor.size());
  const std::string text = armor.text();
  ASSERT_EQ(text.size(), VESK_ARMOR_LEN);
  EXPECT_EQ(text.substr(0, 17), "vesk-public-key:\n");
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 27);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  // 25 lines of 64 characters, then one of 24 that ends in "==".
  std::size_t at = 17;
  for (int line = 0; line < 25; ++line) {
    EXPECT_EQ(text.find('\n', at), at + 64) << line;
    at += 65;
  }
  EXPECT_EQ(text.size() - at, 25u);
  EXPECT_EQ(text.substr(at + 22), "==\n");
}

// An armor-shaped text around the Base64 of n bytes (the export armors 1216 bytes only).
std::string armor_text_of_len(std::size_t n) { return expected_armor(base64_encode(test_bytes(n, 5))); }

struct Variant {
  const char* name;
  std::string text;
};

// Acceptance: every variant decodes to the key, in a result of length 1216 and capacity 1218.
TEST(Dearmor, AcceptsTheToleratedVariants) {
  const ByteVec pk = test_bytes(kPk, 11);
  const std::string armor = armor_text(pk);
  const std::string body = armor.substr(17, armor.size() - 18);  // the 26 body lines, LF-separated
  auto replace_all = [](std::string s, const std::string& from, const std::string& to) {
    for (std::size_t p = 0; (p = s.find(from, p)) != std::string::npos; p += to.size()) s.replace(p, from.size(), to);
    return s;
  };
  std::string one_line = replace_all(body, "\n", "");
  std::string narrow;  // 4 characters per line
  for (std::size_t i = 0; i < one_line.size(); i += 4) narrow += one_line.substr(i, 4) + "\n";
  const std::string label = "vesk-public-key:";
  const std::string mid = armor.substr(0, 17 + 65 * 10) + "\n" + label + "\n" + armor.substr(17 + 65 * 10);

  const Variant variants[] = {
      {"canonical", armor},
      {"CR LF line ends", replace_all(armor, "\n", "\r\n")},
      {"no final line feed", armor.substr(0, armor.size() - 1)},
      {"label missing", body + "\n"},
      {"bare Base64 on one line", one_line},
      {"four characters per line", narrow},
      {"label repeated", label + "\n" + armor},
      {"label line in the middle", mid},
      {"label at the end", armor + label + "\n"},
      {"text after the label", label + " key of alice\n" + body + "\n"},
      {"blank lines everywhere", "\n\n" + replace_all(armor, "\n", "\n\n") + "\n"},
      {"white-space-only lines", " \t\n" + replace_all(armor, "\n", "\n \xE3\x80\x80\xC2\xA0\t\n")},
      {"white space after the last body line", armor.substr(0, armor.size() - 1) + " \t\n"},
      {"CR at the end without line feed", armor.substr(0, armor.size() - 1) + "\r"},
      {"white space before the first body line", "  " + body},
      {"white-space line without line feed at the end", armor + "   "},
      {"lone CR line", "\r\n" + armor + "\r\r\n"},
  };
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.name);
    ScopedBuffer out;
    ASSERT_EQ(vesk_public_key_dearmor(v.text.c_str(), out.out()), VESK_OK);
    EXPECT_EQ(out.bytes(), pk);
    EXPECT_EQ(out.get().capacity, 1218u);
  }
}

TEST(Dearmor, RefusalsGiveTheirExactStatusAndLeaveTheOutputUntouched) {
  const ByteVec pk = test_bytes(kPk, 12);
  const std::string armor = armor_text(pk);
  auto at_line = [&](int line) { return std::size_t{17} + 65 * line; };  // first character of a body line
  auto with = [&](std::size_t pos, const std::string& s, std::size_t erase = 0) {
    return armor.substr(0, pos) + s + armor.substr(pos + erase);
  };
  const std::size_t last = armor.size() - 1;  // the final line feed
  struct Refusal {
    const char* name;
    std::string text;
    VeskStatus status;
  };
  // The last group encodes one byte: its second character carries two bits and four zero bits
  // (one of A, Q, g, w); the next letter sets the lowest unused bit.
  std::string low_bits = armor;
  ASSERT_NE(std::string("AQgw").find(low_bits[last - 3]), std::string::npos);
  low_bits[last - 3] = static_cast<char>(low_bits[last - 3] + 1);
  auto cr_only = [](std::string t) {
    std::replace(t.begin(), t.end(), '\n', '\r');
    return t;
  };
  const Refusal refusals[] = {
      {"space inside a body line", with(at_line(3) + 10, " "), VESK_MALFORMED_INPUT},
      {"space at the end of a body line other than the last", with(at_line(3) + 64, " "), VESK_MALFORMED_INPUT},
      {"tab inside the last line", with(at_line(25) + 5, "\t"), VESK_MALFORMED_INPUT},
      {"label preceded by a space", " " + armor, VESK_MALFORMED_INPUT},
      {"one padding character missing", with(last - 1, "", 1), VESK_MALFORMED_INPUT},
      {"both padding characters missing", with(last - 2, "", 2), VESK_MALFORMED_INPUT},
      {"padding replaced by data (1218 bytes)", with(last - 2, "AA", 2), VESK_INVALID_ARGUMENT},
      {"extra padding group", with(last, "===="), VESK_MALFORMED_INPUT},
      {"character outside the alphabet", with(at_line(0), "*", 1), VESK_MALFORMED_INPUT},
      {"non-ASCII letter", with(at_line(0), "\xC3\xA9", 1), VESK_MALFORMED_INPUT},
      {"URL-safe minus", with(at_line(5), "-", 1), VESK_MALFORMED_INPUT},
      {"URL-safe underscore", with(at_line(5), "_", 1), VESK_MALFORMED_INPUT},
      {"non-zero unused bits", low_bits, VESK_MALFORMED_INPUT},
      {"CR inside a line", with(at_line(2) + 30, "\r"), VESK_MALFORMED_INPUT},
      {"CR-only line ends", cr_only(armor.substr(17)), VESK_MALFORMED_INPUT},
      // One line that begins with the label: all of it is dropped with the label.
      {"CR-only line ends after the label", cr_only(armor), VESK_INVALID_ARGUMENT},
      {"two armors concatenated", armor + armor, VESK_MALFORMED_INPUT},
      {"empty text", "", VESK_INVALID_ARGUMENT},
      {"label alone", "vesk-public-key:\n", VESK_INVALID_ARGUMENT},
      {"white space only", " \n\t\r\n\xE3\x80\x80", VESK_INVALID_ARGUMENT},
      {"Base64 of 1215 bytes", armor_text_of_len(1215), VESK_INVALID_ARGUMENT},
      {"Base64 of 1217 bytes", armor_text_of_len(1217), VESK_INVALID_ARGUMENT},
      {"Base64 of 3 bytes", "vesk-public-key:\nAAAA\n", VESK_INVALID_ARGUMENT},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.name);
    VeskBuffer out = sentinel_buffer();
    EXPECT_EQ(vesk_public_key_dearmor(r.text.c_str(), &out), r.status);
    EXPECT_TRUE(is_sentinel(out));
  }
}

// ---- Inspect ------------------------------------------------------------------------------

TEST(Inspect, LooksAtTheMagicOnly) {
  ByteVec large = text_bytes("VESK-KEY");
  large.resize(VESK_MAX_KEY_DATA, 0x5A);
  struct Case {
    const char* name;
    ByteVec data;
    std::int32_t is_key_file;
  };
  const Case cases[] = {
      {"magic alone", text_bytes("VESK-KEY"), 1},
      {"seven bytes of the magic", text_bytes("VESK-KE"), 0},
      {"unknown version", text_bytes("VESK-KEY\x09whatever"), 1},
      {"largest input", large, 1},
      {"lower case", text_bytes("vesk-key"), 0},
      {"shifted by one", text_bytes("XVESK-KEY"), 0},
      {"32-byte seed", test_bytes(32, 3), 0},
      {"armored public key", armor_of(test_bytes(kPk, 4)), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::int32_t out = -7;
    ASSERT_EQ(vesk_inspect_key(c.data.data(), c.data.size(), &out), VESK_OK);
    EXPECT_EQ(out, c.is_key_file);
  }
  std::int32_t out = -7;
  ASSERT_EQ(vesk_inspect_key(nullptr, 0, &out), VESK_OK);
  EXPECT_EQ(out, 0);
}

}  // namespace
}  // namespace vesk::testing
