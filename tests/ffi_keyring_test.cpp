// The argument rules of the keyring exports: every breach gives 1 before any work and leaves
// every out-parameter as it was.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "keyring/key_file_testing.h"
#include "support/test_util.h"
#include "support/vectors.h"
#include "vesk.h"

namespace vesk::testing {
namespace {

std::uint8_t g_marker;
VeskSecretKeyHandle* const kSentinelHandle = reinterpret_cast<VeskSecretKeyHandle*>(&g_marker);
constexpr std::int32_t kSentinelInt = 0x5A5A5A5A;

// Out-parameters pre-filled with recognisable values; `untouched` checks all of them.
struct Outs {
  VeskBuffer buf = sentinel_buffer();
  VeskSecretKeyHandle* handle = kSentinelHandle;
  std::int32_t flag = kSentinelInt;
  bool untouched() const { return is_sentinel(buf) && handle == kSentinelHandle && flag == kSentinelInt; }
};

class KeyringArgs : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(vesk_keypair_generate(&key_, public_key_.out()), VESK_OK);
    data_ = test_bytes(VESK_MAX_KEY_DATA + 1, 9);
    ScopedBuffer armor;
    ASSERT_EQ(vesk_public_key_armor(public_key_.get().data, public_key_.size(), armor.out()), VESK_OK);
    armor_ = armor.text();
  }
  void TearDown() override { vesk_secret_key_free(key_); }

  VeskSecretKeyHandle* key_ = nullptr;
  ScopedBuffer public_key_;
  ByteVec data_;
  std::string armor_;
};

TEST_F(KeyringArgs, BreachesGive1AndTouchNothing) {
  const std::uint8_t* pk = public_key_.get().data;
  const std::uint8_t* data = data_.data();
  const char* invalid_utf8 = "pass\x80word";
  const std::string armor_with_bad_utf8 = armor_ + "\xC3";

  struct Case {
    const char* name;
    std::function<VeskStatus(Outs&)> call;
  };
  const Case cases[] = {
      {"generate: NULL handle out", [&](Outs& o) { return vesk_keypair_generate(nullptr, &o.buf); }},
      {"generate: NULL key out", [&](Outs& o) { return vesk_keypair_generate(&o.handle, nullptr); }},
      {"public: NULL handle", [&](Outs& o) { return vesk_secret_key_public(nullptr, &o.buf); }},
      {"public: NULL out", [&](Outs&) { return vesk_secret_key_public(key_, nullptr); }},
      {"armor: NULL key", [&](Outs& o) { return vesk_public_key_armor(nullptr, VESK_PUBLIC_KEY_LEN, &o.buf); }},
      {"armor: NULL key, length 0", [&](Outs& o) { return vesk_public_key_armor(nullptr, 0, &o.buf); }},
      {"armor: 1215 bytes", [&](Outs& o) { return vesk_public_key_armor(pk, VESK_PUBLIC_KEY_LEN - 1, &o.buf); }},
      {"armor: 1217 bytes", [&](Outs& o) { return vesk_public_key_armor(pk, VESK_PUBLIC_KEY_LEN + 1, &o.buf); }},
      {"armor: 0 bytes", [&](Outs& o) { return vesk_public_key_armor(pk, 0, &o.buf); }},
      {"armor: NULL out", [&](Outs&) { return vesk_public_key_armor(pk, VESK_PUBLIC_KEY_LEN, nullptr); }},
      {"dearmor: NULL text", [&](Outs& o) { return vesk_public_key_dearmor(nullptr, &o.buf); }},
      {"dearmor: NULL out", [&](Outs&) { return vesk_public_key_dearmor(armor_.c_str(), nullptr); }},
      {"dearmor: lone continuation byte", [&](Outs& o) { return vesk_public_key_dearmor("\x80", &o.buf); }},
      {"dearmor: armor ending in a truncated sequence",
       [&](Outs& o) { return vesk_public_key_dearmor(armor_with_bad_utf8.c_str(), &o.buf); }},
      {"inspect: NULL data, length 1", [&](Outs& o) { return vesk_inspect_key(nullptr, 1, &o.flag); }},
      {"inspect: 4097 bytes", [&](Outs& o) { return vesk_inspect_key(data, VESK_MAX_KEY_DATA + 1, &o.flag); }},
      {"inspect: NULL out", [&](Outs&) { return vesk_inspect_key(data, 8, nullptr); }},
      {"protect: NULL handle", [&](Outs& o) { return vesk_secret_key_protect(nullptr, "long passphrase", &o.buf); }},
      {"protect: NULL passphrase", [&](Outs& o) { return vesk_secret_key_protect(key_, nullptr, &o.buf); }},
      {"protect: passphrase not UTF-8", [&](Outs& o) { return vesk_secret_key_protect(key_, invalid_utf8, &o.buf); }},
      {"protect: NULL out", [&](Outs&) { return vesk_secret_key_protect(key_, "long passphrase", nullptr); }},
      {"protect: 7 scalar values", [&](Outs& o) { return vesk_secret_key_protect(key_, "1234567", &o.buf); }},
      {"open: NULL data, length 1", [&](Outs& o) { return vesk_secret_key_open(nullptr, 1, "pw", &o.handle); }},
      {"open: 4097 bytes", [&](Outs& o) { return vesk_secret_key_open(data, VESK_MAX_KEY_DATA + 1, "pw", &o.handle); }},
      {"open: passphrase not UTF-8 (with a seed that needs none)",
       [&](Outs& o) { return vesk_secret_key_open(data, 32, invalid_utf8, &o.handle); }},
      {"open: NULL out", [&](Outs&) { return vesk_secret_key_open(data, 32, nullptr, nullptr); }},
  };
  for (const Case& c : cases) {
    Outs o;
    const std::uint64_t derivations = keyring::testing_hooks::argon2_derivations();
    EXPECT_EQ(c.call(o), VESK_INVALID_ARGUMENT) << c.name;
    EXPECT_TRUE(o.untouched()) << c.name;
    EXPECT_EQ(keyring::testing_hooks::argon2_derivations(), derivations) << c.name;
  }
}

