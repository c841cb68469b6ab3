// Ed25519: RFC 8032 known answers, strict verification against the Wycheproof and speccheck
// verdicts, and the point decoding of public keys.
#include <gtest/gtest.h>
#include <openssl/bn.h>

#include <memory>

#include "core/crypto/ed25519.h"
#include "core/crypto/hash.h"
#include "support/test_util.h"
#include "support/vectors.h"

namespace vesk::testing {
namespace {

using namespace vesk::crypto;

bool strict_verdict(const ByteVec& public_key, const ByteVec& message, const ByteVec& signature) {
  auto key = Ed25519VerifyingKey::decode(public_key);
  return key.has_value() && key->verify_strict(message, signature);
}

TEST(Ed25519, Rfc8032KeysSignaturesAndVerification) {
  const auto vectors = load_vectors("ed25519.json");
  ASSERT_EQ(vectors.size(), 5u);
  for (const auto& v : vectors) {
    SCOPED_TRACE(v.at("name").get<std::string>());
    const ByteVec secret = hex_field(v, "secret_key"), pub = hex_field(v, "public_key"),
                  msg = hex_field(v, "message"), sig = hex_field(v, "signature");
    const auto key = Ed25519SigningKey::from_secret(secret);
    EXPECT_EQ(ByteVec(key.public_key().begin(), key.public_key().end()), pub);
    ByteVec out(64);
    ASSERT_TRUE(key.sign(msg, out));
    EXPECT_EQ(out, sig);
    EXPECT_TRUE(strict_verdict(pub, msg, sig));
    ByteVec tampered = sig;
    tampered[63] ^= 0x01;
    EXPECT_FALSE(strict_verdict(pub, msg, tampered));
  }
}

TEST(Ed25519, StrictVerificationMatchesPublishedVerdicts) {
  struct Source {
    const char* file;
    const char* id;
    std::size_t count;
  };
  for (const Source& s : {Source{"ed25519_wycheproof.json", "tcId", 151}, Source{"ed25519_speccheck.json", "index", 12}}) {
    const auto vectors = load_vectors(s.file);
    ASSERT_EQ(vectors.size(), s.count) << s.file;
    std::size_t accepted = 0;
    for (const auto& v : vectors) {
      const bool expected = v.at("strict_valid").get<bool>();
      EXPECT_EQ(strict_verdict(hex_field(v, "public_key"), hex_field(v, "message"), hex_field(v, "signature")), expected)
          << s.file << " " << s.id << " " << v.at(s.id);
      accepted += expected;
    }
    EXPECT_GT(accepted, 0u);
    EXPECT_LT(accepted, s.count);
  }
}

// Field arithmetic for the decoding checks, independent of the library's: the constants are the
// published ones, and square roots come from BN_mod_sqrt rather than a quadratic-residue symbol.
struct TestField {
  std::unique_ptr<BIGNUM, decltype(&BN_free)> p{nullptr, BN_free}, d{nullptr, BN_free};
  std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)> ctx{BN_CTX_new(), BN_CTX_free};
  TestField() {
    BIGNUM* raw = nullptr;
    BN_hex2bn(&raw, "7fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffed");
    p.reset(raw);
    raw = nullptr;
    BN_dec2bn(&raw, "37095705934669439343138083508754565189542113879843219016388785533085940283555");
    d.reset(raw);
  }
  BIGNUM* le(const ByteVec& bytes32) {
    ByteVec b = bytes32;
    b[31] &= 0x7f;
    return BN_lebin2bn(b.data(), 32, nullptr);
  }
  // Whether x^2 = (y^2 - 1) / (d y^2 + 1) has a solution for a y below p.
  bool x_exists(const BIGNUM* y) {
    BIGNUM *u = BN_new(), *v = BN_new(), *x = BN_new();
    BN_mod_sqr(u, y, p.get(), ctx.get());
    BN_mod_mul(v, u, d.get(), p.get(), ctx.get());
    BN_mod_add(v, v, BN_value_one(), p.get(), ctx.get());
    BN_mod_sub(u, u, BN_value_one(), p.get(), ctx.get());
    BN_mod_inverse(v, v, p.get(), ctx.get());
    BN_mod_mul(u, u, v, p.get(), ctx.get());
    const bool exists = BN_is_zero(u) || BN_mod_sqrt(x, u, p.get(), ctx.get()) != nullptr;
    BN_free(u);
    BN_free(v);
    BN_free(x);
    return exists;
  }
};

TEST(Ed25519, PointDecodingAgreesWithIndependentSquareRoots) {
  TestField f;
  std::size_t decoded = 0, refused = 0;
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
    ByteVec enc = test_bytes(32, seed);
    if (seed % 3 == 0) enc[31] &= 0x7f;  // mostly small enough to be canonical either way
    BIGNUM* y = f.le(enc);
    const bool canonical = BN_cmp(y, f.p.get()) < 0;
    const bool expected = canonical && f.x_exists(y);
    BN_free(y);
    EXPECT_EQ(ed25519_decode_point(enc).has_value(), expected) << to_hex(enc);
    (expected ? decoded : refused)++;
  }
  EXPECT_GT(decoded, 50u);
  EXPECT_GT(refused, 50u);
}

