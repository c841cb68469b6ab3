// Message signatures through the exports: the reserved context prefix, the caps and what counts as
// a failed verification.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sign/hybrid.h"
#include "support/test_util.h"
#include "vesk.h"

namespace vesk::testing {
namespace {

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
  const ByteVec message = text_bytes("the message");
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.context));
    const ByteVec context = text_bytes(c.context);
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
  const ByteVec context = text_bytes("app v1"), message = test_bytes(1000, 3);
  const ByteVec first = sign(context, message), second = sign(context, message);
  EXPECT_EQ(first, second);
  const auto id = sign::SigningIdentity::from_seed(seed_);
  const sign::Signature internal = sign::hybrid_sign(*id, context, message);
  EXPECT_EQ(first, ByteVec(internal.begin(), internal.end()));
}

TEST_F(MessageSignature, ContextAtTheCapAndEmptyRangesWithNullPointers) {
  const ByteVec at_cap(VESK_MAX_CONTEXT, 'c'), message = text_bytes("m");
  const ByteVec sig = sign(at_cap, message);
  EXPECT_EQ(verify(key_, at_cap, message, sig), VESK_OK);

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

TEST_F(MessageSignature, AnythingChangedFailsAuthentication) {
  const ByteVec context = text_bytes("abc"), message = text_bytes("xyz");
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
      {"another context", key_, text_bytes("abd"), message, sig},
      {"empty context", key_, {}, message, sig},
      {"last context byte moved into the message", key_, text_bytes("ab"), text_bytes("cxyz"), sig},
      {"first message byte moved into the context", key_, text_bytes("abcx"), text_bytes("yz"), sig},
      {"message changed", key_, context, text_bytes("xyZ"), sig},
      {"message extended", key_, context, text_bytes(std::string("xyz\0", 4)), sig},
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

TEST_F(MessageSignature, UndecodableKeyIsNotAKeyEvenWithAGarbageSignature) {
  // y = 2^255 - 1 is not below the field prime, so the Ed25519 part cannot decode.
  ByteVec key = key_;
  std::memset(key.data(), 0xFF, 31);
  key[31] = 0x7F;
  const ByteVec context = text_bytes("ctx"), message = text_bytes("msg");
  const ByteVec good = sign(context, message), garbage(3373, 0x5A);
  EXPECT_EQ(verify(key, context, message, good), VESK_NOT_KEY_FILE);
  EXPECT_EQ(verify(key, context, message, garbage), VESK_NOT_KEY_FILE);
  // A decodable key with the garbage signature is a plain failure.
  EXPECT_EQ(verify(key_, context, message, garbage), VESK_AUTHENTICATION_FAILED);
}

// The one test that allocates at the 1 GiB cap: the message, and inside the library the signing
// input of the same size, for signing and again for verifying.
TEST_F(MessageSignature, MessageOfExactlyOneGibibyteIsSigned) {
  ByteVec message(VESK_MAX_PLAINTEXT, 0);
  message.front() = 1;
  message.back() = 2;
  const ByteVec context = text_bytes("big");
  const ByteVec sig = sign(context, message);
  EXPECT_EQ(verify(key_, context, message, sig), VESK_OK);
  message.back() = 3;
  EXPECT_EQ(verify(key_, context, message, sig), VESK_AUTHENTICATION_FAILED);
}

}  // namespace
}  // namespace vesk::testing
