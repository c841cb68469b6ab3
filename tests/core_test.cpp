// Core services: the randomness source on both of its paths, strict Base64, UTF-8, White_Space
// and Unicode normalisation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <latch>
#include <set>
#include <thread>
#include <vector>

#include "core/base64.h"
#include "core/random.h"
#include "core/testing_hooks.h"
#include "core/unicode.h"
#include "core/utf8.h"
#include "support/vectors.h"

namespace vesk::testing {
namespace {

using detail::RandomSource;
using Kind = RandomSource::Kind;

// ---- Randomness ---------------------------------------------------------------------------

// Fake getrandom functions. Data calls write a running counter, so a test can see that a fill was
// completed in order across short reads and retries.
std::uint8_t g_counter = 0;
int g_calls = 0;

long fake_enosys(void*, std::size_t, unsigned) {
  errno = ENOSYS;
  return -1;
}
long fake_eperm(void*, std::size_t, unsigned) {
  errno = EPERM;
  return -1;
}
long fake_einval(void*, std::size_t, unsigned) {
  errno = EINVAL;
  return -1;
}
long write_counter(void* buf, std::size_t n) {
  auto* p = static_cast<std::uint8_t*>(buf);
  for (std::size_t i = 0; i < n; ++i) p[i] = g_counter++;
  return static_cast<long>(n);
}
// At most 7 bytes per call, and every third call is interrupted.
long fake_short_and_interrupted(void* buf, std::size_t len, unsigned) {
  if (len == 0) return 0;
  if (++g_calls % 3 == 0) {
    errno = EINTR;
    return -1;
  }
  return write_counter(buf, len < 7 ? len : 7);
}
// Five bytes, then an I/O error.
long fake_fails_midway(void* buf, std::size_t len, unsigned) {
  if (len == 0) return 0;
  if (++g_calls > 1) {
    errno = EIO;
    return -1;
  }
  return write_counter(buf, len < 5 ? len : 5);
}
// Reports success but delivers nothing.
long fake_returns_nothing(void*, std::size_t, unsigned) { return 0; }

TEST(Random, ProbeDecidesThePathAndFillsAreCompleteOrFail) {
  struct Case {
    const char* name;
    detail::GetrandomFn fn;
    Kind kind;
    int fill_error;  // 0: the fill must succeed
    bool counter_pattern;
  };
  const Case cases[] = {
      {"getrandom missing", nullptr, Kind::DevUrandom, 0, false},
      {"probe ENOSYS", fake_enosys, Kind::DevUrandom, 0, false},
      {"probe EPERM", fake_eperm, Kind::DevUrandom, 0, false},
      {"probe EINVAL keeps getrandom", fake_einval, Kind::Getrandom, EINVAL, false},
      {"short reads and EINTR", fake_short_and_interrupted, Kind::Getrandom, 0, true},
      {"error after a partial read", fake_fails_midway, Kind::Getrandom, EIO, false},
      {"no progress", fake_returns_nothing, Kind::Getrandom, EIO, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_counter = 0;
    g_calls = 0;
    RandomSource source = RandomSource::open_with(c.fn);
    EXPECT_EQ(source.kind(), c.kind);
    std::vector<std::uint8_t> out(100, 0xEE);
    auto r = source.fill(out);
    if (c.fill_error != 0) {
      ASSERT_FALSE(r.has_value());
      EXPECT_EQ(r.error().system_error, c.fill_error);
      continue;
    }
    ASSERT_TRUE(r.has_value());
    if (c.counter_pattern) {
      for (std::size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], static_cast<std::uint8_t>(i)) << i;
    } else {
      EXPECT_NE(out, std::vector<std::uint8_t>(100, 0xEE));
    }
  }
}

TEST(Random, DevicePathOpensOnlyExistingFiles) {
  RandomSource real = RandomSource::open_device();
  ASSERT_EQ(real.kind(), Kind::DevUrandom);
  std::vector<std::uint8_t> a(64), b(64);
  ASSERT_TRUE(real.fill(a).has_value());
  ASSERT_TRUE(real.fill(b).has_value());
  EXPECT_NE(a, b);
  ASSERT_TRUE(real.fill(MutBytes{}).has_value());

  const struct {
    const char* ready;
    const char* device;
  } missing[] = {{"/nonexistent/random", "/dev/urandom"}, {"/dev/random", "/nonexistent/urandom"}};
  for (const auto& m : missing) {
    RandomSource failed = RandomSource::open_device(m.ready, m.device);
    EXPECT_EQ(failed.kind(), Kind::Failed);
    auto r = failed.fill(a);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().system_error, ENOENT);
  }
}

TEST(Random, ConcurrentFirstUseGivesEveryThreadItsOwnBytes) {
  // Each test runs in its own process under ctest, so this is the source's first use.
  constexpr int kThreads = 8;
  std::latch start(kThreads);
  std::vector<std::vector<std::uint8_t>> outs(kThreads, std::vector<std::uint8_t>(32));
  std::vector<int> ok(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      ok[t] = random_fill(outs[t]).has_value();
    });
  }
  for (auto& th : threads) th.join();
  std::set<std::string> distinct;
  for (const auto& o : outs) distinct.insert(to_hex(o));
  EXPECT_EQ(std::count(ok.begin(), ok.end(), 1), kThreads);
  EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kThreads));
}