TEST(Ed25519, CanonicalEncodingsSignBitAndSmallOrder) {
  const std::string y8 = "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc05";
  const std::string minus_y8 = "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac037a";
  const std::string p_minus_1 = "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f";
  const std::string zero = std::string(64, '0');
  const std::string one = "01" + std::string(62, '0');
  struct Case {
    std::string hex;
    bool decodes;
    bool small_order;
  };
  const Case cases[] = {
      {one, true, true},                                      // neutral element
      {"01" + std::string(60, '0') + "80", false, false},      // x = 0 with the sign bit set
      {p_minus_1, true, true},                                // order 2
      {p_minus_1.substr(0, 62) + "ff", false, false},          // order 2, sign bit set
      {zero, true, true},                                     // order 4
      {std::string(62, '0') + "80", true, true},              // order 4, the other x
      {y8, true, true},                                       // order 8
      {y8.substr(0, 62) + "85", true, true},
      {minus_y8, true, true},
      {minus_y8.substr(0, 62) + "fa", true, true},
      {"edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f", false, false},  // y = p
      {"eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f", false, false},  // y = p + 1
      {"ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff", false, false},  // y = 2^255 - 1
      {"5866666666666666666666666666666666666666666666666666666666666666", true, false},   // base point
      {"d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", true, false},   // RFC 8032 TEST 1
  };
  for (const Case& c : cases) {
    const auto point = ed25519_decode_point(from_hex(c.hex));
    ASSERT_EQ(point.has_value(), c.decodes) << c.hex;
    if (point) {
      EXPECT_EQ(point->small_order, c.small_order) << c.hex;
    }
    EXPECT_EQ(Ed25519VerifyingKey::decode(from_hex(c.hex)).has_value(), c.decodes) << c.hex;
  }

  // The order-8 y coordinates are the roots of d y^4 + 2 y^2 - 1 (doubling lands on y = 0).
  TestField f;
  for (const std::string& hex : {y8, minus_y8}) {
    BIGNUM* y = f.le(from_hex(hex));
    BIGNUM *y2 = BN_new(), *t = BN_new();
    BN_mod_sqr(y2, y, f.p.get(), f.ctx.get());
    BN_mod_sqr(t, y2, f.p.get(), f.ctx.get());
    BN_mod_mul(t, t, f.d.get(), f.p.get(), f.ctx.get());
    BN_mod_add(t, t, y2, f.p.get(), f.ctx.get());
    BN_mod_add(t, t, y2, f.p.get(), f.ctx.get());
    BN_mod_sub(t, t, BN_value_one(), f.p.get(), f.ctx.get());
    EXPECT_TRUE(BN_is_zero(t)) << hex;
    BN_free(y);
    BN_free(y2);
    BN_free(t);
  }
}

