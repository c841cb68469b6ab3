// Message signatures through the exports: the reserved context prefix, the caps, the argument
// rules of both functions and what counts as a failed verification.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sign/hybrid.h"
#include "support/test_util.h"
#include "vesk.h"

namespace vesk::testing {
namespace {

using ByteVec = std::vector<std::uint8_t>;

class MessageSignature : public ::testing::Test {
 protected:
  void SetUp() override {
    seed_ = test_bytes(32, 11);
    ASSERT_EQ(vesk_signing_identity_open(seed_.data(), seed_.size(), nullptr, &identity_), VESK_OK);
    ScopedBuffer vk;
    ASSERT_EQ(vesk_signing_identity_public(identity_, vk.out()), VESK_OK);
    key_ = vk.bytes();
    ASSERT_EQ(key_.size(), VESK_VERIFYING_KEY_LEN);
  }
  void TearDown() override { vesk_signing_identity_free(identity_); }

  // Signs, expecting success, and returns the signature.
  ByteVec sign(const ByteVec& context, const ByteVec& message) {
    ScopedBuffer sig;
    EXPECT_EQ(vesk_sign_message(identity_, context.data(), context.size(), message.data(), message.size(), sig.out()),
              VESK_OK);
    EXPECT_EQ(sig.get().len, VESK_SIGNATURE_LEN);
    EXPECT_EQ(sig.get().capacity, VESK_SIGNATURE_LEN);
    return sig.bytes();
  }
  VeskStatus verify(const ByteVec& key, const ByteVec& context, const ByteVec& message, const ByteVec& sig) {
    return vesk_verify_message(key.data(), key.size(), context.data(), context.size(), message.data(),
                               message.size(), sig.data(), sig.size());
  }

  ByteVec seed_;
  VeskSigningIdentityHandle* identity_ = nullptr;
  ByteVec key_;
};

ByteVec bytes_of(const std::string& s) { return ByteVec(s.begin(), s.end()); }

TEST_F(MessageSignature, ReservedPrefixIsRefusedWhenSigningOnly) {
  struct Case {
    std::string context;
    bool reserved;
  };
  const Case cases[] = {
      {"VESK/", true},
      {"VESK/0.5 challenge", true},
      {std::string("VESK/\0", 6), true},
      {"VESK", false},
      {"VESK-", false},
      {"vesk/", false},
      {"Vesk/", false},
      {"VESK\\", false},
      {" VESK/", false},
      {std::string("\0VESK/", 6), false},
      {"xVESK/", false},
      {"", false},
  };
  const ByteVec message = bytes_of("the message");
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.context));
    const ByteVec context = bytes_of(c.context);
    VeskBuffer out = sentinel_buffer();
    const VeskStatus s =
        vesk_sign_message(identity_, context.data(), context.size(), message.data(), message.size(), &out);
    if (c.reserved) {
      EXPECT_EQ(s, VESK_INVALID_ARGUMENT);
      EXPECT_TRUE(is_sentinel(out));
      // Verification takes reserved contexts: the library's own records are checked this way.
      const auto id = sign::SigningIdentity::from_seed(seed_);
      const sign::Signature internal = sign::hybrid_sign(*id, context, message);
      EXPECT_EQ(verify(key_, context, message, ByteVec(internal.begin(), internal.end())), VESK_OK);
    } else {
      ASSERT_EQ(s, VESK_OK);
      ByteVec sig(out.data, out.data + out.len);
      vesk_buffer_free(&out);
      EXPECT_EQ(verify(key_, context, message, sig), VESK_OK);
    }
  }
}

TEST_F(MessageSignature, DeterministicAndEqualToTheHybridSignature) {
  const ByteVec context = bytes_of("app v1"), message = test_bytes(1000, 3);
  const ByteVec first = sign(context, message), second = sign(context, message);
  EXPECT_EQ(first, second);
  const auto id = sign::SigningIdentity::from_seed(seed_);
  const sign::Signature internal = sign::hybrid_sign(*id, context, message);
  EXPECT_EQ(first, ByteVec(internal.begin(), internal.end()));
}

