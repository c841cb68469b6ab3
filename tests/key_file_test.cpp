// Protected key files: the written layout, the parser's checks in order, the passphrase forms, the
// cost bounds, and opening seeds and files as recipient keys. Files other than the writer's own
// are built here from the documented layout with the primitives, so the parser is checked against
// the format rather than against the writer.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "core/crypto/aead.h"
#include "core/crypto/argon2.h"
#include "core/crypto/hmac.h"
#include "core/random.h"
#include "core/testing_hooks.h"
#include "ffi/handles.h"
#include "keyring/key_file.h"
#include "keyring/key_file_testing.h"
#include "support/key_file_writer.h"
#include "support/test_util.h"
#include "support/vectors.h"
#include "vesk.h"

namespace vesk::testing {
namespace {

using keyring::testing_hooks::argon2_derivations;

// Passphrases in their forms. "é" composed is C3 A9; decomposed it is "e" and U+0301 (CC 81).
const std::string kComposed = "caf\xC3\xA9 au lait";
const std::string kDecomposed = "cafe\xCC\x81 au lait";
// Neither NFC nor NFD: one composed and one decomposed "é".
const std::string kMixed = "\xC3\xA9t\xC3\xA9 e\xCC\x81t\xC3\xA9";

// The files built here: the cheapest accepted cost keeps these tests fast.
ByteVec build_key_file(const std::string& password, const ByteVec& secret) {
  const KeyFileLayout layout{.salt = test_bytes(16, 100), .nonce = test_bytes(12, 101)};
  return compose_key_file(layout, as_bytes(password), secret);
}

// HKDF-Expand(S, "VESK/0.5 identity encryption", 32) as documented: one HMAC block.
ByteVec encryption_seed_of(const ByteVec& identity_seed) {
  const std::string label = "VESK/0.5 identity encryption";
  const std::uint8_t one = 1;
  auto d = crypto::hmac_sha256(identity_seed, {as_bytes(label), Bytes(&one, 1)});
  return ByteVec(d.begin(), d.end());
}

struct Opened {
  VeskStatus status;
  ByteVec seed;            // the handle's 32 bytes on success
  std::uint64_t derivations;
};

// Opens through the export; on failure checks that the out-parameter was left alone.
Opened open(const ByteVec& data, const char* passphrase) {
  VeskSecretKeyHandle* const sentinel = sentinel_handle<VeskSecretKeyHandle>();
  VeskSecretKeyHandle* h = sentinel;
  const std::uint64_t before = argon2_derivations();
  const VeskStatus s = vesk_secret_key_open(data.data(), data.size(), passphrase, &h);
  Opened o{s, {}, argon2_derivations() - before};
  if (s == VESK_OK) {
    EXPECT_NE(h, sentinel);
    o.seed.assign(h->seed, h->seed + 32);
    vesk_secret_key_free(h);
  } else {
    EXPECT_EQ(h, sentinel);
  }
  return o;
}

ByteVec protect(const ByteVec& seed, const char* passphrase, VeskStatus expect = VESK_OK) {
  VeskSecretKeyHandle* h = ffi::new_secret_key_handle(as_seed(seed));
  VeskBuffer out = sentinel_buffer();
  EXPECT_EQ(vesk_secret_key_protect(h, passphrase, &out), expect);
  vesk_secret_key_free(h);
  if (expect != VESK_OK) {
    EXPECT_TRUE(is_sentinel(out));
    return {};
  }
  EXPECT_EQ(out.capacity, out.len);
  ByteVec file(out.data, out.data + out.len);
  vesk_buffer_free(&out);
  return file;
}

TEST(KeyFile, WrittenLayoutDecryptsAsDocumented) {
  const ByteVec seed = test_bytes(32, 1);
  const ByteVec file = protect(seed, "correct horse battery");
  ASSERT_EQ(file.size(), 95u);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 8), "VESK-KEY");
  EXPECT_EQ(ByteVec(file.begin() + 8, file.begin() + 18),
            (ByteVec{0x02, 0x01, 0x00, 0x00, 0x4C, 0x00, 0x00, 0x00, 0x00, 0x02}));
  EXPECT_EQ(file[46], 0x02);

