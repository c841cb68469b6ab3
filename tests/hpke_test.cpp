// The HPKE base-mode composition, pinned by the RFC 9180 key-schedule vector (another KEM, same
// KDF and AEAD) and by the published X-Wing suite vectors end to end.
#include <gtest/gtest.h>

#include "core/crypto/aead.h"
#include "core/crypto/hpke.h"
#include "support/test_util.h"
#include "support/vectors.h"

namespace vesk::testing {
namespace {

using namespace vesk::crypto;

// base_nonce XOR I2OSP(seq, 12): the nonce of the seq-th message of a context.
ByteVec nonce_at(Bytes base_nonce, std::uint64_t seq) {
  ByteVec n = to_vec(base_nonce);
  for (int i = 0; i < 8; ++i) n[n.size() - 1 - i] ^= static_cast<std::uint8_t>(seq >> (8 * i));
  return n;
}

// The exporter secret, which the library does not derive: LabeledExpand(secret, "exp",
// key_schedule_context, 32) from the same labeled steps.
ByteVec exporter_secret(const HpkeSuiteId& suite, Bytes shared_secret, Bytes info) {
  const auto secret = hpke_labeled_extract(suite, shared_secret, "secret", {});
  ByteVec context = {0x00};  // mode_base
  const auto psk_id_hash = hpke_labeled_extract(suite, {}, "psk_id_hash", {});
  const auto info_hash = hpke_labeled_extract(suite, {}, "info_hash", info);
  for (Bytes part : {psk_id_hash.view(), info_hash.view()}) context.insert(context.end(), part.begin(), part.end());
  ByteVec out(32);
  hpke_labeled_expand(suite, secret.view(), "exp", context, out);
  return out;
}

// The key schedule, every listed encryption (nonce = base_nonce XOR seq) and every export of one
// vector, starting from its shared secret.
void check_key_schedule(const nlohmann::json& v) {
  const auto kem_id = v.at("kem_id").get<std::uint16_t>();
  const HpkeSuiteId suite = hpke_suite_id(kem_id);
  EXPECT_EQ(ByteVec(suite.begin(), suite.end()), hex_field(v, "suite_id"));
  const HpkeContext ctx = HpkeKeySchedule(kem_id, hex_field(v, "info")).context(hex_field(v, "shared_secret"));
  EXPECT_EQ(to_vec(ctx.key()), hex_field(v, "key"));
  EXPECT_EQ(to_vec(ctx.base_nonce()), hex_field(v, "base_nonce"));
  const ByteVec exporter = exporter_secret(suite, hex_field(v, "shared_secret"), hex_field(v, "info"));
  EXPECT_EQ(exporter, hex_field(v, "exporter_secret"));

  for (const auto& e : v.at("encryptions")) {
    SCOPED_TRACE(e.at("seq").get<std::uint64_t>());
    const ByteVec aad = hex_field(e, "aad"), pt = hex_field(e, "pt"), ct = hex_field(e, "ct");
    const ByteVec nonce = nonce_at(ctx.base_nonce(), e.at("seq").get<std::uint64_t>());
    EXPECT_EQ(nonce, hex_field(e, "nonce"));
    ByteVec sealed(pt.size() + kAeadTagLen);
    ASSERT_TRUE(aead_seal(ctx.key(), nonce, aad, pt, sealed));
    EXPECT_EQ(sealed, ct);
    if (e.at("seq").get<std::uint64_t>() == 0) {
      ByteVec single(pt.size() + kAeadTagLen);
      ASSERT_TRUE(ctx.seal(aad, pt, single));
      EXPECT_EQ(single, ct);
      ByteVec opened(pt.size());
      ASSERT_TRUE(ctx.open(aad, ct, opened));
      EXPECT_EQ(opened, pt);
    }
  }
  for (const auto& x : v.at("exports")) {
    ByteVec out(x.at("L").get<std::size_t>());
    hpke_labeled_expand(suite, exporter, "sec", hex_field(x, "exporter_context"), out);
    EXPECT_EQ(out, hex_field(x, "exported_value"));
  }
}

TEST(Hpke, KeyScheduleMatchesRfc9180) {
  const auto vectors = load_vectors("rfc9180_x25519_chacha.json");
  ASSERT_EQ(vectors.size(), 1u);
  ASSERT_EQ(vectors[0].at("encryptions").size(), 6u);
  check_key_schedule(vectors[0]);
}

TEST(Hpke, XWingSuiteEndToEnd) {
  const auto vectors = load_vectors("hpke_xwing.json");
  ASSERT_EQ(vectors.size(), 2u);
  for (const auto& v : vectors) {
    SCOPED_TRACE(v.at("origin").get<std::string>());
    ASSERT_EQ(v.at("kem_id").get<std::uint16_t>(), kHpkeKemXWing);
    check_key_schedule(v);

    const ByteVec pk = hex_field(v, "pkRm"), info = hex_field(v, "info"), enc = hex_field(v, "enc");
    const ByteVec seed = hex_field(v, "skRm");
    const XWingSecretKey key = XWingSecretKey::from_seed(as_seed(seed));
    EXPECT_EQ(ByteVec(key.public_key().begin(), key.public_key().end()), pk);
    auto recipient = XWingRecipient::validate(pk);
    ASSERT_TRUE(recipient.has_value());

    // ikmE serves as the 64-byte encapsulation seed.
    const auto& e0 = v.at("encryptions").at(0);
    ASSERT_EQ(e0.at("seq").get<int>(), 0);
    const ByteVec aad = hex_field(e0, "aad"), pt = hex_field(e0, "pt"), ct = hex_field(e0, "ct");
    auto direct = recipient->encapsulate(hex_field(v, "ikmE"));
    ASSERT_TRUE(direct.has_value());
    EXPECT_EQ(to_vec(direct->second.view()), hex_field(v, "shared_secret"));

    ByteVec sealed(pt.size() + kAeadTagLen);
    const HpkeKeySchedule schedule(kHpkeKemXWing, info);
    auto sealed_enc = hpke_seal_base(*recipient, hex_field(v, "ikmE"), schedule, aad, pt, sealed);
    ASSERT_TRUE(sealed_enc.has_value());
    EXPECT_EQ(ByteVec(sealed_enc->begin(), sealed_enc->end()), enc);
    EXPECT_EQ(sealed, ct);

    ByteVec opened(pt.size());
    ASSERT_TRUE(hpke_open_base(key, enc, schedule, aad, ct, opened));
    EXPECT_EQ(opened, pt);

    // Each input of the open is bound: a changed info, aad, ciphertext or encapsulation fails.
    ByteVec bad_info = info, bad_aad = aad, bad_ct = ct, bad_enc = enc;
    bad_info.push_back(0);
    bad_aad.push_back(0);
    bad_ct[0] ^= 1;
    bad_enc[kXWingCiphertextLen - 1] ^= 1;
    EXPECT_FALSE(hpke_open_base(key, enc, HpkeKeySchedule(kHpkeKemXWing, bad_info), aad, ct, opened));
    EXPECT_FALSE(hpke_open_base(key, enc, schedule, bad_aad, ct, opened));
    EXPECT_FALSE(hpke_open_base(key, enc, schedule, aad, bad_ct, opened));
    EXPECT_FALSE(hpke_open_base(key, bad_enc, schedule, aad, ct, opened));
  }
}

}  // namespace
}  // namespace vesk::testing
