// The structured-value codec: what each reader accepts and refuses, the shortest-form writers, the
// extension-entry rules and the canonical decode of a small record.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "format/cbor.h"
#include "support/vectors.h"

// Counts heap allocations, to show that reading items allocates nothing. (GCC cannot see that
// the replaced operator new is malloc underneath.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
namespace {
std::atomic<std::size_t> g_allocations{0};
}
void* operator new(std::size_t n) {
  ++g_allocations;
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using vesk::Bytes;
using vesk::testing::ByteVec;
using vesk::testing::cat;
using vesk::testing::to_hex;
using namespace vesk::format;

constexpr std::uint64_t kU64Max = std::numeric_limits<std::uint64_t>::max();

// Hex with optional spaces for readability.
ByteVec h(std::string s) {
  std::erase(s, ' ');
  return vesk::testing::from_hex(s);
}

// ---- Readers ----

enum class Reader { U8, U16, U64, Bytes, ThreeBytesInto, Text, Array, Map, DefiniteArray, DefiniteMap };

struct Outcome {
  bool ok = false;
  std::uint64_t number = 0;  // integer value, element count, or string length
  bool indefinite = false;
  Bytes view;  // strings
  FormatError error{};
};

Outcome run(Reader r, CborDecoder& d) {
  Outcome o;
  auto fail = [&](const FormatError& e) {
    o.error = e;
    return o;
  };
  auto count = [&](const FormatResult<std::optional<std::uint64_t>>& c) {
    if (!c) return fail(c.error());
    o.ok = true;
    o.indefinite = !c->has_value();
    o.number = c->value_or(0);
    return o;
  };
  auto number = [&](const auto& v) {
    if (!v) return fail(v.error());
    o.ok = true;
    o.number = *v;
    return o;
  };
  switch (r) {
    case Reader::U8: return number(d.read_u8());
    case Reader::U16: return number(d.read_u16());
    case Reader::U64: return number(d.read_u64());
    case Reader::DefiniteArray: return number(d.read_definite_array());
    case Reader::DefiniteMap: return number(d.read_definite_map());
    case Reader::Array: return count(d.read_array_head());
    case Reader::Map: return count(d.read_map_head());
    case Reader::Bytes: {
      auto b = d.read_bytes();
      if (!b) return fail(b.error());
      o.ok = true;
      o.view = *b;
      o.number = b->size();
      return o;
    }
    case Reader::ThreeBytesInto: {
      // The number is the copied bytes, big-endian, so the rows check what was copied.
      std::array<std::uint8_t, 3> into{};
      auto read = d.read_bytes_into(into);
      if (!read) return fail(read.error());
      o.ok = true;
      o.number = std::uint64_t{into[0]} << 16 | std::uint64_t{into[1]} << 8 | into[2];
      return o;
    }
    case Reader::Text: {
      auto t = d.read_text();
      if (!t) return fail(t.error());
      o.ok = true;
      o.view = vesk::as_bytes(*t);
      o.number = t->size();
      return o;
    }
  }
  return o;
}

struct ReaderCase {
  Reader reader;
  const char* input;
  std::uint64_t value;  // on success: the number (or string length)
  const char* detail;   // nullptr: success expected
};

const ReaderCase kReaderCases[] = {
    // read u8: any width whose value fits; the width decides the conversion message.
    {Reader::U8, "00", 0, nullptr},
    {Reader::U8, "17", 23, nullptr},
    {Reader::U8, "18 05", 5, nullptr},
    {Reader::U8, "18 ff", 255, nullptr},
    {Reader::U8, "19 00 05", 5, nullptr},
    {Reader::U8, "1a 00 00 00 ff", 255, nullptr},
    {Reader::U8, "1b 00 00 00 00 00 00 00 05", 5, nullptr},
    {Reader::U8, "19 01 00", 0, "when converting u16 to u8"},
    {Reader::U8, "19 ff ff", 0, "when converting u16 to u8"},
    {Reader::U8, "1a 00 00 01 00", 0, "when converting u32 to u8"},
    {Reader::U8, "1b 00 00 00 00 00 00 01 00", 0, "when converting u64 to u8"},
    {Reader::U8, "1b ff ff ff ff ff ff ff ff", 0, "when converting u64 to u8"},
    {Reader::U8, "20", 0, "expected u8"},  // negative integer
    {Reader::U8, "40", 0, "expected u8"},
    {Reader::U8, "1c", 0, "expected u8"},
    {Reader::U8, "1f", 0, "expected u8"},
    {Reader::U8, "c1 00", 0, "expected u8"},  // tag
    {Reader::U8, "f5", 0, "expected u8"},     // true
    {Reader::U8, "", 0, "end of input"},
    {Reader::U8, "18", 0, "end of input"},
    {Reader::U8, "19 00", 0, "end of input"},
    {Reader::U8, "1b 00 00 00 00 00 00 00", 0, "end of input"},
    // read u16
    {Reader::U16, "18 05", 5, nullptr},
    {Reader::U16, "19 ff ff", 65535, nullptr},
    {Reader::U16, "1a 00 00 ff ff", 65535, nullptr},
    {Reader::U16, "1b 00 00 00 00 00 00 ff ff", 65535, nullptr},
    {Reader::U16, "1a 00 01 00 00", 0, "when converting u32 to u16"},
    {Reader::U16, "1b 00 00 00 00 00 01 00 00", 0, "when converting u64 to u16"},
    {Reader::U16, "60", 0, "expected u16"},
    {Reader::U16, "1e", 0, "expected u16"},
    {Reader::U16, "1a 00 01", 0, "end of input"},
    // read u64
    {Reader::U64, "17", 23, nullptr},
    {Reader::U64, "1a ff ff ff ff", 0xffffffff, nullptr},
    {Reader::U64, "1b ff ff ff ff ff ff ff ff", kU64Max, nullptr},
    {Reader::U64, "1b 00 00 00 00 00 00 00 00", 0, nullptr},
    {Reader::U64, "1d", 0, "expected u64"},
    {Reader::U64, "3b ff ff ff ff ff ff ff ff", 0, "expected u64"},
    {Reader::U64, "fb 00 00 00 00 00 00 00 00", 0, "expected u64"},  // float
    {Reader::U64, "", 0, "end of input"},
    // read byte string: definite, any width, never past the end.
    {Reader::Bytes, "40", 0, nullptr},
    {Reader::Bytes, "43 01 02 03", 3, nullptr},
    {Reader::Bytes, "58 03 01 02 03", 3, nullptr},
    {Reader::Bytes, "59 00 03 01 02 03", 3, nullptr},
    {Reader::Bytes, "5b 00 00 00 00 00 00 00 03 01 02 03", 3, nullptr},
    {Reader::Bytes, "5f", 0, "expected bytes (definite length)"},
    {Reader::Bytes, "5f 41 01 ff", 0, "expected bytes (definite length)"},
    {Reader::Bytes, "5c", 0, "expected bytes (definite length)"},
    {Reader::Bytes, "5e", 0, "expected bytes (definite length)"},
    {Reader::Bytes, "60", 0, "expected bytes (definite length)"},
    {Reader::Bytes, "00", 0, "expected bytes (definite length)"},
    {Reader::Bytes, "5a 00 00 00", 0, "end of input"},  // the head itself is cut
    {Reader::Bytes, "7b ff ff ff", 0, "expected bytes (definite length)"},  // the type is judged first
    {Reader::Bytes, "44 01 02 03", 0, "end of input"},
    {Reader::Bytes, "58", 0, "end of input"},
    {Reader::Bytes, "5a ff ff ff ff 00 00", 0, "end of input"},
    {Reader::Bytes, "5b 00 00 00 01 00 00 00 00 00", 0, "end of input"},
    {Reader::Bytes, "5b 80 00 00 00 00 00 00 00 00", 0, "end of input"},
    {Reader::Bytes, "5b ff ff ff ff ff ff ff ff 00", 0, "end of input"},
    {Reader::Bytes, "5b ff ff ff ff ff ff ff f7 00 01 02 03 04 05 06 07 08", 0, "end of input"},
    // read a byte string into a fixed array: exactly its length, any head width.
    {Reader::ThreeBytesInto, "43 01 02 03", 0x010203, nullptr},
    {Reader::ThreeBytesInto, "58 03 0a 0b 0c", 0x0a0b0c, nullptr},
    {Reader::ThreeBytesInto, "42 01 02", 0, "byte string of the wrong length"},
    {Reader::ThreeBytesInto, "44 01 02 03 04", 0, "byte string of the wrong length"},
    {Reader::ThreeBytesInto, "63 61 62 63", 0, "expected bytes (definite length)"},
    {Reader::ThreeBytesInto, "43 01 02", 0, "end of input"},
    // read text string: as bytes, and the content must be well-formed UTF-8.
    {Reader::Text, "60", 0, nullptr},
    {Reader::Text, "61 61", 1, nullptr},
    {Reader::Text, "78 01 61", 1, nullptr},
    {Reader::Text, "62 c3 a9", 2, nullptr},
    {Reader::Text, "64 f0 9f 98 80", 4, nullptr},
    {Reader::Text, "61 ff", 0, "invalid UTF-8"},
    {Reader::Text, "61 c3", 0, "invalid UTF-8"},           // sequence cut by the string's own length
    {Reader::Text, "62 c0 80", 0, "invalid UTF-8"},        // overlong
    {Reader::Text, "63 ed a0 80", 0, "invalid UTF-8"},     // surrogate
    {Reader::Text, "64 f4 90 80 80", 0, "invalid UTF-8"},  // above U+10FFFF
    {Reader::Text, "62 c3", 0, "end of input"},
    {Reader::Text, "7b ff ff ff ff ff ff ff ff 61", 0, "end of input"},
    {Reader::Text, "7f", 0, "expected text (definite length)"},
    {Reader::Text, "7f 61 61 ff", 0, "expected text (definite length)"},
    {Reader::Text, "41 61", 0, "expected text (definite length)"},
    // array and map heads: any width; 31 is the indefinite mark (checked below).
    {Reader::Array, "80", 0, nullptr},
    {Reader::Array, "98 18", 24, nullptr},
    {Reader::Array, "9b ff ff ff ff ff ff ff ff", kU64Max, nullptr},  // a claim only
    {Reader::Array, "9c", 0, "expected array"},
    {Reader::Array, "9e", 0, "expected array"},
    {Reader::Array, "a0", 0, "expected array"},
    {Reader::Array, "99 01", 0, "end of input"},
    {Reader::Map, "a0", 0, nullptr},
    {Reader::Map, "b8 03", 3, nullptr},
    {Reader::Map, "bd", 0, "expected map"},
    {Reader::Map, "80", 0, "expected map"},
    {Reader::Map, "", 0, "end of input"},
    {Reader::DefiniteArray, "83", 3, nullptr},
    {Reader::DefiniteArray, "9f", 0, "indefinite-length array"},
    {Reader::DefiniteMap, "a1", 1, nullptr},
    {Reader::DefiniteMap, "bf", 0, "indefinite-length map"},
};

TEST(CodecReaders, AcceptAndRefuseWithTheirDetails) {
  for (const ReaderCase& c : kReaderCases) {
    const ByteVec in = h(c.input);
    CborDecoder d(in);
    const Outcome o = run(c.reader, d);
    SCOPED_TRACE(std::string("input ") + c.input);
    if (c.detail == nullptr) {
      ASSERT_TRUE(o.ok) << o.error.detail;
      EXPECT_EQ(o.number, c.value);
      EXPECT_FALSE(o.indefinite);
      EXPECT_TRUE(d.at_end()) << "the whole item is consumed";
      if (c.reader == Reader::Bytes || c.reader == Reader::Text) {
        // A view of the tail of the input, not a copy.
        EXPECT_EQ(o.view.data(), in.data() + in.size() - o.view.size());
      }
    } else {
      ASSERT_FALSE(o.ok);
      EXPECT_EQ(o.error.kind, FormatErrorKind::Malformed);
      EXPECT_STREQ(o.error.detail, c.detail);
    }
  }
}

TEST(CodecReaders, IndefiniteHeads) {
  // Arrays and maps report the mark; strings refuse it outright.
  const struct {
    Reader reader;
    const char* input;
    bool indefinite_mark;
  } cases[] = {
      {Reader::Array, "9f", true},   {Reader::Map, "bf", true},
      {Reader::Bytes, "5f", false},  {Reader::Text, "7f", false},
      {Reader::U64, "1f", false},    {Reader::Array, "bf", false},
      {Reader::Map, "9f", false},
  };
  for (const auto& c : cases) {
    const ByteVec in = h(c.input);
    CborDecoder d(in);
    const Outcome o = run(c.reader, d);
    EXPECT_EQ(o.ok, c.indefinite_mark) << c.input;
    if (o.ok) {
      EXPECT_TRUE(o.indefinite) << c.input;
    }
  }
}

// Every initial byte against the data model: which major types and additional information each
// reader takes. Zero bytes follow, so any argument is present and any string body is valid.
TEST(CodecReaders, EveryInitialByte) {
  for (int b = 0; b < 256; ++b) {
    const int major = b >> 5;
    const int info = b & 0x1f;
    ByteVec in(40, 0);
    in[0] = static_cast<std::uint8_t>(b);
    const bool definite = info <= 27;
    const struct {
      Reader reader;
      bool accepted;
    } expectations[] = {
        {Reader::U64, major == 0 && definite},
        {Reader::U8, major == 0 && definite},  // the zero argument always fits
        {Reader::Bytes, major == 2 && definite},
        {Reader::Text, major == 3 && definite},
        {Reader::Array, major == 4 && (definite || info == 31)},
        {Reader::Map, major == 5 && (definite || info == 31)},
        {Reader::DefiniteArray, major == 4 && definite},
        {Reader::DefiniteMap, major == 5 && definite},
    };
    for (const auto& e : expectations) {
      CborDecoder d(in);
      EXPECT_EQ(run(e.reader, d).ok, e.accepted) << "initial byte " << b << " reader " << int(e.reader);
    }
  }
}

TEST(CodecReaders, ExpectKey) {
  const struct {
    const char* input;
    std::uint8_t key;
    const char* detail;
  } cases[] = {
      {"03", 3, nullptr},
      {"18 03", 3, nullptr},  // the canonical rule, not the reader, refuses this
      {"19 00 03", 3, nullptr},
      {"04", 3, "unexpected map key"},
      {"02", 3, "unexpected map key"},
      {"19 01 03", 3, "when converting u16 to u8"},
      {"43 00 00 00", 3, "expected u8"},
      {"", 3, "end of input"},
  };
  for (const auto& c : cases) {
    const ByteVec in = h(c.input);
    CborDecoder d(in);
    auto r = d.expect_key(c.key);
    if (c.detail == nullptr) {
      EXPECT_TRUE(r.has_value()) << c.input;
    } else {
      ASSERT_FALSE(r.has_value()) << c.input;
      EXPECT_EQ(r.error().kind, FormatErrorKind::Malformed);
      EXPECT_STREQ(r.error().detail, c.detail) << c.input;
    }
  }
}

TEST(CodecReaders, ReadingAllocatesNothing) {
  const ByteVec in = h("a5 01 18 05 02 5a 00 00 00 02 ab cd 03 62 c3 a9 04 9f 05 83 00 01 1b 00 00 00 00 00 00 00 02");
  const std::size_t before = g_allocations.load();
  CborDecoder d(in);
  std::uint64_t sum = 0;
  bool ok = d.read_definite_map().has_value();
  ok = ok && d.expect_key(1).has_value();
  auto u8 = d.read_u8();
  ok = ok && u8.has_value();
  ok = ok && d.expect_key(2).has_value();
  auto bytes = d.read_bytes();
  ok = ok && bytes.has_value();
  ok = ok && d.expect_key(3).has_value();
  auto text = d.read_text();
  ok = ok && text.has_value();
  ok = ok && d.expect_key(4).has_value();
  auto indefinite = d.read_array_head();
  ok = ok && indefinite.has_value() && !indefinite->has_value();
  ok = ok && d.expect_key(5).has_value();
  auto n = d.read_definite_array();
  ok = ok && n.has_value();
  for (int i = 0; ok && i < 3; ++i) {
    auto v = d.read_u64();
    ok = v.has_value();
    if (ok) sum += *v;
  }
  auto end = d.read_u8();  // failing allocates nothing either
  const std::size_t after = g_allocations.load();
  ASSERT_TRUE(ok);
  EXPECT_FALSE(end.has_value());
  EXPECT_EQ(sum, 3u);
  EXPECT_EQ(after, before);
}

// ---- Writers ----

// Shortest-form heads at every width boundary, for every major type that carries a count.
TEST(CodecWriters, ShortestFormAtEveryBoundary) {
  const struct {
    std::uint64_t n;
    const char* head;  // as major type 0; the other types differ only in the top three bits
  } cases[] = {
      {0, "00"},
      {23, "17"},
      {24, "18 18"},
      {255, "18 ff"},
      {256, "19 01 00"},
      {65535, "19 ff ff"},
      {65536, "1a 00 01 00 00"},
      {4294967295u, "1a ff ff ff ff"},
      {4294967296u, "1b 00 00 00 01 00 00 00 00"},
      {kU64Max, "1b ff ff ff ff ff ff ff ff"},
  };
  for (const auto& c : cases) {
    const ByteVec head = h(c.head);
    auto with_major = [&](std::uint8_t major) {
      ByteVec v = head;
      v[0] = static_cast<std::uint8_t>(v[0] | (major << 5));
      return v;
    };
    CborEncoder u, a, m;
    u.write_uint(c.n);
    a.write_array_head(c.n);
    m.write_map_head(c.n);
    EXPECT_EQ(to_hex(u.view()), to_hex(with_major(0))) << c.n;
    EXPECT_EQ(to_hex(a.view()), to_hex(with_major(4))) << c.n;
    EXPECT_EQ(to_hex(m.view()), to_hex(with_major(5))) << c.n;

    // What is written reads back as the same value.
    CborDecoder du(u.view()), da(a.view()), dm(m.view());
    EXPECT_EQ(*du.read_u64(), c.n);
    EXPECT_EQ(**da.read_array_head(), c.n);
    EXPECT_EQ(**dm.read_map_head(), c.n);

    if (c.n <= 0xffff) {
      CborEncoder w;
      w.write_u16(static_cast<std::uint16_t>(c.n));
      EXPECT_EQ(to_hex(w.view()), to_hex(with_major(0))) << c.n;
    }
    // Strings of every length up to the 32-bit boundary (beyond it the content alone would take
    // 4 GiB); the head is followed by exactly the content.
    if (c.n <= 65536) {
      const ByteVec content = ByteVec(static_cast<std::size_t>(c.n), 'a');
      CborEncoder b, t;
      b.write_bytes(content);
      t.write_text(std::string_view(reinterpret_cast<const char*>(content.data()), content.size()));
      EXPECT_EQ(to_hex(b.view()), to_hex(cat({with_major(2), content}))) << c.n;
      EXPECT_EQ(to_hex(t.view()), to_hex(cat({with_major(3), content}))) << c.n;
    }
  }
}

// ---- Extension entries ----

// A small record for the canonical rule: a map of keys 1 (version, must be 1), 2 (bytes), 3
// (text), then up to four extension entries.
struct TestRecord {
  std::uint8_t version = 1;
  ByteVec id;
  std::string name;
  std::vector<ExtensionEntry> extensions;
};
constexpr std::size_t kTestMaxExtensions = 4;

FormatResult<TestRecord> decode_test_record(CborDecoder& d) {
  TestRecord r;
  VESK_TRY(count, d.read_definite_map());
  if (count < 3) return format_error(FormatErrorKind::Malformed, "missing key");
  VESK_TRY_VOID(d.expect_key(1));
  VESK_TRY(version, d.read_u8());
  if (version != 1) return format_error(FormatErrorKind::UnsupportedVersion);
  VESK_TRY_VOID(d.expect_key(2));
  VESK_TRY(id, d.read_bytes());
  VESK_TRY_VOID(d.expect_key(3));
  VESK_TRY(name, d.read_text());
  VESK_TRY(extensions, read_extension_entries(d, count - 3, 3, kTestMaxExtensions));
  r.version = version;
  r.id.assign(id.begin(), id.end());
  r.name = name;
  r.extensions = std::move(extensions);
  return r;
}

FormatResult<void> encode_test_record(const TestRecord& r, CborEncoder& e) {
  e.write_map_head(3 + r.extensions.size());
  e.write_uint(1);
  e.write_uint(r.version);
  e.write_uint(2);
  e.write_bytes(r.id);
  e.write_uint(3);
  e.write_text(r.name);
  return write_extension_entries(e, r.extensions, kTestMaxExtensions);
}

FormatResult<TestRecord> decode_record_canonically(Bytes in) {
  return decode_canonical<TestRecord>(in, decode_test_record, encode_test_record);
}

// The known part of the record {1: 1, 2: h'0102', 3: "ab"} after a map head of 3 + `extensions`.
ByteVec record_with(std::size_t extensions, const ByteVec& extension_bytes) {
  return cat({ByteVec{static_cast<std::uint8_t>(0xa3 + extensions)}, h("01 01 02 42 01 02 03 62 61 62"),
              extension_bytes});
}

struct KindCase {
  const char* what;
  ByteVec input;
  std::optional<FormatErrorKind> kind;  // nullopt: accepted
};

void check_kinds(const std::vector<KindCase>& cases) {
  for (const KindCase& c : cases) {
    auto r = decode_record_canonically(c.input);
    if (!c.kind) {
      EXPECT_TRUE(r.has_value()) << c.what << ": " << (r ? "" : r.error().detail);
    } else {
      ASSERT_FALSE(r.has_value()) << c.what;
      EXPECT_EQ(r.error().kind, *c.kind) << c.what << ": " << r.error().detail;
    }
  }
}

TEST(CodecExtensions, DecodingKeyAndSizeRules) {
  using K = FormatErrorKind;
  const ByteVec v65536 = cat({h("5a 00 01 00 00"), ByteVec(65536, 0x5a)});
  const ByteVec v65537 = cat({h("5a 00 01 00 01"), ByteVec(65537, 0x5a)});
  check_kinds({
      {"no extensions", record_with(0, {}), std::nullopt},
      {"key 64", record_with(1, h("18 40 41 00")), std::nullopt},
      {"key 63", record_with(1, h("18 3f 41 00")), K::Unsupported},
      {"key 4, right after the known keys", record_with(1, h("04 41 00")), K::Unsupported},
      {"key 3 repeats the last known key", record_with(1, h("03 41 00")), K::Malformed},
      {"key 0", record_with(1, h("00 41 00")), K::Malformed},
      {"keys 64 then 64", record_with(2, h("18 40 41 00 18 40 41 00")), K::Malformed},
      {"keys 65 then 64", record_with(2, h("18 41 41 00 18 40 41 00")), K::Malformed},
      {"keys 64 then 63", record_with(2, h("18 40 41 00 18 3f 41 00")), K::Malformed},
      {"keys 64, 65535", record_with(2, h("18 40 40 19 ff ff 40")), std::nullopt},
      {"key 65535 with a 65536-byte value", record_with(1, cat({h("19 ff ff"), v65536})), std::nullopt},
      {"key 65536", record_with(1, h("1a 00 01 00 00 41 00")), K::Malformed},
      {"key 2^64-1", record_with(1, h("1b ff ff ff ff ff ff ff ff 41 00")), K::Malformed},
      {"a 65537-byte value", record_with(1, cat({h("19 ff ff"), v65537})), K::Malformed},
      {"a text value", record_with(1, h("18 40 61 61")), K::Malformed},
      {"an integer value", record_with(1, h("18 40 00")), K::Malformed},
      {"a key that is not an integer", record_with(1, h("41 40 41 00")), K::Malformed},
      {"four entries, the limit", record_with(4, h("18 40 40 18 41 40 18 42 40 18 43 40")), std::nullopt},
      {"five entries", record_with(5, h("18 40 40 18 41 40 18 42 40 18 43 40 18 44 40")), K::LimitExceeded},
      {"2^64-1 entries claimed", cat({h("bb ff ff ff ff ff ff ff ff 01 01 02 42 01 02 03 62 61 62")}),
       K::LimitExceeded},
  });
}

TEST(CodecExtensions, DecodedEntriesKeepKeyAndValue) {
  auto r = decode_record_canonically(record_with(2, h("18 40 42 aa bb 19 ff ff 40")));
  ASSERT_TRUE(r.has_value()) << r.error().detail;
  ASSERT_EQ(r->extensions.size(), 2u);
  EXPECT_EQ(r->extensions[0], (ExtensionEntry{64, {0xaa, 0xbb}}));
  EXPECT_EQ(r->extensions[1], (ExtensionEntry{65535, {}}));
}

// A record that reads each key itself and only then meets the first extension key.
TEST(CodecExtensions, ValueAfterAKeyAlreadyRead) {
  using K = FormatErrorKind;
  const struct {
    std::uint64_t key;
    std::uint64_t previous;
    const char* value;
    std::optional<K> kind;
  } cases[] = {
      {64, 3, "41 07", std::nullopt}, {64, 64, "41 07", K::Malformed},   {5, 3, "41 07", K::Unsupported},
      {65536, 3, "41 07", K::Malformed}, {64, 3, "61 07", K::Malformed}, {64, 3, "42 07", K::Malformed},
  };
  for (const auto& c : cases) {
    const ByteVec in = h(c.value);
    CborDecoder d(in);
    auto r = read_extension_value(d, c.key, c.previous);
    if (!c.kind) {
      ASSERT_TRUE(r.has_value());
      EXPECT_EQ(*r, (ExtensionEntry{static_cast<std::uint16_t>(c.key), {0x07}}));
    } else {
      ASSERT_FALSE(r.has_value()) << c.key << " after " << c.previous;
      EXPECT_EQ(r.error().kind, *c.kind) << c.key << " after " << c.previous;
    }
  }
}

// A count claimed by the input must not size anything before the entries are there.
TEST(CodecExtensions, HugeClaimedCountReservesNothing) {
  const ByteVec in = h("18 40 41 00");
  CborDecoder d(in);
  auto r = read_extension_entries(d, kU64Max, 3, std::numeric_limits<std::size_t>::max());
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().kind, FormatErrorKind::Malformed);
  EXPECT_STREQ(r.error().detail, "end of input");
}

