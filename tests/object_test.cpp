// Encrypted containers through the exported functions: round trips, exact layouts, freshness,
// recipient key checks, every refusal with its status, signed containers of both formats (from the
// test writer), untouched out-parameters on every failure, and the 1 GiB round trip.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "core/byte_io.h"
#include "core/crypto/aead.h"
#include "core/crypto/hmac.h"
#include "core/crypto/hpke.h"
#include "core/memory.h"
#include "core/random.h"
#include "core/testing_hooks.h"
#include "ffi/handles.h"
#include "format/container.h"
#include "format/metadata.h"
#include "sign/hybrid.h"
#include "support/container_writer.h"
#include "support/test_util.h"
#include "support/vectors.h"
#include "vesk.h"

namespace vesk::testing {
namespace {

using format::FormatVersion;

// ---- helpers --------------------------------------------------------------------------------

struct Keypair {
  VeskSecretKeyHandle* secret = nullptr;
  ByteVec public_key;
  Keypair() {
    VeskBuffer pub = vesk_buffer_empty();
    EXPECT_EQ(vesk_keypair_generate(&secret, &pub), VESK_OK);
    public_key.assign(pub.data, pub.data + pub.len);
    vesk_buffer_free(&pub);
  }
  ~Keypair() { vesk_secret_key_free(secret); }
  Keypair(const Keypair&) = delete;
  Keypair& operator=(const Keypair&) = delete;
};

// vesk_encrypt; on failure the out-parameter must be untouched.
struct Encrypted {
  VeskStatus status;
  ByteVec bytes;
};
Encrypted encrypt(Bytes plaintext, const ByteVec& recipients, std::size_t count, const char* name = nullptr,
                  const char* type = nullptr) {
  VeskBuffer out = sentinel_buffer();
  Encrypted r{vesk_encrypt(plaintext.data(), plaintext.size(), recipients.data(), count, name, type, &out), {}};
  if (r.status != VESK_OK) {
    EXPECT_TRUE(is_sentinel(out)) << "status " << r.status;
    return r;
  }
  r.bytes.assign(out.data, out.data + out.len);
  EXPECT_EQ(out.len, out.capacity);
  vesk_buffer_free(&out);
  return r;
}
ByteVec encrypt_ok(Bytes plaintext, const ByteVec& recipients, std::size_t count = 1, const char* name = nullptr,
                   const char* type = nullptr) {
  Encrypted r = encrypt(plaintext, recipients, count, name, type);
  EXPECT_EQ(r.status, VESK_OK);
  return r.bytes;
}

// vesk_decrypt with all three outputs; on failure every one must be untouched.
struct Decrypted {
  VeskStatus status;
  ByteVec plaintext;
  std::string file_name;
  std::string content_type;
};
Decrypted decrypt(Bytes container, const VeskSecretKeyHandle* key) {
  VeskBuffer plain = sentinel_buffer(), name = sentinel_buffer(), type = sentinel_buffer();
  Decrypted r{vesk_decrypt(container.data(), container.size(), key, &plain, &name, &type), {}, {}, {}};
  if (r.status != VESK_OK) {
    EXPECT_TRUE(is_sentinel(plain) && is_sentinel(name) && is_sentinel(type)) << "status " << r.status;
    return r;
  }
  r.plaintext.assign(plain.data, plain.data + plain.len);
  r.file_name.assign(reinterpret_cast<const char*>(name.data), name.len);
  r.content_type.assign(reinterpret_cast<const char*>(type.data), type.len);
  EXPECT_EQ(plain.len, plain.capacity);
  for (VeskBuffer* b : {&plain, &name, &type}) vesk_buffer_free(b);
  return r;
}

// The container taken apart by hand: prelude fields, header block, payload salt and chunks.
struct Chunk {
  std::size_t offset;  // of its type byte
  std::uint8_t type;
  std::uint32_t len;
};
struct Layout {
  std::uint8_t version = 0, signed_flag = 0;
  std::uint32_t header_len = 0;
  ByteVec body, mac, salt;
  std::vector<Chunk> chunks;
  std::size_t end = 0;
};
Layout parse_layout(const ByteVec& c) {
  Layout l;
  ByteReader r(c);
  auto prelude = r.read(16);
  if (!prelude) return l;
  l.version = (*prelude)[9];
  l.signed_flag = (*prelude)[11];
  l.header_len = load_be32(prelude->data() + 12);
  auto block = r.read(l.header_len);
  if (!block) return l;
  auto decoded = format::decode_header_block(*block);
  if (!decoded) return l;
  l.body.assign(decoded->body.begin(), decoded->body.end());
  l.mac.assign(decoded->mac.begin(), decoded->mac.end());
  auto salt = r.read(16);
  if (!salt) return l;
  l.salt.assign(salt->begin(), salt->end());
  while (!r.at_end()) {
    const std::size_t at = r.position();
    auto type = r.read_u8();
    auto len = r.read_be32();
    if (!type || !len || !r.skip(*len)) break;
    l.chunks.push_back({at, *type, *len});
  }
  l.end = r.position();
  return l;
}

// Two equally long values drawn or derived afresh look independent: they differ, and they agree
// in no more byte positions than chance allows. Independent bytes agree with probability 1/256;
// the bound is six standard deviations above the mean plus six, so that a correct run fails far
// less often than once in a billion, while a repeated value or a repeated stretch of a handful of
// bytes fails.
::testing::AssertionResult look_independent(Bytes a, Bytes b) {
  if (a.size() != b.size()) return ::testing::AssertionFailure() << "lengths " << a.size() << " and " << b.size();
  std::size_t same = 0;
  for (std::size_t i = 0; i < a.size(); ++i) same += a[i] == b[i];
  const double mean = static_cast<double>(a.size()) / 256.0;
  const double bound = mean + 6.0 * std::sqrt(mean) + 6.0;
  if (a.size() > 0 && same == a.size()) return ::testing::AssertionFailure() << "equal values";
  if (static_cast<double>(same) > bound)
    return ::testing::AssertionFailure() << same << " of " << a.size() << " positions agree (at most " << bound << ")";
  return ::testing::AssertionSuccess();
}

class ObjectTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    a_ = new Keypair;
    b_ = new Keypair;
    c_ = new Keypair;
    identity_ = sign::SigningIdentity::from_seed(test_bytes(32, 99)).release();
  }
  static void TearDownTestSuite() {
    delete a_;
    delete b_;
    delete c_;
    delete identity_;
  }
  static Keypair* a_;
  static Keypair* b_;
  static Keypair* c_;
  static sign::SigningIdentity* identity_;
};
Keypair* ObjectTest::a_ = nullptr;
Keypair* ObjectTest::b_ = nullptr;
Keypair* ObjectTest::c_ = nullptr;
sign::SigningIdentity* ObjectTest::identity_ = nullptr;