  // Argon2id(passphrase, salt at 18; 19456 KiB, 2 passes, 1 lane), then ChaCha20-Poly1305 with the
  // nonce at 34 and the 47-byte header as associated data.
  ByteVec key(32), secret(32);
  ASSERT_TRUE(crypto::argon2id(as_bytes("correct horse battery"), Bytes(file).subspan(18, 16), {1, 19456, 2}, key));
  ASSERT_TRUE(crypto::aead_open(key, Bytes(file).subspan(34, 12), Bytes(file).first(47), Bytes(file).subspan(47), secret));
  EXPECT_EQ(secret, seed);

  const Opened o = open(file, "correct horse battery");
  EXPECT_EQ(o.status, VESK_OK);
  EXPECT_EQ(o.seed, seed);
  EXPECT_EQ(o.derivations, 1u);

  // A second file of the same secret differs in salt, nonce, ciphertext and tag.
  const ByteVec other = protect(seed, "correct horse battery");
  ASSERT_EQ(other.size(), 95u);
  EXPECT_EQ(ByteVec(other.begin(), other.begin() + 18), ByteVec(file.begin(), file.begin() + 18));
  for (auto [from, len] : {std::pair{18, 16}, {34, 12}, {47, 32}, {79, 16}})
    EXPECT_NE(ByteVec(other.begin() + from, other.begin() + from + len), ByteVec(file.begin() + from, file.begin() + from + len))
        << from;
}

TEST(KeyFile, OneByteDamageAtEveryOffset) {
  const ByteVec seed = test_bytes(32, 2);
  const ByteVec file = build_key_file("damage test", seed);
  ASSERT_EQ(open(file, "damage test").seed, seed);

  // Flipping the lowest bit of each byte; the expected status by region of the layout (the file
  // has parallelism 1, memory 00 00 20 00, iterations 00 00 00 01, kind 2).
  struct Region {
    std::size_t first, last;
    VeskStatus status;
    const char* what;
  };
  const Region regions[] = {
      {0, 7, VESK_MALFORMED_INPUT, "magic: 95 bytes that are not a seed"},
      {8, 8, VESK_NOT_KEY_FILE, "version 3"},
      {9, 9, VESK_MALFORMED_INPUT, "parallelism 0"},
      {10, 10, VESK_MALFORMED_INPUT, "memory over 256 MiB"},
      {11, 13, VESK_WRONG_PASSPHRASE, "memory still in range, header authenticated"},
      {14, 16, VESK_MALFORMED_INPUT, "iterations over 64"},
      {17, 17, VESK_MALFORMED_INPUT, "iterations 0"},
      {18, 45, VESK_WRONG_PASSPHRASE, "salt and nonce"},
      {46, 46, VESK_MALFORMED_INPUT, "kind 3"},
      {47, 94, VESK_WRONG_PASSPHRASE, "ciphertext and tag"},
  };
  std::size_t covered = 0;
  for (const Region& r : regions) {
    for (std::size_t i = r.first; i <= r.last; ++i, ++covered) {
      ByteVec damaged = file;
      damaged[i] ^= 0x01;
      const Opened o = open(damaged, "damage test");
      EXPECT_EQ(o.status, r.status) << "offset " << i << ": " << r.what;
      // Refusals other than the tag check come before any derivation.
      EXPECT_EQ(o.derivations, r.status == VESK_WRONG_PASSPHRASE ? 1u : 0u) << "offset " << i;
    }
  }
  EXPECT_EQ(covered, file.size());
}