TEST_F(KeyringArgs, LimitsThemselvesAreAccepted) {
  // Caps are inclusive: 4096 bytes reach the operation (which then judges the content).
  std::int32_t flag = kSentinelInt;
  ASSERT_EQ(vesk_inspect_key(data_.data(), VESK_MAX_KEY_DATA, &flag), VESK_OK);
  EXPECT_EQ(flag, 0);
  flag = kSentinelInt;
  ASSERT_EQ(vesk_inspect_key(nullptr, 0, &flag), VESK_OK);
  EXPECT_EQ(flag, 0);

  VeskSecretKeyHandle* h = kSentinelHandle;
  EXPECT_EQ(vesk_secret_key_open(data_.data(), VESK_MAX_KEY_DATA, nullptr, &h), VESK_MALFORMED_INPUT);
  EXPECT_EQ(vesk_secret_key_open(nullptr, 0, nullptr, &h), VESK_MALFORMED_INPUT);
  EXPECT_EQ(h, kSentinelHandle);

  // An empty text is valid UTF-8 and goes to the operation: it decodes to no key.
  VeskBuffer out = sentinel_buffer();
  EXPECT_EQ(vesk_public_key_dearmor("", &out), VESK_INVALID_ARGUMENT);
  EXPECT_TRUE(is_sentinel(out));

  // Exactly 1216 bytes from any pointer: armored, whatever they are.
  ScopedBuffer text;
  EXPECT_EQ(vesk_public_key_armor(data_.data(), VESK_PUBLIC_KEY_LEN, text.out()), VESK_OK);
  EXPECT_EQ(text.size(), VESK_ARMOR_LEN);

  // Non-ASCII UTF-8 texts are texts like any other.
  ScopedBuffer decoded;
  const std::string with_ideographic_space = "\xE3\x80\x80\n" + armor_;
  ASSERT_EQ(vesk_public_key_dearmor(with_ideographic_space.c_str(), decoded.out()), VESK_OK);
  EXPECT_EQ(decoded.bytes(), public_key_.bytes());
}

TEST(KeyringFree, NullIsIgnored) { vesk_secret_key_free(nullptr); }

}  // namespace
}  // namespace vesk::testing