TEST_F(MessageSignature, ContextCapAndEmptyRangesWithNullPointers) {
  const ByteVec at_cap(4096, 'c'), over_cap(4097, 'c'), message = bytes_of("m");
  const ByteVec sig = sign(at_cap, message);
  EXPECT_EQ(verify(key_, at_cap, message, sig), VESK_OK);
  VeskBuffer out = sentinel_buffer();
  EXPECT_EQ(vesk_sign_message(identity_, over_cap.data(), over_cap.size(), message.data(), 1, &out),
            VESK_INVALID_ARGUMENT);
  EXPECT_TRUE(is_sentinel(out));
  EXPECT_EQ(verify(key_, over_cap, message, sig), VESK_INVALID_ARGUMENT);

  // Empty context and message, both as NULL: the signing input is eight zero bytes.
  ScopedBuffer empty_sig;
  ASSERT_EQ(vesk_sign_message(identity_, nullptr, 0, nullptr, 0, empty_sig.out()), VESK_OK);
  EXPECT_EQ(vesk_verify_message(key_.data(), key_.size(), nullptr, 0, nullptr, 0, empty_sig.get().data,
                                empty_sig.get().len),
            VESK_OK);
  const auto id = sign::SigningIdentity::from_seed(seed_);
  const sign::Signature internal = sign::hybrid_sign(*id, {}, {});
  EXPECT_EQ(empty_sig.bytes(), ByteVec(internal.begin(), internal.end()));
}

TEST_F(MessageSignature, ArgumentBreachesGiveOneAndLeaveOutputsUntouched) {
  const ByteVec context = bytes_of("ctx"), message = bytes_of("msg");
  const ByteVec sig = sign(context, message);
  const std::uint8_t* c = context.data();
  const std::uint8_t* m = message.data();

  struct SignCase {
    const char* name;
    const VeskSigningIdentityHandle* id;
    const std::uint8_t* ctx;
    std::size_t ctx_len;
    const std::uint8_t* msg;
    std::size_t msg_len;
    bool null_out;
  };
  const SignCase sign_cases[] = {
      {"identity NULL", nullptr, c, 3, m, 3, false},
      {"out NULL", identity_, c, 3, m, 3, true},
      {"context NULL with length", identity_, nullptr, 1, m, 3, false},
      {"message NULL with length", identity_, c, 3, nullptr, 1, false},
      {"message over 1 GiB", identity_, c, 3, m, (std::size_t{1} << 30) + 1, false},
      {"context over cap", identity_, c, 4097, m, 3, false},
  };
  for (const SignCase& k : sign_cases) {
    SCOPED_TRACE(k.name);
    VeskBuffer out = sentinel_buffer();
    EXPECT_EQ(vesk_sign_message(k.id, k.ctx, k.ctx_len, k.msg, k.msg_len, k.null_out ? nullptr : &out),
              VESK_INVALID_ARGUMENT);
    EXPECT_TRUE(is_sentinel(out));
  }

  // A garbage key of a wrong length is still an argument breach, never 3 or 4.
  const ByteVec garbage_key(4096, 0xFF);
  struct VerifyCase {
    const char* name;
    const std::uint8_t* key;
    std::size_t key_len;
    const std::uint8_t* ctx;
    std::size_t ctx_len;
    const std::uint8_t* msg;
    std::size_t msg_len;
    const std::uint8_t* sig;
    std::size_t sig_len;
  };
  const std::uint8_t* k = key_.data();
  const std::uint8_t* s = sig.data();
  const VerifyCase verify_cases[] = {
      {"key 1983", k, 1983, c, 3, m, 3, s, 3373},
      {"key 1985", garbage_key.data(), 1985, c, 3, m, 3, s, 3373},
      {"key 0", nullptr, 0, c, 3, m, 3, s, 3373},
      {"key over cap", garbage_key.data(), 4097, c, 3, m, 3, s, 3373},
      {"key NULL with length", nullptr, 1984, c, 3, m, 3, s, 3373},
      {"signature 3372", k, 1984, c, 3, m, 3, s, 3372},
      {"signature 3374", k, 1984, c, 3, m, 3, s, 3374},
      {"signature 0", k, 1984, c, 3, m, 3, s, 0},
      {"signature NULL", k, 1984, c, 3, m, 3, nullptr, 3373},
      {"signature NULL, length 0", k, 1984, c, 3, m, 3, nullptr, 0},
      {"context NULL with length", k, 1984, nullptr, 3, m, 3, s, 3373},
      {"context over cap", k, 1984, c, 4097, m, 3, s, 3373},
      {"message NULL with length", k, 1984, c, 3, nullptr, 3, s, 3373},
      {"message over 1 GiB", k, 1984, c, 3, m, (std::size_t{1} << 30) + 1, s, 3373},
  };
  for (const VerifyCase& v : verify_cases) {
    SCOPED_TRACE(v.name);
    EXPECT_EQ(vesk_verify_message(v.key, v.key_len, v.ctx, v.ctx_len, v.msg, v.msg_len, v.sig, v.sig_len),
              VESK_INVALID_ARGUMENT);
  }
}