// ---- round trips ----------------------------------------------------------------------------

TEST_F(ObjectTest, RoundTripsOfEverySizeAndMetadataForm) {
  struct Texts {
    const char* name;
    const char* type;
  };
  const Texts texts[] = {{nullptr, nullptr}, {"report.pdf", nullptr}, {nullptr, "application/pdf"},
                         {"naïve résumé.txt", "text/plain; charset=utf-8"}};
  const std::size_t sizes[] = {0, 1, 65535, 65536, 65537, 3 * 65536, (5u << 20) + 3};
  for (std::size_t size : sizes) {
    const ByteVec plaintext = test_bytes(size, static_cast<std::uint32_t>(size));
    for (const Texts& t : texts) {
      SCOPED_TRACE(::testing::Message() << size << " bytes, name " << (t.name ? t.name : "-") << ", type "
                                        << (t.type ? t.type : "-"));
      const ByteVec container = encrypt_ok(plaintext, a_->public_key, 1, t.name, t.type);
      const Decrypted d = decrypt(container, a_->secret);
      ASSERT_EQ(d.status, VESK_OK);
      EXPECT_EQ(d.plaintext, plaintext);
      EXPECT_EQ(d.file_name, t.name ? t.name : "");
      EXPECT_EQ(d.content_type, t.type ? t.type : "");
    }
  }
  // A NULL plaintext pointer with length 0, and NULL optional outputs.
  VeskBuffer out = vesk_buffer_empty();
  ASSERT_EQ(vesk_encrypt(nullptr, 0, a_->public_key.data(), 1, "x", nullptr, &out), VESK_OK);
  VeskBuffer plain = sentinel_buffer();
  ASSERT_EQ(vesk_decrypt(out.data, out.len, a_->secret, &plain, nullptr, nullptr), VESK_OK);
  EXPECT_EQ(plain.len, 0u);
  EXPECT_EQ(plain.capacity, 0u);
  vesk_buffer_free(&plain);
  vesk_buffer_free(&out);
}

TEST_F(ObjectTest, EveryRecipientOpensAndOthersDoNot) {
  const ByteVec plaintext = test_bytes(70000, 5);
  const ByteVec container = encrypt_ok(plaintext, cat({a_->public_key, b_->public_key}), 2, "both.bin", "x/y");
  for (Keypair* k : {a_, b_}) {
    const Decrypted d = decrypt(container, k->secret);
    ASSERT_EQ(d.status, VESK_OK);
    EXPECT_EQ(d.plaintext, plaintext);
    EXPECT_EQ(d.file_name, "both.bin");
    EXPECT_EQ(d.content_type, "x/y");
  }
  EXPECT_EQ(decrypt(container, c_->secret).status, VESK_NO_MATCHING_RECIPIENT);

  // 64 recipients: the first, a middle one and the last all open; entries keep the caller's order.
  std::vector<std::unique_ptr<Keypair>> many;
  std::vector<Bytes> keys;
  for (int i = 0; i < 64; ++i) {
    many.push_back(std::make_unique<Keypair>());
    keys.push_back(many.back()->public_key);
  }
  const ByteVec wide = encrypt_ok(plaintext, cat(keys), 64);
  auto header = format::decode_header(parse_layout(wide).body);
  ASSERT_TRUE(header.has_value());
  ASSERT_EQ(header->recipients.size(), 64u);
  for (int i : {0, 31, 63}) {
    SCOPED_TRACE(i);
    const Decrypted d = decrypt(wide, many[i]->secret);
    ASSERT_EQ(d.status, VESK_OK);
    EXPECT_EQ(d.plaintext, plaintext);
  }
  EXPECT_EQ(decrypt(wide, a_->secret).status, VESK_NO_MATCHING_RECIPIENT);
}

// ---- layouts ----------------------------------------------------------------------------------

