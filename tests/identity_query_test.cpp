// The exported identity queries: status precedence, results, untouched outputs.
#include <gtest/gtest.h>

#include <functional>

#include "support/identity_writer.h"
#include "support/test_util.h"
#include "vesk.h"

namespace vesk::testing {
namespace {

const sign::SigningIdentity& A() { return test_identity(1); }
const sign::SigningIdentity& B() { return test_identity(2); }
const sign::SigningIdentity& C() { return test_identity(3); }
const sign::SigningIdentity& R() { return test_identity(9); }

struct Fixture {
  LogWriter writer;     // Create A, Add B
  ByteString log;
  ByteString one_entry;
  crypto::Digest32 identity{};
  ByteString recovery_key = key_of(R());
  ByteString binding;
  ByteString malformed_log;
  ByteString replay_fails;  // decodes, fails replay
  ByteString short_add;     // an Add with a 1983-byte key

  Fixture() {
    writer.create(A(), "phone").add(A(), key_of(B()), "laptop");
    log = writer.bytes();
    identity = writer.identity_id();
    LogWriter one;
    one.create(A(), "phone");
    one_entry = one.bytes();
    binding = recovery_binding(A(), identity, recovery_key);
    malformed_log = log;
    malformed_log.push_back(0);
    LogWriter bad = writer;
    bad.at(1).signature[9] ^= 1;
    bad.relink(1);
    replay_fails = bad.bytes();
    ByteString k = key_of(C());
    k.pop_back();
    LogWriter s = writer;
    s.add(A(), k);
    short_add = s.bytes();
  }
};

const Fixture& fx() {
  static Fixture f;
  return f;
}

// Each wrapper checks that a failure leaves the output exactly as it was.
VeskStatus head(const ByteString& log, const ByteString& key, ByteString* out = nullptr) {
  VeskBuffer b = sentinel_buffer();
  VeskStatus s = vesk_identity_head(log.data(), log.size(), key.data(), key.size(), &b);
  if (s != VESK_OK) {
    EXPECT_TRUE(is_sentinel(b));
    return s;
  }
  EXPECT_EQ(b.len, 32u);
  EXPECT_EQ(b.capacity, 32u);
  if (out) out->assign(b.data, b.data + b.len);
  vesk_buffer_free(&b);
  return s;
}

// A query whose result is a count or a flag, pre-filled with `sentinel`.
template <class T, class Query>
VeskStatus query(T sentinel, T* out, Query q) {
  T v = sentinel;
  const VeskStatus s = q(&v);
  if (s != VESK_OK) {
    EXPECT_EQ(v, sentinel);
  }
  if (out) *out = v;
  return s;
}

VeskStatus verify(const ByteString& log, const ByteString& key, std::uint64_t* out = nullptr) {
  return query(kSentinelCount, out, [&](std::uint64_t* n) {
    return vesk_identity_verify(log.data(), log.size(), key.data(), key.size(), n);
  });
}

VeskStatus trusts(const ByteString& log, const ByteString& key, const ByteString& device,
                  std::int32_t* out = nullptr) {
  return query(kSentinelFlag, out, [&](std::int32_t* t) {
    return vesk_identity_trusts_device(log.data(), log.size(), key.data(), key.size(), device.data(), device.size(),
                                       t);
  });
}

VeskStatus pinned(const ByteString& log, const ByteString& binding, const ByteString& pin,
                  std::uint64_t* out = nullptr) {
  return query(kSentinelCount, out, [&](std::uint64_t* n) {
    return vesk_identity_verify_pinned(log.data(), log.size(), binding.data(), binding.size(), pin.data(),
                                       pin.size(), n);
  });
}

ByteString sized(std::size_t n) { return ByteString(n, 0x41); }

struct StatusCase {
  const char* name;
  std::function<VeskStatus()> call;
  VeskStatus expected;
};

void run(const std::vector<StatusCase>& cases) {
  for (const StatusCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(), c.expected);
  }
}

// The same steps for head and verify: the key, then decoding the log, then its replay.
TEST(IdentityQueries, HeadAndVerifyStatuses) {
  const Fixture& f = fx();
  ByteString at_cap = f.log;
  at_cap.resize(VESK_MAX_LOG, 0);  // trailing zeros: decoded, and refused as malformed
  const ByteString k1985 = sized(1985), undecodable = undecodable_key();
  const ByteString empty_log = {0x80};
  using Query = VeskStatus (*)(const ByteString&, const ByteString&);
  for (Query op : {Query{[](const ByteString& l, const ByteString& k) { return head(l, k); }},
                   Query{[](const ByteString& l, const ByteString& k) { return verify(l, k); }}}) {
    run({
        {"valid", [&] { return op(f.log, f.recovery_key); }, VESK_OK},
        {"log of 16777216 bytes", [&] { return op(at_cap, f.recovery_key); }, VESK_MALFORMED_INPUT},
        {"key of 1985 bytes", [&] { return op(f.log, k1985); }, VESK_NOT_KEY_FILE},
        {"key that does not decode", [&] { return op(f.log, undecodable); }, VESK_NOT_KEY_FILE},
        {"bad key before bad log", [&] { return op(f.malformed_log, k1985); }, VESK_NOT_KEY_FILE},
        {"malformed log", [&] { return op(f.malformed_log, f.recovery_key); }, VESK_MALFORMED_INPUT},
        {"empty log 0x80", [&] { return op(empty_log, f.recovery_key); }, VESK_AUTHENTICATION_FAILED},
        {"altered signature", [&] { return op(f.replay_fails, f.recovery_key); }, VESK_AUTHENTICATION_FAILED},
        {"Add with a 1983-byte key", [&] { return op(f.short_add, f.recovery_key); },
         VESK_AUTHENTICATION_FAILED},
    });
  }
}

TEST(IdentityQueries, Results) {
  const Fixture& f = fx();
  ByteString h;
  ASSERT_EQ(head(f.one_entry, f.recovery_key, &h), VESK_OK);
  EXPECT_TRUE(equal_bytes(h, f.identity));  // one entry: head = identity id
  ASSERT_EQ(head(f.log, f.recovery_key, &h), VESK_OK);
  EXPECT_TRUE(equal_bytes(h, f.writer.head()));
  EXPECT_FALSE(equal_bytes(h, f.identity));

  std::uint64_t n = 0;
  ASSERT_EQ(verify(f.log, f.recovery_key, &n), VESK_OK);
  EXPECT_EQ(n, 2u);
  LogWriter recovered = f.writer;
  recovered.recover(R(), key_of(C()));
  ASSERT_EQ(verify(recovered.bytes(), f.recovery_key, &n), VESK_OK);
  EXPECT_EQ(n, 1u);
  // Another recovery key: the Recover entry's signer is not it.
  EXPECT_EQ(verify(recovered.bytes(), key_of(C())), VESK_AUTHENTICATION_FAILED);
}

TEST(IdentityQueries, TrustsDevice) {
  const Fixture& f = fx();
  const ByteString a = key_of(A()), b = key_of(B()), c = key_of(C()), k1983 = sized(1983);
  LogWriter revoked = f.writer;
  revoked.revoke(B(), device_id_of(A()));
  LogWriter recovered = f.writer;
  recovered.recover(R(), key_of(C()));
  const ByteString revoked_log = revoked.bytes(), recovered_log = recovered.bytes();

  struct Case {
    const char* name;
    const ByteString& log;
    const ByteString& device;
    std::int32_t trusted;
  };
  for (const Case& c : std::vector<Case>{{"first device", f.log, a, 1},
                                        {"added device", f.log, b, 1},
                                        {"never added", f.log, c, 0},
                                        {"revoked", revoked_log, a, 0},
                                        {"still active after a revoke", revoked_log, b, 1},
                                        {"removed by Recover", recovered_log, a, 0},
                                        {"installed by Recover", recovered_log, c, 1}}) {
    SCOPED_TRACE(c.name);
    std::int32_t t = kSentinelFlag;
    ASSERT_EQ(trusts(c.log, f.recovery_key, c.device, &t), VESK_OK);
    EXPECT_EQ(t, c.trusted);
  }

  run({
      {"device key of 1983 bytes, malformed log", [&] { return trusts(f.malformed_log, f.recovery_key, k1983); },
       VESK_NOT_KEY_FILE},
      {"device key that does not decode", [&] { return trusts(f.log, f.recovery_key, undecodable_key()); },
       VESK_NOT_KEY_FILE},
      {"recovery key of 1985 bytes", [&] { return trusts(f.log, sized(1985), a); }, VESK_NOT_KEY_FILE},
      {"malformed log", [&] { return trusts(f.malformed_log, f.recovery_key, a); }, VESK_MALFORMED_INPUT},
      {"replay fails", [&] { return trusts(f.replay_fails, f.recovery_key, a); }, VESK_AUTHENTICATION_FAILED},
  });
}

TEST(IdentityQueries, VerifyPinned) {
  const Fixture& f = fx();
  const ByteString pin(f.identity.begin(), f.identity.end());
  ByteString wrong_pin = pin;
  wrong_pin[0] ^= 1;
  ByteString b5388 = f.binding;
  b5388.pop_back();
  ByteString other_signer = recovery_binding(B(), f.identity, f.recovery_key);

  std::uint64_t n = 0;
  ASSERT_EQ(pinned(f.log, f.binding, pin, &n), VESK_OK);
  EXPECT_EQ(n, 2u);

  run({
      {"binding of 5388 bytes", [&] { return pinned(f.log, b5388, pin); }, VESK_MALFORMED_INPUT},
      {"binding of 5388 bytes, wrong pin", [&] { return pinned(f.log, b5388, wrong_pin); }, VESK_MALFORMED_INPUT},
      {"malformed log, wrong pin", [&] { return pinned(f.malformed_log, f.binding, wrong_pin); },
       VESK_MALFORMED_INPUT},
      {"wrong pin", [&] { return pinned(f.log, f.binding, wrong_pin); }, VESK_AUTHENTICATION_FAILED},
      {"binding signed by another device", [&] { return pinned(f.log, other_signer, pin); },
       VESK_AUTHENTICATION_FAILED},
      {"replay fails", [&] { return pinned(f.replay_fails, f.binding, pin); }, VESK_AUTHENTICATION_FAILED},
      {"Add with a 1983-byte key", [&] { return pinned(f.short_add, f.binding, pin); }, VESK_AUTHENTICATION_FAILED},
      {"empty log", [&] { return pinned(ByteString{0x80}, f.binding, pin); }, VESK_AUTHENTICATION_FAILED},
  });
}

}  // namespace
}  // namespace vesk::testing
