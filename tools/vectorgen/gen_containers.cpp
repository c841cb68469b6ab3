// Containers: vesk_decrypt (containers as the library writes them, edited copies, and what other
// writers may produce, from the test writer) and vesk_encrypt (what its data decides: unusable
// recipient keys and metadata texts; a written container is random, so successes list no output).
#include <functional>

#include "core/byte_io.h"
#include "corpus.h"
#include "format/container.h"
#include "object/encrypt.h"
#include "support/container_writer.h"
#include "support/identity_writer.h"

namespace vesk::vectorgen {
namespace {

using testing::ContainerSpec;
using testing::SignaturePlace;
using testing::WriterEntry;

ByteVec library_container(const std::string& label, Bytes plaintext, Bytes recipients,
                          std::optional<std::string> name, std::optional<std::string> type) {
  randomness().reseed("decrypt/" + label);
  auto r = object::encrypt(plaintext, recipients, name ? std::optional<std::string_view>(*name) : std::nullopt,
                           type ? std::optional<std::string_view>(*type) : std::nullopt);
  if (!r) throw std::runtime_error("corpus container " + label + " was refused");
  return ByteVec(r->data(), r->data() + r->size());
}

ByteVec written_container(const std::string& label, const ContainerSpec& spec, Bytes plaintext) {
  randomness().reseed("decrypt/" + label);
  return testing::write_container(spec, plaintext);
}

// Where the parts of a container stand.
struct Chunk {
  std::size_t offset;  // of its type byte
  std::uint32_t len;
};
struct Layout {
  std::uint32_t header_len = 0;
  std::size_t body_at = 0, body_len = 0;
  std::vector<Chunk> chunks;
};
Layout layout_of(const ByteVec& c) {
  Layout l;
  l.header_len = load_be32(c.data() + 12);
  auto block = format::decode_header_block(Bytes(c).subspan(16, l.header_len));
  if (!block) throw std::runtime_error("corpus container does not decode");
  l.body_len = block->body.size();
  l.body_at = 16 + (l.header_len - l.body_len - 34);
  ByteReader r(Bytes(c).subspan(16 + l.header_len + 16));
  const std::size_t base = 16 + l.header_len + 16;
  while (!r.at_end()) {
    const std::size_t at = r.position();
    auto type = r.read_u8();
    auto len = r.read_be32();
    if (!type || !len || !r.skip(*len)) break;
    l.chunks.push_back({base + at, *len});
  }
  return l;
}

ByteVec modulo_plaintext(std::size_t n) {
  ByteVec p(n);
  for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(i);
  return p;
}

class Decrypts {
 public:
  explicit Decrypts(CorpusFile& f) : f_(f) {}
  void ok(const std::string& name, const std::string& what, const ByteVec& c, const Json& key, Bytes plaintext,
          const std::string& file_name = "", const std::string& content_type = "") {
    f_.add(name, what, inputs(c, key), kOk,
           {{"plaintext_out", out_bytes(plaintext)}, {"file_name_out", text(file_name)}, {"content_type_out", text(content_type)}});
  }
  void refused(const std::string& name, const std::string& what, const ByteVec& c, const Json& key, const char* status) {
    f_.add(name, what, inputs(c, key), status, {{"plaintext_out", released_nothing()}});
  }

