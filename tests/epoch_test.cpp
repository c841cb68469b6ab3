// Epoch chains, epoch bindings and the epoch exports.
#include <gtest/gtest.h>

#include <functional>

#include "identity/epoch_binding.h"
#include "identity/epoch_chain.h"
#include "support/identity_writer.h"
#include "support/test_util.h"
#include "support/vectors.h"
#include "vesk.h"

namespace vesk::identity {
namespace {

using testing::ByteString;
using testing::device_id_of;
using testing::EpochChainWriter;
using testing::key_of;
using testing::LogWriter;
using testing::test_identity;

const sign::SigningIdentity& A() { return testing::test_identity(1); }
const sign::SigningIdentity& B() { return testing::test_identity(2); }
const sign::SigningIdentity& C() { return testing::test_identity(3); }
const sign::SigningIdentity& R() { return testing::test_identity(9); }

ByteString epoch_key(std::uint32_t n) { return vesk::testing::test_bytes(kEpochKeyLen, 100 + n); }

EpochChainWriter chain_of(std::size_t n) {
  EpochChainWriter w;
  for (std::size_t i = 0; i < n; ++i) w.add(epoch_key(static_cast<std::uint32_t>(i)));
  return w;
}

VeskStatus epoch_verify(const ByteString& chain, std::uint64_t* out = nullptr) {
  std::uint64_t n = testing::kSentinelCount;
  VeskStatus s = vesk_epoch_verify(chain.data(), chain.size(), &n);
  if (s != VESK_OK) {
    EXPECT_EQ(n, testing::kSentinelCount);
  }
  if (out) *out = n;
  return s;
}

// The record hash computed outside the library (Python hashlib).
TEST(EpochChain, RecordHashMatchesFixedValues) {
  const ByteString k0(kEpochKeyLen, 0x42), k1(kEpochKeyLen, 0x43);
  crypto::Digest32 h0 = epoch_record_hash(crypto::Digest32{}, 0, k0);
  EXPECT_EQ(vesk::testing::to_hex(h0.data(), 32), "32f91e5fecf7e9cc9886ad2bc25d25a74a92f40fb346ef6ae7ed4e47e4c943bc");
  EXPECT_EQ(vesk::testing::to_hex(epoch_record_hash(h0, 1, k1).data(), 32),
            "41490735e4c9d137845524b60b30a391d6576215f60f97c2b546852cae21e2c7");
  EXPECT_EQ(epoch_record_hash(h0, 1, k1), EpochChainWriter::record_hash(h0, 1, k1));
}

struct ChainCase {
  const char* name;
  std::function<ByteString()> input;
  VeskStatus status;
  std::optional<EpochChainErrorKind> kind;  // the decode or check failure
  std::uint64_t count = 0;                   // on success
};

TEST(EpochChain, DecodeAndCheck) {
  const std::vector<ChainCase> cases = {
      {"empty chain", [] { return ByteString{0x80}; }, VESK_OK, std::nullopt, 0},
      {"three records", [] { return chain_of(3).bytes(); }, VESK_OK, std::nullopt, 3},
      {"number 1 at position 0", [] { auto w = chain_of(2); w.at(0).number = 1; return w.bytes(); },
       VESK_AUTHENTICATION_FAILED, EpochChainErrorKind::NumberMismatch},
      {"number 0 as 0x18 0x00",
       [] { auto w = chain_of(2); w.at(0).number_item = testing::cbor_head_wide(0, 0, 2); return w.bytes(); },
       VESK_MALFORMED_INPUT, EpochChainErrorKind::Malformed},
      {"1215-byte key, hash over it",
       [] {
         EpochChainWriter w;
         auto k = epoch_key(0);
         k.pop_back();
         w.add(k);
         return w.bytes();
       },
       VESK_AUTHENTICATION_FAILED, EpochChainErrorKind::KeyLength},
      {"four-item record head", [] { auto w = chain_of(2); w.at(1).head = 0x84; return w.bytes(); },
       VESK_MALFORMED_INPUT, EpochChainErrorKind::Malformed},
      {"two-item record head", [] { auto w = chain_of(2); w.at(1).head = 0x82; return w.bytes(); },
       VESK_MALFORMED_INPUT, EpochChainErrorKind::Malformed},
      {"indefinite record", [] { auto w = chain_of(1); w.at(0).head = 0x9f; return w.bytes(); }, VESK_MALFORMED_INPUT,
       EpochChainErrorKind::Malformed},
      {"31-byte hash", [] { auto w = chain_of(2); w.at(1).hash.pop_back(); return w.bytes(); }, VESK_MALFORMED_INPUT,
       EpochChainErrorKind::Malformed},
      {"hash altered", [] { auto w = chain_of(3); w.at(1).hash[0] ^= 1; return w.bytes(); }, VESK_AUTHENTICATION_FAILED,
       EpochChainErrorKind::HashMismatch},
      {"key altered", [] { auto w = chain_of(3); w.at(2).public_key[7] ^= 1; return w.bytes(); },
       VESK_AUTHENTICATION_FAILED, EpochChainErrorKind::HashMismatch},
      {"1000001 records claimed", [] { return chain_of(1).bytes(1000001); }, VESK_MALFORMED_INPUT,
       EpochChainErrorKind::TooManyEpochs},
      {"1000000 records claimed, one present", [] { return chain_of(1).bytes(1000000); }, VESK_MALFORMED_INPUT,
       EpochChainErrorKind::Malformed},
      {"trailing byte", [] { auto b = chain_of(1).bytes(); b.push_back(0x80); return b; }, VESK_MALFORMED_INPUT,
       EpochChainErrorKind::Malformed},
      {"outer map", [] { return ByteString{0xa0}; }, VESK_MALFORMED_INPUT, EpochChainErrorKind::Malformed},
      {"nothing", [] { return ByteString{}; }, VESK_MALFORMED_INPUT, EpochChainErrorKind::Malformed},
  };
  for (const ChainCase& c : cases) {
    SCOPED_TRACE(c.name);
    const ByteString input = c.input();
    std::uint64_t n = 0;
    EXPECT_EQ(epoch_verify(input, &n), c.status);
    if (c.status == VESK_OK) {
      EXPECT_EQ(n, c.count);
    }

    auto chain = decode_epoch_chain(input);
    if (!chain) {
      ASSERT_TRUE(c.kind.has_value());
      EXPECT_EQ(chain.error().kind, *c.kind);
      EXPECT_EQ(chain.error().stage, ErrorStage::Decoding);
      continue;
    }
    auto checked = check_epoch_chain(*chain);
    EXPECT_EQ(checked.has_value(), !c.kind.has_value());
    if (!checked) {
      EXPECT_EQ(checked.error().kind, *c.kind);
    }
  }
}

TEST(EpochChain, CarriedValues) {
  auto w = chain_of(3);
  w.at(2).number = 9;
  auto chain = decode_epoch_chain(w.bytes());
  ASSERT_TRUE(chain.has_value());
  auto r = check_epoch_chain(*chain);
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().position, 2u);
  EXPECT_EQ(r.error().number, 9u);