TEST(CodecExtensions, EncoderRefusesWhatTheDecoderWouldRefuse) {
  const struct {
    const char* what;
    std::vector<ExtensionEntry> entries;
    bool accepted;
  } cases[] = {
      {"none", {}, true},
      {"64 and 65535 with 65536 bytes", {{64, {}}, {65535, vesk::SecureVector(65536, 1)}}, true},
      {"four", {{64, {}}, {65, {}}, {66, {}}, {67, {}}}, true},
      {"five", {{64, {}}, {65, {}}, {66, {}}, {67, {}}, {68, {}}}, false},
      {"key 63", {{63, {}}}, false},
      {"key 0", {{0, {}}}, false},
      {"64 then 64", {{64, {}}, {64, {}}}, false},
      {"65 then 64", {{65, {}}, {64, {}}}, false},
      {"a 65537-byte value", {{64, vesk::SecureVector(65537, 1)}}, false},
  };
  for (const auto& c : cases) {
    CborEncoder e;
    e.write_map_head(0);
    auto r = write_extension_entries(e, c.entries, kTestMaxExtensions);
    EXPECT_EQ(r.has_value(), c.accepted) << c.what;
    if (!c.accepted) {
      EXPECT_EQ(r.error().kind, FormatErrorKind::LimitExceeded) << c.what;
      EXPECT_EQ(e.size(), 1u) << c.what << ": nothing written on refusal";
      continue;
    }
    // Accepted entries read back as they were.
    CborDecoder d(e.view());
    ASSERT_TRUE(d.read_definite_map().has_value());
    auto back = read_extension_entries(d, c.entries.size(), 63, kTestMaxExtensions);
    ASSERT_TRUE(back.has_value()) << c.what;
    EXPECT_EQ(*back, c.entries) << c.what;
    EXPECT_TRUE(d.at_end());
  }
}