TEST(Random, StandInSourceFillsOrFailsAndIsCleared) {
  std::uint8_t b[4];
  // A stand-in that reports an error fails the draw with it.
  testing_hooks::set_random_source([](void*, MutBytes) { return EIO; });
  auto r = random_fill(b);
  // One that fills gives its bytes.
  int calls = 0;
  testing_hooks::set_random_source(
      [](void* counter, MutBytes out) {
        ++*static_cast<int*>(counter);
        std::fill(out.begin(), out.end(), std::uint8_t{0xA5});
        return 0;
      },
      &calls);
  std::uint8_t filled[4] = {};
  const bool filled_ok = random_fill(filled).has_value();
  testing_hooks::set_random_source(nullptr);
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().system_error, EIO);
  EXPECT_TRUE(filled_ok);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(ByteVec(filled, filled + 4), ByteVec(4, 0xA5));
  EXPECT_TRUE(random_fill(b).has_value());
}

// ---- Base64 -------------------------------------------------------------------------------

TEST(Base64, PublishedVectorsEncodeAndStrictDecoding) {
  const auto vectors = load_vectors("base64_rfc4648.json");
  ASSERT_EQ(vectors.size(), 17u);
  int valid = 0, invalid = 0;
  for (const auto& v : vectors) {
    const std::string text = v.at("text").get<std::string>();
    SCOPED_TRACE(v.at("name").get<std::string>());
    std::vector<std::uint8_t> out(base64_decode_estimate(text.size()));
    auto n = base64_decode(text, out);
    if (v.at("valid").get<bool>()) {
      ++valid;
      const ByteVec data = hex_field(v, "data");
      EXPECT_EQ(base64_encode(data), text);
      EXPECT_EQ(base64_encoded_size(data.size()), text.size());
      ASSERT_TRUE(n.has_value());
      EXPECT_EQ(ByteVec(out.begin(), out.begin() + *n), data);
    } else {
      ++invalid;
      EXPECT_FALSE(n.has_value()) << text;
    }
  }
  EXPECT_EQ(valid, 7);
  EXPECT_EQ(invalid, 10);
}

TEST(Base64, EveryByteValueRoundTrips) {
  ByteVec all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
  for (std::size_t len = 0; len <= all.size(); len += 37) {
    Bytes data(all.data(), len);
    const std::string text = base64_encode(data);
    std::vector<std::uint8_t> out(base64_decode_estimate(text.size()));
    auto n = base64_decode(text, out);
    ASSERT_TRUE(n.has_value());
    EXPECT_EQ(ByteVec(out.begin(), out.begin() + *n), ByteVec(data.begin(), data.end()));
  }
}

// ---- UTF-8 and White_Space -----------------------------------------------------------------

