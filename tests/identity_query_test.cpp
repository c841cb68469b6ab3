// The exported identity queries: argument rules, status precedence, results, untouched outputs.
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

// A byte-range argument: pointer and length, the pointer possibly NULL.
struct Arg {
  const std::uint8_t* p;
  std::size_t n;
};
Arg arg(const ByteString& b) { return {b.data(), b.size()}; }
Arg null_arg(std::size_t n) { return {nullptr, n}; }

constexpr std::uint64_t kCountSentinel = 0xDEADBEEFCAFEF00Dull;
constexpr std::int32_t kFlagSentinel = 0x5A5A5A5A;

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
VeskStatus head(Arg log, Arg key, ByteString* out = nullptr) {
  VeskBuffer b = sentinel_buffer();
  VeskStatus s = vesk_identity_head(log.p, log.n, key.p, key.n, &b);
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

VeskStatus verify(Arg log, Arg key, std::uint64_t* out = nullptr) {
  std::uint64_t n = kCountSentinel;
  VeskStatus s = vesk_identity_verify(log.p, log.n, key.p, key.n, &n);
  if (s != VESK_OK) {
    EXPECT_EQ(n, kCountSentinel);
  }
  if (out) *out = n;
  return s;
}

VeskStatus trusts(Arg log, Arg key, Arg device, std::int32_t* out = nullptr) {
  std::int32_t t = kFlagSentinel;
  VeskStatus s = vesk_identity_trusts_device(log.p, log.n, key.p, key.n, device.p, device.n, &t);
  if (s != VESK_OK) {
    EXPECT_EQ(t, kFlagSentinel);
  }
  if (out) *out = t;
  return s;
}

VeskStatus pinned(Arg log, Arg binding, Arg pin, std::uint64_t* out = nullptr) {
  std::uint64_t n = kCountSentinel;
  VeskStatus s = vesk_identity_verify_pinned(log.p, log.n, binding.p, binding.n, pin.p, pin.n, &n);
  if (s != VESK_OK) {
    EXPECT_EQ(n, kCountSentinel);
  }
  if (out) *out = n;
  return s;
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

// The same steps for head and verify: arguments (1), key (3), log decoding (6), replay (4).
TEST(IdentityQueries, HeadAndVerifyStatuses) {
  const Fixture& f = fx();
  const ByteString big = sized(VESK_MAX_LOG + 1);
  ByteString at_cap = f.log;
  at_cap.resize(VESK_MAX_LOG, 0);  // trailing zeros: decoded, and refused as malformed
  const ByteString k1985 = sized(1985), k4097 = sized(4097), undecodable = undecodable_key();
  const ByteString empty_log = {0x80};
  for (auto op : {+[](Arg l, Arg k) { return head(l, k); }, +[](Arg l, Arg k) { return verify(l, k); }}) {
    run({
        {"valid", [&] { return op(arg(f.log), arg(f.recovery_key)); }, VESK_OK},
        {"log of 16777217 bytes", [&] { return op(arg(big), arg(f.recovery_key)); }, VESK_INVALID_ARGUMENT},
        {"log of 16777216 bytes", [&] { return op(arg(at_cap), arg(f.recovery_key)); }, VESK_MALFORMED_INPUT},
        {"log NULL, length 1", [&] { return op(null_arg(1), arg(f.recovery_key)); }, VESK_INVALID_ARGUMENT},
        {"log NULL, length 0", [&] { return op(null_arg(0), arg(f.recovery_key)); }, VESK_MALFORMED_INPUT},
        {"key of 4097 bytes", [&] { return op(arg(f.log), arg(k4097)); }, VESK_INVALID_ARGUMENT},
        {"key NULL, length 5", [&] { return op(arg(f.log), null_arg(5)); }, VESK_INVALID_ARGUMENT},
        {"key of 4097 bytes, log too long", [&] { return op(arg(big), arg(k4097)); }, VESK_INVALID_ARGUMENT},
        {"key of 1985 bytes", [&] { return op(arg(f.log), arg(k1985)); }, VESK_NOT_KEY_FILE},
        {"key NULL, length 0", [&] { return op(arg(f.log), null_arg(0)); }, VESK_NOT_KEY_FILE},
        {"key that does not decode", [&] { return op(arg(f.log), arg(undecodable)); }, VESK_NOT_KEY_FILE},
        {"bad key before bad log", [&] { return op(arg(f.malformed_log), arg(k1985)); }, VESK_NOT_KEY_FILE},
        {"malformed log", [&] { return op(arg(f.malformed_log), arg(f.recovery_key)); }, VESK_MALFORMED_INPUT},
        {"empty log 0x80", [&] { return op(arg(empty_log), arg(f.recovery_key)); }, VESK_AUTHENTICATION_FAILED},
        {"altered signature", [&] { return op(arg(f.replay_fails), arg(f.recovery_key)); }, VESK_AUTHENTICATION_FAILED},
        {"Add with a 1983-byte key", [&] { return op(arg(f.short_add), arg(f.recovery_key)); },
         VESK_AUTHENTICATION_FAILED},
    });
  }
  EXPECT_EQ(vesk_identity_head(f.log.data(), f.log.size(), f.recovery_key.data(), f.recovery_key.size(), nullptr),
            VESK_INVALID_ARGUMENT);
  EXPECT_EQ(vesk_identity_verify(f.log.data(), f.log.size(), f.recovery_key.data(), f.recovery_key.size(), nullptr),
            VESK_INVALID_ARGUMENT);
}

TEST(IdentityQueries, Results) {
  const Fixture& f = fx();
  ByteString h;
  ASSERT_EQ(head(arg(f.one_entry), arg(f.recovery_key), &h), VESK_OK);
  EXPECT_TRUE(equal_bytes(h, f.identity));  // one entry: head = identity id
  ASSERT_EQ(head(arg(f.log), arg(f.recovery_key), &h), VESK_OK);
  EXPECT_TRUE(equal_bytes(h, f.writer.head()));
  EXPECT_FALSE(equal_bytes(h, f.identity));

  std::uint64_t n = 0;
  ASSERT_EQ(verify(arg(f.log), arg(f.recovery_key), &n), VESK_OK);
  EXPECT_EQ(n, 2u);
  LogWriter recovered = f.writer;
  recovered.recover(R(), key_of(C()));
  ASSERT_EQ(verify(arg(recovered.bytes()), arg(f.recovery_key), &n), VESK_OK);
  EXPECT_EQ(n, 1u);
  // Another recovery key: the Recover entry's signer is not it.
  EXPECT_EQ(verify(arg(recovered.bytes()), arg(key_of(C()))), VESK_AUTHENTICATION_FAILED);
}

TEST(IdentityQueries, TrustsDevice) {
  const Fixture& f = fx();
  const ByteString a = key_of(A()), b = key_of(B()), c = key_of(C()), k1983 = sized(1983), k4097 = sized(4097);
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
    std::int32_t t = kFlagSentinel;
    ASSERT_EQ(trusts(arg(c.log), arg(f.recovery_key), arg(c.device), &t), VESK_OK);
    EXPECT_EQ(t, c.trusted);
  }

  run({
      {"device key of 1983 bytes, malformed log",
       [&] { return trusts(arg(f.malformed_log), arg(f.recovery_key), arg(k1983)); }, VESK_NOT_KEY_FILE},
      {"device key NULL, length 0", [&] { return trusts(arg(f.log), arg(f.recovery_key), null_arg(0)); },
       VESK_NOT_KEY_FILE},
      {"device key that does not decode",
       [&] { return trusts(arg(f.log), arg(f.recovery_key), arg(undecodable_key())); }, VESK_NOT_KEY_FILE},
      {"device key of 4097 bytes", [&] { return trusts(arg(f.log), arg(f.recovery_key), arg(k4097)); },
       VESK_INVALID_ARGUMENT},
      {"device key NULL, length 3", [&] { return trusts(arg(f.log), arg(f.recovery_key), null_arg(3)); },
       VESK_INVALID_ARGUMENT},
      {"recovery key of 1985 bytes", [&] { return trusts(arg(f.log), arg(sized(1985)), arg(a)); }, VESK_NOT_KEY_FILE},
      {"log of 16777217 bytes", [&] { return trusts(arg(sized(VESK_MAX_LOG + 1)), arg(f.recovery_key), arg(k1983)); },
       VESK_INVALID_ARGUMENT},
      {"malformed log", [&] { return trusts(arg(f.malformed_log), arg(f.recovery_key), arg(a)); },
       VESK_MALFORMED_INPUT},
      {"replay fails", [&] { return trusts(arg(f.replay_fails), arg(f.recovery_key), arg(a)); },
       VESK_AUTHENTICATION_FAILED},
  });
  EXPECT_EQ(vesk_identity_trusts_device(f.log.data(), f.log.size(), f.recovery_key.data(), f.recovery_key.size(),
                                        a.data(), a.size(), nullptr),
            VESK_INVALID_ARGUMENT);
}

TEST(IdentityQueries, VerifyPinned) {
  const Fixture& f = fx();
  const ByteString pin(f.identity.begin(), f.identity.end());
  ByteString wrong_pin = pin;
  wrong_pin[0] ^= 1;
  const ByteString pin31(pin.begin(), pin.end() - 1);
  ByteString b5390 = f.binding, b5388 = f.binding;
  b5390.push_back(0);
  b5388.pop_back();
  ByteString other_signer = recovery_binding(B(), f.identity, f.recovery_key);

  std::uint64_t n = 0;
  ASSERT_EQ(pinned(arg(f.log), arg(f.binding), arg(pin), &n), VESK_OK);
  EXPECT_EQ(n, 2u);

  run({
      {"pin of 31 bytes", [&] { return pinned(arg(f.log), arg(f.binding), arg(pin31)); }, VESK_INVALID_ARGUMENT},
      {"pin NULL", [&] { return pinned(arg(f.log), arg(f.binding), null_arg(32)); }, VESK_INVALID_ARGUMENT},
      {"pin empty", [&] { return pinned(arg(f.log), arg(f.binding), null_arg(0)); }, VESK_INVALID_ARGUMENT},
      {"binding of 5390 bytes", [&] { return pinned(arg(f.log), arg(b5390), arg(pin)); }, VESK_INVALID_ARGUMENT},
      {"binding NULL, length 1", [&] { return pinned(arg(f.log), null_arg(1), arg(pin)); }, VESK_INVALID_ARGUMENT},
      {"log of 16777217 bytes", [&] { return pinned(arg(sized(VESK_MAX_LOG + 1)), arg(f.binding), arg(pin)); },
       VESK_INVALID_ARGUMENT},
      {"binding of 5388 bytes", [&] { return pinned(arg(f.log), arg(b5388), arg(pin)); }, VESK_MALFORMED_INPUT},
      {"binding empty", [&] { return pinned(arg(f.log), null_arg(0), arg(pin)); }, VESK_MALFORMED_INPUT},
      {"binding of 5388 bytes, wrong pin", [&] { return pinned(arg(f.log), arg(b5388), arg(wrong_pin)); },
       VESK_MALFORMED_INPUT},
      {"malformed log, wrong pin", [&] { return pinned(arg(f.malformed_log), arg(f.binding), arg(wrong_pin)); },
       VESK_MALFORMED_INPUT},
      {"wrong pin", [&] { return pinned(arg(f.log), arg(f.binding), arg(wrong_pin)); }, VESK_AUTHENTICATION_FAILED},
      {"binding signed by another device", [&] { return pinned(arg(f.log), arg(other_signer), arg(pin)); },
       VESK_AUTHENTICATION_FAILED},
      {"replay fails", [&] { return pinned(arg(f.replay_fails), arg(f.binding), arg(pin)); },
       VESK_AUTHENTICATION_FAILED},
      {"Add with a 1983-byte key", [&] { return pinned(arg(f.short_add), arg(f.binding), arg(pin)); },
       VESK_AUTHENTICATION_FAILED},
      {"empty log", [&] { return pinned(arg(ByteString{0x80}), arg(f.binding), arg(pin)); },
       VESK_AUTHENTICATION_FAILED},
  });
  EXPECT_EQ(vesk_identity_verify_pinned(f.log.data(), f.log.size(), f.binding.data(), f.binding.size(), pin.data(),
                                        pin.size(), nullptr),
            VESK_INVALID_ARGUMENT);
}

}  // namespace
}  // namespace vesk::testing