// ---- The canonical rule ----

const ByteVec kBase = h("a4 01 01 02 42 01 02 03 62 61 62 18 40 41 ff");

TEST(CodecCanonical, AlternativeEncodingsDecodeButAreRefused) {
  // Each of these is the base record with one item written differently: the readers take it and
  // yield the same value, and only the re-encoding comparison refuses it.
  const struct {
    const char* what;
    const char* input;
  } cases[] = {
      {"map head in one extra byte", "b8 04 01 01 02 42 01 02 03 62 61 62 18 40 41 ff"},
      {"map head in eight bytes", "bb 00 00 00 00 00 00 00 04 01 01 02 42 01 02 03 62 61 62 18 40 41 ff"},
      {"key 1 as 0x18 0x01", "a4 18 01 01 02 42 01 02 03 62 61 62 18 40 41 ff"},
      {"version as 0x18 0x01", "a4 01 18 01 02 42 01 02 03 62 61 62 18 40 41 ff"},
      {"version in two bytes", "a4 01 19 00 01 02 42 01 02 03 62 61 62 18 40 41 ff"},
      {"version in four bytes", "a4 01 1a 00 00 00 01 02 42 01 02 03 62 61 62 18 40 41 ff"},
      {"version in eight bytes", "a4 01 1b 00 00 00 00 00 00 00 01 02 42 01 02 03 62 61 62 18 40 41 ff"},
      {"key 3 in two bytes", "a4 01 01 02 42 01 02 19 00 03 62 61 62 18 40 41 ff"},
      {"byte string head widened", "a4 01 01 02 58 02 01 02 03 62 61 62 18 40 41 ff"},
      {"text head widened", "a4 01 01 02 42 01 02 03 79 00 02 61 62 18 40 41 ff"},
      {"extension key in two bytes", "a4 01 01 02 42 01 02 03 62 61 62 19 00 40 41 ff"},
      {"extension key in eight bytes", "a4 01 01 02 42 01 02 03 62 61 62 1b 00 00 00 00 00 00 00 40 41 ff"},
      {"extension value head widened", "a4 01 01 02 42 01 02 03 62 61 62 18 40 5a 00 00 00 01 ff"},
  };
  const auto base = decode_record_canonically(kBase);
  ASSERT_TRUE(base.has_value()) << base.error().detail;
  for (const auto& c : cases) {
    const ByteVec in = h(c.input);
    CborDecoder d(in);
    auto plain = decode_test_record(d);
    ASSERT_TRUE(plain.has_value()) << c.what << ": " << plain.error().detail;
    EXPECT_TRUE(d.at_end()) << c.what;
    CborEncoder e;
    ASSERT_TRUE(encode_test_record(*plain, e).has_value());
    EXPECT_EQ(to_hex(e.view()), to_hex(kBase)) << c.what << ": same value";

    auto r = decode_record_canonically(in);
    ASSERT_FALSE(r.has_value()) << c.what;
    EXPECT_EQ(r.error().kind, FormatErrorKind::NonCanonical) << c.what;
  }
}