 private:
  static Json inputs(const ByteVec& c, const Json& key) { return Json{{"data", hex(c)}, {"secret_key", key}}; }
  CorpusFile& f_;
};

using Edit = std::function<void(ByteVec&)>;
Edit set(std::size_t at, std::uint8_t v) {
  return [=](ByteVec& c) { c[at] = v; };
}
Edit flip(std::size_t at, std::uint8_t bit = 0x01) {
  return [=](ByteVec& c) { c[at] ^= bit; };
}
Edit set_len(std::uint32_t v) {
  return [=](ByteVec& c) { store_be32(c.data() + 12, v); };
}
ByteVec edited(ByteVec c, const Edit& e) {
  e(c);
  return c;
}

void decrypt_cases(CorpusFile& f) {
  Decrypts d(f);
  const ByteVec r1 = r1_seed(), r2 = r2_seed();
  const Json k1 = recipient_handle(r1), k2 = recipient_handle(r2);
  const ByteVec pk1 = recipient_public(r1), pk2 = recipient_public(r2);
  const ByteVec hello = text_bytes("hello");

  // ---- as the library writes them ----
  const ByteVec big = modulo_plaintext(65537);
  const ByteVec two = library_container("v1-two-recipients", big, concat({pk1, pk2}), "notes.txt", "text/plain");
  d.ok("v1-two-recipients-second-key", "format 1.0 for R1 then R2 of a 65537-byte plaintext (byte i = i mod 256), with texts; opened with R2: entry 0 fails, entry 1 opens",
       two, k2, big, "notes.txt", "text/plain");
  d.ok("v1-two-recipients-first-key", "the same container opened with R1, whose entry is the first", two, k1, big, "notes.txt", "text/plain");
  const ByteVec empty = library_container("v1-empty-no-metadata", {}, pk1, std::nullopt, std::nullopt);
  d.ok("v1-empty-no-metadata", "the container of an empty plaintext for R1 without texts: metadata a0, one type-2 chunk of 16 bytes", empty, k1, {});
  d.refused("v1-signed-flag-set", "the empty container with its signed flag set: the MAC covers the prelude, so no entry authenticates it",
            edited(empty, set(11, 1)), k1, kNoMatch);
  const Layout le = layout_of(empty);
  d.refused("v1-empty-chunk-tag-flipped", "the empty container with its only tag altered", edited(empty, flip(empty.size() - 1)), k1, kAuth);
  d.refused("v1-empty-chunk-length-17", "the empty container whose only chunk claims 17 bytes: it runs past the end",
            edited(empty, [&](ByteVec& c) { store_be32(c.data() + le.chunks[0].offset + 1, 17); }), k1, kMalformed);
  d.refused("v1-empty-chunk-length-15", "the empty container whose only chunk claims 15 bytes: below a tag",
            edited(empty, [&](ByteVec& c) {
              store_be32(c.data() + le.chunks[0].offset + 1, 15);
              c.pop_back();
            }),
            k1, kMalformed);

  const Layout lt = layout_of(two);
  d.refused("v1-chunk-bit-flipped", "the two-recipient container with the lowest bit of byte 2610 flipped, 100 bytes into chunk 0's sealed bytes",
            edited(two, flip(2610)), k2, kAuth);
  d.refused("chunks-swapped", "the two-recipient container with its two chunks in the other order",
            edited(two, [&](ByteVec& c) {
              ByteVec first(c.begin() + lt.chunks[0].offset, c.begin() + lt.chunks[1].offset);
              ByteVec second(c.begin() + lt.chunks[1].offset, c.end());
              c.resize(lt.chunks[0].offset);
              c.insert(c.end(), second.begin(), second.end());
              c.insert(c.end(), first.begin(), first.end());
            }),
            k2, kAuth);
  d.refused("chunk-0-relabelled-last", "chunk 0's type changed from 1 to 2: framing allows it, its nonce and associated data differ",
            edited(two, set(lt.chunks[0].offset, 2)), k2, kAuth);
  d.refused("chunk-1-relabelled-more", "the last chunk's type changed to 1: a type-1 chunk must hold 65536 bytes",
            edited(two, set(lt.chunks[1].offset, 1)), k2, kMalformed);
  d.refused("chunk-type-3", "chunk 0's type byte 3", edited(two, set(lt.chunks[0].offset, 3)), k2, kMalformed);
  d.refused("chunk-0-length-65551", "chunk 0 claims 65551 bytes", edited(two, [&](ByteVec& c) { store_be32(c.data() + lt.chunks[0].offset + 1, 65551); }),
            k2, kMalformed);
  d.refused("empty-chunk-after-another", "the last chunk cut to an empty one (16 bytes) after chunk 0",
            edited(two, [&](ByteVec& c) {
              store_be32(c.data() + lt.chunks[1].offset + 1, 16);
              c.resize(lt.chunks[1].offset + 5 + 16);
            }),
            k2, kMalformed);
  d.refused("last-chunk-removed", "the container ends after chunk 0, a type-1 chunk", edited(two, [&](ByteVec& c) { c.resize(lt.chunks[1].offset); }), k2,
            kMalformed);
  d.refused("cut-inside-chunk-header", "the container cut three bytes into the last chunk's framing",
            edited(two, [&](ByteVec& c) { c.resize(lt.chunks[1].offset + 3); }), k2, kMalformed);
  d.refused("last-chunk-repeated", "the last chunk written twice", edited(two, [&](ByteVec& c) { c.insert(c.end(), two.begin() + lt.chunks[1].offset, two.end()); }),
            k2, kMalformed);
  d.refused("payload-salt-flipped", "a payload salt byte altered: every chunk key changes", edited(two, flip(16 + lt.header_len)), k2, kAuth);

  const ByteVec full = modulo_plaintext(65536);
  const ByteVec one_full = library_container("v1-one-full-chunk", full, pk1, std::nullopt, std::nullopt);
  d.ok("v1-one-full-chunk", "a 65536-byte plaintext: one full type-2 chunk, never an empty one after it", one_full, k1, full);
  const Layout lf = layout_of(one_full);
  d.refused("full-chunk-then-empty-chunk", "that chunk relabelled type 1 and an empty type-2 chunk appended: chunk 0 now fails its tag before the second chunk is framed",
            edited(one_full, [&](ByteVec& c) {
              c[lf.chunks[0].offset] = 1;
              const ByteVec tail = {2, 0, 0, 0, 16};
              c.insert(c.end(), tail.begin(), tail.end());
              c.insert(c.end(), 16, 0);
            }),
            k1, kAuth);

  // ---- a small container and its edits ----
  const ByteVec small = library_container("small", hello, pk1, "notes.txt", "text/plain");
  const Layout ls = layout_of(small);
  d.ok("v1-hello", "the plaintext hello for R1 with file name and content type", small, k1, hello, "notes.txt", "text/plain");
  d.refused("wrong-key", "the hello container opened with R2", small, k2, kNoMatch);
  d.refused("identity-key", "the hello container opened with the identity laptop's derived key", small, secret_key_from(identity_seed("laptop")), kNoMatch);
  struct Case {
    const char* name;
    const char* what;
    Edit edit;
    const char* status;
  };
  const std::size_t enc_at = ls.body_at + 45;  // a5 01 01 02 58 20 <id> 03 81 83 01 59 04 60
  const Case cases[] = {
      {"empty", "no bytes", [](ByteVec& c) { c.clear(); }, kMalformed},
      {"fifteen-bytes", "15 bytes", [](ByteVec& c) { c.resize(15); }, kMalformed},
      {"prelude-only", "the 16 prelude bytes alone", [](ByteVec& c) { c.resize(16); }, kMalformed},
      {"magic-changed", "the first magic byte changed", set(0, 'W'), kMalformed},
      {"magic-lf-changed", "the last magic byte changed", set(7, 0x0d), kMalformed},
      {"byte-8-set", "byte 8 set to 1", set(8, 1), kMalformed},
      {"version-0", "version byte 0", set(9, 0), kMalformed},
      {"version-3", "version byte 3", set(9, 3), kMalformed},
      {"version-255", "version byte 255", set(9, 255), kMalformed},
      {"byte-10-changed", "byte 10 set to 2", set(10, 2), kMalformed},
      {"signed-flag-2", "signed flag 2", set(11, 2), kMalformed},
      {"v0.5-with-signed-flag", "version byte 2 with signed flag 1", [](ByteVec& c) { c[9] = 2; c[11] = 1; }, kMalformed},
      {"header-length-0", "L = 0", set_len(0), kMalformed},
      {"header-length-1048577", "L = 1048577", set_len(1048577), kMalformed},
      {"header-length-past-end", "L reaches one byte past the end", set_len(static_cast<std::uint32_t>(small.size() - 16 + 1)), kMalformed},
      {"header-length-one-short", "L one less than the block", set_len(ls.header_len - 1), kMalformed},
      {"header-length-one-long", "L one more than the block", set_len(ls.header_len + 1), kMalformed},
      {"signed-flag-set", "signed flag 1: the MAC covers it", set(11, 1), kNoMatch},
      {"version-byte-2", "version byte 2 (format 0.5): the MAC covers it", set(9, 2), kNoMatch},
      {"object-id-flipped", "an object id byte altered", flip(ls.body_at + 6), kNoMatch},
      {"encapsulation-flipped", "an encapsulation byte altered", flip(enc_at + 15), kNoMatch},
      {"encapsulation-x25519-flipped", "a byte of the X25519 part of the encapsulation altered", flip(enc_at + 1100), kNoMatch},
      {"wrapped-cek-flipped", "a wrapped-CEK byte altered", flip(enc_at + 1120 + 2 + 5), kNoMatch},
      {"sealed-metadata-flipped", "a byte of the sealed metadata altered: the MAC covers the body", flip(ls.body_at + ls.body_len - 5), kNoMatch},
      {"header-mac-flipped", "the last MAC byte altered", flip(16 + ls.header_len - 1), kNoMatch},
      {"header-mac-head-changed", "the MAC's byte-string head 58 20 changed to 58 1f", set(16 + ls.header_len - 33, 0x1f), kMalformed},
      {"block-head-changed", "the header block's array head 82 changed to 83", set(16, 0x83), kMalformed},
      {"header-signature-array-head-81", "the empty signature array 80 changed to 81: its element is missing", set(ls.body_at + ls.body_len - 1, 0x81), kMalformed},
      {"salt-cut", "cut inside the payload salt", [&](ByteVec& c) { c.resize(16 + ls.header_len + 15); }, kMalformed},
      {"no-chunk", "nothing after the payload salt", [&](ByteVec& c) { c.resize(16 + ls.header_len + 16); }, kMalformed},
      {"last-chunk-tag-flipped", "the last tag byte altered", flip(small.size() - 1, 0x80), kAuth},
      {"last-byte-removed", "the last byte removed", [](ByteVec& c) { c.pop_back(); }, kMalformed},
      {"byte-appended", "a zero byte after the last chunk", [](ByteVec& c) { c.push_back(0); }, kMalformed},
      {"chunk-relabelled-more", "the only chunk relabelled type 1", set(ls.chunks[0].offset, 1), kMalformed},
      {"chunk-type-0", "the only chunk's type byte 0", set(ls.chunks[0].offset, 0), kMalformed},
  };
  for (const Case& c : cases) d.refused(c.name, std::string("the hello container: ") + c.what, edited(small, c.edit), k1, c.status);

  // 64 recipients, R1 last.
  {
    std::vector<ByteVec> keys;
    for (int i = 0; i < 63; ++i) keys.push_back(recipient_public(repeat_byte(static_cast<std::uint8_t>(0x40 + i), 32)));
    keys.push_back(pk1);
    std::vector<Bytes> views(keys.begin(), keys.end());
    const ByteVec wide = library_container("v1-64-recipients", hello, testing::cat(views), std::nullopt, std::nullopt);
    d.ok("v1-64-recipients-last", "64 recipients (seeds 40.., 41.., ..., then R1): R1's entry is the last", wide, k1, hello);
    d.refused("v1-64-recipients-not-listed", "the same container opened with R2", wide, k2, kNoMatch);
  }

  // ---- what other writers may produce ----
  const ByteVec plain = text_bytes("hello world");
  auto entry = [](std::uint64_t type, std::vector<ByteVec> fields) { return WriterEntry{type, std::move(fields)}; };
  const WriterEntry foreign = entry(1, {counting(0x10, 1120), counting(0x30, 48)});
  using Change = std::function<void(ContainerSpec&)>;
  auto signed05 = [&](ContainerSpec& s) {
    s.version_byte = 2;
    s.signature = SignaturePlace::Header;
    s.signer = &identity("laptop");
  };
  struct Written {
    const char* name;
    const char* what;
    Change change;
    const char* status;
  };
  auto header_key = [](std::uint8_t key) {
    return [key](ContainerSpec& s) {
      s.edit_body = [key](ByteVec& b) {
        b[0] += 1;
        b.push_back(key);
        b.push_back(0x40);
      };
    };
  };
  const Written written[] = {
      {"writer-plain", "written by the test writer as the library would", [](ContainerSpec&) {}, kOk},
      {"unknown-recipient-type", "an entry of type 7 with two byte strings before R1's: carried and skipped",
       [&](ContainerSpec& s) { s.entries_before = {entry(7, {counting(0, 9), counting(9, 2)})}; }, kOk},
      {"unknown-recipient-type-65535", "an entry of type 65535 without strings after R1's", [&](ContainerSpec& s) { s.entries_after = {entry(65535, {})}; }, kOk},
      {"unknown-recipient-type-seven-strings", "an entry of type 2 with seven byte strings, one of 65536 bytes",
       [&](ContainerSpec& s) { s.entries_before = {entry(2, {ByteVec(65536, 0x5a), {}, {1}, {2}, {3}, {4}, {5}})}; }, kOk},
      {"unknown-recipient-type-eight-strings", "an entry of type 2 with eight byte strings (nine elements)",
       [&](ContainerSpec& s) { s.entries_before = {entry(2, {{}, {}, {}, {}, {}, {}, {}, {}})}; }, kMalformed},
      {"unknown-recipient-string-65537", "an entry of type 2 with a byte string of 65537 bytes",
       [&](ContainerSpec& s) { s.entries_before = {entry(2, {ByteVec(65537, 0x5a)})}; }, kMalformed},
      {"recipient-type-0", "an entry of type 0", [&](ContainerSpec& s) { s.entries_before = {entry(0, {{1}})}; }, kMalformed},
      {"recipient-type-65536", "an entry of type 65536", [&](ContainerSpec& s) { s.entries_before = {entry(65536, {})}; }, kMalformed},
      {"foreign-type-1-entry-first", "a type-1 entry that opens with no key before R1's: the search goes on", [&](ContainerSpec& s) { s.entries_before = {foreign}; }, kOk},
      {"type-1-entry-four-elements", "a type-1 entry with a third byte string",
       [&](ContainerSpec& s) { s.entries_before = {entry(1, {counting(0x10, 1120), counting(0x30, 48), {}})}; }, kMalformed},
      {"sixty-four-entries", "R1's entry and 63 foreign type-1 entries", [&](ContainerSpec& s) { s.entries_after.assign(63, foreign); }, kOk},
      {"sixty-five-entries", "R1's entry and 64 foreign type-1 entries", [&](ContainerSpec& s) { s.entries_after.assign(64, foreign); }, kMalformed},
      {"no-entries", "an empty recipient array", [&](ContainerSpec& s) { s.recipients.clear(); }, kMalformed},
      {"encapsulation-1119-bytes", "a type-1 entry with a 1119-byte encapsulation",
       [&](ContainerSpec& s) { s.entries_after = {entry(1, {counting(0x10, 1119), counting(0x30, 48)})}; }, kMalformed},
      {"wrapped-cek-47-bytes", "a type-1 entry with a 47-byte wrapped CEK",
       [&](ContainerSpec& s) { s.entries_after = {entry(1, {counting(0x10, 1120), counting(0x30, 47)})}; }, kMalformed},
      {"header-version-2", "header key 1 holding 2", [](ContainerSpec& s) { s.header_version = 2; }, kMalformed},
      {"header-version-two-byte-head", "header key 1 holding 1 as 18 01: it decodes, but is not the value's shortest encoding",
       [](ContainerSpec& s) {
         s.edit_body = [](ByteVec& b) {
           // a5 01 01 ...: the version's one-byte head becomes a two-byte one.
           b[2] = 0x18;
           b.insert(b.begin() + 3, 0x01);
         };
       }, kMalformed},
      {"header-key-6", "a header entry with key 6", header_key(0x06), kMalformed},
      {"header-key-63", "a header entry with key 63", [](ContainerSpec& s) {
         s.edit_body = [](ByteVec& b) {
           b[0] += 1;
           b.push_back(0x18);
           b.push_back(63);
           b.push_back(0x40);
         };
       }, kMalformed},
      {"extension-64-of-65536-bytes", "a header extension 64 of 65536 bytes", [](ContainerSpec& s) { s.header_extensions = {{64, ByteVec(65536, 0xe5)}}; }, kOk},
      {"extension-65535", "a header extension with key 65535", [](ContainerSpec& s) { s.header_extensions = {{65535, {1, 2, 3}}}; }, kOk},
      {"extension-65536", "a header extension with key 65536", [](ContainerSpec& s) { s.header_extensions = {{65536, {}}}; }, kMalformed},
      {"extension-65537-bytes", "a header extension of 65537 bytes", [](ContainerSpec& s) { s.header_extensions = {{64, ByteVec(65537, 0)}}; }, kMalformed},
      {"extensions-sixteen", "16 header extensions, keys 64..79", [](ContainerSpec& s) {
         for (std::uint64_t k = 64; k < 80; ++k) s.header_extensions.push_back({k, {static_cast<std::uint8_t>(k)}});
       }, kOk},
      {"extensions-seventeen", "17 header extensions", [](ContainerSpec& s) {
         for (std::uint64_t k = 64; k < 81; ++k) s.header_extensions.push_back({k, {}});
       }, kMalformed},
      {"extensions-out-of-order", "header extensions 70 then 64", [](ContainerSpec& s) { s.header_extensions = {{70, {}}, {64, {}}}; }, kMalformed},
      {"extensions-repeated", "header extension 64 twice", [](ContainerSpec& s) { s.header_extensions = {{64, {}}, {64, {}}}; }, kMalformed},
      {"metadata-extension", "a metadata extension 70 of 3 bytes", [](ContainerSpec& s) { s.metadata_extensions = {{70, {1, 2, 3}}}; }, kOk},
      {"metadata-extensions-sixteen", "16 metadata extensions", [](ContainerSpec& s) {
         for (std::uint64_t k = 100; k < 116; ++k) s.metadata_extensions.push_back({k, {}});
       }, kOk},
      {"metadata-extensions-seventeen", "17 metadata extensions", [](ContainerSpec& s) {
         for (std::uint64_t k = 100; k < 117; ++k) s.metadata_extensions.push_back({k, {}});
       }, kMalformed},
      {"metadata-key-4", "a metadata entry with key 4", [](ContainerSpec& s) { s.metadata_extensions = {{4, {}}}; }, kMalformed},
      {"reserved-file-name", "file name con.txt", [](ContainerSpec& s) { s.file_name = "con.txt"; }, kMalformed},
      {"empty-file-name", "an empty file name", [](ContainerSpec& s) { s.file_name = ""; }, kMalformed},
      {"file-name-with-colon", "file name a:b", [](ContainerSpec& s) { s.file_name = "a:b"; }, kMalformed},
      {"file-name-with-slash", "file name a/b", [](ContainerSpec& s) { s.file_name = "a/b"; }, kMalformed},
      {"file-name-dot-dot", "file name ..", [](ContainerSpec& s) { s.file_name = ".."; }, kMalformed},
      {"file-name-256-bytes", "a file name of 256 bytes", [](ContainerSpec& s) { s.file_name = std::string(256, 'n'); }, kMalformed},
      {"content-type-with-del", "content type a DEL", [](ContainerSpec& s) { s.content_type = "a\x7f"; }, kMalformed},
      {"content-type-empty", "an empty content type", [](ContainerSpec& s) { s.content_type = ""; }, kMalformed},
      {"metadata-altered-by-key-holder", "the sealed metadata altered by someone who holds the CEK and recomputes the MAC",
       [](ContainerSpec& s) { s.corrupt_metadata = true; }, kAuth},
      {"v0.5-signed", "format 0.5 with a header signature by laptop", signed05, kOk},
      {"v0.5-header-extension", "format 0.5 with a header extension", [&](ContainerSpec& s) {
         signed05(s);
         s.header_extensions = {{64, {1}}};
       }, kMalformed},
      {"v0.5-unknown-recipient-type", "format 0.5 with an entry of type 7", [&](ContainerSpec& s) {
         s.version_byte = 2;
         s.entries_after = {entry(7, {})};
       }, kMalformed},
      {"v0.5-signed-unknown-recipient-type", "format 0.5 signed in the metadata, with an entry of type 7 inserted after R1's", [&](ContainerSpec& s) {
         s.version_byte = 2;
         s.signature = SignaturePlace::Metadata;
         s.signer = &identity("laptop");
         s.edit_body = [](ByteVec& b) {
           // a5 01 01 02 58 20 <id> 03 81 <entry of 1175 bytes>: two entries, the second [7].
           b[39] = 0x82;
           const ByteVec seven = {0x81, 0x07};
           b.insert(b.begin() + 40 + 1175, seven.begin(), seven.end());
         };
       }, kMalformed},
      {"v0.5-metadata-extension", "format 0.5 with a metadata extension", [&](ContainerSpec& s) {
         signed05(s);
         s.metadata_extensions = {{64, {}}};
       }, kMalformed},
  };
  for (const Written& w : written) {
    ContainerSpec spec;
    spec.recipients = {pk1};
    spec.file_name = "w.bin";
    w.change(spec);
    const ByteVec c = written_container(w.name, spec, plain);
    if (w.status == std::string(kOk))
      d.ok(w.name, w.what, c, k1, plain, spec.file_name.value_or(""), spec.content_type.value_or(""));
    else
      d.refused(w.name, w.what, c, k1, w.status);
  }

  // ---- signed containers ----
  {
    ContainerSpec s;
    s.version_byte = 2;
    s.recipients = {pk1};
    s.file_name = "hello.txt";
    s.signature = SignaturePlace::Metadata;
    s.signer = &identity("laptop");
    d.ok("v0.5-metadata-signature", "format 0.5 for R1 of hello, metadata {1: hello.txt, 3: signature by laptop}",
         written_container("v0.5-metadata-signature", s, hello), k1, hello, "hello.txt");
    ContainerSpec u;
    u.recipients = {pk1};
    u.signature = SignaturePlace::Header;
    u.signer = &identity("laptop");
    d.refused("v1-unexpected-header-signature", "format 1.0, flag 0, with a valid header signature by laptop: a signature where none is expected",
              written_container("v1-unexpected-header-signature", u, hello), k1, kMalformed);
  }
  const ByteVec bad_key = testing::with_undecodable_ed25519(verifying_key("laptop"));
  struct Signed {
    const char* name;
    const char* what;
    std::uint8_t version;
    std::uint8_t flag;
    SignaturePlace place;
    Change change;
    const char* status;
  };
  const Change none = [](ContainerSpec&) {};
  const ByteVec signed_plain = text_bytes("signed plaintext");
  const Signed signed_cases[] = {
      {"v1-signed-header", "format 1.0, flag 1, header signature by phone", 1, 1, SignaturePlace::Header, none, kOk},
      {"v1-signed-metadata", "format 1.0, flag 1, metadata signature by phone", 1, 1, SignaturePlace::Metadata, none, kOk},
      {"v1-signed-with-extensions", "format 1.0, flag 1, header signature, header extensions 64 and 999, a metadata extension and a type-9 entry, all in the transcript",
       1, 1, SignaturePlace::Header, [](ContainerSpec& s) {
         s.header_extensions = {{64, {1, 2, 3, 4, 5}}, {999, {}}};
         s.metadata_extensions = {{100, {7, 7, 7}}};
         s.entries_after = {WriterEntry{9, {{4, 4, 4, 4}}}};
       }, kOk},
      {"v0.5-signed-header", "format 0.5, header signature by phone", 2, 0, SignaturePlace::Header, none, kOk},
      {"v0.5-signed-metadata", "format 0.5, metadata signature by phone", 2, 0, SignaturePlace::Metadata, none, kOk},
      {"v1-signature-both-places", "format 1.0, flag 1, a signature in both places", 1, 1, SignaturePlace::Both, none, kMalformed},
      {"v0.5-signature-both-places", "format 0.5, a signature in both places", 2, 0, SignaturePlace::Both, none, kMalformed},
      {"v1-signature-missing", "format 1.0, flag 1, no signature", 1, 1, SignaturePlace::None, none, kMalformed},
      {"v0.5-signature-missing", "format 0.5 without a signature", 2, 0, SignaturePlace::None, none, kMalformed},
      {"v1-unexpected-metadata-signature", "format 1.0, flag 0, a metadata signature", 1, 0, SignaturePlace::Metadata, none, kMalformed},
      {"v1-bad-signature", "format 1.0, flag 1, header signature with byte 100 altered", 1, 1, SignaturePlace::Header,
       [](ContainerSpec& s) { s.corrupt_signature = true; }, kMalformed},
      {"v0.5-bad-signature", "format 0.5, metadata signature with byte 100 altered", 2, 0, SignaturePlace::Metadata,
       [](ContainerSpec& s) { s.corrupt_signature = true; }, kMalformed},
      {"v1-undecodable-signer-key", "format 1.0, flag 1, a signer key whose Ed25519 part is not a point", 1, 1, SignaturePlace::Header,
       [&](ContainerSpec& s) { s.verifying_key = bad_key; }, kMalformed},
      {"v0.5-undecodable-signer-key", "format 0.5, a signer key whose Ed25519 part is not a point", 2, 0, SignaturePlace::Metadata,
       [&](ContainerSpec& s) { s.verifying_key = bad_key; }, kMalformed},
      {"v1-other-signer-key", "format 1.0, flag 1, signed by phone but naming laptop's key", 1, 1, SignaturePlace::Header,
       [](ContainerSpec& s) { s.verifying_key = verifying_key("laptop"); }, kMalformed},
      {"v1-signed-as-v0.5", "format 1.0, flag 1, signed over the format 0.5 transcript", 1, 1, SignaturePlace::Header,
       [](ContainerSpec& s) { s.transcript = format::FormatVersion::V0_5; }, kMalformed},
      {"v0.5-signed-as-v1", "format 0.5, signed over the format 1.0 transcript", 2, 0, SignaturePlace::Header,
       [](ContainerSpec& s) { s.transcript = format::FormatVersion::V1_0; }, kMalformed},
      {"v1-signed-other-plaintext", "format 1.0, flag 1, signed as if the plaintext were another", 1, 1, SignaturePlace::Metadata,
       [](ContainerSpec& s) { s.signed_plaintext = text_bytes("signed plaintexT"); }, kMalformed},
      {"v0.5-signed-shorter-plaintext", "format 0.5, signed as if the plaintext were one byte shorter", 2, 0, SignaturePlace::Header,
       [](ContainerSpec& s) { s.signed_plaintext = text_bytes("signed plaintex"); }, kMalformed},
      {"v1-signed-metadata-altered", "format 1.0, flag 1, signed, then the sealed metadata altered by a CEK holder", 1, 1, SignaturePlace::Header,
       [](ContainerSpec& s) { s.corrupt_metadata = true; }, kAuth},
  };
  for (const Signed& c : signed_cases) {
    ContainerSpec spec;
    spec.version_byte = c.version;
    spec.signed_flag = c.flag;
    spec.recipients = {pk2, pk1};
    spec.file_name = "signed.doc";
    spec.content_type = "application/octet-stream";
    spec.signature = c.place;
    spec.signer = &identity("phone");
    c.change(spec);
    const ByteVec container = written_container(c.name, spec, signed_plain);
    if (c.status == std::string(kOk))
      d.ok(c.name, c.what, container, k1, signed_plain, "signed.doc", "application/octet-stream");
    else
      d.refused(c.name, c.what, container, k1, c.status);
  }
}

ByteVec with_x25519(ByteVec key, std::initializer_list<std::uint8_t> le_prefix, std::uint8_t fill, std::uint8_t last) {
  std::fill(key.end() - 32, key.end(), fill);
  std::size_t i = key.size() - 32;
  for (std::uint8_t b : le_prefix) key[i++] = b;
  key.back() = last;
  return key;
}

ByteVec with_tail(ByteVec key, const std::string& hex32) {
  const ByteVec p = testing::from_hex(hex32);
  std::copy(p.begin(), p.end(), key.end() - 32);
  return key;
}

void encrypt_cases(CorpusFile& f) {
  const ByteVec pk1 = recipient_public(r1_seed()), pk2 = recipient_public(r2_seed());
  const ByteVec hello = text_bytes("hello");
  auto in = [&](const ByteVec& recipients, std::size_t count, const ByteVec& data, std::optional<std::string> name,
                std::optional<std::string> type) {
    Json j = Json::object();
    j["data"] = hex(data);
    j["recipients"] = hex(recipients);
    j["recipient_count"] = count;
    j["file_name"] = name ? text(*name) : Json(nullptr);
    j["content_type"] = type ? text(*type) : Json(nullptr);
    return j;
  };
  ByteVec coefficient = pk1;  // the first ML-KEM coefficient set to 3329 (0xd01)
  coefficient[0] = 0x01;
  coefficient[1] = static_cast<std::uint8_t>((coefficient[1] & 0xf0) | 0x0d);
  ByteVec last_coefficient = pk1;  // the last coefficient of the encapsulation key set to 3329
  last_coefficient[1151] = 0xd0;
  last_coefficient[1150] = static_cast<std::uint8_t>((last_coefficient[1150] & 0x0f) | 0x10);
  ByteVec top_bit = pk1;
  top_bit.back() |= 0x80;
  struct Key {
    const char* name;
    const char* what;
    ByteVec key;
  };
  const Key unusable[] = {
      {"x25519-part-zero", "R1's key with its X25519 part 0", with_x25519(pk1, {}, 0x00, 0x00)},
      {"x25519-part-one", "X25519 part 1", with_x25519(pk1, {0x01}, 0x00, 0x00)},
      {"x25519-part-p-minus-1", "X25519 part p - 1", with_x25519(pk1, {0xec}, 0xff, 0x7f)},
      {"x25519-part-p", "X25519 part p", with_x25519(pk1, {0xed}, 0xff, 0x7f)},
      {"x25519-part-p-plus-1", "X25519 part p + 1", with_x25519(pk1, {0xee}, 0xff, 0x7f)},
      {"x25519-part-p-plus-2", "X25519 part p + 2", with_x25519(pk1, {0xef}, 0xff, 0x7f)},
      {"x25519-part-p-plus-18", "X25519 part p + 18, the largest value below 2^255", with_x25519(pk1, {0xff}, 0xff, 0x7f)},
      {"x25519-top-bit-set", "R1's key with bit 7 of its last byte set", top_bit},
      {"x25519-order-8-a", "X25519 part e0eb7a7c..., a point of order 8", with_tail(pk1, "e0eb7a7c3b41b8ae1656e3faf19fc46ada098deb9c32b1fd866205165f49b800")},
      {"x25519-order-8-b", "X25519 part 5f9c95bc..., a point of order 8", with_tail(pk1, "5f9c95bca3508c24b1d0b1559c83ef5b04445cc4581c8e86d8224eddd09f1157")},
      {"mlkem-coefficient-3329", "R1's key with its first ML-KEM coefficient set to 3329", coefficient},
      {"mlkem-last-coefficient-3329", "R1's key with the last coefficient of its ML-KEM key set to 3329", last_coefficient},
  };
  for (const Key& k : unusable) {
    f.add(k.name, k.what + std::string("; data hello"), in(k.key, 1, hello, std::nullopt, std::nullopt), kInvalid);
  }
  f.add("unusable-key-second", "R2's key, then R1's key with its X25519 part 0: one unusable key refuses the call",
        in(concat({pk2, with_x25519(pk1, {}, 0, 0)}), 2, hello, std::nullopt, std::nullopt), kInvalid);
  f.add("unusable-key-first", "R1's key with an ML-KEM coefficient 3329, then R2's key", in(concat({coefficient, pk2}), 2, hello, std::nullopt, std::nullopt),
        kInvalid);
  f.add("x25519-part-p-minus-2", "X25519 part p - 2, an ordinary value", in(with_x25519(pk1, {0xeb}, 0xff, 0x7f), 1, hello, std::nullopt, std::nullopt), kOk);
  f.add("x25519-part-two", "X25519 part 2", in(with_x25519(pk1, {0x02}, 0x00, 0x00), 1, hello, std::nullopt, std::nullopt), kOk);
  f.add("r1", "R1's key, hello, no texts", in(pk1, 1, hello, std::nullopt, std::nullopt), kOk);
  f.add("r1-r2-empty-plaintext", "R1 and R2, the empty plaintext", in(concat({pk1, pk2}), 2, {}, std::nullopt, std::nullopt), kOk);
  f.add("same-key-twice", "R1's key given twice", in(concat({pk1, pk1}), 2, hello, std::nullopt, std::nullopt), kOk);
  {
    std::vector<ByteVec> keys;
    for (int i = 0; i < 64; ++i) keys.push_back(recipient_public(repeat_byte(static_cast<std::uint8_t>(0x40 + i), 32)));
    std::vector<Bytes> views(keys.begin(), keys.end());
    f.add("sixty-four-recipients", "64 recipient keys", in(testing::cat(views), 64, hello, std::nullopt, std::nullopt), kOk);
  }

  struct Texts {
    const char* name;
    const char* what;
    std::optional<std::string> file_name;
    std::optional<std::string> content_type;
    const char* status;
  };
  const Texts texts[] = {
      {"texts-ok", "file name ok.txt, content type text/plain", "ok.txt", "text/plain", kOk},
      {"file-name-com0", "COM0 is not reserved", "COM0", std::nullopt, kOk},
      {"file-name-console", "console is not reserved", "console", std::nullopt, kOk},
      {"file-name-con-underscore", "CON_x is not reserved", "CON_x", std::nullopt, kOk},
      {"file-name-non-ascii", "a name with non-ASCII letters and spaces", "na\xC3\xAFve r\xC3\xA9sum\xC3\xA9.txt", std::nullopt, kOk},
      {"file-name-255-bytes", "a file name of 255 bytes", std::string(255, 'n'), std::nullopt, kOk},
      {"file-name-256-bytes", "a file name of 256 bytes", std::string(256, 'n'), std::nullopt, kMalformed},
      {"file-name-empty", "an empty file name counts as given", "", std::nullopt, kMalformed},
      {"file-name-slash", "a/b", "a/b", std::nullopt, kMalformed},
      {"file-name-backslash", "a\\b", "a\\b", std::nullopt, kMalformed},
      {"file-name-colon", "c:d", "c:d", std::nullopt, kMalformed},
      {"file-name-question-mark", "a?", "a?", std::nullopt, kMalformed},
      {"file-name-dot", ".", ".", std::nullopt, kMalformed},
      {"file-name-dot-dot", "..", "..", std::nullopt, kMalformed},
      {"file-name-ends-with-dot", "end.", "end.", std::nullopt, kMalformed},
      {"file-name-ends-with-space", "'end '", "end ", std::nullopt, kMalformed},
      {"file-name-con-txt", "con.txt", "con.txt", std::nullopt, kMalformed},
      {"file-name-com1-mixed-case", "Com1.txt", "Com1.txt", std::nullopt, kMalformed},
      {"file-name-lpt9", "LPT9", "LPT9", std::nullopt, kMalformed},
      {"file-name-nul", "NUL", "NUL", std::nullopt, kMalformed},
      {"file-name-aux-tar-gz", "aux.tar.gz: the part before the first dot", "aux.tar.gz", std::nullopt, kMalformed},
      {"file-name-tab", "a name with a tab", "a\tb", std::nullopt, kMalformed},
      {"file-name-c1-control", "a name with U+0085", "a\xC2\x85" "b", std::nullopt, kMalformed},
      {"file-name-del", "a name with DEL", "a\x7f" "b", std::nullopt, kMalformed},
      {"content-type-empty", "an empty content type", std::nullopt, "", kMalformed},
      {"content-type-tab", "a content type with a tab", std::nullopt, "a\tb", kMalformed},
      {"content-type-del", "a content type with DEL", std::nullopt, "a\x7f", kMalformed},
      {"content-type-non-ascii", "a content type with U+00E9", std::nullopt, "\xC3\xA9", kMalformed},
      {"content-type-255-bytes", "a content type of 255 bytes", std::nullopt, std::string(255, 't'), kOk},
      {"content-type-256-bytes", "a content type of 256 bytes", std::nullopt, std::string(256, 't'), kMalformed},
      {"content-type-space-and-tilde", "printable ASCII from space to tilde", std::nullopt, " ~", kOk},
  };
  for (const Texts& t : texts) f.add(t.name, t.what, in(pk1, 1, text_bytes("0123456789"), t.file_name, t.content_type), t.status);
}

}  // namespace

void generate_containers(std::vector<CorpusFile>& files) {
  add_file(files, "vesk_encrypt", encrypt_cases);
  add_file(files, "vesk_decrypt", decrypt_cases);
}

}  // namespace vesk::vectorgen
