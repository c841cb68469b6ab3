// Encrypted containers through the exported functions: round trips, exact layouts, freshness, the
// layers of what encryption writes opened by hand, the order of the recipient checks, the wipe of a
// failed decryption, and the 1 GiB round trip. Every refusal of a container, recipient key or
// metadata text, with its status, is in the corpus (vectors/decrypt.json, vectors/encrypt.json).
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
  }
  static void TearDownTestSuite() {
    delete a_;
    delete b_;
    delete c_;
  }
  static Keypair* a_;
  static Keypair* b_;
  static Keypair* c_;
};
Keypair* ObjectTest::a_ = nullptr;
Keypair* ObjectTest::b_ = nullptr;
Keypair* ObjectTest::c_ = nullptr;

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

// Which recipient keys are refused is in the corpus (vectors/encrypt.json); here, that the check
// comes before anything random is drawn, and what a failing source gives after it.
TEST_F(ObjectTest, RecipientKeysAreCheckedBeforeAnythingRandomIsDrawn) {
  const ByteVec pt = test_bytes(100);
  const ByteVec& good = a_->public_key;
  ByteVec zero_x25519 = good;
  std::fill(zero_x25519.end() - 32, zero_x25519.end(), 0);
  ByteVec coefficient = good;  // the first ML-KEM coefficient set to 3329 (0xd01)
  coefficient[0] = 0x01;
  coefficient[1] = static_cast<std::uint8_t>((coefficient[1] & 0xf0) | 0x0d);
  // With the randomness source failing, an unusable key is still an invalid argument: a draw
  // would have failed first, as an authentication failure.
  const FailingRandomness failing;
  for (const ByteVec& key : {zero_x25519, coefficient}) {
    EXPECT_EQ(encrypt(pt, key, 1).status, VESK_INVALID_ARGUMENT);
    EXPECT_EQ(encrypt(pt, cat({good, key}), 2).status, VESK_INVALID_ARGUMENT);
  }
  EXPECT_EQ(encrypt(pt, good, 1).status, VESK_AUTHENTICATION_FAILED);
}

// ---- decryption refusals ----------------------------------------------------------------------

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
