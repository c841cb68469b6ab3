// The libcrypto wrappers and the compositions built on them, pinned by published vectors.
#include <gtest/gtest.h>

#include "core/check.h"
#include "core/crypto/aead.h"
#include "core/crypto/argon2.h"
#include "core/crypto/hash.h"
#include "core/crypto/hmac.h"
#include "core/crypto/mlkem.h"
#include "core/crypto/x25519.h"
#include "core/crypto/xwing.h"
#include "support/test_util.h"
#include "support/vectors.h"

namespace vesk::testing {
namespace {

using namespace vesk::crypto;

TEST(XWing, KeygenEncapsulationAndDecapsulationMatchVectors) {
  const auto vectors = load_vectors("xwing.json");
  ASSERT_EQ(vectors.size(), 3u);
  for (const auto& v : vectors) {
    const ByteVec seed = hex_field(v, "seed"), pk = hex_field(v, "pk"), eseed = hex_field(v, "eseed"),
                  ct = hex_field(v, "ct"), ss = hex_field(v, "ss");
    XWingSecretKey key = XWingSecretKey::from_seed(as_seed(seed));
    EXPECT_EQ(ByteVec(key.public_key().begin(), key.public_key().end()), pk);

    auto recipient = XWingRecipient::validate(pk);
    ASSERT_TRUE(recipient.has_value());
    auto enc = recipient->encapsulate(eseed);
    ASSERT_TRUE(enc.has_value());
    EXPECT_EQ(ByteVec(enc->first.begin(), enc->first.end()), ct);
    EXPECT_EQ(ByteVec(enc->second.view().begin(), enc->second.view().end()), ss);

    auto dec = key.decapsulate(ct);
    ASSERT_TRUE(dec.has_value());
    EXPECT_EQ(ByteVec(dec->view().begin(), dec->view().end()), ss);
  }
}

TEST(Sha, KnownAnswersAndStreaming) {
  // FIPS 180 examples.
  struct Case {
    std::string msg;
    const char* sha256;
    const char* sha512;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
       "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
       "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
       "204a8fc6dda82f0a0ced7beb8e08a41657c16ef468b228a8279be331a703c33596fd15c13b1b07f9aa1d3bea57789ca031ad85c7a71dd70354ec631238ca3445"},
  };
  for (const Case& c : cases) {
    const Bytes msg = as_bytes(c.msg);
    EXPECT_EQ(to_hex(to_vec(sha256(msg))), c.sha256) << c.msg;
    EXPECT_EQ(to_hex(to_vec(sha512({msg}))), c.sha512) << c.msg;
    // Split anywhere, streamed or as parts, the digest is the same.
    for (std::size_t cut = 0; cut <= msg.size(); cut += 5) {
      Sha256 h;
      h.update(msg.first(cut)).update(msg.subspan(cut));
      EXPECT_EQ(to_hex(to_vec(h.finish())), c.sha256);
      EXPECT_EQ(to_hex(to_vec(sha256({msg.first(cut), msg.subspan(cut)}))), c.sha256);
    }
  }
}

TEST(Hmac, WycheproofSha256) {
  const auto vectors = load_vectors("hmac_sha256_wycheproof.json");
  ASSERT_EQ(vectors.size(), 87u);
  int valid = 0;
  for (const auto& v : vectors) {
    SCOPED_TRACE(v.at("tcId").get<int>());
    const ByteVec key = hex_field(v, "key"), msg = hex_field(v, "msg"), tag = hex_field(v, "tag");
    const Digest32 mac = hmac_sha256(key, {msg});
    const bool match = ct_equal(mac, tag);
    if (v.at("result") == "valid") {
      ++valid;
      EXPECT_TRUE(match);
    } else {
      EXPECT_FALSE(match);
    }
  }
  EXPECT_EQ(valid, 33);
}

TEST(Hkdf, Rfc5869ExtractExpandAndExpandAlone) {
  const auto vectors = load_vectors("hkdf_sha256_rfc5869.json");
  ASSERT_EQ(vectors.size(), 3u);
  for (const auto& v : vectors) {
    SCOPED_TRACE(v.at("name").get<std::string>());
    const ByteVec ikm = hex_field(v, "ikm"), salt = hex_field(v, "salt"), info = hex_field(v, "info"),
                  prk = hex_field(v, "prk"), okm = hex_field(v, "okm");
    const std::size_t len = v.at("L").get<std::size_t>();
    EXPECT_EQ(to_vec(hkdf_extract(salt, ikm).view()), prk);
    EXPECT_EQ(to_vec(hmac_sha256(salt, {ikm})), prk) << "extract is HMAC(salt, ikm)";
    ByteVec out(len);
    hkdf_expand(prk, {info}, out);
    EXPECT_EQ(out, okm);
    ByteVec full(len);
    hkdf(salt, ikm, {info}, full);
    EXPECT_EQ(full, okm);
    // Info given in pieces is their concatenation.
    ByteVec pieces(len);
    const Bytes info_bytes(info);
    hkdf_expand(prk, {info_bytes.first(info.size() / 2), info_bytes.subspan(info.size() / 2)}, pieces);
    EXPECT_EQ(pieces, okm);
    if (len >= 32) {
      EXPECT_EQ(to_vec(hkdf_expand32(prk, {info}).view()), ByteVec(okm.begin(), okm.begin() + 32));
    }
  }
}

TEST(Aead, ChaCha20Poly1305Rfc8439AndWycheproof) {
  const auto vectors = load_vectors("chacha20poly1305_rfc8439.json");
  ASSERT_EQ(vectors.size(), 317u);
  int valid = 0, invalid = 0;
  for (const auto& v : vectors) {
    SCOPED_TRACE(v.at("name").get<std::string>());
    const ByteVec key = hex_field(v, "key"), nonce = hex_field(v, "nonce"), aad = hex_field(v, "aad"),
                  pt = hex_field(v, "pt"), ct = hex_field(v, "ct"), tag = hex_field(v, "tag");
    ByteVec sealed = ct;
    sealed.insert(sealed.end(), tag.begin(), tag.end());
    ByteVec opened(ct.size());
    const bool open_ok = aead_open(key, nonce, aad, sealed, opened);
    if (v.at("result") == "valid") {
      ++valid;
      ByteVec out(pt.size() + kAeadTagLen);
      ASSERT_TRUE(aead_seal(key, nonce, aad, pt, out));
      EXPECT_EQ(out, sealed);
      ASSERT_TRUE(open_ok);
      EXPECT_EQ(opened, pt);
      // The keyed context gives the same, in place, twice in a row.
      ChaChaPoly ctx(key);
      for (int round = 0; round < 2; ++round) {
        ByteVec data = pt;
        std::uint8_t t[kAeadTagLen];
        ASSERT_TRUE(ctx.seal(nonce, aad, data, data, t));
        EXPECT_EQ(data, ct);
        EXPECT_EQ(ByteVec(t, t + kAeadTagLen), tag);
        ASSERT_TRUE(ctx.open(nonce, aad, data, data, tag));
        EXPECT_EQ(data, pt);
      }
    } else {
      ++invalid;
      EXPECT_FALSE(open_ok);
    }
  }
  EXPECT_EQ(valid, 257);
  EXPECT_EQ(invalid, 60);
}

TEST(Aead, SealLeavesNoPlaintextInItsOutputWhenItFails) {
  // Callers seal secrets (a key file's seed, a recipient's content key) into plain buffers, so a
  // seal that stops early must not have copied the plaintext there. A nonce of the wrong length
  // faults before anything is encrypted.
  const ByteVec key(32, 0x07), secret(32, 0xA5);
  for (const ByteVec& nonce : {ByteVec(11, 0), ByteVec(13, 0)}) {
    ByteVec out(secret.size() + kAeadTagLen, 0);
    EXPECT_THROW((void)aead_seal(key, nonce, {}, secret, out), Fault);
    EXPECT_EQ(out, ByteVec(out.size(), 0));
  }
}

TEST(X25519, Rfc7748) {
  const auto vectors = load_vectors("x25519_rfc7748.json");
  int iterated = 0;
  for (const auto& v : vectors) {
    SCOPED_TRACE(v.at("name").get<std::string>());
    const std::string kind = v.at("kind");
    if (kind == "x25519") {
      auto out = x25519(hex_field(v, "scalar"), hex_field(v, "u"));
      ASSERT_TRUE(out.has_value());
      EXPECT_EQ(to_vec(out->view()), hex_field(v, "output"));
    } else if (kind == "dh") {
      const ByteVec a = hex_field(v, "alice_private"), b = hex_field(v, "bob_private");
      EXPECT_EQ(to_vec(x25519_public(a)), hex_field(v, "alice_public"));
      EXPECT_EQ(to_vec(x25519_public(b)), hex_field(v, "bob_public"));
      auto ab = x25519(a, hex_field(v, "bob_public"));
      auto ba = x25519(b, hex_field(v, "alice_public"));
      ASSERT_TRUE(ab && ba);
      EXPECT_EQ(to_vec(ab->view()), hex_field(v, "shared"));
      EXPECT_EQ(to_vec(ba->view()), hex_field(v, "shared"));
    } else if (kind == "iterated") {
      // The 1,000,000-iteration case takes about a minute; 1 and 1000 cover the loop.
      const std::uint64_t n = v.at("iterations").get<std::uint64_t>();
      if (n > 1000) continue;
      ByteVec k(32, 0), u(32, 0);
      k[0] = u[0] = 9;
      for (std::uint64_t i = 0; i < n; ++i) {
        auto next = x25519(k, u);
        ASSERT_TRUE(next.has_value());
        u = k;
        k = to_vec(next->view());
      }
      EXPECT_EQ(k, hex_field(v, "output"));
      ++iterated;
    }
  }
  EXPECT_EQ(iterated, 2);
  // A low-order peer gives the all-zero result, which is refused.
  ByteVec scalar(32, 0x42), zero_point(32, 0);
  EXPECT_FALSE(x25519(scalar, zero_point).has_value());
}

TEST(MlKem768, KeygenAndEncapsulationMatchAcvp) {
  const auto vectors = load_vectors("mlkem768.json");
  int keygen = 0, encap = 0;
  for (const auto& v : vectors) {
    const std::string kind = v.at("kind");
    SCOPED_TRACE(kind + " " + v.at("tcId").dump());
    if (kind == "keygen") {
      ByteVec seed = hex_field(v, "d");
      const ByteVec z = hex_field(v, "z");
      seed.insert(seed.end(), z.begin(), z.end());
      MlKemKey key = MlKemKey::from_seed(seed);
      ByteVec ek(kMlKemPublicLen);
      key.public_key(ek);
      EXPECT_EQ(ek, hex_field(v, "ek"));
      ++keygen;
    } else if (kind == "encap") {
      auto pk = mlkem_import_public(hex_field(v, "ek"));
      ASSERT_TRUE(pk.has_value());
      auto enc = mlkem_encapsulate(pk->get(), hex_field(v, "m"));
      ASSERT_TRUE(enc.has_value());
      EXPECT_EQ(to_vec(enc->ciphertext), hex_field(v, "c"));
      EXPECT_EQ(to_vec(enc->shared.view()), hex_field(v, "k"));
      ++encap;
    }
  }
  EXPECT_EQ(keygen, 25);
  EXPECT_EQ(encap, 25);
  // An encapsulation key with a coefficient of 3329 fails the modulus check.
  ByteVec bad(kMlKemPublicLen, 0);
  bad[0] = 0x01;
  bad[1] = 0x0D;  // 12-bit coefficient 0xD01 = 3329
  EXPECT_FALSE(mlkem_import_public(bad).has_value());
}

TEST(Argon2id, Rfc9106AndKeyFileParameters) {
  const auto vectors = load_vectors("argon2id_rfc9106.json");
  ASSERT_EQ(vectors.size(), 6u);
  for (const auto& v : vectors) {
    SCOPED_TRACE(v.at("name").get<std::string>());
    ASSERT_EQ(v.at("version").get<int>(), 0x13);
    const Argon2Params params{v.at("lanes").get<std::uint32_t>(), v.at("memory_kib").get<std::uint32_t>(),
                              v.at("iterations").get<std::uint32_t>()};
    const ByteVec password = hex_field(v, "password"), salt = hex_field(v, "salt"),
                  secret = hex_field(v, "secret"), ad = hex_field(v, "ad"), tag = hex_field(v, "tag");
    ByteVec out(v.at("length").get<std::size_t>());
    ASSERT_TRUE(argon2id(password, salt, secret, ad, params, out));
    EXPECT_EQ(out, tag);
    if (secret.empty() && ad.empty()) {
      ByteVec plain(out.size());
      ASSERT_TRUE(argon2id(password, salt, params, plain));
      EXPECT_EQ(plain, tag);
    }
  }
  // Parameters libcrypto refuses are reported, not faulted.
  ByteVec out(32), salt(16, 1);
  EXPECT_FALSE(argon2id(as_bytes("pw"), salt, Argon2Params{0, 8192, 1}, out));
  EXPECT_FALSE(argon2id(as_bytes("pw"), salt, Argon2Params{1, 8192, 0}, out));
}

}  // namespace
}  // namespace vesk::testing