TEST_F(MessageSignature, AnythingChangedFailsVerificationWithFour) {
  const ByteVec context = bytes_of("abc"), message = bytes_of("xyz");
  const ByteVec sig = sign(context, message);
  ASSERT_EQ(verify(key_, context, message, sig), VESK_OK);

  ByteVec other_seed = test_bytes(32, 12);
  VeskSigningIdentityHandle* other = nullptr;
  ASSERT_EQ(vesk_signing_identity_open(other_seed.data(), 32, nullptr, &other), VESK_OK);
  ScopedBuffer other_key;
  ASSERT_EQ(vesk_signing_identity_public(other, other_key.out()), VESK_OK);
  vesk_signing_identity_free(other);

  auto flipped = [](ByteVec v, std::size_t at) {
    v[at] ^= 0x01;
    return v;
  };
  struct Case {
    const char* name;
    ByteVec key, context, message, sig;
  };
  const Case cases[] = {
      {"another identity's key", other_key.bytes(), context, message, sig},
      {"another context", key_, bytes_of("abd"), message, sig},
      {"empty context", key_, {}, message, sig},
      {"last context byte moved into the message", key_, bytes_of("ab"), bytes_of("cxyz"), sig},
      {"first message byte moved into the context", key_, bytes_of("abcx"), bytes_of("yz"), sig},
      {"message changed", key_, context, bytes_of("xyZ"), sig},
      {"message extended", key_, context, bytes_of(std::string("xyz\0", 4)), sig},
      {"Ed25519 R changed", key_, context, message, flipped(sig, 0)},
      {"Ed25519 S changed", key_, context, message, flipped(sig, 40)},
      {"ML-DSA half changed", key_, context, message, flipped(sig, 64 + 1000)},
      {"last signature byte changed", key_, context, message, flipped(sig, 3372)},
      {"ML-DSA key changed", flipped(key_, 32 + 500), context, message, sig},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(verify(c.key, c.context, c.message, c.sig), VESK_AUTHENTICATION_FAILED);
  }
}

TEST_F(MessageSignature, UndecodableKeyIsThreeEvenWithAGarbageSignature) {
  // y = 2^255 - 1 is not below the field prime, so the Ed25519 part cannot decode.
  ByteVec key = key_;
  std::memset(key.data(), 0xFF, 31);
  key[31] = 0x7F;
  const ByteVec context = bytes_of("ctx"), message = bytes_of("msg");
  const ByteVec good = sign(context, message), garbage(3373, 0x5A);
  EXPECT_EQ(verify(key, context, message, good), VESK_NOT_KEY_FILE);
  EXPECT_EQ(verify(key, context, message, garbage), VESK_NOT_KEY_FILE);
  // A decodable key with the garbage signature is a plain failure.
  EXPECT_EQ(verify(key_, context, message, garbage), VESK_AUTHENTICATION_FAILED);
}

// The one test that allocates at the 1 GiB cap: the message, and inside the library the signing
// input of the same size, for signing and again for verifying.
TEST_F(MessageSignature, MessageOfExactlyOneGibibyteIsSignedAndOneByteMoreRefused) {
  constexpr std::size_t kCap = std::size_t{1} << 30;
  ByteVec message(kCap, 0);
  message.front() = 1;
  message.back() = 2;
  const ByteVec context = bytes_of("big");
  const ByteVec sig = sign(context, message);
  EXPECT_EQ(verify(key_, context, message, sig), VESK_OK);
  message.back() = 3;
  EXPECT_EQ(verify(key_, context, message, sig), VESK_AUTHENTICATION_FAILED);
  // One byte over: refused before the pointer is read (it would run past the buffer).
  VeskBuffer out = sentinel_buffer();
  EXPECT_EQ(vesk_sign_message(identity_, context.data(), context.size(), message.data(), kCap + 1, &out),
            VESK_INVALID_ARGUMENT);
  EXPECT_TRUE(is_sentinel(out));
  EXPECT_EQ(vesk_verify_message(key_.data(), key_.size(), context.data(), context.size(), message.data(), kCap + 1,
                                sig.data(), sig.size()),
            VESK_INVALID_ARGUMENT);
}

}  // namespace
}  // namespace vesk::testing
