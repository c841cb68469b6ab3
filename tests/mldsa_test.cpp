// ML-DSA-65 through the wrapper: keys from xi, deterministic signatures byte for byte, and the
// Wycheproof verification verdicts (the wrapper signs and verifies with the empty context only).
#include <gtest/gtest.h>

#include "core/crypto/mldsa.h"
#include "support/vectors.h"

namespace vesk::testing {
namespace {

using namespace vesk::crypto;

TEST(MlDsa65, KeygenAndDeterministicSigningMatchVectors) {
  const auto vectors = load_vectors("mldsa65.json");
  std::size_t keygens = 0, signs = 0, skipped = 0;
  for (const auto& v : vectors) {
    SCOPED_TRACE(v.at("origin").get<std::string>());
    const auto key = MlDsaSigningKey::from_seed(hex_field(v, "xi"));
    ByteVec pk(kMlDsa65PublicLen);
    key.public_key(pk);
    EXPECT_EQ(pk, hex_field(v, "pk"));
    if (v.at("kind") == "keygen") {
      ++keygens;
      continue;
    }
    if (!hex_field(v, "ctx").empty()) {
      ++skipped;
      continue;
    }
    const ByteVec msg = hex_field(v, "msg"), sig = hex_field(v, "sig");
    ByteVec out(kMlDsa65SignatureLen);
    ASSERT_TRUE(key.sign(msg, out));
    EXPECT_EQ(out, sig);
    auto verifier = MlDsaVerifyingKey::import(pk);
    ASSERT_TRUE(verifier.has_value());
    EXPECT_TRUE(verifier->verify(msg, sig));
    ++signs;
  }
  EXPECT_EQ(keygens, 25u);
  EXPECT_EQ(signs, 80u);
  EXPECT_EQ(skipped, 3u);
}

TEST(MlDsa65, VerificationMatchesWycheproofVerdicts) {
  const auto vectors = load_vectors("mldsa65_wycheproof_verify.json");
  std::size_t run = 0, valid = 0;
  for (const auto& v : vectors) {
    if (!hex_field(v, "ctx").empty()) continue;
    const bool expected = v.at("result") == "valid";
    auto key = MlDsaVerifyingKey::import(hex_field(v, "pk"));
    const bool verdict = key.has_value() && key->verify(hex_field(v, "msg"), hex_field(v, "sig"));
    EXPECT_EQ(verdict, expected) << "tcId " << v.at("tcId") << " " << v.at("comment");
    ++run;
    valid += expected;
  }
  EXPECT_EQ(run, 203u);
  EXPECT_EQ(valid, 77u);
}

}  // namespace
}  // namespace vesk::testing