TEST(CodecCanonical, RecordLevelRefusals) {
  using K = FormatErrorKind;
  check_kinds({
      {"the base record", kBase, std::nullopt},
      {"one trailing byte", cat({kBase, h("00")}), K::NonCanonical},
      {"a trailing item", cat({kBase, h("a0")}), K::NonCanonical},
      {"keys 1, 3, 2", h("a4 01 01 03 62 61 62 02 42 01 02 18 40 41 ff"), K::Malformed},
      {"key 1 twice", h("a4 01 01 01 01 02 42 01 02 03 62 61 62"), K::Malformed},
      {"key 2 missing", h("a3 01 01 03 62 61 62 18 40 41 ff"), K::Malformed},
      {"head says 5 entries, 4 follow", h("a5 01 01 02 42 01 02 03 62 61 62 18 40 41 ff"), K::Malformed},
      {"head says 2 entries", h("a2 01 01 02 42 01 02"), K::Malformed},
      {"version 2", h("a3 01 02 02 42 01 02 03 62 61 62"), K::UnsupportedVersion},
      {"indefinite map", h("bf 01 01 02 42 01 02 03 62 61 62 ff"), K::Malformed},
      {"indefinite byte string", h("a3 01 01 02 5f 42 01 02 ff 03 62 61 62"), K::Malformed},
      {"indefinite text string", h("a3 01 01 02 42 01 02 03 7f 62 61 62 ff"), K::Malformed},
      {"an array, not a map", h("83 01 02 03"), K::Malformed},
      {"indefinite array", h("9f ff"), K::Malformed},
      {"invalid UTF-8 in the name", h("a3 01 01 02 42 01 02 03 62 c3 28"), K::Malformed},
      {"byte string claims 2^64-1 bytes", h("a3 01 01 02 5b ff ff ff ff ff ff ff ff 01 02"), K::Malformed},
      {"text claims 2^32 bytes", h("a3 01 01 02 40 03 7b 00 00 00 01 00 00 00 00 61"), K::Malformed},
      {"empty input", {}, K::Malformed},
  });
}

