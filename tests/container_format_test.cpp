// The container records: prelude, header body and its entries, metadata and its text rules, chunk
// framing, the derived keys, nonces and associated data, the signature transcripts and the
// signature placement rules. Bodies here are encoded by hand with the codec's primitives, so the
// record codecs are checked against an independent writer.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <variant>

#include "core/crypto/hmac.h"
#include "format/container.h"
#include "format/container_keys.h"
#include "format/metadata.h"
#include "format/signature_rules.h"
#include "support/test_util.h"
#include "support/vectors.h"

namespace vesk::testing {
namespace {

using namespace vesk::format;
using K = FormatErrorKind;


// ---- prelude ------------------------------------------------------------------------------

ByteVec prelude_bytes(std::uint8_t version, std::uint8_t flag, std::uint32_t len) {
  ByteVec p = {0x56, 0x45, 0x53, 0x4b, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, version, 0x01, flag, 0, 0, 0, 0};
  store_be32(p.data() + 12, len);
  return p;
}

TEST(ContainerPrelude, AcceptsTheWrittenFormsAndRefusesEveryOtherField) {
  struct Case {
    const char* name;
    ByteVec bytes;
    std::optional<K> error;
  };
  auto with = [](std::size_t at, std::uint8_t v) {
    ByteVec p = prelude_bytes(1, 0, 100);
    p[at] = v;
    return p;
  };
  const Case cases[] = {
      {"format 1.0 unsigned", prelude_bytes(1, 0, 100), std::nullopt},
      {"format 1.0 signed", prelude_bytes(1, 1, 100), std::nullopt},
      {"format 0.5", prelude_bytes(2, 0, 100), std::nullopt},
      {"largest header block", prelude_bytes(1, 0, 1048576), std::nullopt},
      {"magic", with(3, 0x4c), K::Malformed},
      {"magic line end", with(5, 0x0d), K::Malformed},
      {"byte 8", with(8, 0x01), K::Malformed},
      {"version 0", prelude_bytes(0, 0, 100), K::UnsupportedVersion},
      {"version 3", prelude_bytes(3, 0, 100), K::UnsupportedVersion},
      {"byte 10 zero", with(10, 0x00), K::Malformed},
      {"byte 10 two", with(10, 0x02), K::Malformed},
      {"signed flag 2", prelude_bytes(1, 2, 100), K::Malformed},
      {"format 0.5 signed", prelude_bytes(2, 1, 100), K::Malformed},
      {"header length 0", prelude_bytes(1, 0, 0), K::HeaderTooLarge},
      {"header length 1048577", prelude_bytes(1, 0, 1048577), K::HeaderTooLarge},
      {"15 bytes", [] { ByteVec p = prelude_bytes(1, 0, 100); p.pop_back(); return p; }(), K::Malformed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto parsed = parse_prelude(c.bytes);
    if (c.error) {
      ASSERT_FALSE(parsed.has_value());
      EXPECT_EQ(parsed.error().kind, *c.error);
    } else {
      ASSERT_TRUE(parsed.has_value());
      const auto again = parsed->encode();
      EXPECT_EQ(ByteVec(again.begin(), again.end()), c.bytes);
    }
  }
}

// ---- header body --------------------------------------------------------------------------

struct EntrySpec {
  std::uint64_t type;
  std::vector<ByteVec> fields;
};
struct SigSpec {
  std::uint64_t elements = 3;
  std::uint64_t type = 1;
  std::size_t key_len = 1984;
  std::size_t sig_len = 3373;
};
// A header body written item by item; every field can be set to something the decoder must refuse.
struct BodySpec {
  std::optional<std::uint64_t> map_count;  // default: 5 + extensions
  std::uint64_t version = 1;
  ByteVec object_id = ByteVec(32, 0x11);
  std::vector<EntrySpec> entries = {{1, {ByteVec(1120, 0xee), ByteVec(48, 0x48)}}};
  std::size_t metadata_len = 40;
  std::vector<SigSpec> signatures;
  std::vector<std::pair<std::uint64_t, ByteVec>> extensions;
  bool long_version_head = false;  // the version written as 0x18 0x01

  ByteVec encode() const {
    // The encoder writes shortest forms only; the long version head is spliced in by hand.
    CborEncoder head;
    head.write_map_head(map_count.value_or(5 + extensions.size()));
    head.write_uint(1);
    CborEncoder shortest_version;
    shortest_version.write_uint(version);
    const ByteVec long_version = {0x18, static_cast<std::uint8_t>(version)};
    CborEncoder e;
    e.write_uint(2);
    e.write_bytes(object_id);
    e.write_uint(3);
    e.write_array_head(entries.size());
    for (const EntrySpec& entry : entries) {
      e.write_array_head(entry.fields.size() + 1);
      e.write_uint(entry.type);
      for (const ByteVec& f : entry.fields) e.write_bytes(f);
    }
    e.write_uint(4);
    e.write_bytes(ByteVec(metadata_len, 0x4d));
    e.write_uint(5);
    e.write_array_head(signatures.size());
    for (const SigSpec& s : signatures) {
      e.write_array_head(s.elements);
      e.write_uint(s.type);
      if (s.elements > 1) e.write_bytes(ByteVec(s.key_len, 0x4b));
      if (s.elements > 2) e.write_bytes(ByteVec(s.sig_len, 0x53));
      for (std::uint64_t i = 3; i < s.elements; ++i) e.write_bytes({});
    }
    for (const auto& [key, value] : extensions) {
      e.write_uint(key);
      e.write_bytes(value);
    }
    return cat({head.view(), long_version_head ? Bytes(long_version) : shortest_version.view(), e.view()});
  }
};

TEST(ContainerHeader, DecodesOnlyWellFormedCanonicalBodies) {
  struct Case {
    const char* name;
    std::function<void(BodySpec&)> change;
    std::optional<K> error;
  };
  const Case cases[] = {
      {"minimal", [](BodySpec&) {}, std::nullopt},
      {"64 recipients", [](BodySpec& b) { b.entries.resize(64, b.entries[0]); }, std::nullopt},
      {"unknown type carried", [](BodySpec& b) { b.entries.push_back({7, {ByteVec(3, 1), {}}}); }, std::nullopt},
      {"unknown type alone", [](BodySpec& b) { b.entries.push_back({65535, {}}); }, std::nullopt},
      {"unknown type, 7 strings of 65536",
       [](BodySpec& b) { b.entries.push_back({2, std::vector<ByteVec>(7, ByteVec(65536, 2))}); }, std::nullopt},
      {"header signature", [](BodySpec& b) { b.signatures = {SigSpec{}}; }, std::nullopt},
      {"extension 64 of 65536 bytes", [](BodySpec& b) { b.extensions = {{64, ByteVec(65536, 9)}}; }, std::nullopt},
      {"16 extensions",
       [](BodySpec& b) {
         for (std::uint64_t k = 64; k < 80; ++k) b.extensions.push_back({k, {}});
       },
       std::nullopt},
      {"largest metadata", [](BodySpec& b) { b.metadata_len = 262160; }, std::nullopt},
      {"version 2", [](BodySpec& b) { b.version = 2; }, K::UnsupportedVersion},
      {"version 0", [](BodySpec& b) { b.version = 0; }, K::UnsupportedVersion},
      {"key 6", [](BodySpec& b) { b.extensions = {{6, {}}}; }, K::Unsupported},
      {"key 63", [](BodySpec& b) { b.extensions = {{63, {}}}; }, K::Unsupported},
      {"extension of 65537 bytes", [](BodySpec& b) { b.extensions = {{64, ByteVec(65537, 9)}}; }, K::Malformed},
      {"extension key 65536", [](BodySpec& b) { b.extensions = {{65536, {}}}; }, K::Malformed},
      {"extensions not ascending", [](BodySpec& b) { b.extensions = {{65, {}}, {64, {}}}; }, K::Malformed},
      {"17 extensions",
       [](BodySpec& b) {
         for (std::uint64_t k = 64; k < 81; ++k) b.extensions.push_back({k, {}});
       },
       K::LimitExceeded},
      {"map of 4", [](BodySpec& b) { b.map_count = 4; }, K::Malformed},
      {"map claims one more", [](BodySpec& b) { b.map_count = 6; }, K::Malformed},
      {"object id of 31", [](BodySpec& b) { b.object_id.pop_back(); }, K::Malformed},
      {"no recipient", [](BodySpec& b) { b.entries.clear(); }, K::Malformed},
      {"65 recipients", [](BodySpec& b) { b.entries.resize(65, b.entries[0]); }, K::LimitExceeded},
      {"encapsulation of 1119", [](BodySpec& b) { b.entries[0].fields[0].pop_back(); }, K::Malformed},
      {"wrapped key of 49", [](BodySpec& b) { b.entries[0].fields[1].push_back(0); }, K::Malformed},
      {"type 1 with 3 strings", [](BodySpec& b) { b.entries[0].fields.push_back({}); }, K::Malformed},
      {"type 0", [](BodySpec& b) { b.entries.push_back({0, {}}); }, K::Malformed},
      {"type 65536", [](BodySpec& b) { b.entries.push_back({65536, {}}); }, K::Malformed},
      {"unknown type with 8 strings", [](BodySpec& b) { b.entries.push_back({7, std::vector<ByteVec>(8)}); },
       K::Malformed},
      {"unknown type string of 65537", [](BodySpec& b) { b.entries.push_back({7, {ByteVec(65537, 0)}}); },
       K::LimitExceeded},
      {"metadata of 15", [](BodySpec& b) { b.metadata_len = 15; }, K::Malformed},
      {"metadata of 262161", [](BodySpec& b) { b.metadata_len = 262161; }, K::LimitExceeded},
      {"two signatures", [](BodySpec& b) { b.signatures = {SigSpec{}, SigSpec{}}; }, K::LimitExceeded},
      {"signature block of 4", [](BodySpec& b) { b.signatures = {SigSpec{.elements = 4}}; }, K::Unsupported},
      {"signature block of 2", [](BodySpec& b) { b.signatures = {SigSpec{.elements = 2}}; }, K::Unsupported},
      {"signature type 2", [](BodySpec& b) { b.signatures = {SigSpec{.type = 2}}; }, K::Unsupported},
      {"verifying key of 1983", [](BodySpec& b) { b.signatures = {SigSpec{.key_len = 1983}}; }, K::Malformed},
      {"signature of 3374", [](BodySpec& b) { b.signatures = {SigSpec{.sig_len = 3374}}; }, K::Malformed},
      {"long version head", [](BodySpec& b) { b.long_version_head = true; }, K::NonCanonical},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BodySpec spec;
    c.change(spec);
    const ByteVec body = spec.encode();
    auto header = decode_header(body);
    if (c.error) {
      ASSERT_FALSE(header.has_value());
      EXPECT_EQ(header.error().kind, *c.error) << header.error().detail;
      continue;
    }
    ASSERT_TRUE(header.has_value()) << header.error().detail;
    EXPECT_EQ(header->recipients.size(), spec.entries.size());
    EXPECT_EQ(header->signature.has_value(), !spec.signatures.empty());
    EXPECT_EQ(header->extensions.size(), spec.extensions.size());
    for (std::size_t i = 0; i < spec.entries.size(); ++i) {
      EXPECT_EQ(header->recipients[i].type, spec.entries[i].type);
      ASSERT_EQ(header->recipients[i].fields().size(), spec.entries[i].fields.size());
      for (std::size_t f = 0; f < spec.entries[i].fields.size(); ++f)
        EXPECT_EQ(to_vec(header->recipients[i].fields()[f]), spec.entries[i].fields[f]);
    }
    auto again = encode_header(*header);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(to_vec(*again), body);
  }
}

TEST(ContainerHeader, BodyAndBlockLengthBounds) {
  EXPECT_EQ(decode_header({}).error().kind, K::HeaderTooLarge);
  EXPECT_EQ(decode_header(ByteVec(1048577, 0xa5)).error().kind, K::HeaderTooLarge);

  // A body whose extension entries push it past 1 MiB is refused by the encoder.
  BodySpec spec;
  for (std::uint64_t k = 64; k < 79; ++k) spec.extensions.push_back({k, ByteVec(65536, 1)});
  const ByteVec body = spec.encode();
  auto header = decode_header(body);
  ASSERT_TRUE(header.has_value());
  const ByteVec big_metadata = ByteVec(262160, 0x4d);
  header->encrypted_metadata = big_metadata;
  auto encoded = encode_header(*header);
  ASSERT_FALSE(encoded.has_value());
  EXPECT_EQ(encoded.error().kind, K::HeaderTooLarge);

  // The block length formula at every CBOR head-size boundary, and the block's canonical decode.
  for (std::size_t n : {0u, 1u, 23u, 24u, 255u, 256u, 65535u, 65536u, 1048576u}) {
    SCOPED_TRACE(n);
    const ByteVec body = ByteVec(n, 0x42), mac = ByteVec(32, 0x4d);
    const auto block = encode_header_block(body, mac);
    EXPECT_EQ(block.size(), header_block_len(n));
    auto decoded = decode_header_block(block);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(to_vec(decoded->body), body);
    EXPECT_EQ(to_vec(decoded->mac), mac);
  }
  const ByteVec block = encode_header_block(ByteVec(10, 1), ByteVec(32, 2));
  ByteVec trailing = block;
  trailing.push_back(0);
  EXPECT_EQ(decode_header_block(trailing).error().kind, K::NonCanonical);
  ByteVec short_mac = block;
  short_mac.pop_back();
  EXPECT_FALSE(decode_header_block(short_mac).has_value());
  ByteVec three = block;
  three[0] = 0x83;
  EXPECT_EQ(decode_header_block(three).error().kind, K::Malformed);
}

// ---- metadata -----------------------------------------------------------------------------

TEST(ContainerMetadata, FileNameRules) {
  const std::string long_name(255, 'n'), too_long(256, 'n');
  const std::string accepted[] = {"a",      "report.pdf", "COM0",     "console", "CON_x", "LPT10", "..a",
                                  "naïve.txt", "日本語", "a b",      "a\u00a0", ".hidden", long_name, "conx"};
  const std::string refused[] = {"",     ".",     "..",     "con.txt", "CON",   "Nul",      "aux.tar.gz", "prn",
                                 "LPT9", "lpt1",  "Com3.x", "name.",   "name ", "a:b",      "a/b",        "a\\b",
                                 "a<b",  "a>b",   "a\"b",   "a|b",     "a?b",   "a*b",      "tab\there",  "\x1f",
                                 "\x7f", "\u0080", "\u0085", "\u009f", too_long, "bad\xff", "\xc0\xaf"};
  for (const auto& name : accepted) EXPECT_TRUE(file_name_ok(name)) << name;
  for (const auto& name : refused) EXPECT_FALSE(file_name_ok(name)) << name;
}

TEST(ContainerMetadata, ContentTypeRules) {
  for (const std::string& t : std::vector<std::string>{"text/plain", " ", "~", std::string(255, 'x')}) EXPECT_TRUE(content_type_ok(t)) << t;
  for (const std::string& t : std::vector<std::string>{"", std::string(256, 'x'), "a\x7f", "a\tb", "é"})
    EXPECT_FALSE(content_type_ok(t)) << t;
}

ByteVec metadata_with(std::function<void(CborEncoder&)> write) {
  CborEncoder e;
  write(e);
  return to_vec(e.view());
}

TEST(ContainerMetadata, DecodesOnlyCanonicalRecordsWithTheirKinds) {
  auto sig = [](CborEncoder& e) {
    e.write_array_head(3);
    e.write_uint(1);
    e.write_bytes(ByteVec(1984, 0x4b));
    e.write_bytes(ByteVec(3373, 0x53));
  };
  struct Case {
    const char* name;
    ByteVec input;
    std::optional<K> error;
  };
  const Case cases[] = {
      {"empty map", {0xa0}, std::nullopt},
      {"file name", {0xa1, 0x01, 0x61, 'a'}, std::nullopt},
      {"both texts", {0xa2, 0x01, 0x61, 'a', 0x02, 0x61, 't'}, std::nullopt},
      {"signature", metadata_with([&](CborEncoder& e) { e.write_map_head(1); e.write_uint(3); sig(e); }), std::nullopt},
      {"extension 64", {0xa1, 0x18, 0x40, 0x40}, std::nullopt},
      {"name then extension", {0xa2, 0x01, 0x61, 'a', 0x19, 0xff, 0xff, 0x41, 0x00}, std::nullopt},
      {"not a map", {0x80}, K::Malformed},
      {"indefinite map", {0xbf, 0xff}, K::Malformed},
      {"key not an integer", {0xa1, 0x61, 'k', 0x61, 'a'}, K::Malformed},
      {"name as bytes", {0xa1, 0x01, 0x41, 'a'}, K::Malformed},
      {"name not UTF-8", {0xa1, 0x01, 0x61, 0xff}, K::Malformed},
      {"key 0", {0xa1, 0x00, 0x61, 'a'}, K::LimitExceeded},
      {"keys descending", {0xa2, 0x02, 0x61, 't', 0x01, 0x61, 'a'}, K::LimitExceeded},
      {"key repeated", {0xa2, 0x01, 0x61, 'a', 0x01, 0x61, 'b'}, K::LimitExceeded},
      {"reserved name", {0xa1, 0x01, 0x63, 'C', 'O', 'N'}, K::LimitExceeded},
      {"name with slash", {0xa1, 0x01, 0x63, 'a', '/', 'b'}, K::LimitExceeded},
      {"empty name", {0xa1, 0x01, 0x60}, K::LimitExceeded},
      {"empty content type", {0xa1, 0x02, 0x60}, K::LimitExceeded},
      {"content type with DEL", {0xa1, 0x02, 0x61, 0x7f}, K::LimitExceeded},
      {"name of 256 bytes",
       metadata_with([](CborEncoder& e) { e.write_map_head(1); e.write_uint(1); e.write_text(std::string(256, 'n')); }),
       K::LimitExceeded},
      {"bad signature block",
       metadata_with([](CborEncoder& e) { e.write_map_head(1); e.write_uint(3); e.write_array_head(2); e.write_uint(1); e.write_bytes({}); }),
       K::LimitExceeded},
      {"key 4", {0xa1, 0x04, 0x40}, K::Unsupported},
      {"key 63", {0xa1, 0x18, 0x3f, 0x40}, K::Unsupported},
      {"extension value as text", {0xa1, 0x18, 0x40, 0x60}, K::LimitExceeded},
      {"17 extensions",
       metadata_with([](CborEncoder& e) {
         e.write_map_head(17);
         for (std::uint64_t k = 64; k < 81; ++k) { e.write_uint(k); e.write_bytes({}); }
       }),
       K::LimitExceeded},
      {"20 entries", {0xb4}, K::LimitExceeded},
      {"extension key in two bytes", {0xa1, 0x19, 0x00, 0x40, 0x40}, K::NonCanonical},
      {"trailing byte", {0xa1, 0x01, 0x61, 'a', 0x00}, K::NonCanonical},
      {"truncated", {0xa2, 0x01, 0x61, 'a'}, K::Malformed},
      {"over 262144 bytes",
       metadata_with([](CborEncoder& e) { e.write_map_head(1); e.write_uint(64); e.write_bytes(ByteVec(262140, 0)); }),
       K::LimitExceeded},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto m = decode_metadata(c.input);
    if (c.error) {
      ASSERT_FALSE(m.has_value());
      EXPECT_EQ(m.error().kind, *c.error) << m.error().detail;
      continue;
    }
    ASSERT_TRUE(m.has_value()) << m.error().detail;
    auto again = encode_metadata(*m);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(ByteVec(again->begin(), again->end()), c.input);
  }
}

TEST(ContainerMetadata, UnsignedEncodingLeavesOutTheSignatureOnly) {
  CborEncoder e;
  e.write_map_head(4);
  e.write_uint(1);
  e.write_text("a.txt");
  e.write_uint(2);
  e.write_text("text/plain");
  e.write_uint(3);
  e.write_array_head(3);
  e.write_uint(1);
  e.write_bytes(ByteVec(1984, 0x4b));
  e.write_bytes(ByteVec(3373, 0x53));
  e.write_uint(64);
  e.write_bytes(ByteVec(3, 7));
  auto m = decode_metadata(e.view());
  ASSERT_TRUE(m.has_value());
  ASSERT_TRUE(m->signature.has_value());
  EXPECT_EQ(*m->file_name, "a.txt");
  EXPECT_EQ(*m->content_type, "text/plain");
  const ByteVec expected = {0xa3, 0x01, 0x65, 'a', '.', 't', 'x', 't', 0x02, 0x6a, 't', 'e', 'x', 't', '/',
                            'p',  'l',  'a',  'i', 'n', 0x18, 0x40, 0x43, 7, 7, 7};
  auto unsigned_form = encode_metadata(*m, false);
  ASSERT_TRUE(unsigned_form.has_value());
  EXPECT_EQ(ByteVec(unsigned_form->begin(), unsigned_form->end()), expected);
}

// ---- chunks, keys, nonces, associated data --------------------------------------------------

TEST(ContainerChunks, FramingRules) {
  struct Case {
    std::uint8_t type;
    std::uint32_t n;
    std::uint64_t index;
    bool ok;
  };
  const Case cases[] = {
      {1, 65552, 0, true},  {1, 65552, 4294967294u, true}, {1, 65551, 0, false}, {1, 65553, 3, false},
      {1, 16, 0, false},    {2, 16, 0, true},              {2, 16, 1, false},    {2, 17, 1, true},
      {2, 65552, 9, true},  {2, 65553, 0, false},          {2, 15, 0, false},    {2, 0, 0, false},
      {0, 65552, 0, false}, {3, 100, 0, false},            {255, 16, 0, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(chunk_header_ok(c.type, c.n, c.index), c.ok) << int(c.type) << " " << c.n << " " << c.index;
  EXPECT_EQ(chunk_count(0), 1u);
  EXPECT_EQ(chunk_count(1), 1u);
  EXPECT_EQ(chunk_count(65536), 1u);
  EXPECT_EQ(chunk_count(65537), 2u);
  EXPECT_EQ(chunk_count(std::uint64_t{1} << 30), 16384u);
}

TEST(ContainerKeys, DerivationsNoncesAndAssociatedDataByteForByte) {
  const ByteVec cek = test_bytes(32, 1), object_id = test_bytes(32, 2), salt = test_bytes(16, 3),
                header_hash = test_bytes(32, 4);
  EXPECT_EQ(to_vec(derive_metadata_key(cek, object_id).view()),
            hkdf_by_hand(object_id, cek, as_bytes("VESK/0.1 metadata")));
  EXPECT_EQ(to_vec(derive_header_mac_key(cek, object_id).view()),
            hkdf_by_hand(object_id, cek, as_bytes("VESK/0.1 header-mac")));
  EXPECT_EQ(to_vec(derive_payload_key(cek, salt, object_id).view()),
            hkdf_by_hand(salt, cek, cat({as_bytes("VESK/0.1 payload"), object_id})));

  const ByteVec prelude = prelude_bytes(1, 0, 77), body = test_bytes(100, 5);
  const auto mac = header_mac(cek, prelude, body);
  const auto mac_expected = crypto::hmac_sha256(cek, {cat({prelude, body})});
  EXPECT_EQ(ByteVec(mac.begin(), mac.end()), ByteVec(mac_expected.begin(), mac_expected.end()));

  const auto maad = metadata_aad(object_id);
  EXPECT_EQ(ByteVec(maad.begin(), maad.end()), cat({as_bytes("VESK/0.1 metadata"), object_id, ByteVec{0x00, 0x01}}));
  EXPECT_EQ(ByteVec(kMetadataNonce.begin(), kMetadataNonce.end()), ByteVec(12, 0));

  const auto n1 = chunk_nonce(0x0102030405060708, false), n2 = chunk_nonce(5, true);
  EXPECT_EQ(ByteVec(n1.begin(), n1.end()), (ByteVec{0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0}));
  EXPECT_EQ(ByteVec(n2.begin(), n2.end()), (ByteVec{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 1}));

  ChunkAad aad(object_id, header_hash);
  EXPECT_EQ(to_vec(aad.at(3, 2, 65536)),
            cat({as_bytes("VESK/0.1 chunk"), object_id, header_hash, ByteVec{0, 0, 0, 0, 0, 0, 0, 3}, ByteVec{2},
                 ByteVec{0, 1, 0, 0}}));
  EXPECT_EQ(to_vec(aad.at(0x1122334455667788, 1, 7)),
            cat({as_bytes("VESK/0.1 chunk"), object_id, header_hash,
                 ByteVec{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}, ByteVec{1}, ByteVec{0, 0, 0, 7}}));
}

// ---- signatures: transcripts and placement --------------------------------------------------

ByteVec be(std::uint64_t v, int bytes) {
  ByteVec out(bytes);
  for (int i = bytes - 1; i >= 0; --i, v >>= 8) out[i] = static_cast<std::uint8_t>(v);
  return out;
}

TEST(ContainerSignatures, TranscriptsOfBothVersionsByteForByte) {
  const ByteVec object_id = test_bytes(32, 7), enc_a = test_bytes(1120, 8), key_a = test_bytes(48, 9),
                enc_b = test_bytes(1120, 10), key_b = test_bytes(48, 11), odd = test_bytes(5, 12),
                metadata = {0xa1, 0x01, 0x61, 'x'}, hash = test_bytes(32, 13), ext_value = test_bytes(3, 14);
  ContainerHeader h;
  h.object_id = object_id;
  h.recipients = {RecipientEntry::wrapped(enc_a, key_a), RecipientEntry::wrapped(enc_b, key_b)};
  const ByteVec prelude = prelude_bytes(2, 0, 5000);

  const ByteVec tag01 = {0x00, 0x01};
  const ByteVec v05 = cat({as_bytes("VESK/0.5 transcript"), tag01, object_id, be(2, 8), enc_a, key_a, enc_b, key_b,
                           be(metadata.size(), 8), metadata, hash, be(123456789, 8)});
  const SecureVector t05 = signature_transcript(FormatVersion::V0_5, prelude, h, metadata, hash, 123456789);
  EXPECT_EQ(ByteVec(t05.begin(), t05.end()), v05);
  EXPECT_EQ(signature_context(FormatVersion::V0_5), "VESK/0.5 container");

  RecipientEntry unknown;
  unknown.type = 7;
  unknown.count = 2;
  unknown.strings[0] = odd;
  unknown.strings[1] = Bytes{};
  h.recipients.push_back(unknown);
  h.extensions = {ExtensionEntry{64, SecureVector(ext_value.begin(), ext_value.end())}, ExtensionEntry{300, {}}};
  const ByteVec prelude10 = prelude_bytes(1, 1, 5000);
  const ByteVec v10 = cat({as_bytes("VESK/1.0 transcript"), Bytes(prelude10).first(12), tag01, object_id, be(3, 8),
                           // type-1 entries: type, two strings, each framed
                           be(1, 8), be(2, 8), be(1120, 8), enc_a, be(48, 8), key_a, be(1, 8), be(2, 8), be(1120, 8),
                           enc_b, be(48, 8), key_b,
                           // the carried entry of type 7
                           be(7, 8), be(2, 8), be(5, 8), odd, be(0, 8),
                           // extensions
                           be(2, 8), be(64, 2), be(3, 8), ext_value, be(300, 2), be(0, 8),
                           be(metadata.size(), 8), metadata, hash, be(0, 8)});
  const SecureVector t10 = signature_transcript(FormatVersion::V1_0, prelude10, h, metadata, hash, 0);
  EXPECT_EQ(ByteVec(t10.begin(), t10.end()), v10);
  EXPECT_EQ(signature_context(FormatVersion::V1_0), "VESK/1.0 container");
}

TEST(ContainerSignatures, PlacementRules) {
  const ByteVec key = ByteVec(1984, 1), sig = ByteVec(3373, 2);
  const SignatureBlock block{key, sig};
  enum Want { None, Verify, Both, Missing, Unexpected };
  struct Case {
    FormatVersion version;
    bool flag;
    bool in_header;
    bool in_metadata;
    Want want;
  };
  const Case cases[] = {
      {FormatVersion::V1_0, false, false, false, None},     {FormatVersion::V1_0, false, true, false, Unexpected},
      {FormatVersion::V1_0, false, false, true, Unexpected}, {FormatVersion::V1_0, true, false, false, Missing},
      {FormatVersion::V1_0, true, true, false, Verify},      {FormatVersion::V1_0, true, false, true, Verify},
      {FormatVersion::V1_0, true, true, true, Both},         {FormatVersion::V1_0, false, true, true, Both},
      {FormatVersion::V0_5, false, false, false, Missing},   {FormatVersion::V0_5, false, true, false, Verify},
      {FormatVersion::V0_5, false, false, true, Verify},     {FormatVersion::V0_5, false, true, true, Both},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << int(c.version) << c.flag << c.in_header << c.in_metadata);
    ContainerPrelude p;
    p.version = c.version;
    p.signed_flag = c.flag;
    ContainerHeader h;
    ContainerMetadata m;
    if (c.in_header) h.signature = block;
    if (c.in_metadata) m.signature = block;
    const SignatureCheck r = select_signature(p, h, m);
    const SignatureRefusal* refusal = std::get_if<SignatureRefusal>(&r);
    switch (c.want) {
      case None:
        EXPECT_TRUE(std::holds_alternative<NoSignature>(r));
        break;
      case Verify:
        ASSERT_TRUE(std::holds_alternative<SignatureBlock>(r));
        EXPECT_EQ(std::get<SignatureBlock>(r).verifying_key.data(), key.data());
        break;
      case Both: ASSERT_NE(refusal, nullptr); EXPECT_EQ(*refusal, SignatureRefusal::BothPlaces); break;
      case Missing: ASSERT_NE(refusal, nullptr); EXPECT_EQ(*refusal, SignatureRefusal::Missing); break;
      case Unexpected: ASSERT_NE(refusal, nullptr); EXPECT_EQ(*refusal, SignatureRefusal::Unexpected); break;
    }
  }

  ContainerHeader with_extension;
  with_extension.extensions = {ExtensionEntry{64, {}}};
  EXPECT_FALSE(check_v05_header(with_extension).has_value());
  ContainerHeader with_unknown;
  RecipientEntry unknown;
  unknown.type = 2;
  with_unknown.recipients = {unknown};
  EXPECT_FALSE(check_v05_header(with_unknown).has_value());
  ContainerMetadata metadata_extension;
  metadata_extension.extensions = {ExtensionEntry{64, {}}};
  EXPECT_FALSE(check_v05_metadata(metadata_extension).has_value());
  EXPECT_TRUE(check_v05_metadata(ContainerMetadata{}).has_value());
}

}  // namespace
}  // namespace vesk::testing