TEST_F(ObjectTest, ExactLayoutOfWhatEncryptionWrites) {
  struct Case {
    std::size_t size;
    std::vector<std::pair<std::uint8_t, std::uint32_t>> chunks;  // type, ciphertext length
  };
  const Case cases[] = {
      {0, {{2, 16}}},
      {1, {{2, 17}}},
      {65535, {{2, 65551}}},
      {65536, {{2, 65552}}},
      {65537, {{1, 65552}, {2, 17}}},
      {131072, {{1, 65552}, {2, 65552}}},
      {200000, {{1, 65552}, {1, 65552}, {1, 65552}, {2, 3392 + 16}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const ByteVec container = encrypt_ok(test_bytes(c.size), a_->public_key, 1, "f", "t");
    const Layout l = parse_layout(container);
    EXPECT_EQ(std::memcmp(container.data(), "VESK\r\n\x1a\n\x00\x01\x01\x00", 12), 0);
    EXPECT_EQ(l.version, 1);
    EXPECT_EQ(l.signed_flag, 0);
    ASSERT_EQ(l.chunks.size(), c.chunks.size());
    std::size_t framed = 0;
    for (std::size_t i = 0; i < c.chunks.size(); ++i) {
      EXPECT_EQ(l.chunks[i].type, c.chunks[i].first);
      EXPECT_EQ(l.chunks[i].len, c.chunks[i].second);
      framed += 5 + l.chunks[i].len;
    }
    EXPECT_EQ(l.end, container.size());
    EXPECT_EQ(container.size(), 16 + l.header_len + 16 + framed);
    EXPECT_EQ(container.size(), 16 + l.header_len + 16 + c.size + 21 * c.chunks.size());

    auto header = format::decode_header(l.body);
    ASSERT_TRUE(header.has_value());
    EXPECT_FALSE(header->signature.has_value());
    EXPECT_TRUE(header->extensions.empty());
    ASSERT_EQ(header->recipients.size(), 1u);
    EXPECT_EQ(header->recipients[0].type, 1);
    // The empty signature array closes the body: key 5, then 0x80.
    ASSERT_GE(l.body.size(), 2u);
    EXPECT_EQ(l.body[l.body.size() - 2], 0x05);
    EXPECT_EQ(l.body.back(), 0x80);
    // Metadata of "f" and "t": the 7-byte map plus the tag.
    EXPECT_EQ(header->encrypted_metadata.size(), 7u + 16u);
  }
}

TEST_F(ObjectTest, TwoEncryptionsOfTheSameInputShareOnlyTheirStructure) {
  const ByteVec plaintext = test_bytes(140000, 3);
  const ByteVec recipients = cat({a_->public_key, b_->public_key});
  const ByteVec x = encrypt_ok(plaintext, recipients, 2, "same.txt", "text/plain");
  const ByteVec y = encrypt_ok(plaintext, recipients, 2, "same.txt", "text/plain");
  ASSERT_EQ(x.size(), y.size());
  EXPECT_EQ(ByteVec(x.begin(), x.begin() + 16), ByteVec(y.begin(), y.begin() + 16));
  const Layout lx = parse_layout(x), ly = parse_layout(y);
  auto hx = format::decode_header(lx.body), hy = format::decode_header(ly.body);
  ASSERT_TRUE(hx && hy);
  // Every value drawn or derived afresh differs, byte position by byte position, as chance has it.
  EXPECT_TRUE(look_independent(hx->object_id, hy->object_id));
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_TRUE(look_independent(hx->recipients[i].encapsulation(), hy->recipients[i].encapsulation()));
    EXPECT_TRUE(look_independent(hx->recipients[i].wrapped_cek(), hy->recipients[i].wrapped_cek()));
  }
  EXPECT_TRUE(look_independent(hx->encrypted_metadata, hy->encrypted_metadata));
  EXPECT_TRUE(look_independent(lx.mac, ly.mac));
  EXPECT_TRUE(look_independent(lx.salt, ly.salt));
  ASSERT_EQ(lx.chunks.size(), ly.chunks.size());
  for (std::size_t i = 0; i < lx.chunks.size(); ++i) {
    const Bytes cx = Bytes(x).subspan(lx.chunks[i].offset + 5, lx.chunks[i].len);
    const Bytes cy = Bytes(y).subspan(ly.chunks[i].offset + 5, ly.chunks[i].len);
    EXPECT_TRUE(look_independent(cx, cy)) << "chunk " << i;
  }
}

// Every layer of what vesk_encrypt writes, opened here with inputs spelled out by hand: the HPKE
// info and associated data of the wrapped key, HKDF written with HMAC, the header MAC over the
// prelude and body, the metadata's zero nonce and associated data, and each chunk's nonce and
// associated data.
TEST_F(ObjectTest, WhatEncryptionWritesOpensByHand) {
  const ByteVec plaintext = test_bytes(65536 + 7, 21);
  const ByteVec container = encrypt_ok(plaintext, cat({b_->public_key, a_->public_key}), 2, "h.txt", "a/b");
  const Layout l = parse_layout(container);
  auto header = format::decode_header(l.body);
  ASSERT_TRUE(header.has_value());
  const ByteVec object_id(header->object_id.begin(), header->object_id.end());
  const ByteVec tag01 = {0x00, 0x01};

  // The second entry is a's: HPKE base mode with info "VESK/0.1 object-key" || id || 00 01.
  const auto key = crypto::XWingSecretKey::from_seed(ffi::seed_of(a_->secret));
  const crypto::HpkeKeySchedule schedule(crypto::kHpkeKemXWing, cat({as_bytes("VESK/0.1 object-key"), object_id, tag01}));
  ByteVec cek(32);
  ASSERT_TRUE(crypto::hpke_open_base(key, header->recipients[1].encapsulation(), schedule, cat({object_id, tag01}),
                                     header->recipients[1].wrapped_cek(), cek));
  ByteVec other(32);
  EXPECT_FALSE(crypto::hpke_open_base(key, header->recipients[0].encapsulation(), schedule, cat({object_id, tag01}),
                                      header->recipients[0].wrapped_cek(), other));

  const ByteVec mac_key = hkdf_by_hand(object_id, cek, as_bytes("VESK/0.1 header-mac"));
  const auto mac = crypto::hmac_sha256(mac_key, {Bytes(container).first(16), l.body});
  EXPECT_EQ(ByteVec(mac.begin(), mac.end()), l.mac);

  const ByteVec metadata_key = hkdf_by_hand(object_id, cek, as_bytes("VESK/0.1 metadata"));
  ByteVec metadata(header->encrypted_metadata.size() - 16);
  ASSERT_TRUE(crypto::aead_open(metadata_key, ByteVec(12, 0), cat({as_bytes("VESK/0.1 metadata"), object_id, tag01}),
                                header->encrypted_metadata, metadata));
  const ByteVec expected_metadata = cat({ByteVec{0xa2, 0x01, 0x65}, as_bytes("h.txt"), ByteVec{0x02, 0x63}, as_bytes("a/b")});
  EXPECT_EQ(metadata, expected_metadata);

  const ByteVec payload_key = hkdf_by_hand(l.salt, cek, cat({as_bytes("VESK/0.1 payload"), object_id}));
  const auto header_hash = crypto::sha256(l.body);
  ASSERT_EQ(l.chunks.size(), 2u);
  ByteVec opened;
  for (std::uint64_t i = 0; i < 2; ++i) {
    const Chunk& c = l.chunks[i];
    const std::uint32_t len = c.len - 16;
    ByteVec nonce(12, 0), index(8), length(4);
    store_be64(index.data(), i);
    store_be32(length.data(), len);
    std::copy(index.begin(), index.end(), nonce.begin() + 3);
    nonce[11] = i == 1 ? 1 : 0;
    const ByteVec aad = cat({as_bytes("VESK/0.1 chunk"), object_id, header_hash, index, ByteVec{c.type}, length});
    ByteVec part(len);
    ASSERT_TRUE(crypto::aead_open(payload_key, nonce, aad, Bytes(container).subspan(c.offset + 5, c.len), part));
    opened.insert(opened.end(), part.begin(), part.end());
  }
  EXPECT_EQ(opened, plaintext);
}

// ---- encryption refusals ----------------------------------------------------------------------

ByteVec with_x25519(ByteVec key, std::initializer_list<std::uint8_t> le_prefix, std::uint8_t fill,
                    std::uint8_t last) {
  std::fill(key.end() - 32, key.end(), fill);
  std::size_t i = key.size() - 32;
  for (std::uint8_t b : le_prefix) key[i++] = b;
  key.back() = last;
  return key;
}

TEST_F(ObjectTest, UnusableRecipientKeysAreRefused) {
  const ByteVec pt = test_bytes(100);
  const ByteVec& good = a_->public_key;
  ByteVec coefficient = good;  // the first ML-KEM coefficient set to 3329 (0xd01)
  coefficient[0] = 0x01;
  coefficient[1] = static_cast<std::uint8_t>((coefficient[1] & 0xf0) | 0x0d);
  ByteVec top_bit = good;
  top_bit.back() = 0x80;
  const ByteVec order8_a = [&] {
    ByteVec k = good;
    const ByteVec p = from_hex("e0eb7a7c3b41b8ae1656e3faf19fc46ada098deb9c32b1fd866205165f49b800");
    std::copy(p.begin(), p.end(), k.end() - 32);
    return k;
  }();
  const ByteVec order8_b = [&] {
    ByteVec k = good;
    const ByteVec p = from_hex("5f9c95bca3508c24b1d0b1559c83ef5b04445cc4581c8e86d8224eddd09f1157");
    std::copy(p.begin(), p.end(), k.end() - 32);
    return k;
  }();
  struct Case {
    const char* name;
    ByteVec key;
  };
  const Case degenerate[] = {
      {"X25519 zero", with_x25519(good, {}, 0x00, 0x00)},
      {"X25519 one", with_x25519(good, {0x01}, 0x00, 0x00)},
      {"X25519 p - 1", with_x25519(good, {0xec}, 0xff, 0x7f)},
      {"X25519 p", with_x25519(good, {0xed}, 0xff, 0x7f)},
      {"X25519 p + 1", with_x25519(good, {0xee}, 0xff, 0x7f)},
      {"X25519 p + 2", with_x25519(good, {0xef}, 0xff, 0x7f)},
      {"X25519 byte 31 = 0x80", top_bit},
      {"X25519 order 8 (a)", order8_a},
      {"X25519 order 8 (b)", order8_b},
      {"ML-KEM coefficient 3329", coefficient},
  };
  for (const Case& c : degenerate) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(encrypt(pt, c.key, 1).status, VESK_INVALID_ARGUMENT);
    // Among valid keys, in any position.
    EXPECT_EQ(encrypt(pt, cat({good, c.key}), 2).status, VESK_INVALID_ARGUMENT);
    EXPECT_EQ(encrypt(pt, cat({c.key, good}), 2).status, VESK_INVALID_ARGUMENT);
    // Refused before anything random is drawn: with the randomness source failing, the refusal
    // is still an invalid argument (a draw would have failed first, as an authentication failure).
    testing_hooks::force_random_failure(EIO);
    EXPECT_EQ(encrypt(pt, c.key, 1).status, VESK_INVALID_ARGUMENT);
    testing_hooks::force_random_failure(0);
  }
  // p - 2 is an ordinary point.
  const ByteVec p_minus_2 = with_x25519(good, {0xeb}, 0xff, 0x7f);
  EXPECT_EQ(encrypt(pt, p_minus_2, 1).status, VESK_OK);

  // A failing randomness source after validation is reported as an authentication failure.
  testing_hooks::force_random_failure(EIO);
  EXPECT_EQ(encrypt(pt, good, 1).status, VESK_AUTHENTICATION_FAILED);
  testing_hooks::force_random_failure(0);
}