// Raw libcrypto verification: S < l and the cofactorless equation, nothing else.
bool libcrypto_verdict(const ByteVec& public_key, const ByteVec& message, const ByteVec& signature) {
  EVP_PKEY* key = EVP_PKEY_new_raw_public_key_ex(nullptr, "ED25519", nullptr, public_key.data(), public_key.size());
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  const bool ok = key != nullptr && EVP_DigestVerifyInit_ex(ctx, nullptr, nullptr, nullptr, nullptr, key, nullptr) == 1 &&
                  EVP_DigestVerify(ctx, signature.data(), signature.size(), message.data(), message.size()) == 1;
  EVP_MD_CTX_free(ctx);
  EVP_PKEY_free(key);
  return ok;
}

TEST(Ed25519, SmallOrderPointsSatisfyingTheEquationAreRefused) {
  // Signatures built so that the cofactorless equation holds with a small-order A or R: libcrypto
  // accepts them, the strict rule does not.
  TestField f;
  BIGNUM* l = nullptr;
  BN_hex2bn(&l, "1000000000000000000000000000000014def9dea2f79cd65812631a5cf5d3ed");
  const ByteVec secret = test_bytes(32, 11), msg = test_bytes(33, 12);
  const auto signer = Ed25519SigningKey::from_secret(secret);
  const ByteVec pub(signer.public_key().begin(), signer.public_key().end());
  // The secret scalar a: the clamped lower half of SHA-512(secret), so that pub = [a]B.
  const auto h = sha512({secret});
  ByteVec a_bytes(h.begin(), h.begin() + 32);
  a_bytes[0] &= 248;
  a_bytes[31] &= 127;
  a_bytes[31] |= 64;
  BIGNUM* a = BN_lebin2bn(a_bytes.data(), 32, nullptr);
  BIGNUM* s = BN_new();
  auto le32 = [](const BIGNUM* n) {
    ByteVec out(32);
    BN_bn2lebinpad(n, out.data(), 32);
    return out;
  };
  const ByteVec identity = from_hex("01" + std::string(62, '0'));

  // A = neutral element: [S]B - [k]A = [S]B, so R = pub and S = a mod l satisfy it for any message.
  BN_nnmod(s, a, l, f.ctx.get());
  ByteVec sig = pub;
  const ByteVec s_bytes = le32(s);
  sig.insert(sig.end(), s_bytes.begin(), s_bytes.end());
  EXPECT_TRUE(libcrypto_verdict(identity, msg, sig));
  EXPECT_FALSE(strict_verdict(identity, msg, sig));

  // R = neutral element under a real key: S = k a mod l with k = SHA-512(R || A || M) mod l.
  const auto k_hash = sha512({identity, pub, msg});
  BIGNUM* k = BN_lebin2bn(k_hash.data(), 64, nullptr);
  BN_nnmod(k, k, l, f.ctx.get());
  BN_mod_mul(s, k, a, l, f.ctx.get());
  sig = identity;
  const ByteVec s2 = le32(s);
  sig.insert(sig.end(), s2.begin(), s2.end());
  EXPECT_TRUE(libcrypto_verdict(pub, msg, sig));
  EXPECT_FALSE(strict_verdict(pub, msg, sig));

  // The key itself signs normally; wrong lengths are refused.
  ByteVec good(64);
  ASSERT_TRUE(signer.sign(msg, good));
  EXPECT_TRUE(strict_verdict(pub, msg, good));
  EXPECT_FALSE(strict_verdict(pub, msg, ByteVec(good.begin(), good.end() - 1)));
  ByteVec longer = good;
  longer.push_back(0);
  EXPECT_FALSE(strict_verdict(pub, msg, longer));
  for (BIGNUM* n : {l, a, s, k}) BN_free(n);
}

}  // namespace
}  // namespace vesk::testing
