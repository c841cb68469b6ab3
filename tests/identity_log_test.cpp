// Identity log decoding, the entry hashes, and recovery binding decoding.
#include <gtest/gtest.h>

#include <functional>

#include "identity/log.h"
#include "identity/recovery_binding.h"
#include "support/identity_writer.h"
#include "support/test_util.h"
#include "support/vectors.h"

namespace vesk::identity {
namespace {

using testing::ByteString;
using testing::LogWriter;
using testing::test_identity;

// Create, Add, Revoke: one entry of each payload shape.
LogWriter three_entry_log() {
  LogWriter w;
  w.create(test_identity(1), "phone");
  w.add(test_identity(1), testing::key_of(test_identity(2)), "laptop");
  w.revoke(test_identity(2), testing::device_id_of(test_identity(1)));
  return w;
}

std::string utf8_label(int two_byte_chars, int ascii_chars) {
  std::string s;
  for (int i = 0; i < two_byte_chars; ++i) s += "\xC3\xA9";  // é
  s.append(ascii_chars, 'a');
  return s;
}

struct DecodeCase {
  const char* name;
  std::function<ByteString()> input;
  std::optional<IdentityErrorKind> error;  // nullopt: decodes
};

TEST(IdentityLogDecode, AcceptsAndRejects) {
  const std::vector<DecodeCase> cases = {
      {"empty array", [] { return ByteString{0x80}; }, std::nullopt},
      {"valid log", [] { return three_entry_log().bytes(); }, std::nullopt},
      {"every entry head 0x86", [] { return three_entry_log().bytes(6); }, std::nullopt},
      {"0x87 then 0x86", [] { auto w = three_entry_log(); w.at(2).head = 0x86; return w.bytes(); },
       IdentityErrorKind::Malformed},
      {"0x86 then 0x87", [] { auto w = three_entry_log(); w.at(1).head = 0x87; return w.bytes(6); },
       IdentityErrorKind::Malformed},
      {"entry head 0x88", [] { auto w = three_entry_log(); w.at(0).head = 0x88; return w.bytes(); },
       IdentityErrorKind::Malformed},
      {"entry head 0x85", [] { return three_entry_log().bytes(5); }, IdentityErrorKind::Malformed},
      {"entry that is not an array", [] { auto w = three_entry_log(); w.at(0).head = 0xa7; return w.bytes(); },
       IdentityErrorKind::Malformed},
      {"indefinite entry", [] { auto w = three_entry_log(); w.at(0).head = 0x9f; return w.bytes(); },
       IdentityErrorKind::Malformed},
      {"indefinite outer array",
       [] {
         auto b = three_entry_log().bytes();
         b[0] = 0x9f;
         b.push_back(0xff);
         return b;
       },
       IdentityErrorKind::Malformed},
      {"outer map", [] { return ByteString{0xa0}; }, IdentityErrorKind::Malformed},
      {"nothing", [] { return ByteString{}; }, IdentityErrorKind::Malformed},
      {"Revoke with a one-byte label",
       [] {
         LogWriter w;
         w.create(test_identity(1)).add(test_identity(1), testing::key_of(test_identity(2)));
         w.revoke(test_identity(1), testing::device_id_of(test_identity(2)), {.revoke_label = "x"});
         return w.bytes();
       },
       IdentityErrorKind::Malformed},
      {"Revoke of a 31-byte device",
       [] { auto w = three_entry_log(); w.at(2).payload.pop_back(); return w.bytes(); },
       IdentityErrorKind::Malformed},
      {"seq 0 as 0x18 0x00",
       [] { auto w = three_entry_log(); w.at(0).seq_item = testing::cbor_head_wide(0, 0, 2); return w.bytes(); },
       IdentityErrorKind::Malformed},
      {"kind as 0x18 0x01",
       [] { auto w = three_entry_log(); w.at(0).kind_item = testing::cbor_head_wide(0, 1, 2); return w.bytes(); },
       IdentityErrorKind::Malformed},
      {"kind 0", [] { auto w = three_entry_log(); w.at(1).kind = 0; return w.bytes(); }, IdentityErrorKind::Malformed},
      {"kind 5", [] { auto w = three_entry_log(); w.at(1).kind = 5; return w.bytes(); }, IdentityErrorKind::Malformed},
      {"kind 256", [] { auto w = three_entry_log(); w.at(1).kind = 256; return w.bytes(); },
       IdentityErrorKind::Malformed},
      {"seq of 2^64-1", [] { auto w = three_entry_log(); w.at(1).seq = ~0ull; return w.bytes(); }, std::nullopt},
      {"100001 entries claimed", [] { return three_entry_log().bytes(7, 100001); }, IdentityErrorKind::TooManyEntries},
      {"2^64-1 entries claimed", [] { return three_entry_log().bytes(7, ~0ull); }, IdentityErrorKind::TooManyEntries},
      {"100000 entries claimed, three present", [] { return three_entry_log().bytes(7, 100000); },
       IdentityErrorKind::Malformed},
      {"label of 256 bytes",
       [] { LogWriter w; w.create(test_identity(1), std::string(256, 'l')); return w.bytes(); }, std::nullopt},
      {"label of 257 bytes",
       [] { LogWriter w; w.create(test_identity(1), std::string(257, 'l')); return w.bytes(); },
       IdentityErrorKind::LabelTooLong},
      {"label of 200 characters in 300 bytes",
       [] { LogWriter w; w.create(test_identity(1), utf8_label(100, 100)); return w.bytes(); },
       IdentityErrorKind::LabelTooLong},
      {"label of 128 characters in 256 bytes",
       [] { LogWriter w; w.create(test_identity(1), utf8_label(128, 0)); return w.bytes(); }, std::nullopt},
      {"label that is not UTF-8",
       [] { LogWriter w; w.create(test_identity(1), "\x80"); return w.bytes(); }, IdentityErrorKind::Malformed},
      {"signature of 3372 bytes", [] { auto w = three_entry_log(); w.at(1).signature.pop_back(); return w.bytes(); },
       IdentityErrorKind::Malformed},
      {"signature of 3374 bytes",
       [] { auto w = three_entry_log(); w.at(1).signature.push_back(0); return w.bytes(); },
       IdentityErrorKind::Malformed},
      {"empty signature", [] { auto w = three_entry_log(); w.at(1).signature.clear(); return w.bytes(); },
       IdentityErrorKind::Malformed},
      {"signer of 31 bytes", [] { auto w = three_entry_log(); w.at(0).signer.pop_back(); return w.bytes(); },
       IdentityErrorKind::Malformed},
      {"link of 33 bytes", [] { auto w = three_entry_log(); w.at(0).link.push_back(0); return w.bytes(); },
       IdentityErrorKind::Malformed},
      {"Create with a 1983-byte key",
       [] {
         LogWriter w;
         auto key = testing::key_of(test_identity(1));
         key.pop_back();
         w.append(testing::Kind::Create, test_identity(1), key, "short", {});
         return w.bytes();
       },
       std::nullopt},
      {"one trailing byte", [] { auto b = three_entry_log().bytes(); b.push_back(0); return b; },
       IdentityErrorKind::Malformed},
      {"one byte short", [] { auto b = three_entry_log().bytes(); b.pop_back(); return b; },
       IdentityErrorKind::Malformed},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    ByteString input = c.input();
    auto log = decode_identity_log(input);
    if (!c.error) {
      ASSERT_TRUE(log.has_value()) << static_cast<int>(log.error().kind);
    } else {
      ASSERT_FALSE(log.has_value());
      EXPECT_EQ(log.error().kind, *c.error);
      EXPECT_EQ(log.error().stage, ErrorStage::Decoding);
    }
  }
}

TEST(IdentityLogDecode, KeepsEveryFieldAndTheHeadWidth) {
  LogWriter w = three_entry_log();
  for (std::uint8_t items : {6, 7}) {
    SCOPED_TRACE(int{items});
    auto log = decode_identity_log(w.bytes(items));
    ASSERT_TRUE(log.has_value());
    EXPECT_EQ(log->entry_items, items);
    ASSERT_EQ(log->entries.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
      const IdentityEntry& e = log->entries[i];
      const testing::WrittenEntry& src = w.at(i);
      EXPECT_EQ(e.seq, i);
      EXPECT_EQ(static_cast<std::uint64_t>(e.event.kind), src.kind);
      EXPECT_TRUE(equal_bytes(view_of(e.signer), src.signer));
      EXPECT_TRUE(equal_bytes(view_of(e.link), src.link));
      EXPECT_TRUE(equal_bytes(e.signature, src.signature));
      if (e.event.kind == EventKind::Revoke) {
        EXPECT_TRUE(equal_bytes(view_of(e.event.device), src.payload));
        EXPECT_TRUE(e.event.key.empty());
      } else {
        EXPECT_TRUE(equal_bytes(e.event.key, src.payload));
        EXPECT_EQ(e.event.label, src.label);
      }
    }
  }
}

TEST(IdentityLogDecode, TooManyEntriesCarriesTheCount) {
  auto log = decode_identity_log(ByteString{0x9a, 0x00, 0x01, 0x86, 0xa1});  // 100001
  ASSERT_FALSE(log.has_value());
  EXPECT_EQ(log.error().kind, IdentityErrorKind::TooManyEntries);
  EXPECT_EQ(log.error().count, 100001u);
}

// The layouts computed outside the library (Python hashlib) from fixed field values.
TEST(IdentityLogHashes, MatchFixedValues) {
  std::vector<std::uint8_t> key(1984);
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i % 251);
  EXPECT_EQ(testing::to_hex(device_id(key).data(), 32),
            "9849c9e7df004ac307c7e3ea31bf5b55ef047eefe3ac1f0088e858bc8bd2ae1f");

