// Challenges: the byte layout and its strict decoding, the spent-nonce set, and the acceptance
// order through the exports (format, key, expiry, signature, purge, replay, record).
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "ffi/spent_nonce_set.h"
#include "sign/challenge/challenge.h"
#include "sign/hybrid.h"
#include "support/identity_writer.h"
#include "support/test_util.h"
#include "vesk.hpp"

namespace vesk::testing {
namespace {

constexpr std::uint64_t kMax = UINT64_MAX;

// Builds challenge bytes by hand, so that the tests do not lean on the encoder they check.
ByteVec challenge_bytes(const ByteVec& nonce, const std::string& purpose, std::uint64_t issued_at,
                        std::uint64_t lifetime) {
  ByteVec out(nonce);
  auto put64 = [&out](std::uint64_t v) {
    for (int i = 7; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  put64(purpose.size());
  out.insert(out.end(), purpose.begin(), purpose.end());
  put64(issued_at);
  put64(lifetime);
  return out;
}
ByteVec nonce_of(std::uint32_t seed) { return test_bytes(32, seed); }

// ---- Encoding and decoding --------------------------------------------------------------------

TEST(ChallengeCodec, LayoutRoundTripAndStrictDecoding) {
  const ByteVec nonce = nonce_of(1);
  const ByteVec bytes = challenge_bytes(nonce, "login", 0x0102030405060708, 0x1112131415161718);
  ASSERT_EQ(bytes.size(), 61u);
  auto decoded = sign::decode_challenge(bytes);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(ByteVec(decoded->nonce.begin(), decoded->nonce.end()), nonce);
  EXPECT_EQ(as_text(decoded->purpose), "login");
  EXPECT_EQ(decoded->issued_at, 0x0102030405060708u);
  EXPECT_EQ(decoded->lifetime, 0x1112131415161718u);
  EXPECT_EQ(sign::encode_challenge(*decoded), bytes);

  struct Case {
    const char* name;
    ByteVec bytes;
    bool ok;
  };
  const ByteVec base = challenge_bytes(nonce, "ab", 5, 6);
  auto with_declared = [&](std::uint64_t declared) {
    ByteVec b = base;
    for (int i = 0; i < 8; ++i) b[32 + i] = static_cast<std::uint8_t>(declared >> (8 * (7 - i)));
    return b;
  };
  ByteVec dropped = base, added = base;
  dropped.pop_back();
  added.push_back(0);
  const Case cases[] = {
      {"empty purpose: 56 bytes", challenge_bytes(nonce, "", 0, 0), true},
      {"zero byte inside the purpose", challenge_bytes(nonce, std::string("a\0b", 3), 1, 2), true},
      {"multi-byte UTF-8", challenge_bytes(nonce, "\xC3\xA9t\xC3\xA9 \xF0\x9F\x94\x91", 1, 2), true},
      {"4040-byte purpose", challenge_bytes(nonce, std::string(4040, 'p'), 1, 2), true},
      {"well formed", base, true},
      {"empty input", {}, false},
      {"39 bytes", ByteVec(base.begin(), base.begin() + 39), false},
      {"40 bytes", ByteVec(base.begin(), base.begin() + 40), false},
      {"one byte removed", dropped, false},
      {"one byte added", added, false},
      {"declared length one more", with_declared(3), false},
      {"declared length one less", with_declared(1), false},
      {"declared length beyond the input", with_declared(1000), false},
      {"declared length 2^64-1", with_declared(kMax), false},
      {"declared length 2^64-16 (wraps if added)", with_declared(kMax - 15), false},
      {"lone continuation byte", challenge_bytes(nonce, "a\x80", 1, 2), false},
      {"truncated sequence", challenge_bytes(nonce, "\xC3", 1, 2), false},
      {"overlong NUL", challenge_bytes(nonce, "\xC0\x80", 1, 2), false},
      {"surrogate", challenge_bytes(nonce, "\xED\xA0\x80", 1, 2), false},
      {"above U+10FFFF", challenge_bytes(nonce, "\xF4\x90\x80\x80", 1, 2), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto d = sign::decode_challenge(c.bytes);
    ASSERT_EQ(d.has_value(), c.ok);
    if (c.ok) {
      EXPECT_EQ(sign::encode_challenge(*d), c.bytes);
    } else {
      EXPECT_EQ(d.error().kind, sign::ChallengeErrorKind::Malformed);
    }
  }
}

TEST(ChallengeCodec, DeadlineSaturates) {
  struct Case {
    std::uint64_t issued_at, lifetime, deadline;
  };
  const Case cases[] = {
      {0, 0, 0},         {10, 5, 15},          {kMax, 0, kMax},          {kMax, 1, kMax},
      {kMax - 1, 1, kMax}, {kMax - 1, 2, kMax}, {kMax / 2 + 1, kMax / 2 + 1, kMax}, {0, kMax, kMax},
  };
  for (const Case& c : cases)
    EXPECT_EQ(sign::challenge_deadline(c.issued_at, c.lifetime), c.deadline) << c.issued_at << " + " << c.lifetime;
}

// ---- The spent-nonce set ----------------------------------------------------------------------

sign::Nonce nonce_array(std::uint32_t seed) {
  sign::Nonce n;
  const ByteVec b = nonce_of(seed);
  std::copy(b.begin(), b.end(), n.begin());
  return n;
}

TEST(SpentNonceSet, PurgeKeepsOrderAndReplaySearchComparesAllBytes) {
  sign::SpentNonceSet set;
  EXPECT_TRUE(set.entries().empty());
  const std::uint64_t deadlines[] = {5, 1, 7, 3, 4, 9, 2};
  for (std::uint32_t i = 0; i < std::size(deadlines); ++i) set.append(nonce_array(i), deadlines[i]);
  set.purge_expired(4);  // an entry whose deadline equals now stays
  std::vector<std::uint64_t> left;
  for (const auto& e : set.entries()) left.push_back(e.deadline);
  EXPECT_EQ(left, (std::vector<std::uint64_t>{5, 7, 4, 9}));
  EXPECT_EQ(set.entries()[0].nonce, nonce_array(0));
  EXPECT_EQ(set.entries()[1].nonce, nonce_array(2));
  EXPECT_EQ(set.entries()[2].nonce, nonce_array(4));
  EXPECT_EQ(set.entries()[3].nonce, nonce_array(5));
  set.purge_expired(0);
  EXPECT_EQ(set.entries().size(), 4u);
  set.purge_expired(kMax);
  EXPECT_TRUE(set.entries().empty());

  sign::Nonce stored = nonce_array(9);
  set.append(stored, kMax);
  EXPECT_TRUE(set.contains(stored));
  for (std::size_t at : {std::size_t{0}, std::size_t{15}, std::size_t{31}}) {
    sign::Nonce near = stored;
    near[at] ^= 0x80;
    EXPECT_FALSE(set.contains(near)) << "differs only at byte " << at;
  }
}

// ---- Through the exports ----------------------------------------------------------------------

class Challenges : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 2; ++i) {
      const ByteVec seed = test_bytes(32, 100 + i);
      ASSERT_EQ(vesk_signing_identity_open(seed.data(), 32, nullptr, &id_[i]), VESK_OK);
      vesk::Buffer vk;
      ASSERT_EQ(vesk_signing_identity_public(id_[i], vk.out()), VESK_OK);
      key_[i] = vk.to_vector();
    }
    set_ = vesk_spent_nonces_new();
    ASSERT_NE(set_, nullptr);
  }
  void TearDown() override {
    vesk_spent_nonces_free(set_);
    for (auto* id : id_) vesk_signing_identity_free(id);
  }

  ByteVec make(const char* purpose, std::uint64_t issued_at, std::uint64_t lifetime) {
    vesk::Buffer c;
    EXPECT_EQ(vesk_challenge_new(purpose, issued_at, lifetime, c.out()), VESK_OK);
    EXPECT_EQ(c.get().capacity, c.get().len);
    return c.to_vector();
  }
  ByteVec answer(const ByteVec& challenge, int who = 0) {
    vesk::Buffer sig;
    EXPECT_EQ(vesk_challenge_answer(id_[who], challenge.data(), challenge.size(), sig.out()), VESK_OK);
    EXPECT_EQ(sig.get().len, VESK_SIGNATURE_LEN);
    EXPECT_EQ(sig.get().capacity, VESK_SIGNATURE_LEN);
    return sig.to_vector();
  }
  VeskStatus accept(const ByteVec& challenge, const ByteVec& sig, std::uint64_t now, const ByteVec* key = nullptr) {
    const ByteVec& k = key ? *key : key_[0];
    return vesk_challenge_accept(set_, challenge.data(), challenge.size(), sig.data(), sig.size(), k.data(), k.size(),
                                 now);
  }
  std::vector<sign::SpentNonceEntry> entries() const {
    auto e = set_->set.entries();
    return {e.begin(), e.end()};
  }

  VeskSigningIdentityHandle* id_[2] = {nullptr, nullptr};
  ByteVec key_[2];
  VeskSpentNonceSet* set_ = nullptr;
};

TEST_F(Challenges, NewLaysOutFreshNonceAndFields) {
  const ByteVec a = make("", 7, 9), b = make("", 7, 9);
  ASSERT_EQ(a.size(), 56u);
  EXPECT_EQ(ByteVec(a.begin() + 32, a.end()), ByteVec(challenge_bytes(ByteVec(), "", 7, 9)));
  EXPECT_NE(ByteVec(a.begin(), a.begin() + 32), ByteVec(b.begin(), b.begin() + 32));
  const ByteVec c = make("sign in to example", kMax, kMax);
  EXPECT_EQ(c, challenge_bytes(ByteVec(c.begin(), c.begin() + 32), "sign in to example", kMax, kMax));
}

TEST_F(Challenges, RandomnessFailureIsAnInternalError) {
  VeskBuffer out = sentinel_buffer();
  const FailingRandomness failing;
  EXPECT_EQ(vesk_challenge_new("purpose", 1, 2, &out), VESK_INTERNAL_ERROR);
  EXPECT_TRUE(is_sentinel(out));
}

TEST_F(Challenges, LongPurposesAreMadeButRefusedByAnswerAndAccept) {
  const std::string at_limit(4040, 'x'), over(4041, 'x');
  const ByteVec fits = make(at_limit.c_str(), 0, 10);
  ASSERT_EQ(fits.size(), 4096u);
  EXPECT_EQ(accept(fits, answer(fits), 5), VESK_OK);

  const ByteVec too_long = make(over.c_str(), 0, 10);
  ASSERT_EQ(too_long.size(), 4097u);
  VeskBuffer out = sentinel_buffer();
  EXPECT_EQ(vesk_challenge_answer(id_[0], too_long.data(), too_long.size(), &out), VESK_INVALID_ARGUMENT);
  EXPECT_TRUE(is_sentinel(out));
  const ByteVec sig(VESK_SIGNATURE_LEN, 0);
  EXPECT_EQ(accept(too_long, sig, 5), VESK_INVALID_ARGUMENT);
}

TEST_F(Challenges, ReplayIsRefusedUntilExpiryThenExpiryIsReported) {
  const ByteVec c1 = make("first", 0, 100), c2 = make("second", 0, 1000);
  const ByteVec s1 = answer(c1), s2 = answer(c2);
  EXPECT_EQ(accept(c1, s1, 50), VESK_OK);
  EXPECT_EQ(accept(c1, s1, 50), VESK_CHALLENGE_REPLAYED);
  EXPECT_EQ(accept(c1, s1, 100), VESK_CHALLENGE_REPLAYED);
  // Past its deadline the answer is expired, whether or not its entry is still there.
  EXPECT_EQ(accept(c1, s1, 101), VESK_CHALLENGE_EXPIRED);
  ASSERT_EQ(entries().size(), 1u);
  EXPECT_EQ(accept(c2, s2, 101), VESK_OK);  // this acceptance purges c1's entry
  ASSERT_EQ(entries().size(), 1u);
  EXPECT_EQ(entries()[0].deadline, 1000u);
  EXPECT_EQ(accept(c1, s1, 101), VESK_CHALLENGE_EXPIRED);
  // A replay refusal still purges: c3 expires at 200, and a replay of c2 at 500 removes it.
  const ByteVec c3 = make("third", 0, 200);
  EXPECT_EQ(accept(c3, answer(c3), 150), VESK_OK);
  ASSERT_EQ(entries().size(), 2u);
  EXPECT_EQ(accept(c2, s2, 500), VESK_CHALLENGE_REPLAYED);
  ASSERT_EQ(entries().size(), 1u);
  EXPECT_EQ(entries()[0].deadline, 1000u);
  // Two challenges alike in everything but their nonces are independent.
  const ByteVec twin_a = challenge_bytes(nonce_of(71), "twin", 0, 10), twin_b = challenge_bytes(nonce_of(72), "twin", 0, 10);
  EXPECT_EQ(accept(twin_a, answer(twin_a), 5), VESK_OK);
  EXPECT_EQ(accept(twin_b, answer(twin_b), 5), VESK_OK);
}

TEST_F(Challenges, BadAnswersLeaveTheSetUnchanged) {
  const ByteVec old = make("old", 0, 10);
  ASSERT_EQ(accept(old, answer(old), 0), VESK_OK);  // an entry a purge at now = 50 would drop
  const auto before = entries();
  const ByteVec c = make("login", 0, 100);
  const ByteVec right = answer(c);
  const auto id = sign::SigningIdentity::from_seed(test_bytes(32, 100));
  const sign::Signature near_context = sign::hybrid_sign(*id, as_bytes("VESK/0.5 challengE"), c);
  vesk::Buffer app_context;
  ASSERT_EQ(vesk_sign_message(id_[0], reinterpret_cast<const std::uint8_t*>("login"), 5, c.data(), c.size(),
                              app_context.out()),
            VESK_OK);
  ByteVec flipped = right;
  flipped[100] ^= 1;
  const std::pair<const char*, ByteVec> wrong[] = {
      {"another identity's answer", answer(c, 1)},
      {"same identity, another context", ByteVec(near_context.begin(), near_context.end())},
      {"a message signature over the same bytes", app_context.to_vector()},
      {"answer to another challenge", answer(old)},
      {"altered answer", flipped},
  };
  for (const auto& [name, sig] : wrong) {
    SCOPED_TRACE(name);
    EXPECT_EQ(accept(c, sig, 50), VESK_AUTHENTICATION_FAILED);
    EXPECT_EQ(entries(), before);
  }
  EXPECT_EQ(accept(c, right, 50, &key_[1]), VESK_AUTHENTICATION_FAILED);  // right answer, wrong key
  EXPECT_EQ(entries(), before);
  // An expired challenge with a bad answer is reported as expired.
  EXPECT_EQ(accept(c, answer(c, 1), 101), VESK_CHALLENGE_EXPIRED);
  EXPECT_EQ(entries(), before);
  // The right answer still goes through, and purges the expired entry as it does.
  EXPECT_EQ(accept(c, right, 50), VESK_OK);
  ASSERT_EQ(entries().size(), 1u);
  EXPECT_EQ(entries()[0].deadline, 100u);
  // A bad answer to an accepted challenge is a failed signature, not a replay.
  EXPECT_EQ(accept(c, answer(c, 1), 50), VESK_AUTHENTICATION_FAILED);
}

// One identity handle shared by many threads; each thread has its own set and challenges.
TEST_F(Challenges, ManyThreadsShareOneIdentity) {
  const ByteVec context = {'t'}, message = test_bytes(200, 9);
  vesk::Buffer reference;
  ASSERT_EQ(vesk_sign_message(id_[0], context.data(), 1, message.data(), message.size(), reference.out()), VESK_OK);
  const ByteVec expected = reference.to_vector();
  constexpr int kThreads = 8, kRounds = 6;
  std::vector<int> failures(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      VeskSpentNonceSet* set = vesk_spent_nonces_new();
      for (int r = 0; r < kRounds; ++r) {
        VeskBuffer ch = vesk_buffer_empty(), sig = vesk_buffer_empty(), msg_sig = vesk_buffer_empty();
        const std::uint64_t now = static_cast<std::uint64_t>(r) * 10;
        bool ok = vesk_challenge_new("thread", now, 5, &ch) == VESK_OK &&
                  vesk_challenge_answer(id_[0], ch.data, ch.len, &sig) == VESK_OK &&
                  vesk_challenge_accept(set, ch.data, ch.len, sig.data, sig.len, key_[0].data(), key_[0].size(),
                                        now) == VESK_OK &&
                  vesk_challenge_accept(set, ch.data, ch.len, sig.data, sig.len, key_[0].data(), key_[0].size(),
                                        now + 5) == VESK_CHALLENGE_REPLAYED &&
                  vesk_sign_message(id_[0], context.data(), 1, message.data(), message.size(), &msg_sig) == VESK_OK &&
                  ByteVec(msg_sig.data, msg_sig.data + msg_sig.len) == expected;
        if (!ok) ++failures[t];
        vesk_buffer_free(&ch);
        vesk_buffer_free(&sig);
        vesk_buffer_free(&msg_sig);
      }
      // Each round's acceptance purged the entries of earlier rounds.
      if (set->set.entries().size() != 1) ++failures[t];
      vesk_spent_nonces_free(set);
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures, std::vector<int>(kThreads, 0));
}

TEST(SpentNonces, NewIsEmpty) {
  VeskSpentNonceSet* set = vesk_spent_nonces_new();
  ASSERT_NE(set, nullptr);
  EXPECT_TRUE(set->set.entries().empty());
  vesk_spent_nonces_free(set);
}

}  // namespace
}  // namespace vesk::testing
