// Replay of identity logs and pinned verification.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "identity/log.h"
#include "identity/replay.h"
#include "support/identity_writer.h"

namespace vesk::identity {
namespace {

using testing::ByteString;
using testing::device_id_of;
using testing::key_of;
using testing::Kind;
using testing::LogWriter;
using testing::test_identity;

const sign::SigningIdentity& A() { return test_identity(1); }
const sign::SigningIdentity& B() { return test_identity(2); }
const sign::SigningIdentity& C() { return test_identity(3); }
const sign::SigningIdentity& R() { return test_identity(9); }  // the recovery key

sign::DecodedVerifyingKey decoded(const sign::SigningIdentity& id) {
  auto k = sign::decode_verifying_key(id.verifying_key());
  if (!k) throw std::runtime_error("test key does not decode");
  return std::move(*k);
}

ByteString short_key(const sign::SigningIdentity& id) {
  ByteString k = key_of(id);
  k.pop_back();
  return k;
}

struct ReplayCase {
  const char* name;
  std::function<LogWriter()> build;
  std::optional<IdentityErrorKind> error;
  std::set<int> active = {};  // test identity numbers active at the end, when it succeeds
};

TEST(IdentityReplay, Histories) {
  const std::vector<ReplayCase> cases = {
      {"one Create", [] { return std::move(LogWriter().create(A())); }, std::nullopt, {1}},
      {"Create then Add", [] { return std::move(LogWriter().create(A()).add(A(), key_of(B()))); }, std::nullopt, {1, 2}},
      {"Create with seq 1", [] { return std::move(LogWriter().create(A(), "a", {.seq = 1})); },
       IdentityErrorKind::SequenceMismatch},
      {"Add with seq 5 at position 1",
       [] { return std::move(LogWriter().create(A()).add(A(), key_of(B()), "b", {.seq = 5})); },
       IdentityErrorKind::SequenceMismatch},
      {"a second Create", [] { return std::move(LogWriter().create(A()).create(B())); },
       IdentityErrorKind::UnexpectedEvent},
      {"an Add first (with a wrong seq too)",
       [] { return std::move(LogWriter().add(A(), key_of(B()), "b", {.seq = 7})); }, IdentityErrorKind::UnexpectedEvent},
      {"a Recover first", [] { return std::move(LogWriter().recover(R(), key_of(A()))); },
       IdentityErrorKind::UnexpectedEvent},
      {"one signature byte changed",
       [] {
         auto w = std::move(LogWriter().create(A()).add(A(), key_of(B())));
         w.at(1).signature[100] ^= 1;
         return w;
       },
       IdentityErrorKind::LinkMismatch},
      {"one signature byte changed, link recomputed",
       [] {
         auto w = std::move(LogWriter().create(A()).add(A(), key_of(B())));
         w.at(1).signature[100] ^= 1;
         w.relink(1);
         return w;
       },
       IdentityErrorKind::BadSignature},
      {"Ed25519 half changed, link recomputed",
       [] {
         auto w = std::move(LogWriter().create(A()));
         w.at(0).signature[3] ^= 0x80;
         w.relink(0);
         return w;
       },
       IdentityErrorKind::BadSignature},
      {"a link changed alone",
       [] {
         auto w = std::move(LogWriter().create(A()).add(A(), key_of(B())).add(B(), key_of(C())));
         w.at(1).link[0] ^= 1;
         return w;
       },
       IdentityErrorKind::LinkMismatch},
      {"chained to the wrong entry",
       [] {
         auto w = std::move(LogWriter().create(A()).add(A(), key_of(B())));
         w.add(B(), key_of(C()), "c", {.prev = w.identity_id()});
         return w;
       },
       IdentityErrorKind::LinkMismatch},
      {"Add signed by a revoked device",
       [] {
         return std::move(LogWriter()
                              .create(A())
                              .add(A(), key_of(B()))
                              .revoke(B(), device_id_of(A()))
                              .add(A(), key_of(C())));
       },
       IdentityErrorKind::UnknownSigner},
      {"Add signed by a stranger", [] { return std::move(LogWriter().create(A()).add(C(), key_of(B()))); },
       IdentityErrorKind::UnknownSigner},
      {"Add naming A as signer, signed by B",
       [] { return std::move(LogWriter().create(A()).add(B(), key_of(C()), "c", {.signer = device_id_of(A())})); },
       IdentityErrorKind::BadSignature},
      {"Create naming another signer",
       [] { return std::move(LogWriter().create(A(), "a", {.signer = device_id_of(B())})); },
       IdentityErrorKind::UnknownSigner},
      {"Create of A's key signed by B",
       [] {
         LogWriter w;
         w.append(Kind::Create, B(), key_of(A()), "a", {.signer = device_id_of(A())});
         return w;
       },
       IdentityErrorKind::BadSignature},
      {"Create with a 1983-byte key",
       [] {
         LogWriter w;
         w.append(Kind::Create, A(), short_key(A()), "a", {.signer = device_id_of(A())});
         return w;
       },
       IdentityErrorKind::Malformed},
      {"Create with a key that does not decode",
       [] {
         LogWriter w;
         w.append(Kind::Create, A(), testing::undecodable_key(), "a", {});
         return w;
       },
       IdentityErrorKind::BadSignature},
      {"Add with a 1983-byte key", [] { return std::move(LogWriter().create(A()).add(A(), short_key(B()))); },
       IdentityErrorKind::Malformed},
      {"Add with a key that does not decode",
       [] { return std::move(LogWriter().create(A()).add(A(), testing::undecodable_key())); },
       IdentityErrorKind::BadSignature},
      {"Add of the signing device itself", [] { return std::move(LogWriter().create(A()).add(A(), key_of(A()))); },
       IdentityErrorKind::DeviceAlreadyActive},
      {"Revoke of a device never added", [] { return std::move(LogWriter().create(A()).revoke(A(), device_id_of(B()))); },
       IdentityErrorKind::UnknownDevice},
      {"Revoke of the last device", [] { return std::move(LogWriter().create(A()).revoke(A(), device_id_of(A()))); },
       IdentityErrorKind::LastDevice},
      {"self-revocation with two devices",
       [] { return std::move(LogWriter().create(A()).add(A(), key_of(B())).revoke(B(), device_id_of(B()))); },
       std::nullopt,
       {1}},
      {"revoked device added again",
       [] {
         return std::move(LogWriter()
                              .create(A())
                              .add(A(), key_of(B()))
                              .revoke(A(), device_id_of(B()))
                              .add(A(), key_of(B())));
       },
       std::nullopt,
       {1, 2}},
      {"revoking twice",
       [] {
         return std::move(LogWriter()
                              .create(A())
                              .add(A(), key_of(B()))
                              .add(A(), key_of(C()))
                              .revoke(A(), device_id_of(B()))
                              .revoke(A(), device_id_of(B())));
       },
       IdentityErrorKind::UnknownDevice},
      {"Recover signed by a device key",
       [] { return std::move(LogWriter().create(A()).add(A(), key_of(B())).recover(A(), key_of(C()))); },
       IdentityErrorKind::UnknownSigner},
      {"Recover signed by the recovery key",
       [] { return std::move(LogWriter().create(A()).add(A(), key_of(B())).recover(R(), key_of(C()))); },
       std::nullopt,
       {3}},
      {"Recover to a key already active",
       [] { return std::move(LogWriter().create(A()).add(A(), key_of(B())).recover(R(), key_of(A()))); },
       std::nullopt,
       {1}},
      {"a device removed by Recover signs",
       [] { return std::move(LogWriter().create(A()).recover(R(), key_of(C())).add(A(), key_of(B()))); },
       IdentityErrorKind::UnknownSigner},
      {"Recover naming the recovery key, signed by another",
       [] {
         return std::move(LogWriter().create(A()).recover(C(), key_of(B()), "b", {.signer = device_id_of(R())}));
       },
       IdentityErrorKind::BadSignature},
      {"Recover with a 1983-byte key", [] { return std::move(LogWriter().create(A()).recover(R(), short_key(B()))); },
       IdentityErrorKind::Malformed},
  };

  const auto recovery = decoded(R());
  for (const ReplayCase& c : cases) {
    SCOPED_TRACE(c.name);
    LogWriter w = c.build();
    auto log = decode_identity_log(w.bytes());
    ASSERT_TRUE(log.has_value()) << "the test log must decode";
    auto state = replay(*log, recovery);
    if (c.error) {
      ASSERT_FALSE(state.has_value());
      EXPECT_EQ(state.error().kind, *c.error);
      EXPECT_EQ(state.error().stage, ErrorStage::Checking);
      continue;
    }
    ASSERT_TRUE(state.has_value()) << static_cast<int>(state.error().kind);
    std::set<DeviceId> expected;
    for (int n : c.active) expected.insert(device_id_of(test_identity(n)));
    std::set<DeviceId> got;
    for (const auto& [id, device] : *state) {
      EXPECT_EQ(id, device.id);
      EXPECT_EQ(device_id(device.key.bytes()), id);
      got.insert(id);
    }
    EXPECT_EQ(got, expected);
  }
}

TEST(IdentityReplay, CarriedValues) {
  const auto recovery = decoded(R());
  auto run = [&](const LogWriter& w) {
    auto log = decode_identity_log(w.bytes());
    if (!log) throw std::runtime_error("test log does not decode");
    return replay(*log, recovery);
  };

  auto seq = run(std::move(LogWriter().create(A()).add(A(), key_of(B()), "b", {.seq = 5})));
  ASSERT_FALSE(seq.has_value());
  EXPECT_EQ(seq.error().position, 1u);
  EXPECT_EQ(seq.error().seq, 5u);

  auto later = run(std::move(LogWriter().create(A()).create(B())));
  ASSERT_FALSE(later.has_value());
  EXPECT_STREQ(later.error().event, "a later Create");

  auto first = run(std::move(LogWriter().add(A(), key_of(B()))));
  ASSERT_FALSE(first.has_value());
  EXPECT_STREQ(first.error().event, "another event");

  auto twice = run(std::move(LogWriter().create(A()).add(A(), key_of(B())).add(B(), key_of(C())).add(C(), key_of(B()))));
  ASSERT_FALSE(twice.has_value());
  EXPECT_EQ(twice.error().kind, IdentityErrorKind::DeviceAlreadyActive);
  EXPECT_EQ(twice.error().seq, 3u);
}

TEST(IdentityReplay, DeviceRecordsAndOrder) {
  LogWriter w;
  w.create(A(), "phone").add(A(), key_of(B()), "laptop").add(B(), key_of(C()), "tablet");
  auto log = decode_identity_log(w.bytes());
  ASSERT_TRUE(log.has_value());
  auto state = replay(*log, decoded(R()));
  ASSERT_TRUE(state.has_value());
  ASSERT_EQ(state->size(), 3u);
  const std::map<int, std::pair<std::string, std::uint64_t>> expected = {
      {1, {"phone", 0}}, {2, {"laptop", 1}}, {3, {"tablet", 2}}};
  for (const auto& [n, info] : expected) {
    auto it = state->find(device_id_of(test_identity(n)));
    ASSERT_NE(it, state->end());
    EXPECT_EQ(it->second.label, info.first);
    EXPECT_EQ(it->second.seq, info.second);
  }
  // Unsigned byte-wise order on the ids: 0x7f sorts before 0x80.
  DeviceId low{}, high{};
  low[0] = 0x7f;
  high[0] = 0x80;
  EXPECT_TRUE(DeviceIdOrder{}(low, high));
  EXPECT_FALSE(DeviceIdOrder{}(high, low));
}

// Logs that decoding can never produce, to check replay's own order of checks.
TEST(IdentityReplay, ChecksOfItsOwn) {
  const auto recovery = decoded(R());
  LogWriter w;
  w.create(A());
  auto log = decode_identity_log(w.bytes());
  ASSERT_TRUE(log.has_value());

  IdentityLog empty;
  EXPECT_EQ(replay(empty, recovery).error().kind, IdentityErrorKind::EmptyLog);

  // A label over 256 bytes wins over the link check.
  IdentityLog long_label = *log;
  long_label.entries[0].event.label.assign(257, 'x');
  EXPECT_EQ(replay(long_label, recovery).error().kind, IdentityErrorKind::LabelTooLong);

  // A short signature whose link is right is a bad signature.
  IdentityLog short_sig = *log;
  IdentityEntry& e = short_sig.entries[0];
  e.signature.pop_back();
  e.link = link_hash(entry_body(e, crypto::Digest32{}), e.signature);
  EXPECT_EQ(replay(short_sig, recovery).error().kind, IdentityErrorKind::BadSignature);

  // Counted before anything else is looked at.
  IdentityLog many;
  many.entries.resize(kMaxEntries + 1);
  auto r = replay(many, recovery);
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().kind, IdentityErrorKind::TooManyEntries);
  EXPECT_EQ(r.error().count, kMaxEntries + 1);
}

struct PinnedSetup {
  LogWriter log;
  ByteString binding;
  crypto::Digest32 pin;
};

PinnedSetup pinned_setup() {
  PinnedSetup s;
  s.log.create(A()).add(A(), key_of(B()));
  s.pin = s.log.identity_id();
  s.binding = testing::recovery_binding(A(), s.pin, key_of(R()));
  return s;
}

struct PinnedCase {
  const char* name;
  std::function<void(PinnedSetup&, ByteString& log, ByteString& binding)> change;
  std::optional<IdentityErrorKind> error;
  ErrorStage stage = ErrorStage::Checking;
};

TEST(PinnedVerification, Order) {
  const std::vector<PinnedCase> cases = {
      {"valid", [](PinnedSetup&, ByteString&, ByteString&) {}, std::nullopt},
      {"binding of 5388 bytes, empty log", [](PinnedSetup&, ByteString& l, ByteString& b) { b.pop_back(); l = {0x80}; },
       IdentityErrorKind::Malformed, ErrorStage::Decoding},
      {"recovery key that does not decode",
       [](PinnedSetup&, ByteString&, ByteString& b) {
         auto k = testing::undecodable_key();
         std::copy(k.begin(), k.end(), b.begin() + 32);
       },
       IdentityErrorKind::Malformed, ErrorStage::Decoding},
      {"log that does not decode, wrong pin", [](PinnedSetup& s, ByteString& l, ByteString&) { l.push_back(0); s.pin[0] ^= 1; },
       IdentityErrorKind::Malformed, ErrorStage::Decoding},
      {"pin differs from the binding, binding signature bad",
       [](PinnedSetup& s, ByteString&, ByteString& b) {
         s.pin[31] ^= 1;
         b.back() ^= 1;
       },
       IdentityErrorKind::PinMismatch},
      {"empty log", [](PinnedSetup&, ByteString& l, ByteString&) { l = {0x80}; }, IdentityErrorKind::EmptyLog},
      {"log starting with an Add",
       [](PinnedSetup&, ByteString& l, ByteString&) { l = LogWriter().add(A(), key_of(B())).bytes(); },
       IdentityErrorKind::UnexpectedEvent},
      {"entry 0's key does not decode",
       [](PinnedSetup& s, ByteString& l, ByteString& b) {
         LogWriter w;
         w.append(Kind::Create, A(), testing::undecodable_key(), "a", {});
         l = w.bytes();
         s.pin = w.identity_id();
         b = testing::recovery_binding(A(), s.pin, key_of(R()));
       },
       IdentityErrorKind::BindingInvalid},
      {"entry 0's key does not decode, binding of another identity",
       [](PinnedSetup& s, ByteString& l, ByteString&) {
         LogWriter w;
         w.append(Kind::Create, A(), testing::undecodable_key(), "a", {});
         l = w.bytes();
         (void)s;
       },
       IdentityErrorKind::BindingInvalid},
      {"binding and pin of another identity",
       [](PinnedSetup& s, ByteString&, ByteString& b) {
         LogWriter other;
         other.create(C());
         s.pin = other.identity_id();
         b = testing::recovery_binding(C(), s.pin, key_of(R()));
       },
       IdentityErrorKind::PinMismatch},
      {"binding signed by another key",
       [](PinnedSetup& s, ByteString&, ByteString& b) { b = testing::recovery_binding(B(), s.pin, key_of(R())); },
       IdentityErrorKind::BindingInvalid},
      {"binding signature altered", [](PinnedSetup&, ByteString&, ByteString& b) { b[2016 + 70] ^= 1; },
       IdentityErrorKind::BindingInvalid},
      {"entry 0's stored link forged to the pin",
       [](PinnedSetup& s, ByteString& l, ByteString& b) {
         s.log.at(0).link[5] ^= 1;
         s.pin = s.log.identity_id();
         l = s.log.bytes();
         b = testing::recovery_binding(A(), s.pin, key_of(R()));
       },
       IdentityErrorKind::LinkMismatch},
      {"replay failure after the binding checks",
       [](PinnedSetup& s, ByteString& l, ByteString&) { l = s.log.revoke(A(), device_id_of(C())).bytes(); },
       IdentityErrorKind::UnknownDevice},
      {"Recover by the binding's recovery key",
       [](PinnedSetup& s, ByteString& l, ByteString&) { l = s.log.recover(R(), key_of(C())).bytes(); }, std::nullopt},
      {"Recover by a key other than the binding's",
       [](PinnedSetup& s, ByteString& l, ByteString& b) {
         l = s.log.recover(R(), key_of(C())).bytes();
         b = testing::recovery_binding(A(), s.pin, key_of(B()));
       },
       IdentityErrorKind::UnknownSigner},
  };
  for (const PinnedCase& c : cases) {
    SCOPED_TRACE(c.name);
    PinnedSetup s = pinned_setup();
    ByteString log = s.log.bytes();
    ByteString binding = s.binding;
    c.change(s, log, binding);
    auto r = verify_pinned(log, binding, s.pin);
    if (!c.error) {
      ASSERT_TRUE(r.has_value()) << static_cast<int>(r.error().kind);
      EXPECT_FALSE(r->state.empty());
      EXPECT_TRUE(equal_bytes(r->recovery_key.bytes(), Bytes(binding).subspan(32, 1984)));
      continue;
    }
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().kind, *c.error);
    EXPECT_EQ(r.error().stage, c.stage);
  }
}

}  // namespace
}  // namespace vesk::identity