TEST_F(ObjectTest, MetadataTextRulesAtEncryption) {
  struct Case {
    const char* name;
    const char* type;
    VeskStatus status;
  };
  const Case cases[] = {
      {"ok.txt", "text/plain", VESK_OK},
      {"COM0", nullptr, VESK_OK},
      {"console", nullptr, VESK_OK},
      {"CON_x", nullptr, VESK_OK},
      {"", nullptr, VESK_MALFORMED_INPUT},
      {"a/b", nullptr, VESK_MALFORMED_INPUT},
      {"con.txt", nullptr, VESK_MALFORMED_INPUT},
      {"LPT9", nullptr, VESK_MALFORMED_INPUT},
      {"end.", nullptr, VESK_MALFORMED_INPUT},
      {"end ", nullptr, VESK_MALFORMED_INPUT},
      {"c:d", nullptr, VESK_MALFORMED_INPUT},
      {nullptr, "", VESK_MALFORMED_INPUT},
      {nullptr, "a\tb", VESK_MALFORMED_INPUT},
      {nullptr, "a\x7f", VESK_MALFORMED_INPUT},
      {nullptr, "é", VESK_MALFORMED_INPUT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.name ? c.name : "-") << " / " << (c.type ? c.type : "-"));
    EXPECT_EQ(encrypt(test_bytes(10), a_->public_key, 1, c.name, c.type).status, c.status);
  }
}

