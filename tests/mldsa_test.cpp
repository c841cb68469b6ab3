// ML-DSA-65 through the wrapper: keys from xi, deterministic signatures byte for byte, and the
// Wycheproof verification verdicts (the wrapper signs and verifies with the empty context only).
// The wrapper hashes messages into mu itself; libcrypto's own message path must agree with it.
#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/params.h>

#include <stdexcept>

#include "core/crypto/mldsa.h"
#include "support/test_util.h"
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

// libcrypto signing and verifying whole messages with its defaults (pure, empty context), the path
// the wrapper no longer takes.
struct MessagePath {
  PkeyPtr key;
  PkeyPtr public_key;
  EVP_SIGNATURE* alg = EVP_SIGNATURE_fetch(nullptr, "ML-DSA-65", nullptr);

  explicit MessagePath(Bytes xi) {
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "ML-DSA-65", nullptr));
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_ML_DSA_SEED, const_cast<std::uint8_t*>(xi.data()), xi.size()),
        OSSL_PARAM_construct_end()};
    EVP_PKEY* raw = nullptr;
    if (EVP_PKEY_keygen_init(ctx.get()) != 1 || EVP_PKEY_CTX_set_params(ctx.get(), params) != 1 ||
        EVP_PKEY_generate(ctx.get(), &raw) != 1)
      throw std::runtime_error("ML-DSA keygen failed");
    key.reset(raw);
    ByteVec pk(kMlDsa65PublicLen);
    std::size_t len = pk.size();
    EVP_PKEY_get_raw_public_key(key.get(), pk.data(), &len);
    public_key.reset(EVP_PKEY_new_raw_public_key_ex(nullptr, "ML-DSA-65", nullptr, pk.data(), pk.size()));
  }
  ~MessagePath() { EVP_SIGNATURE_free(alg); }

  ByteVec sign(const ByteVec& message) const {
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
    int deterministic = 1;
    OSSL_PARAM params[] = {OSSL_PARAM_construct_int(OSSL_SIGNATURE_PARAM_DETERMINISTIC, &deterministic),
                           OSSL_PARAM_construct_end()};
    ByteVec sig(kMlDsa65SignatureLen);
    std::size_t len = sig.size();
    const std::uint8_t empty = 0;
    if (EVP_PKEY_sign_message_init(ctx.get(), alg, params) != 1 ||
        EVP_PKEY_sign(ctx.get(), sig.data(), &len, message.empty() ? &empty : message.data(), message.size()) != 1)
      throw std::runtime_error("ML-DSA sign failed");
    return sig;
  }
  bool verify(const ByteVec& message, const ByteVec& sig) const {
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, public_key.get(), nullptr));
    const std::uint8_t empty = 0;
    return EVP_PKEY_verify_message_init(ctx.get(), alg, nullptr) == 1 &&
           EVP_PKEY_verify(ctx.get(), sig.data(), sig.size(), message.empty() ? &empty : message.data(),
                           message.size()) == 1;
  }
};

TEST(MlDsa65, MuPathAgreesWithLibcryptoMessagePath) {
  const ByteVec xi = test_bytes(kMlDsaSeedLen, 61);
  const MessagePath libcrypto(xi);
  const auto key = MlDsaSigningKey::from_seed(xi);
  ByteVec pk(kMlDsa65PublicLen);
  key.public_key(pk);
  const auto verifier = MlDsaVerifyingKey::import(pk);
  ASSERT_TRUE(verifier.has_value());

  // libcrypto copies messages past about 1 KiB before hashing them; cover both sides of that.
  for (const std::size_t len : {std::size_t{0}, std::size_t{1}, std::size_t{1024}, std::size_t{1025},
                                std::size_t{1} << 20}) {
    SCOPED_TRACE(len);
    const ByteVec message = test_bytes(len, static_cast<std::uint32_t>(len) + 7);
    ByteVec sig(kMlDsa65SignatureLen);
    ASSERT_TRUE(key.sign(message, sig));
    EXPECT_EQ(sig, libcrypto.sign(message));

    ByteVec bad_sig = sig;
    bad_sig[len % bad_sig.size()] ^= 0x01;
    ByteVec other_message = message;
    if (other_message.empty())
      other_message.push_back(0);
    else
      other_message.back() ^= 0x80;
    const struct {
      const char* name;
      const ByteVec& message;
      const ByteVec& sig;
      bool valid;
    } cases[] = {{"as signed", message, sig, true},
                 {"signature bit flipped", message, bad_sig, false},
                 {"message changed", other_message, sig, false}};
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      EXPECT_EQ(verifier->verify(c.message, c.sig), c.valid);
      EXPECT_EQ(libcrypto.verify(c.message, c.sig), c.valid);
    }
  }
}

}  // namespace
}  // namespace vesk::testing