  EpochChainWriter k;
  k.add(epoch_key(0)).add(ByteString(1000, 1));
  chain = decode_epoch_chain(k.bytes());
  ASSERT_TRUE(chain.has_value());
  r = check_epoch_chain(*chain);
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().kind, EpochChainErrorKind::KeyLength);
  EXPECT_EQ(r.error().position, 1u);
  EXPECT_EQ(r.error().expected_length, 1216u);
  EXPECT_EQ(r.error().actual_length, 1000u);

  auto many = decode_epoch_chain(ByteString{0x9a, 0x00, 0x0f, 0x42, 0x41});  // 1000001, nothing follows
  ASSERT_FALSE(many.has_value());
  EXPECT_EQ(many.error().kind, EpochChainErrorKind::TooManyEpochs);
  EXPECT_EQ(many.error().count, 1000001u);
}

TEST(EpochBindingDecode, Length) {
  const ByteString good(kEpochBindingLen, 7);
  auto b = decode_epoch_binding(good);
  ASSERT_TRUE(b.has_value());
  EXPECT_EQ(b->epoch_count, 0x0707070707070707ull);
  for (std::size_t n : {kEpochBindingLen - 1, kEpochBindingLen + 1, std::size_t{0}}) {
    auto r = decode_epoch_binding(ByteString(n, 7));
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().kind, IdentityErrorKind::Malformed);
    EXPECT_EQ(r.error().stage, ErrorStage::Decoding);
  }
  // The signed part is the first 136 bytes as they stand.
  ByteString counted = vesk::testing::test_bytes(kEpochBindingLen, 5);
  auto d = decode_epoch_binding(counted);
  ASSERT_TRUE(d.has_value());
  auto m = epoch_binding_message(*d);
  EXPECT_TRUE(equal_bytes(m, Bytes(counted).first(136)));
}