TEST(Utf8, ValidationAndScalarCounts) {
  struct Case {
    const char* name;
    std::string text;
    bool valid;
    std::size_t scalars;
  };
  const Case cases[] = {
      {"empty", "", true, 0},
      {"ascii", "abc", true, 3},
      {"two-byte", "\xC3\xA9", true, 1},
      {"three-byte", "\xE2\x82\xAC", true, 1},
      {"four-byte", "\xF0\x9F\x98\x80", true, 1},
      {"largest scalar", "\xF4\x8F\xBF\xBF", true, 1},
      {"last before surrogates", "\xED\x9F\xBF", true, 1},
      {"first after surrogates", "\xEE\x80\x80", true, 1},
      {"embedded NUL", std::string("a\0b", 3), true, 3},
      {"lone continuation", "\x80", false, 0},
      {"overlong NUL", "\xC0\x80", false, 0},
      {"overlong slash", "\xC1\xAF", false, 0},
      {"overlong three-byte", "\xE0\x80\xAF", false, 0},
      {"overlong four-byte", "\xF0\x82\x82\xAC", false, 0},
      {"surrogate high", "\xED\xA0\x80", false, 0},
      {"surrogate low", "\xED\xBF\xBF", false, 0},
      {"above U+10FFFF", "\xF4\x90\x80\x80", false, 0},
      {"F5 lead", "\xF5\x80\x80\x80", false, 0},
      {"FF byte", "\xFF", false, 0},
      {"truncated two-byte", "\xC3", false, 0},
      {"truncated four-byte", "\xF0\x9F\x98", false, 0},
      {"bad continuation", "\xE2\x28\xA1", false, 0},
      {"valid then invalid", "ok\xC3", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(is_valid_utf8(c.text), c.valid);
    if (c.valid) {
      EXPECT_EQ(count_scalars(as_bytes(c.text)), c.scalars);
    }
  }
  // next_scalar stops at an ill-formed sequence without moving.
  const std::string mixed = "a\xC3\xA9\x80";
  std::size_t pos = 0;
  EXPECT_TRUE(next_scalar(as_bytes(mixed), pos) == std::optional<char32_t>(U'a'));
  EXPECT_TRUE(next_scalar(as_bytes(mixed), pos) == std::optional<char32_t>(U'\u00e9'));
  EXPECT_EQ(pos, 3u);
  EXPECT_FALSE(next_scalar(as_bytes(mixed), pos).has_value());
  EXPECT_EQ(pos, 3u);
}

TEST(Utf8, WhiteSpaceIsExactlyTheListedSet) {
  const char32_t white[] = {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0x85, 0xA0, 0x1680, 0x2000, 0x2005, 0x200A,
                            0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
  // Neighbours of the set, and characters often mistaken for white space.
  const char32_t other[] = {0x00, 0x08, 0x0E, 0x1F, 0x21, 0x84, 0x86, 0x9F, 0xA1, 0x167F, 0x1681, 0x180E,
                            0x1FFF, 0x200B, 0x200C, 0x200D, 0x2027, 0x202A, 0x202E, 0x2030, 0x205E, 0x2060,
                            0x2FFF, 0x3001, 0xFEFF, 0x10FFFF};
  for (char32_t c : white) EXPECT_TRUE(is_white_space(c)) << std::hex << static_cast<std::uint32_t>(c);
  for (char32_t c : other) EXPECT_FALSE(is_white_space(c)) << std::hex << static_cast<std::uint32_t>(c);

  struct Trim {
    std::string in, out;
    bool all_white;
  };
  const Trim trims[] = {
      {"", "", true},
      {" \t\r\n", "", true},
      {"\xE3\x80\x80\xC2\xA0", "", true},        // U+3000 U+00A0
      {" a b ", "a b", false},
      {"\xE2\x80\xA8x\xE2\x80\xAF", "x", false},  // U+2028 x U+202F
      {"\xE2\x80\x8Bx", "\xE2\x80\x8Bx", false},  // U+200B is not white space
  };
  for (const Trim& t : trims) {
    EXPECT_EQ(std::string(as_text(trim_white_space(as_bytes(t.in)))), t.out) << t.in;
    EXPECT_EQ(is_all_white_space(as_bytes(t.in)), t.all_white) << t.in;
  }
}

// ---- Normalisation ------------------------------------------------------------------------

TEST(Unicode, NfcAndNfd) {
  struct Case {
    const char* name;
    std::string in, nfc, nfd;
  };
  const Case cases[] = {
      {"empty", "", "", ""},
      {"ascii", "passphrase", "passphrase", "passphrase"},
      {"composed e acute", "\xC3\xA9", "\xC3\xA9", "e\xCC\x81"},
      {"decomposed e acute", "e\xCC\x81", "\xC3\xA9", "e\xCC\x81"},
      {"angstrom sign (singleton)", "\xE2\x84\xAB", "\xC3\x85", "A\xCC\x8A"},
      {"hangul syllable", "\xED\x95\x9C", "\xED\x95\x9C", "\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB"},
      {"hangul jamo", "\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB", "\xED\x95\x9C", "\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB"},
      // Combining marks are put in canonical order (dot below before circumflex) and composed.
      {"mark ordering", "a\xCC\x82\xCC\xA3", "\xE1\xBA\xAD", "a\xCC\xA3\xCC\x82"},
      {"compatibility ligature untouched", "\xEF\xAC\x81", "\xEF\xAC\x81", "\xEF\xAC\x81"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto nfc = normalize(as_bytes(c.in), NormalForm::Nfc);
    auto nfd = normalize(as_bytes(c.in), NormalForm::Nfd);
    ASSERT_TRUE(nfc && nfd);
    EXPECT_EQ(std::string(nfc->begin(), nfc->end()), c.nfc);
    EXPECT_EQ(std::string(nfd->begin(), nfd->end()), c.nfd);
  }
  for (const char* bad : {"\xC3", "a\x80", "\xED\xA0\x80"}) {
    EXPECT_FALSE(normalize(as_bytes(bad), NormalForm::Nfc).has_value()) << bad;
    EXPECT_FALSE(normalize(as_bytes(bad), NormalForm::Nfd).has_value()) << bad;
  }
}

}  // namespace
}  // namespace vesk::testing
