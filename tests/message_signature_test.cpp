// Message signatures through the exports at the 1 GiB message cap. The reserved context prefix,
// the context cap and what counts as a failed verification are in the corpus
// (vectors/sign_message.json, vectors/verify_message.json).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sign/hybrid.h"
#include "support/test_util.h"
#include "vesk.hpp"

namespace vesk::testing {
namespace {

class MessageSignature : public ::testing::Test {
 protected:
  void SetUp() override {
    seed_ = test_bytes(32, 11);
    ASSERT_EQ(vesk_signing_identity_open(seed_.data(), seed_.size(), nullptr, &identity_), VESK_OK);
    vesk::Buffer vk;
    ASSERT_EQ(vesk_signing_identity_public(identity_, vk.out()), VESK_OK);
    key_ = vk.to_vector();
    ASSERT_EQ(key_.size(), VESK_VERIFYING_KEY_LEN);
  }
  void TearDown() override { vesk_signing_identity_free(identity_); }

  // Signs, expecting success, and returns the signature.
  ByteVec sign(const ByteVec& context, const ByteVec& message) {
    vesk::Buffer sig;
    EXPECT_EQ(vesk_sign_message(identity_, context.data(), context.size(), message.data(), message.size(), sig.out()),
              VESK_OK);
    EXPECT_EQ(sig.get().len, VESK_SIGNATURE_LEN);
    EXPECT_EQ(sig.get().capacity, VESK_SIGNATURE_LEN);
    return sig.to_vector();
  }
  VeskStatus verify(const ByteVec& key, const ByteVec& context, const ByteVec& message, const ByteVec& sig) {
    return vesk_verify_message(key.data(), key.size(), context.data(), context.size(), message.data(),
                               message.size(), sig.data(), sig.size());
  }

  ByteVec seed_;
  VeskSigningIdentityHandle* identity_ = nullptr;
  ByteVec key_;
};

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