TEST(KeyFile, FieldValuesAtAndBeyondTheirBounds) {
  const ByteVec seed = test_bytes(32, 3);
  const ByteVec file = build_key_file("bounds test", seed);
  auto with = [&](std::size_t offset, ByteVec bytes) {
    ByteVec f = file;
    std::copy(bytes.begin(), bytes.end(), f.begin() + offset);
    return f;
  };
  struct Case {
    const char* name;
    ByteVec data;
    VeskStatus status;
    std::uint64_t derivations;
  };
  const Case cases[] = {
      {"version 1 with 95 bytes", with(8, {1}), VESK_MALFORMED_INPUT, 0},
      {"version 0", with(8, {0}), VESK_NOT_KEY_FILE, 0},
      {"version 255", with(8, {255}), VESK_NOT_KEY_FILE, 0},
      {"parallelism 0", with(9, {0}), VESK_MALFORMED_INPUT, 0},
      {"parallelism 5", with(9, {5}), VESK_MALFORMED_INPUT, 0},
      {"memory 8191 KiB", with(10, {0x00, 0x00, 0x1F, 0xFF}), VESK_MALFORMED_INPUT, 0},
      {"memory 262145 KiB", with(10, {0x00, 0x04, 0x00, 0x01}), VESK_MALFORMED_INPUT, 0},
      {"memory 2^32-1 KiB", with(10, {0xFF, 0xFF, 0xFF, 0xFF}), VESK_MALFORMED_INPUT, 0},
      {"iterations 0", with(14, {0, 0, 0, 0}), VESK_MALFORMED_INPUT, 0},
      {"iterations 65", with(14, {0, 0, 0, 65}), VESK_MALFORMED_INPUT, 0},
      {"kind 0", with(46, {0}), VESK_MALFORMED_INPUT, 0},
      {"kind 1 (swapped, authenticated)", with(46, {1}), VESK_WRONG_PASSPHRASE, 1},
      // The largest accepted costs run (and fail at the tag, the header being authenticated).
      {"parallelism 4", with(9, {4}), VESK_WRONG_PASSPHRASE, 1},
      {"memory 262144 KiB", with(10, {0x00, 0x04, 0x00, 0x00}), VESK_WRONG_PASSPHRASE, 1},
      {"iterations 64", with(14, {0, 0, 0, 64}), VESK_WRONG_PASSPHRASE, 1},
  };
  for (const Case& c : cases) {
    const Opened o = open(c.data, "bounds test");
    EXPECT_EQ(o.status, c.status) << c.name;
    EXPECT_EQ(o.derivations, c.derivations) << c.name;
  }
}

TEST(KeyFile, BareSeedsAndMissingPassphrases) {
  const ByteVec identity = test_bytes(32, 7);
  for (const char* passphrase : {static_cast<const char*>(nullptr), "", "ignored passphrase"}) {
    const Opened o = open(identity, passphrase);
    ASSERT_EQ(o.status, VESK_OK);
    EXPECT_EQ(o.seed, encryption_seed_of(identity));
    EXPECT_NE(o.seed, identity);
    EXPECT_EQ(o.derivations, 0u);
  }
  const SecretArray<32> derived = keyring::identity_encryption_seed(identity);
  EXPECT_EQ(ByteVec(derived.view().begin(), derived.view().end()), encryption_seed_of(identity));

  const ByteVec file = build_key_file("some passphrase", test_bytes(32, 8));
  const Opened no_passphrase = open(file, nullptr);
  EXPECT_EQ(no_passphrase.status, VESK_WRONG_PASSPHRASE);
  EXPECT_EQ(no_passphrase.derivations, 0u);
  // An empty passphrase is a passphrase: it is tried, once.
  const Opened empty = open(file, "");
  EXPECT_EQ(empty.status, VESK_WRONG_PASSPHRASE);
  EXPECT_EQ(empty.derivations, 1u);
}

TEST(KeyFile, IdentityFileOpensToTheSameKeyAsItsBareSeed) {
  const ByteVec identity = test_bytes(32, 9);
  auto written = keyring::write_key_file(identity, "identity passphrase", keyring::SecretKind::IdentitySeed);
  ASSERT_TRUE(written.has_value());
  EXPECT_EQ((*written)[46], 0x01);
  const ByteVec file(written->begin(), written->end());
  auto parsed = keyring::parse_key_file(file, "identity passphrase");
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->kind, keyring::SecretKind::IdentitySeed);
  EXPECT_EQ(ByteVec(parsed->secret.view().begin(), parsed->secret.view().end()), identity);

  const Opened from_file = open(file, "identity passphrase");
  const Opened from_seed = open(identity, nullptr);
  ASSERT_EQ(from_file.status, VESK_OK);
  ASSERT_EQ(from_seed.status, VESK_OK);
  EXPECT_EQ(from_file.seed, from_seed.seed);
  EXPECT_EQ(from_file.seed, encryption_seed_of(identity));
}

