// vesk_identity_generate: a new identity seed inside a kind-1 key file, opened by both open
// operations, with the writer's and the randomness source's failures mapped to their statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "core/testing_hooks.h"
#include "support/test_util.h"
#include "vesk.hpp"

namespace vesk::testing {
namespace {

const char kPassphrase[] = "correct horse battery";

// A source whose first draw (the identity seed) is a seed the test knows, so the file can be
// compared with the bare seed; later draws (the file's salt and nonce) are other bytes.
ByteVec g_known_seed = test_bytes(32, 42);
int known_source(void* draws, MutBytes out) {
  const ByteVec other = test_bytes(out.size(), 43);
  const ByteVec& from = (*static_cast<int*>(draws))++ == 0 ? g_known_seed : other;
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = from[i % from.size()];
  return 0;
}

// What key data opens to through the exports of one kind of handle, as its public key.
template <class Handle>
ByteVec public_key_of(const ByteVec& data, const char* passphrase,
                      VeskStatus (*open)(const uint8_t*, size_t, const char*, Handle**),
                      VeskStatus (*public_key)(const Handle*, VeskBuffer*), void (*release)(Handle*)) {
  Handle* handle = nullptr;
  EXPECT_EQ(open(data.data(), data.size(), passphrase, &handle), VESK_OK);
  if (handle == nullptr) return {};
  vesk::Buffer key;
  EXPECT_EQ(public_key(handle, key.out()), VESK_OK);
  release(handle);
  return key.to_vector();
}

ByteVec verifying_key_of(const ByteVec& data, const char* passphrase) {
  return public_key_of(data, passphrase, vesk_signing_identity_open, vesk_signing_identity_public,
                       vesk_signing_identity_free);
}

ByteVec recipient_key_of(const ByteVec& data, const char* passphrase) {
  return public_key_of(data, passphrase, vesk_secret_key_open, vesk_secret_key_public, vesk_secret_key_free);
}

TEST(IdentityGenerate, FileOpensAsSigningIdentityAndRecipientKeyOfTheSeed) {
  vesk::Buffer file;
  int draws = 0;
  testing_hooks::set_random_source(&known_source, &draws);
  const VeskStatus generated = vesk_identity_generate(kPassphrase, file.out());
  testing_hooks::set_random_source(nullptr);
  ASSERT_EQ(generated, VESK_OK);
  EXPECT_EQ(draws, 3);  // the seed, then the file's salt and nonce
  const ByteVec bytes = file.to_vector();
  ASSERT_EQ(bytes.size(), VESK_KEY_FILE_LEN);
  EXPECT_EQ(file.get().capacity, VESK_KEY_FILE_LEN);
  EXPECT_EQ(std::memcmp(bytes.data(), "VESK-KEY", 8), 0);
  EXPECT_EQ(bytes[8], 2);   // version
  EXPECT_EQ(bytes[46], 1);  // kind: identity seed
  // The seed itself is nowhere in the file.
  EXPECT_EQ(std::search(bytes.begin(), bytes.end(), g_known_seed.begin(), g_known_seed.end()), bytes.end());

  const ByteVec vk = verifying_key_of(bytes, kPassphrase);
  EXPECT_EQ(vk.size(), VESK_VERIFYING_KEY_LEN);
  EXPECT_EQ(vk, verifying_key_of(g_known_seed, nullptr));
  const ByteVec pk = recipient_key_of(bytes, kPassphrase);
  EXPECT_EQ(pk.size(), VESK_PUBLIC_KEY_LEN);
  EXPECT_EQ(pk, recipient_key_of(g_known_seed, nullptr));
}

TEST(IdentityGenerate, EachCallIsANewIdentity) {
  vesk::Buffer a, b;
  ASSERT_EQ(vesk_identity_generate(kPassphrase, a.out()), VESK_OK);
  ASSERT_EQ(vesk_identity_generate(kPassphrase, b.out()), VESK_OK);
  const ByteVec vk_a = verifying_key_of(a.to_vector(), kPassphrase), vk_b = verifying_key_of(b.to_vector(), kPassphrase);
  ASSERT_EQ(vk_a.size(), VESK_VERIFYING_KEY_LEN);
  EXPECT_NE(vk_a, vk_b);
  // The file signs: a message signed by the opened identity verifies under its key.
  VeskSigningIdentityHandle* id = nullptr;
  ASSERT_EQ(vesk_signing_identity_open(a.get().data, a.get().len, kPassphrase, &id), VESK_OK);
  vesk::Buffer sig;
  ASSERT_EQ(vesk_sign_message(id, nullptr, 0, reinterpret_cast<const std::uint8_t*>("hi"), 2, sig.out()), VESK_OK);
  vesk_signing_identity_free(id);
  EXPECT_EQ(vesk_verify_message(vk_a.data(), vk_a.size(), nullptr, 0, reinterpret_cast<const std::uint8_t*>("hi"), 2,
                                sig.get().data, sig.get().len),
            VESK_OK);
  EXPECT_EQ(vesk_verify_message(vk_b.data(), vk_b.size(), nullptr, 0, reinterpret_cast<const std::uint8_t*>("hi"), 2,
                                sig.get().data, sig.get().len),
            VESK_AUTHENTICATION_FAILED);
}

TEST(IdentityGenerate, FailuresLeaveTheOutputUntouched) {
  struct Case {
    const char* name;
    const char* passphrase;
    VeskStatus expected;
  };
  const Case cases[] = {
      // The seed is drawn before the passphrase is measured.
      {"randomness fails", kPassphrase, VESK_INTERNAL_ERROR},
      {"randomness fails, short passphrase", "1234567", VESK_INTERNAL_ERROR},
  };
  const FailingRandomness failing;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VeskBuffer out = sentinel_buffer();
    EXPECT_EQ(vesk_identity_generate(c.passphrase, &out), c.expected);
    EXPECT_TRUE(is_sentinel(out));
  }
}

}  // namespace
}  // namespace vesk::testing