// ---- decryption refusals ----------------------------------------------------------------------

TEST_F(ObjectTest, AlteredContainersAreRefusedWithTheirStatus) {
  const ByteVec base = encrypt_ok(test_bytes(3 * 65536 + 100, 8), a_->public_key, 1, "n.txt", "t/t");
  const Layout l = parse_layout(base);
  ASSERT_EQ(l.chunks.size(), 4u);
  const std::size_t body_at = 16 + (l.header_len - l.body.size() - 34);
  using Edit = std::function<void(ByteVec&)>;
  auto set = [](std::size_t at, std::uint8_t v) -> Edit { return [=](ByteVec& c) { c[at] = v; }; };
  auto flip = [](std::size_t at) -> Edit { return [=](ByteVec& c) { c[at] ^= 0x01; }; };
  auto set_len = [](std::uint32_t v) -> Edit { return [=](ByteVec& c) { store_be32(c.data() + 12, v); }; };
  struct Case {
    const char* name;
    Edit edit;
    VeskStatus status;
  };
  const Case cases[] = {
      {"unchanged", [](ByteVec&) {}, VESK_OK},
      {"empty", [](ByteVec& c) { c.clear(); }, VESK_MALFORMED_INPUT},
      {"15 bytes", [](ByteVec& c) { c.resize(15); }, VESK_MALFORMED_INPUT},
      {"prelude only", [](ByteVec& c) { c.resize(16); }, VESK_MALFORMED_INPUT},
      {"magic", set(0, 'W'), VESK_MALFORMED_INPUT},
      {"byte 8", set(8, 1), VESK_MALFORMED_INPUT},
      {"version 0", set(9, 0), VESK_MALFORMED_INPUT},
      {"byte 10", set(10, 2), VESK_MALFORMED_INPUT},
      {"signed flag 2", set(11, 2), VESK_MALFORMED_INPUT},
      {"format 0.5 signed", [](ByteVec& c) { c[9] = 2; c[11] = 1; }, VESK_MALFORMED_INPUT},
      {"header length 0", set_len(0), VESK_MALFORMED_INPUT},
      {"header length 1048577", set_len(1048577), VESK_MALFORMED_INPUT},
      {"header length past the end", set_len(static_cast<std::uint32_t>(base.size() - 16 + 1)), VESK_MALFORMED_INPUT},
      {"header length one short", set_len(l.header_len - 1), VESK_MALFORMED_INPUT},
      {"signed flag set", set(11, 1), VESK_NO_MATCHING_RECIPIENT},
      {"format 0.5", set(9, 2), VESK_NO_MATCHING_RECIPIENT},
      {"object id", flip(body_at + 6), VESK_NO_MATCHING_RECIPIENT},
      {"encapsulation", flip(body_at + 60), VESK_NO_MATCHING_RECIPIENT},
      {"header MAC", flip(16 + l.header_len - 1), VESK_NO_MATCHING_RECIPIENT},
      {"payload salt", flip(16 + l.header_len), VESK_AUTHENTICATION_FAILED},
      {"chunk ciphertext", flip(l.chunks[1].offset + 100), VESK_AUTHENTICATION_FAILED},
      {"last chunk tag", [](ByteVec& c) { c.back() ^= 0x80; }, VESK_AUTHENTICATION_FAILED},
      {"chunks swapped",
       [&](ByteVec& c) {
         std::swap_ranges(c.begin() + l.chunks[0].offset, c.begin() + l.chunks[1].offset,
                          c.begin() + l.chunks[1].offset);
       },
       VESK_AUTHENTICATION_FAILED},
      {"first chunk relabelled last", set(l.chunks[0].offset, 2), VESK_AUTHENTICATION_FAILED},
      {"chunk type 3", set(l.chunks[0].offset, 3), VESK_MALFORMED_INPUT},
      {"chunk length 65551", [&](ByteVec& c) { store_be32(c.data() + l.chunks[0].offset + 1, 65551); },
       VESK_MALFORMED_INPUT},
      {"last byte removed", [](ByteVec& c) { c.pop_back(); }, VESK_MALFORMED_INPUT},
      {"last chunk removed", [&](ByteVec& c) { c.resize(l.chunks[3].offset); }, VESK_MALFORMED_INPUT},
      {"cut inside a chunk header", [&](ByteVec& c) { c.resize(l.chunks[2].offset + 3); }, VESK_MALFORMED_INPUT},
      {"no chunk", [&](ByteVec& c) { c.resize(16 + l.header_len + 16); }, VESK_MALFORMED_INPUT},
      {"salt cut", [&](ByteVec& c) { c.resize(16 + l.header_len + 15); }, VESK_MALFORMED_INPUT},
      {"byte appended", [](ByteVec& c) { c.push_back(0); }, VESK_MALFORMED_INPUT},
      {"last chunk repeated",
       [&](ByteVec& c) { c.insert(c.end(), base.begin() + l.chunks[3].offset, base.end()); }, VESK_MALFORMED_INPUT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ByteVec container = base;
    c.edit(container);
    const Decrypted d = decrypt(container, a_->secret);
    EXPECT_EQ(d.status, c.status);
    if (c.status == VESK_OK) {
      EXPECT_EQ(d.plaintext, test_bytes(3 * 65536 + 100, 8));
    }
  }
  // An empty plaintext's single chunk of 16 bytes may not follow another chunk.
  const ByteVec two = encrypt_ok(test_bytes(65536 + 1), a_->public_key);
  const Layout lt = parse_layout(two);
  ASSERT_EQ(lt.chunks.size(), 2u);
  ByteVec cut = two;
  store_be32(cut.data() + lt.chunks[1].offset + 1, 16);
  cut.resize(lt.chunks[1].offset + 5 + 16);
  EXPECT_EQ(decrypt(cut, a_->secret).status, VESK_MALFORMED_INPUT);
}

// A failed decryption wipes the plaintext it had accumulated over the whole allocation before
// releasing it: the last chunk fails its tag after the first ones were opened.
struct Release {
  std::size_t wiped = 0;
  std::size_t capacity = 0;
  bool all_zero = false;
};
std::vector<Release>* g_releases = nullptr;
void record_release(const std::uint8_t* data, std::size_t wiped, std::size_t capacity) {
  if (g_releases == nullptr) return;
  bool zero = true;
  for (std::size_t i = 0; i < capacity && zero; ++i) zero = data[i] == 0;
  g_releases->push_back({wiped, capacity, zero});
}

TEST_F(ObjectTest, FailedDecryptionWipesThePartialPlaintext) {
  for (std::size_t size : {std::size_t{3 * 65536 + 10}, std::size_t{(6u << 20) + 10}}) {  // heap, then mapped
    SCOPED_TRACE(size);
    ByteVec container = encrypt_ok(test_bytes(size, 9), a_->public_key);
    container.back() ^= 0x01;
    std::vector<Release> releases;
    g_releases = &releases;
    testing_hooks::set_release_hook(record_release);
    const Decrypted d = decrypt(container, a_->secret);
    testing_hooks::set_release_hook(nullptr);
    g_releases = nullptr;
    EXPECT_EQ(d.status, VESK_AUTHENTICATION_FAILED);
    bool found = false;
    for (const Release& r : releases) {
      if (r.capacity != size) continue;
      found = true;
      EXPECT_EQ(r.wiped, r.capacity);
      EXPECT_TRUE(r.all_zero);
    }
    EXPECT_TRUE(found) << "no release of the plaintext's allocation";
  }
}

// ---- written by the test writer ---------------------------------------------------------------

TEST_F(ObjectTest, HeaderAndMetadataRulesOfWhatOthersMayWrite) {
  const ByteVec plaintext = test_bytes(70000, 4);
  auto valid_entry = [] { return WriterEntry{1, {test_bytes(1120, 1), test_bytes(48, 2)}}; };
  using Change = std::function<void(ContainerSpec&)>;
  auto signed05 = [](ContainerSpec& s) {
    s.version_byte = 2;
    s.signature = SignaturePlace::Header;
    s.signer = identity_;
  };
  struct Case {
    const char* name;
    Change change;
    VeskStatus status;
  };
  const Case cases[] = {
      {"as written by the library", [](ContainerSpec&) {}, VESK_OK},
      {"unknown type carried and skipped",
       [](ContainerSpec& s) { s.entries_before = {{7, {test_bytes(9), test_bytes(2)}}}; }, VESK_OK},
      {"foreign type-1 entry tried first", [&](ContainerSpec& s) { s.entries_before = {valid_entry()}; }, VESK_OK},
      {"64 entries", [&](ContainerSpec& s) { s.entries_after.assign(63, valid_entry()); }, VESK_OK},
      {"65 entries", [&](ContainerSpec& s) { s.entries_after.assign(64, valid_entry()); }, VESK_MALFORMED_INPUT},
      {"1119-byte encapsulation",
       [](ContainerSpec& s) { s.entries_after = {{1, {test_bytes(1119), test_bytes(48)}}}; }, VESK_MALFORMED_INPUT},
      {"header version 2", [](ContainerSpec& s) { s.header_version = 2; }, VESK_MALFORMED_INPUT},
      {"header key 6",
       [](ContainerSpec& s) {
         s.edit_body = [](ByteVec& b) {
           b[0] += 1;
           b.push_back(0x06);
           b.push_back(0x40);
         };
       },
       VESK_MALFORMED_INPUT},
      {"extension 64 of 65536 bytes",
       [](ContainerSpec& s) { s.header_extensions = {{64, test_bytes(65536)}}; }, VESK_OK},
      {"metadata extension", [](ContainerSpec& s) { s.metadata_extensions = {{70, test_bytes(3)}}; }, VESK_OK},
      {"reserved file name", [](ContainerSpec& s) { s.file_name = "con.txt"; }, VESK_MALFORMED_INPUT},
      {"empty file name", [](ContainerSpec& s) { s.file_name = ""; }, VESK_MALFORMED_INPUT},
      {"file name with colon", [](ContainerSpec& s) { s.file_name = "a:b"; }, VESK_MALFORMED_INPUT},
      {"content type with DEL", [](ContainerSpec& s) { s.content_type = "a\x7f"; }, VESK_MALFORMED_INPUT},
      {"metadata altered by a holder of the key", [](ContainerSpec& s) { s.corrupt_metadata = true; },
       VESK_AUTHENTICATION_FAILED},
      {"format 0.5, signed", signed05, VESK_OK},
      {"format 0.5 with a header extension",
       [&](ContainerSpec& s) {
         signed05(s);
         s.header_extensions = {{64, test_bytes(65536)}};
       },
       VESK_MALFORMED_INPUT},
      {"format 0.5 with an unknown recipient type",
       [&](ContainerSpec& s) {
         signed05(s);
         s.edit_body = nullptr;
         s.entries_after = {{7, {}}};
       },
       VESK_MALFORMED_INPUT},
      {"format 0.5 with a metadata extension",
       [&](ContainerSpec& s) {
         signed05(s);
         s.metadata_extensions = {{64, {}}};
       },
       VESK_MALFORMED_INPUT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ContainerSpec spec;
    spec.recipients = {a_->public_key};
    spec.file_name = "w.bin";
    c.change(spec);
    if (spec.signature != SignaturePlace::None && spec.version_byte == 2) {
      // The transcript of format 0.5 lists type-1 entries only; sign without the unknown one.
      for (const WriterEntry& e : spec.entries_after)
        if (e.type != 1) spec.signature = SignaturePlace::None, spec.signer = nullptr;
    }
    const ByteVec container = write_container(spec, plaintext);
    const Decrypted d = decrypt(container, a_->secret);
    EXPECT_EQ(d.status, c.status);
    if (d.status == VESK_OK) {
      EXPECT_EQ(d.plaintext, plaintext);
      EXPECT_EQ(d.file_name, "w.bin");
    }
  }
}

// A 32-byte string that is not the encoding of an Ed25519 point, found by search.
ByteVec undecodable_verifying_key(const sign::SigningIdentity& identity) {
  ByteVec key(identity.verifying_key().begin(), identity.verifying_key().end());
  for (std::uint8_t y = 2; y < 255; ++y) {
    std::fill(key.begin(), key.begin() + 32, 0);
    key[0] = y;
    if (!sign::decode_verifying_key(key)) return key;
  }
  ADD_FAILURE() << "no undecodable point found";
  return key;
}

TEST_F(ObjectTest, SignedContainersOfBothFormats) {
  const ByteVec plaintext = test_bytes(100000, 6);
  const ByteVec bad_key = undecodable_verifying_key(*identity_);
  const sign::SigningIdentity* signer = identity_;
  struct Case {
    const char* name;
    std::uint8_t version;
    std::uint8_t flag;
    SignaturePlace place;
    std::function<void(ContainerSpec&)> change;
    VeskStatus status;
  };
  auto none = [](ContainerSpec&) {};
  const Case cases[] = {
      {"1.0 unsigned", 1, 0, SignaturePlace::None, none, VESK_OK},
      {"1.0 header signature", 1, 1, SignaturePlace::Header, none, VESK_OK},
      {"1.0 metadata signature", 1, 1, SignaturePlace::Metadata, none, VESK_OK},
      {"1.0 signed with extensions and an unknown entry", 1, 1, SignaturePlace::Header,
       [](ContainerSpec& s) {
         s.header_extensions = {{64, test_bytes(5)}, {999, {}}};
         s.metadata_extensions = {{100, test_bytes(7)}};
         s.entries_after = {{9, {test_bytes(4)}}};
       },
       VESK_OK},
      {"0.5 header signature", 2, 0, SignaturePlace::Header, none, VESK_OK},
      {"0.5 metadata signature", 2, 0, SignaturePlace::Metadata, none, VESK_OK},
      {"1.0 both places", 1, 1, SignaturePlace::Both, none, VESK_MALFORMED_INPUT},
      {"0.5 both places", 2, 0, SignaturePlace::Both, none, VESK_MALFORMED_INPUT},
      {"1.0 missing", 1, 1, SignaturePlace::None, none, VESK_MALFORMED_INPUT},
      {"0.5 missing", 2, 0, SignaturePlace::None, none, VESK_MALFORMED_INPUT},
      {"1.0 unexpected in the header", 1, 0, SignaturePlace::Header, none, VESK_MALFORMED_INPUT},
      {"1.0 unexpected in the metadata", 1, 0, SignaturePlace::Metadata, none, VESK_MALFORMED_INPUT},
      {"1.0 bad signature", 1, 1, SignaturePlace::Header, [](ContainerSpec& s) { s.corrupt_signature = true; },
       VESK_MALFORMED_INPUT},
      {"0.5 bad signature", 2, 0, SignaturePlace::Metadata, [](ContainerSpec& s) { s.corrupt_signature = true; },
       VESK_MALFORMED_INPUT},
      {"1.0 undecodable key", 1, 1, SignaturePlace::Header, [&](ContainerSpec& s) { s.verifying_key = bad_key; },
       VESK_MALFORMED_INPUT},
      {"0.5 undecodable key", 2, 0, SignaturePlace::Metadata, [&](ContainerSpec& s) { s.verifying_key = bad_key; },
       VESK_MALFORMED_INPUT},
      {"1.0 signed as 0.5", 1, 1, SignaturePlace::Header,
       [](ContainerSpec& s) { s.transcript = FormatVersion::V0_5; }, VESK_MALFORMED_INPUT},
      {"0.5 signed as 1.0", 2, 0, SignaturePlace::Header,
       [](ContainerSpec& s) { s.transcript = FormatVersion::V1_0; }, VESK_MALFORMED_INPUT},
      {"1.0 signed over another plaintext", 1, 1, SignaturePlace::Metadata,
       [](ContainerSpec& s) { s.signed_plaintext = test_bytes(100000, 7); }, VESK_MALFORMED_INPUT},
      {"0.5 signed over a shorter plaintext", 2, 0, SignaturePlace::Header,
       [](ContainerSpec& s) { s.signed_plaintext = test_bytes(99999, 6); }, VESK_MALFORMED_INPUT},
      {"1.0 signed, then the metadata altered", 1, 1, SignaturePlace::Header,
       [](ContainerSpec& s) { s.corrupt_metadata = true; }, VESK_AUTHENTICATION_FAILED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ContainerSpec spec;
    spec.version_byte = c.version;
    spec.signed_flag = c.flag;
    spec.recipients = {b_->public_key, a_->public_key};
    spec.file_name = "signed.doc";
    spec.content_type = "application/octet-stream";
    spec.signature = c.place;
    spec.signer = signer;
    c.change(spec);
    const ByteVec container = write_container(spec, plaintext);
    const Decrypted d = decrypt(container, a_->secret);
    EXPECT_EQ(d.status, c.status);
    if (d.status == VESK_OK) {
      EXPECT_EQ(d.plaintext, plaintext);
      EXPECT_EQ(d.file_name, "signed.doc");
      EXPECT_EQ(d.content_type, "application/octet-stream");
    }
  }
}

// ---- the largest plaintext ----------------------------------------------------------------------

TEST_F(ObjectTest, OneGibibyteRoundTripAndTheContainerCap) {
  constexpr std::size_t kSize = VESK_MAX_PLAINTEXT;
  OutputBuffer plaintext(kSize);
  std::uint8_t* p = plaintext.extend(kSize);
  for (std::size_t i = 0; i < kSize; i += 4096) std::memset(p + i, static_cast<int>(i >> 12), 4096);

  VeskBuffer container = vesk_buffer_empty();
  ASSERT_EQ(vesk_encrypt(p, kSize, a_->public_key.data(), 1, "big.bin", nullptr, &container), VESK_OK);
  EXPECT_GT(container.len, std::size_t{VESK_MAX_PLAINTEXT});
  EXPECT_LE(container.len, std::size_t{VESK_MAX_CONTAINER});
  const std::uint32_t header_len = load_be32(container.data + 12);
  EXPECT_EQ(container.len, 16 + header_len + 16 + kSize + 21 * 16384);

  {
    VeskBuffer plain = vesk_buffer_empty(), name = vesk_buffer_empty();
    ASSERT_EQ(vesk_decrypt(container.data, container.len, a_->secret, &plain, &name, nullptr), VESK_OK);
    ASSERT_EQ(plain.len, kSize);
    EXPECT_EQ(std::memcmp(plain.data, p, kSize), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name.data), name.len), "big.bin");
    vesk_buffer_free(&plain);
    vesk_buffer_free(&name);
  }
  plaintext = OutputBuffer();

  // A container of exactly the cap passes the argument check; here it then fails on the bytes
  // appended after the last chunk.
  OutputBuffer at_cap(VESK_MAX_CONTAINER);
  std::uint8_t* q = at_cap.extend(VESK_MAX_CONTAINER);
  std::memcpy(q, container.data, container.len);
  std::memset(q + container.len, 0, VESK_MAX_CONTAINER - container.len);
  vesk_buffer_free(&container);
  VeskBuffer plain = sentinel_buffer();
  EXPECT_EQ(vesk_decrypt(q, VESK_MAX_CONTAINER, a_->secret, &plain, nullptr, nullptr), VESK_MALFORMED_INPUT);
  EXPECT_TRUE(is_sentinel(plain));
}

}  // namespace
}  // namespace vesk::testing