// Everything vesk_epoch_verify_bound takes, valid by default.
struct BoundSetup {
  LogWriter log;  // Create A, Add B, Add C
  ByteString recovery_binding;
  ByteString pin;
  EpochChainWriter chain = chain_of(3);
  ByteString epoch_binding;

  BoundSetup() {
    log.create(A()).add(A(), key_of(B())).add(B(), key_of(C()));
    crypto::Digest32 id = log.identity_id();
    pin.assign(id.begin(), id.end());
    recovery_binding = testing::recovery_binding(A(), id, key_of(R()));
    sign_with(B(), log.head(), chain.head(), chain.size());
  }
  void sign_with(const sign::SigningIdentity& who, const crypto::Digest32& link, const crypto::Digest32& head, std::uint64_t count,
                 std::optional<crypto::Digest32> signer_id = std::nullopt) {
    epoch_binding = testing::epoch_binding(who, log.identity_id(), link, head, count, signer_id);
  }
};
struct BoundCase {
  const char* name;
  std::function<void(BoundSetup&, ByteString& log, ByteString& chain)> change;
  VeskStatus status;
  std::optional<IdentityErrorKind> kind = std::nullopt;  // the binding check's failure
};

TEST(EpochBound, Steps) {
  const std::vector<BoundCase> cases = {
      {"valid", [](BoundSetup&, ByteString&, ByteString&) {}, VESK_OK},
      {"bound to an earlier log entry",
       [](BoundSetup& s, ByteString&, ByteString&) {
         crypto::Digest32 link;
         std::copy(s.log.at(1).link.begin(), s.log.at(1).link.end(), link.begin());
         s.sign_with(B(), link, s.chain.head(), 3);
       },
       VESK_OK},
      {"signed by the first device", [](BoundSetup& s, ByteString&, ByteString&) {
         s.sign_with(A(), s.log.head(), s.chain.head(), 3);
       }, VESK_OK},
      {"log link of no entry",
       [](BoundSetup& s, ByteString&, ByteString&) {
         crypto::Digest32 link = s.log.head();
         link[0] ^= 1;
         s.sign_with(B(), link, s.chain.head(), 3);
       },
       VESK_AUTHENTICATION_FAILED, IdentityErrorKind::EpochBindingMismatch},
      {"epoch count one short", [](BoundSetup& s, ByteString&, ByteString&) { s.sign_with(B(), s.log.head(), s.chain.head(), 2); },
       VESK_AUTHENTICATION_FAILED, IdentityErrorKind::EpochBindingMismatch},
      {"epoch count one over", [](BoundSetup& s, ByteString&, ByteString&) { s.sign_with(B(), s.log.head(), s.chain.head(), 4); },
       VESK_AUTHENTICATION_FAILED, IdentityErrorKind::EpochBindingMismatch},
      {"chain head of a shorter chain",
       [](BoundSetup& s, ByteString&, ByteString&) { s.sign_with(B(), s.log.head(), chain_of(2).head(), 3); },
       VESK_AUTHENTICATION_FAILED, IdentityErrorKind::EpochBindingMismatch},
      {"chain that does not check",
       [](BoundSetup& s, ByteString&, ByteString& chain) {
         s.chain.at(1).number = 5;
         chain = s.chain.bytes();
       },
       VESK_AUTHENTICATION_FAILED, IdentityErrorKind::EpochBindingMismatch},
      {"empty chain", [](BoundSetup& s, ByteString&, ByteString& chain) {
         chain = {0x80};
         s.sign_with(B(), s.log.head(), crypto::Digest32{}, 0);
       }, VESK_AUTHENTICATION_FAILED, IdentityErrorKind::EpochBindingMismatch},
      {"binding of another identity",
       [](BoundSetup& s, ByteString&, ByteString&) {
         crypto::Digest32 other = s.log.identity_id();
         other[3] ^= 1;
         s.epoch_binding = testing::epoch_binding(B(), other, s.log.head(), s.chain.head(), 3);
       },
       VESK_AUTHENTICATION_FAILED, IdentityErrorKind::PinMismatch},
      {"signer revoked later",
       [](BoundSetup& s, ByteString& log, ByteString&) { log = s.log.revoke(A(), device_id_of(B())).bytes(); },
       VESK_AUTHENTICATION_FAILED, IdentityErrorKind::UnknownSigner},
      {"signer removed by Recover",
       [](BoundSetup& s, ByteString& log, ByteString&) { log = s.log.recover(R(), key_of(A())).bytes(); },
       VESK_AUTHENTICATION_FAILED, IdentityErrorKind::UnknownSigner},
      {"signed by a stranger", [](BoundSetup& s, ByteString&, ByteString&) {
         s.sign_with(test_identity(4), s.log.head(), s.chain.head(), 3);
       }, VESK_AUTHENTICATION_FAILED, IdentityErrorKind::UnknownSigner},
      {"names A, signed by B",
       [](BoundSetup& s, ByteString&, ByteString&) {
         s.sign_with(B(), s.log.head(), s.chain.head(), 3, device_id_of(A()));
       },
       VESK_AUTHENTICATION_FAILED, IdentityErrorKind::BindingInvalid},
      {"signature altered", [](BoundSetup& s, ByteString&, ByteString&) { s.epoch_binding[136 + 2000] ^= 1; },
       VESK_AUTHENTICATION_FAILED, IdentityErrorKind::BindingInvalid},
      {"epoch binding of 3508 bytes", [](BoundSetup& s, ByteString&, ByteString&) { s.epoch_binding.pop_back(); },
       VESK_MALFORMED_INPUT},
      {"epoch binding of 3508 bytes, wrong pin",
       [](BoundSetup& s, ByteString&, ByteString&) {
         s.epoch_binding.pop_back();
         s.pin[0] ^= 1;
       },
       VESK_AUTHENTICATION_FAILED},
      {"malformed chain", [](BoundSetup&, ByteString&, ByteString& chain) { chain.push_back(0); }, VESK_MALFORMED_INPUT},
      {"malformed chain, log fails replay",
       [](BoundSetup& s, ByteString& log, ByteString& chain) {
         chain.push_back(0);
         log = s.log.revoke(A(), device_id_of(test_identity(4))).bytes();
       },
       VESK_AUTHENTICATION_FAILED},
      {"malformed chain, malformed log",
       [](BoundSetup&, ByteString& log, ByteString& chain) {
         chain.push_back(0);
         log.push_back(0);
       },
       VESK_MALFORMED_INPUT},
      {"recovery binding of 5388 bytes", [](BoundSetup& s, ByteString&, ByteString&) { s.recovery_binding.pop_back(); },
       VESK_MALFORMED_INPUT},
  };
  for (const BoundCase& c : cases) {
    SCOPED_TRACE(c.name);
    BoundSetup s;
    ByteString log = s.log.bytes();
    ByteString chain = s.chain.bytes();
    c.change(s, log, chain);
    std::uint64_t n = testing::kSentinelCount;
    VeskStatus st = vesk_epoch_verify_bound(log.data(), log.size(), s.recovery_binding.data(), s.recovery_binding.size(),
                                            s.pin.data(), s.pin.size(), chain.data(), chain.size(),
                                            s.epoch_binding.data(), s.epoch_binding.size(), &n);
    EXPECT_EQ(st, c.status);
    if (st == VESK_OK) {
      EXPECT_EQ(n, 3u);
    } else {
      EXPECT_EQ(n, testing::kSentinelCount);
    }
    if (!c.kind) continue;
    // The same inputs through the family's operations, for the failing rule itself.
    auto id = verify_pinned(log, s.recovery_binding, s.pin);
    ASSERT_TRUE(id.has_value());
    auto decoded_chain = decode_epoch_chain(chain);
    auto binding = decode_epoch_binding(s.epoch_binding);
    ASSERT_TRUE(decoded_chain.has_value() && binding.has_value());
    auto r = check_epoch_binding(*id, *decoded_chain, *binding);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().kind, *c.kind);
  }
}

}  // namespace
}  // namespace vesk::identity