// Every proper prefix of a valid record runs out of input: Malformed, never a read past the end.
TEST(CodecCanonical, TruncationAtEveryPosition) {
  TestRecord record;
  record.id = ByteVec(300, 0x11);  // a two-byte length head
  record.name = "n\xc3\xa9";
  record.extensions = {{64, {}}, {1000, vesk::SecureVector(24, 0x22)}, {65535, vesk::SecureVector(5, 0x33)}};
  CborEncoder e;
  ASSERT_TRUE(encode_test_record(record, e).has_value());
  const ByteVec full = vesk::testing::to_vec(e.view());
  ASSERT_TRUE(decode_record_canonically(full).has_value());
  for (std::size_t n = 0; n < full.size(); ++n) {
    // A fresh allocation of exactly n bytes, so the sanitizer sees any read past the end.
    const ByteVec prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
    auto r = decode_record_canonically(prefix);
    ASSERT_FALSE(r.has_value()) << n;
    EXPECT_EQ(r.error().kind, FormatErrorKind::Malformed) << n;
    EXPECT_STREQ(r.error().detail, "end of input") << n;
  }
}

TEST(CodecCanonical, EncoderFailurePassesThrough) {
  // A record value the encoder refuses is reported with the encoder's kind, not as a mismatch.
  auto decode = [](CborDecoder& d) -> FormatResult<TestRecord> {
    VESK_TRY(r, decode_test_record(d));
    r.extensions.push_back({10, {}});
    return r;
  };
  auto r = decode_canonical<TestRecord>(kBase, decode, encode_test_record);
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().kind, FormatErrorKind::LimitExceeded);
}

}  // namespace
