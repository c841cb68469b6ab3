// The hybrid signing identity: derivation, the signing input, signing and verification, key
// decoding, and use from several threads. Opening identities through the export is in the corpus
// (vectors/signing_identity_open.json).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/check.h"
#include "core/crypto/ed25519.h"
#include "core/crypto/hmac.h"
#include "core/crypto/mldsa.h"
#include "sign/hybrid.h"
#include "support/test_util.h"
#include "support/vectors.h"

namespace vesk::testing {
namespace {

using namespace vesk::sign;

DecodedVerifyingKey decoded(const SigningIdentity& id) {
  auto key = decode_verifying_key(id.verifying_key());
  if (!key) throw std::runtime_error("own verifying key does not decode");
  return std::move(*key);
}

TEST(SigningInput, FramesTheContextLengthThenContextThenMessage) {
  EXPECT_EQ(to_vec(SigningInput(text_bytes("abc"), text_bytes("xyz")).view()),
            from_hex("000000000000000361626378797a"));
  EXPECT_EQ(to_vec(SigningInput({}, {}).view()), ByteVec(8, 0));
  EXPECT_EQ(to_vec(SigningInput({}, text_bytes("m")).view()), from_hex("00000000000000006d"));
  const ByteVec long_context(300, 0xAB);
  const ByteVec framed = to_vec(SigningInput(long_context, {}).view());
  ASSERT_EQ(framed.size(), 308u);
  EXPECT_EQ(ByteVec(framed.begin(), framed.begin() + 8), from_hex("000000000000012c"));

  // A total that does not fit in size_t is a fault, raised before anything is read or allocated.
  const std::uint8_t byte = 0;
  const Bytes huge(&byte, SIZE_MAX - 7);
  EXPECT_THROW(SigningInput(huge, Bytes(&byte, 1)), Fault);
  EXPECT_THROW(SigningInput(Bytes(&byte, 1), huge), Fault);
}

TEST(SigningIdentity, DerivesBothKeysFromTheSeedUnderTheLabels) {
  // HKDF-Expand to one block is HMAC(key, info || 0x01); compute the chain that way.
  const ByteVec seed = test_bytes(32, 21);
  const std::uint8_t one[1] = {0x01};
  const auto signing = crypto::hmac_sha256(seed, {text_bytes("VESK/0.5 identity signing"), one});
  const auto ed_secret = crypto::hmac_sha256(signing, {text_bytes("VESK/0.5 identity ed25519"), one});
  const auto xi = crypto::hmac_sha256(signing, {text_bytes("VESK/0.5 identity ml-dsa-65"), one});
  const auto ed = crypto::Ed25519SigningKey::from_secret(ed_secret);
  const auto ml = crypto::MlDsaSigningKey::from_seed(xi);
  ByteVec expected(ed.public_key().begin(), ed.public_key().end());
  ByteVec ml_public(crypto::kMlDsa65PublicLen);
  ml.public_key(ml_public);
  expected.insert(expected.end(), ml_public.begin(), ml_public.end());

  const auto identity = SigningIdentity::from_seed(seed);
  EXPECT_EQ(to_vec(identity->verifying_key()), expected);
  EXPECT_EQ(to_vec(SigningIdentity::from_seed(seed)->verifying_key()), expected);
  EXPECT_NE(to_vec(SigningIdentity::from_seed(test_bytes(32, 22))->verifying_key()), expected);
  EXPECT_THROW(SigningIdentity::from_seed(test_bytes(31, 21)), Fault);
}

TEST(HybridSignature, BothHalvesSignTheFramedInput) {
  const auto identity = SigningIdentity::from_seed(test_bytes(32, 31));
  const Signature sig = hybrid_sign(*identity, text_bytes("abc"), text_bytes("xyz"));
  const ByteVec input = from_hex("000000000000000361626378797a");
  const Bytes vk(identity->verifying_key());
  auto ed = crypto::Ed25519VerifyingKey::decode(vk.first(32));
  auto ml = crypto::MlDsaVerifyingKey::import(vk.subspan(32));
  ASSERT_TRUE(ed && ml);
  EXPECT_TRUE(ed->verify_strict(input, Bytes(sig).first(64)));
  EXPECT_TRUE(ml->verify(input, Bytes(sig).subspan(64)));
  // Ed25519 first, then ML-DSA: each half checked against the other scheme fails.
  EXPECT_FALSE(ml->verify(input, Bytes(sig).first(64)));
}

TEST(HybridSignature, DeterministicAndValidOnlyForTheSignedBytes) {
  const auto identity = SigningIdentity::from_seed(test_bytes(32, 41));
  const auto key = decoded(*identity);
  const ByteVec context = text_bytes("example context"), message = test_bytes(1000, 42);
  const Signature sig = hybrid_sign(*identity, context, message);
  EXPECT_EQ(to_vec(sig), to_vec(hybrid_sign(*identity, context, message)));
  EXPECT_TRUE(hybrid_verify(key, context, message, sig));

  struct Change {
    const char* what;
    std::size_t context_byte = SIZE_MAX, message_byte = SIZE_MAX, signature_byte = SIZE_MAX, key_byte = SIZE_MAX;
  };
  const Change changes[] = {
      {"context first byte", 0},
      {"context last byte", context.size() - 1},
      {"message first byte", SIZE_MAX, 0},
      {"message last byte", SIZE_MAX, message.size() - 1},
      {"Ed25519 R", SIZE_MAX, SIZE_MAX, 0},
      {"Ed25519 S", SIZE_MAX, SIZE_MAX, 40},
      {"ML-DSA c~", SIZE_MAX, SIZE_MAX, 64},
      {"ML-DSA z", SIZE_MAX, SIZE_MAX, 2000},
      {"ML-DSA hint", SIZE_MAX, SIZE_MAX, kSignatureLen - 1},
      {"ML-DSA rho", SIZE_MAX, SIZE_MAX, SIZE_MAX, 32},
      {"ML-DSA t1", SIZE_MAX, SIZE_MAX, SIZE_MAX, 1000},
      {"ML-DSA t1 last", SIZE_MAX, SIZE_MAX, SIZE_MAX, kVerifyingKeyLen - 1},
  };
  for (const Change& c : changes) {
    for (std::uint8_t flip : {0x01, 0x80}) {
      SCOPED_TRACE(c.what);
      ByteVec ctx = context, msg = message, s = to_vec(sig), k = to_vec(identity->verifying_key());
      if (c.context_byte != SIZE_MAX) ctx[c.context_byte] ^= flip;
      if (c.message_byte != SIZE_MAX) msg[c.message_byte] ^= flip;
      if (c.signature_byte != SIZE_MAX) s[c.signature_byte] ^= flip;
      if (c.key_byte != SIZE_MAX) k[c.key_byte] ^= flip;
      auto changed_key = decode_verifying_key(k);
      ASSERT_TRUE(changed_key.has_value());  // the ML-DSA part always decodes
      EXPECT_FALSE(hybrid_verify(*changed_key, ctx, msg, s));
    }
  }

  // A change to the Ed25519 part of the key makes it undecodable or makes verification fail.
  std::size_t undecodable = 0;
  for (std::size_t i = 0; i < 32; ++i) {
    ByteVec k = to_vec(identity->verifying_key());
    k[i] ^= static_cast<std::uint8_t>(1u << (i % 8));
    auto changed_key = decode_verifying_key(k);
    if (!changed_key) {
      ++undecodable;
      continue;
    }
    EXPECT_FALSE(hybrid_verify(*changed_key, context, message, sig)) << "key byte " << i;
  }
  EXPECT_GT(undecodable, 0u);
  EXPECT_LT(undecodable, 32u);

  // Only 3373 bytes are a signature.
  ByteVec longer = to_vec(sig);
  longer.push_back(0);
  EXPECT_FALSE(hybrid_verify(key, context, message, longer));
  EXPECT_FALSE(hybrid_verify(key, context, message, Bytes(sig).first(kSignatureLen - 1)));
  EXPECT_FALSE(hybrid_verify(key, context, message, {}));
}

TEST(HybridSignature, EmptyPiecesAndTheContextBoundary) {
  const auto identity = SigningIdentity::from_seed(test_bytes(32, 51));
  const auto key = decoded(*identity);
  const Signature empty = hybrid_sign(*identity, {}, {});
  EXPECT_TRUE(hybrid_verify(key, {}, {}, empty));
  EXPECT_FALSE(hybrid_verify(key, {}, from_hex("00"), empty));
  EXPECT_FALSE(hybrid_verify(key, from_hex("00"), {}, empty));

  // The length prefix keeps bytes from moving between context and message.
  const Signature sig = hybrid_sign(*identity, text_bytes("abc"), text_bytes("xyz"));
  EXPECT_TRUE(hybrid_verify(key, text_bytes("abc"), text_bytes("xyz"), sig));
  EXPECT_FALSE(hybrid_verify(key, text_bytes("ab"), text_bytes("cxyz"), sig));
  EXPECT_FALSE(hybrid_verify(key, text_bytes("abcx"), text_bytes("yz"), sig));
  EXPECT_FALSE(hybrid_verify(key, {}, text_bytes("abcxyz"), sig));
  EXPECT_FALSE(hybrid_verify(key, text_bytes("abcxyz"), {}, sig));

  // Signatures of another identity do not verify.
  const auto other = SigningIdentity::from_seed(test_bytes(32, 52));
  EXPECT_FALSE(hybrid_verify(key, text_bytes("abc"), text_bytes("xyz"), hybrid_sign(*other, text_bytes("abc"), text_bytes("xyz"))));
}

TEST(VerifyingKey, DecodingRefusesNonPointsAndKeepsSmallOrderPointsUseless) {
  const auto identity = SigningIdentity::from_seed(test_bytes(32, 61));
  const Bytes vk(identity->verifying_key());
  const Signature sig = hybrid_sign(*identity, text_bytes("ctx"), text_bytes("msg"));
  auto with_ed_part = [&](const ByteVec& ed) {
    ByteVec k = ed;
    k.insert(k.end(), vk.begin() + 32, vk.end());
    return k;
  };

  EXPECT_FALSE(decode_verifying_key(vk.first(kVerifyingKeyLen - 1)).has_value());
  ByteVec longer = to_vec(vk);
  longer.push_back(0);
  EXPECT_FALSE(decode_verifying_key(longer).has_value());
  EXPECT_FALSE(decode_verifying_key({}).has_value());

  // Encodings that are not points: y = p, y = p + 1 (non-canonical), x = 0 with the sign bit set,
  // and a y for which no x exists.
  std::vector<ByteVec> non_points = {
      from_hex("edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f"),
      from_hex("eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f"),
      from_hex("0100000000000000000000000000000000000000000000000000000000000080"),
  };
  for (std::uint32_t seed = 1; non_points.size() < 4; ++seed) {
    ByteVec y = test_bytes(32, seed);
    y[31] &= 0x3f;
    if (!crypto::ed25519_decode_point(y)) non_points.push_back(y);
  }
  for (const ByteVec& ed : non_points) EXPECT_FALSE(decode_verifying_key(with_ed_part(ed)).has_value()) << to_hex(ed);

  // Points of small order decode, and nothing verifies under them even with a valid ML-DSA half.
  for (const char* hex : {"0100000000000000000000000000000000000000000000000000000000000000",
                          "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",
                          "0000000000000000000000000000000000000000000000000000000000000080",
                          "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc05"}) {
    auto key = decode_verifying_key(with_ed_part(from_hex(hex)));
    ASSERT_TRUE(key.has_value()) << hex;
    EXPECT_FALSE(hybrid_verify(*key, text_bytes("ctx"), text_bytes("msg"), sig)) << hex;
  }
  auto own = decode_verifying_key(vk);
  ASSERT_TRUE(own.has_value());
  EXPECT_EQ(to_vec(own->bytes()), to_vec(vk));
  EXPECT_TRUE(hybrid_verify(*own, text_bytes("ctx"), text_bytes("msg"), sig));
}

TEST(HybridSignature, OneIdentitySignsFromSeveralThreads) {
  const auto identity = SigningIdentity::from_seed(test_bytes(32, 71));
  const auto key = decoded(*identity);
  constexpr int kThreads = 4, kRounds = 6;
  std::vector<std::vector<ByteVec>> messages(kThreads), expected(kThreads);
  for (int t = 0; t < kThreads; ++t)
    for (int r = 0; r < kRounds; ++r) {
      messages[t].push_back(test_bytes(64 + r, 100 * t + r));
      expected[t].push_back(to_vec(hybrid_sign(*identity, text_bytes("threads"), messages[t][r])));
    }
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int r = 0; r < kRounds; ++r) {
        const Signature sig = hybrid_sign(*identity, text_bytes("threads"), messages[t][r]);
        if (to_vec(sig) != expected[t][r] || !hybrid_verify(key, text_bytes("threads"), messages[t][r], sig)) ++mismatches[t];
      }
    });
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace
}  // namespace vesk::testing