TEST(KeyFile, PassphraseFormsAreEachTriedOnce) {
  const ByteVec seed = test_bytes(32, 10);
  struct Case {
    const char* name;
    std::string stored;  // the password bytes the file was made with
    std::string given;
    VeskStatus status;
    std::uint64_t derivations;
  };
  const Case cases[] = {
      {"NFC file, composed given", kComposed, kComposed, VESK_OK, 1},
      {"NFC file, decomposed given", kComposed, kDecomposed, VESK_OK, 1},
      {"NFD file, composed given: NFD is third", kDecomposed, kComposed, VESK_OK, 2},
      {"NFD file, decomposed given: as given is second", kDecomposed, kDecomposed, VESK_OK, 2},
      {"unnormalised file, same bytes given", kMixed, kMixed, VESK_OK, 2},
      {"unnormalised file, NFC given", kMixed, kComposed, VESK_WRONG_PASSPHRASE, 2},
      {"wrong ASCII: one form", kComposed, "wrong passphrase", VESK_WRONG_PASSPHRASE, 1},
      {"wrong composed: NFC and NFD", kComposed, "caf\xC3\xA9 noir", VESK_WRONG_PASSPHRASE, 2},
      {"wrong decomposed: NFC and as given", kComposed, "cafe\xCC\x81 noir", VESK_WRONG_PASSPHRASE, 2},
      {"wrong mixed: three forms", kComposed, kMixed, VESK_WRONG_PASSPHRASE, 3},
  };
  for (const Case& c : cases) {
    const ByteVec file = build_key_file(c.stored, seed);
    const Opened o = open(file, c.given.c_str());
    EXPECT_EQ(o.status, c.status) << c.name;
    EXPECT_EQ(o.derivations, c.derivations) << c.name;
    if (c.status == VESK_OK) {
      EXPECT_EQ(o.seed, seed) << c.name;
    }
  }
}

TEST(KeyFile, WriterPassphraseLengthCountsScalarsAfterNfc) {
  const ByteVec seed = test_bytes(32, 11);
  auto repeat = [](const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
  };
  struct Case {
    const char* name;
    std::string passphrase;
    VeskStatus status;
  };
  const Case cases[] = {
      {"empty", "", VESK_INVALID_ARGUMENT},
      {"7 ASCII", "1234567", VESK_INVALID_ARGUMENT},
      {"7 two-byte scalars (14 bytes)", repeat("\xC3\xA9", 7), VESK_INVALID_ARGUMENT},
      {"4 x e + combining acute: 8 scalars, 4 after NFC", repeat("e\xCC\x81", 4), VESK_INVALID_ARGUMENT},
      {"8 ASCII", "12345678", VESK_OK},
      {"8 four-byte scalars", repeat("\xF0\x9F\x94\x91", 8), VESK_OK},
      {"8 x e + combining acute: 8 after NFC", repeat("e\xCC\x81", 8), VESK_OK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::uint64_t before = argon2_derivations();
    const ByteVec file = protect(seed, c.passphrase.c_str(), c.status);
    if (c.status != VESK_OK) {
      EXPECT_EQ(argon2_derivations(), before) << "refused before any derivation";
      continue;
    }
    ASSERT_EQ(file.size(), 95u);
    auto parsed = keyring::parse_key_file(file, c.passphrase);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(ByteVec(parsed->secret.view().begin(), parsed->secret.view().end()), seed);
  }
}

TEST(KeyFile, ComposedAndDecomposedPassphrasesOpenEachOthersFiles) {
  const ByteVec seed = test_bytes(32, 12);
  const std::pair<const std::string*, const std::string*> ways[] = {{&kDecomposed, &kComposed},
                                                                     {&kComposed, &kDecomposed}};
  for (auto [written_with, opened_with] : ways) {
    const ByteVec file = protect(seed, written_with->c_str());
    const Opened o = open(file, opened_with->c_str());
    EXPECT_EQ(o.status, VESK_OK);
    EXPECT_EQ(o.seed, seed);
  }
}

TEST(KeyFile, RandomnessFailureWhileProtectingIs6) {
  const std::uint64_t before = argon2_derivations();
  {
    const FailingRandomness failing;
    protect(test_bytes(32, 13), "long enough passphrase", VESK_MALFORMED_INPUT);
  }
  EXPECT_EQ(argon2_derivations(), before);
}

}  // namespace
}  // namespace vesk::testing