  const std::vector<std::uint8_t> signature(3373, 0x44);
  IdentityEntry revoke;
  revoke.seq = 5;
  revoke.event.kind = EventKind::Revoke;
  revoke.event.device.fill(0x33);
  revoke.event.label = "ignored";  // a Revoke's label is not part of its body
  revoke.signer.fill(0x22);
  crypto::Digest32 prev;
  prev.fill(0x11);
  auto body = entry_body(revoke, prev);
  EXPECT_EQ(body.size(), 113u);
  EXPECT_EQ(testing::to_hex(link_hash(body, signature).data(), 32),
            "c5b86c7639c7d1eb80f4afeba2fc046141651eddc63af21aedf1d06a3a2d3a55");

  IdentityEntry create;
  create.event.kind = EventKind::Create;
  create.event.key = key;
  create.event.label = "phone";
  create.signer.fill(0x22);
  body = entry_body(create, crypto::Digest32{});
  EXPECT_EQ(body.size(), 2078u);
  EXPECT_EQ(testing::to_hex(link_hash(body, signature).data(), 32),
            "c71ab6b853a129d773984bfbe0b60b4fdbf613234c66e50e27152b3e1a4f1757");
}

TEST(IdentityLogHashes, AgreeWithTheWriter) {
  LogWriter w = three_entry_log();
  auto log = decode_identity_log(w.bytes());
  ASSERT_TRUE(log.has_value());
  crypto::Digest32 prev{};
  for (std::size_t i = 0; i < log->entries.size(); ++i) {
    const IdentityEntry& e = log->entries[i];
    auto body = entry_body(e, prev);
    EXPECT_EQ(body, LogWriter::body(w.at(i), prev));
    EXPECT_EQ(link_hash(body, e.signature), e.link);
    prev = e.link;
  }
  EXPECT_EQ(device_id(testing::key_of(test_identity(1))), testing::device_id_of(test_identity(1)));
}

TEST(RecoveryBindingDecode, LengthAndKey) {
  LogWriter w;
  w.create(test_identity(1));
  const ByteString good = testing::recovery_binding(test_identity(1), w.identity_id(), testing::key_of(test_identity(9)));
  ASSERT_EQ(good.size(), kRecoveryBindingLen);
  auto b = decode_recovery_binding(good);
  ASSERT_TRUE(b.has_value());
  EXPECT_EQ(b->identity, w.identity_id());
  EXPECT_TRUE(equal_bytes(b->recovery_key.bytes(), testing::key_of(test_identity(9))));
  EXPECT_TRUE(equal_bytes(b->signature, Bytes(good).subspan(2016)));

  ByteString undecodable = good;
  auto bad_key = testing::undecodable_key();
  std::copy(bad_key.begin(), bad_key.end(), undecodable.begin() + 32);
  ByteString shorter(good.begin(), good.end() - 1);
  ByteString longer = good;
  longer.push_back(0);
  for (const ByteString* input : {&shorter, &longer, &undecodable}) {
    auto r = decode_recovery_binding(*input);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().kind, IdentityErrorKind::Malformed);
    EXPECT_EQ(r.error().stage, ErrorStage::Decoding);
  }
}

}  // namespace
}  // namespace vesk::identity
