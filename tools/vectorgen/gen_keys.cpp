// Recipient keys, armor, key files and signing identities: public_key_armor, public_key_dearmor,
// inspect_key, secret_key_public, secret_key_protect, secret_key_open, identity_generate,
// signing_identity_open, signing_identity_public.
#include <algorithm>

#include "core/base64.h"
#include "corpus.h"
#include "support/hex.h"

namespace vesk::vectorgen {
namespace {

std::string armor_of(Bytes key) {
  const std::string b64 = base64_encode(key);
  std::string out = "vesk-public-key:";
  for (std::size_t at = 0; at < b64.size(); at += 64) {
    out += '\n';
    out.append(b64, at, 64);
  }
  return out + "\n";
}

std::string replace_all(std::string s, const std::string& from, const std::string& to) {
  for (std::size_t p = 0; (p = s.find(from, p)) != std::string::npos; p += to.size()) s.replace(p, from.size(), to);
  return s;
}

void armor_cases(CorpusFile& f) {
  const ByteVec r1 = recipient_public(r1_seed());
  f.add("r1", "the armor of R1's public key: the label, 25 lines of 64 Base64 characters, one of 24, each after a line feed, and a final line feed",
        {{"public_key", hex(r1)}}, kOk, {{"text_out", text(armor_of(r1))}});
  f.add("r2", "the armor of R2's public key", {{"public_key", hex(recipient_public(r2_seed()))}}, kOk,
        {{"text_out", text(armor_of(recipient_public(r2_seed())))}});
  f.add("all-zero", "1216 zero bytes are armored like any other key", {{"public_key", hex(ByteVec(1216, 0))}}, kOk,
        {{"text_out", text(armor_of(ByteVec(1216, 0)))}});
  f.add("all-ff", "1216 bytes ff: the last group is '/w=='", {{"public_key", hex(ByteVec(1216, 0xff))}}, kOk,
        {{"text_out", text(armor_of(ByteVec(1216, 0xff)))}});
  const ByteVec degenerate = [&] {
    ByteVec k = r1;
    std::fill(k.end() - 32, k.end(), 0);
    return k;
  }();
  f.add("unusable-recipient-key", "R1's key with a zero X25519 part: refused as a recipient, armored all the same",
        {{"public_key", hex(degenerate)}}, kOk, {{"text_out", text(armor_of(degenerate))}});
}

void dearmor_cases(CorpusFile& f) {
  const ByteVec r1 = recipient_public(r1_seed());
  const std::string armor = armor_of(r1);
  const std::string body = armor.substr(17, armor.size() - 18);  // the 26 body lines, LF-separated
  const std::string one_line = replace_all(body, "\n", "");
  const std::string label = "vesk-public-key:";
  auto ok = [&](const std::string& name, const std::string& what, const std::string& t) {
    f.add(name, what, {{"text", text(t)}}, kOk, {{"public_key_out", hex(r1)}});
  };
  auto refused = [&](const std::string& name, const std::string& what, const std::string& t, const char* status) {
    f.add(name, what, {{"text", text(t)}}, status);
  };

  ok("r1-canonical", "the armor as the writer makes it", armor);
  {
    // Body lines without the label, CR LF, a space-and-tab line after the fourth body line, then an
    // empty line.
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < body.size(); at += 65) lines.push_back(body.substr(at, 64));
    std::string t;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      t += lines[i] + "\r\n";
      if (i == 3) t += " \t\r\n\r\n";
    }
    ok("r1-crlf-blank-lines-no-label", "body lines joined with CR LF, no label, a white-space line and an empty line after the fourth body line", t);
  }
  ok("crlf-line-ends", "every line feed preceded by a carriage return", replace_all(armor, "\n", "\r\n"));
  ok("no-final-line-feed", "the last line without its line feed", armor.substr(0, armor.size() - 1));
  ok("label-missing", "the body lines alone", body + "\n");
  ok("bare-base64-one-line", "the Base64 text on one line, nothing else", one_line);
  {
    std::string narrow;
    for (std::size_t i = 0; i < one_line.size(); i += 4) narrow += one_line.substr(i, 4) + "\n";
    ok("four-characters-per-line", "the Base64 text in lines of four characters", narrow);
  }
  ok("label-repeated", "the label line twice", label + "\n" + armor);
  ok("label-line-in-the-middle", "a label line between body lines 10 and 11",
     armor.substr(0, 17 + 65 * 10) + "\n" + label + "\n" + armor.substr(17 + 65 * 10));
  ok("label-at-the-end", "a label line after the last body line", armor + label + "\n");
  ok("text-after-the-label", "a label line that goes on with other text, dropped whole", label + " key of alice\n" + body + "\n");
  ok("blank-lines-everywhere", "an empty line after every line and two before the first",
     "\n\n" + replace_all(armor, "\n", "\n\n") + "\n");
  ok("white-space-only-lines", "lines of spaces, tabs, U+3000 and U+00A0 between all lines",
     " \t\n" + replace_all(armor, "\n", "\n \xE3\x80\x80\xC2\xA0\t\n"));
  ok("white-space-after-last-line", "spaces and a tab after the last body line, trimmed from the joined text",
     armor.substr(0, armor.size() - 1) + " \t\n");
  ok("cr-at-end-without-line-feed", "a carriage return ends the text instead of the line feed",
     armor.substr(0, armor.size() - 1) + "\r");
  ok("white-space-before-first-line", "two spaces before the first body line, no label", "  " + body);
  ok("white-space-line-at-end-without-line-feed", "a last line of three spaces without a line feed", armor + "   ");
  ok("lone-cr-lines", "a CR LF line before the armor and a CR CR LF line after it", "\r\n" + armor + "\r\r\n");

  auto at_line = [&](int line) { return std::size_t{17} + 65 * line; };
  auto with = [&](std::size_t pos, const std::string& s, std::size_t erase = 0) {
    return armor.substr(0, pos) + s + armor.substr(pos + erase);
  };
  const std::size_t last = armor.size() - 1;
  std::string low_bits = armor;  // the last group's second character carries four zero bits
  low_bits[last - 3] = static_cast<char>(low_bits[last - 3] + 1);
  auto cr_only = [](std::string t) {
    std::replace(t.begin(), t.end(), '\n', '\r');
    return t;
  };
  refused("r1-space-inside-line", "a space after the tenth character of the third body line", with(at_line(2) + 10, " "), kMalformed);
  refused("space-at-end-of-inner-line", "a space at the end of body line 4, not the last", with(at_line(3) + 64, " "), kMalformed);
  refused("tab-inside-last-line", "a tab inside the last body line", with(at_line(25) + 5, "\t"), kMalformed);
  refused("label-preceded-by-space", "a space before the label: the line stays as data", " " + armor, kMalformed);
  refused("one-padding-character-missing", "the last '=' removed", with(last - 1, "", 1), kMalformed);
  refused("both-padding-characters-missing", "both '=' removed", with(last - 2, "", 2), kMalformed);
  refused("padding-replaced-by-data", "'==' replaced by 'AA': valid Base64 of 1218 bytes", with(last - 2, "AA", 2), kInvalid);
  refused("extra-padding-group", "'====' after the last group", with(last, "===="), kMalformed);
  refused("character-outside-alphabet", "'*' in place of the first Base64 character", with(at_line(0), "*", 1), kMalformed);
  refused("non-ascii-letter", "U+00E9 in place of the first Base64 character", with(at_line(0), "\xC3\xA9", 1), kMalformed);
  refused("url-safe-minus", "'-' in place of a character", with(at_line(5), "-", 1), kMalformed);
  refused("url-safe-underscore", "'_' in place of a character", with(at_line(5), "_", 1), kMalformed);
  refused("non-zero-unused-bits", "the last group's second character with its lowest unused bit set", low_bits, kMalformed);
  refused("cr-inside-line", "a carriage return inside a body line", with(at_line(2) + 30, "\r"), kMalformed);
  refused("cr-only-line-ends", "carriage returns instead of line feeds, no label: one line", cr_only(armor.substr(17)), kMalformed);
  refused("cr-only-line-ends-after-label", "carriage returns instead of line feeds: one line that begins with the label, dropped",
          cr_only(armor), kInvalid);
  refused("two-armors", "the armor twice", armor + armor, kMalformed);
  refused("empty-text", "the empty text", "", kInvalid);
  refused("label-alone", "the label line alone", "vesk-public-key:\n", kInvalid);
  refused("white-space-only", "white space and line ends only", " \n\t\r\n\xE3\x80\x80", kInvalid);
  refused("base64-of-1215-bytes", "the Base64 of R1's key less its last byte, one line, no label",
          base64_encode(Bytes(r1).first(1215)), kInvalid);
  refused("base64-of-1217-bytes", "the armor layout around the Base64 of R1's key and one more byte",
          [&] {
            ByteVec k = r1;
            k.push_back(0);
            return armor_of(k);
          }(),
          kInvalid);
  refused("base64-of-3-bytes", "a label and one group", "vesk-public-key:\nAAAA\n", kInvalid);
}

void inspect_cases(CorpusFile& f, const ByteVec& v2_file) {
  auto c = [&](const std::string& name, const std::string& what, const ByteVec& data, int flag) {
    f.add(name, what, {{"data", hex(data)}}, kOk, {{"is_key_file_out", flag}});
  };
  ByteVec large = text_bytes("VESK-KEY");
  large.resize(4096, 0x5a);
  c("key-file-v2", "a version 2 key file", v2_file, 1);
  c("magic-alone", "the eight magic bytes alone", text_bytes("VESK-KEY"), 1);
  c("magic-seven-bytes", "seven bytes of the magic", text_bytes("VESK-KE"), 0);
  c("unknown-version", "the magic, version 9 and other bytes", text_bytes("VESK-KEY\x09whatever"), 1);
  c("largest-input", "4096 bytes that begin with the magic", large, 1);
  c("lower-case", "the magic in lower case", text_bytes("vesk-key"), 0);
  c("shifted-by-one", "one byte before the magic", text_bytes("XVESK-KEY"), 0);
  c("bare-seed", "a bare 32-byte identity seed", identity_seed("laptop"), 0);
  c("armored-key", "the armor of R1's public key", text_bytes(armor_of(recipient_public(r1_seed()))), 0);
  c("empty", "no data", {}, 0);
}

Json public_of(Bytes recipient_seed) { return Json{{"secret_key_public", hex(recipient_public(recipient_seed))}}; }

void secret_key_public_cases(CorpusFile& f) {
  f.add("r1", "R1 = 00..1f, opened from its cheap key file", {{"secret_key", recipient_handle(r1_seed())}}, kOk,
        {{"public_key_out", hex(recipient_public(r1_seed()))}});
  f.add("r2", "R2 = 20..3f", {{"secret_key", recipient_handle(r2_seed())}}, kOk,
        {{"public_key_out", hex(recipient_public(r2_seed()))}});
  for (std::uint8_t e : {0xe0, 0xe1, 0xe2}) {
    const ByteVec seed = repeat_byte(e, 32);
    const std::string n = testing::to_hex(Bytes(&e, 1));
    f.add("epoch-seed-" + n, "the recipient seed of 32 bytes " + n + " (an epoch key)", {{"secret_key", recipient_handle(seed)}}, kOk,
          {{"public_key_out", hex(recipient_public(seed))}});
  }
  for (const char* who : {"laptop", "phone", "recovery"}) {
    f.add(std::string("identity-") + who, std::string("the bare identity seed ") + who + ": its derived recipient key",
          {{"secret_key", secret_key_from(identity_seed(who))}}, kOk,
          {{"public_key_out", hex(recipient_public(derived_recipient_seed(identity_seed(who))))}});
  }
}

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// Passphrase length rules of the writers; a written file is random, so successes list no output.
void writer_passphrase_cases(CorpusFile& f, bool with_key) {
  struct Case {
    const char* name;
    const char* what;
    std::string passphrase;
    const char* status;
  };
  const Case cases[] = {
      {"empty", "the empty passphrase", "", kInvalid},
      {"seven-ascii", "7 ASCII characters", "1234567", kInvalid},
      {"seven-two-byte-scalars", "7 two-byte scalar values (14 bytes)", repeat("\xC3\xA9", 7), kInvalid},
      {"four-decomposed-e-acute", "e U+0301 four times: 8 scalar values as given, 4 after NFC", repeat("e\xCC\x81", 4), kInvalid},
      {"eight-ascii", "8 ASCII characters", "12345678", kOk},
      {"eight-four-byte-scalars", "8 four-byte scalar values", repeat("\xF0\x9F\x94\x91", 8), kOk},
      {"eight-decomposed-e-acute", "e U+0301 eight times: 8 scalar values after NFC", repeat("e\xCC\x81", 8), kOk},
      {"eight-e-acute", "eight composed U+00E9", repeat("\xC3\xA9", 8), kOk},
  };
  for (const Case& c : cases) {
    Json inputs = Json::object();
    if (with_key) inputs["secret_key"] = recipient_handle(r1_seed());
    inputs["passphrase"] = text(c.passphrase);
    f.add(c.name, c.what, inputs, c.status);
  }
}

// ---- key files ---------------------------------------------------------------------------------

const std::string kComposed = "caf\xC3\xA9 au lait";
const std::string kDecomposed = "cafe\xCC\x81 au lait";
const std::string kMixed = "\xC3\xA9t\xC3\xA9 e\xCC\x81t\xC3\xA9";  // neither NFC nor NFD

ByteVec with_bytes(ByteVec file, std::size_t at, const ByteVec& b) {
  std::copy(b.begin(), b.end(), file.begin() + at);
  return file;
}

void secret_key_open_cases(CorpusFile& f, const ByteVec& v2_doc) {
  const ByteVec r1 = r1_seed();
  auto holds = [&](Bytes recipient_seed) { return Json{{"key_out", public_of(recipient_seed)}}; };
  auto open_in = [](const ByteVec& data, std::optional<std::string> passphrase) {
    Json in = Json::object();
    in["data"] = hex(data);
    in["passphrase"] = passphrase ? text(*passphrase) : Json(nullptr);
    return in;
  };
  const std::string pw = kPassphrase;

  // The documented files, at the writer's parameters.
  KeyFileSpec doc;
  doc.memory_kib = 19456;
  doc.passes = 2;
  f.add("v2-recipient", "a version 2 file of R1 at 19456 KiB, 2 passes, 1 lane; salt 40..4f, nonce 60..6b", open_in(v2_doc, pw), kOk, holds(r1));
  KeyFileSpec doc_v1 = doc;
  doc_v1.version = 1;
  f.add("v1-recipient", "the version 1 file of the same seed, salt, nonce and passphrase (94 bytes)",
        open_in(compose_key_file(doc_v1, as_bytes(pw), r1), pw), kOk, holds(r1));
  const std::string cafe_nfd = "cafe\xCC\x81 cre\xCC\x80me", cafe_nfc = "caf\xC3\xA9 cr\xC3\xA8me";
  f.add("v2-password-nfd-given-nfc", "a file made with the NFD bytes of 'café crème', opened with the composed text: the third form opens it",
        open_in(compose_key_file(doc, as_bytes(cafe_nfd), r1), cafe_nfc), kOk, holds(r1));
  KeyFileSpec doc_identity = doc;
  doc_identity.kind = 1;
  f.add("v2-identity-kind", "a kind 1 file holding the identity seed laptop: the handle gets its derived recipient seed",
        open_in(compose_key_file(doc_identity, as_bytes(pw), identity_seed("laptop")), pw), kOk,
        holds(derived_recipient_seed(identity_seed("laptop"))));
  f.add("memory-262145", "the v2-recipient file with memory 262145 KiB: refused before any derivation",
        open_in(with_bytes(v2_doc, 10, {0x00, 0x04, 0x00, 0x01}), pw), kMalformed);
  f.add("wrong-passphrase", "the v2-recipient file with 'correct horse!'", open_in(v2_doc, std::string("correct horse!")), kWrong);

  // Cheap files: 8192 KiB, 1 pass.
  const ByteVec cheap = compose_key_file(KeyFileSpec{}, as_bytes(pw), r1);
  f.add("cheap-v2-recipient", "a version 2 file of R1 at 8192 KiB and 1 pass", open_in(cheap, pw), kOk, holds(r1));
  KeyFileSpec v1;
  v1.version = 1;
  const ByteVec cheap_v1 = compose_key_file(v1, as_bytes(pw), r1);
  f.add("cheap-v1-recipient", "a version 1 file of R1 at 8192 KiB and 1 pass", open_in(cheap_v1, pw), kOk, holds(r1));
  KeyFileSpec ident;
  ident.kind = 1;
  f.add("cheap-v2-identity-phone", "a kind 1 file of the identity seed phone", open_in(compose_key_file(ident, as_bytes(pw), identity_seed("phone")), pw),
        kOk, holds(derived_recipient_seed(identity_seed("phone"))));
  f.add("bare-identity-seed-laptop", "32 bytes 11 without magic: a bare identity seed, its derived recipient seed",
        open_in(identity_seed("laptop"), std::nullopt), kOk, holds(derived_recipient_seed(identity_seed("laptop"))));
  f.add("bare-identity-seed-passphrase-ignored", "a bare identity seed with a passphrase, which plays no part",
        open_in(identity_seed("laptop"), std::string("ignored passphrase")), kOk, holds(derived_recipient_seed(identity_seed("laptop"))));
  f.add("bare-identity-seed-empty-passphrase", "a bare identity seed with the empty passphrase",
        open_in(identity_seed("tablet"), std::string("")), kOk, holds(derived_recipient_seed(identity_seed("tablet"))));
  f.add("bare-recipient-seed-r1", "R1's 32 bytes given bare are taken as an identity seed: the handle holds the seed derived from them",
        open_in(r1, std::nullopt), kOk, holds(derived_recipient_seed(r1)));
  f.add("key-file-without-passphrase", "a key file with a NULL passphrase", open_in(cheap, std::nullopt), kWrong);
  f.add("key-file-empty-passphrase", "a key file with the empty passphrase, which is tried", open_in(cheap, std::string("")), kWrong);

  // Lengths, magic and versions.
  f.add("empty", "no data", open_in({}, pw), kMalformed);
  f.add("seven-bytes", "seven bytes of the magic", open_in(text_bytes("VESK-KE"), pw), kMalformed);
  f.add("thirty-one-bytes", "31 bytes without magic", open_in(repeat_byte(0x11, 31), pw), kMalformed);
  f.add("thirty-three-bytes", "33 bytes without magic", open_in(repeat_byte(0x11, 33), pw), kMalformed);
  f.add("magic-damaged", "the cheap file with its first byte changed: 95 bytes that are not a seed",
        open_in(with_bytes(cheap, 0, {'W'}), pw), kMalformed);
  f.add("magic-alone", "the eight magic bytes", open_in(text_bytes("VESK-KEY"), pw), kMalformed);
  f.add("magic-and-version-2", "the magic and the version byte 2", open_in(text_bytes("VESK-KEY\x02"), pw), kMalformed);
  f.add("unknown-version-short", "the magic and version 9, nine bytes in all", open_in(text_bytes("VESK-KEY\x09"), pw), kNotKeyFile);
  f.add("version-0", "the cheap file with version 0", open_in(with_bytes(cheap, 8, {0}), pw), kNotKeyFile);
  f.add("version-3", "the cheap file with version 3", open_in(with_bytes(cheap, 8, {3}), pw), kNotKeyFile);
  f.add("version-255", "the cheap file with version 255", open_in(with_bytes(cheap, 8, {255}), pw), kNotKeyFile);
  f.add("version-1-95-bytes", "a version 2 file relabelled version 1: the length no longer fits", open_in(with_bytes(cheap, 8, {1}), pw), kMalformed);
  f.add("version-1-plus-one-byte", "a version 1 file with a byte appended",
        open_in([&] {
          ByteVec d = cheap_v1;
          d.push_back(0);
          return d;
        }(), pw),
        kMalformed);
  f.add("version-2-less-one-byte", "a version 2 file less its last byte", open_in(ByteVec(cheap.begin(), cheap.end() - 1), pw), kMalformed);
  f.add("thirty-two-bytes-with-magic", "32 bytes that begin with the magic: a malformed key file, not a seed",
        open_in(concat({as_bytes("VESK-KEY\x02"), repeat_byte(0x11, 23)}), pw), kMalformed);

  // Parameters at and past their bounds.
  struct Param {
    const char* name;
    const char* what;
    std::size_t at;
    ByteVec bytes;
    const char* status;
  };
  const Param params[] = {
      {"lanes-0", "lanes 0", 9, {0}, kMalformed},
      {"lanes-5", "lanes 5", 9, {5}, kMalformed},
      {"memory-8191", "memory 8191 KiB", 10, {0x00, 0x00, 0x1f, 0xff}, kMalformed},
      {"memory-4294967295", "memory 2^32 - 1 KiB", 10, {0xff, 0xff, 0xff, 0xff}, kMalformed},
      {"passes-0", "passes 0", 14, {0, 0, 0, 0}, kMalformed},
      {"passes-65", "passes 65", 14, {0, 0, 0, 65}, kMalformed},
      {"kind-0", "kind 0", 46, {0}, kMalformed},
      {"kind-3", "kind 3", 46, {3}, kMalformed},
      {"kind-1-swapped", "kind 2 changed to 1: the header is authenticated, so the tag fails", 46, {1}, kWrong},
      {"memory-changed-in-range", "memory 8192 changed to 8193 KiB, still in range: the tag fails", 10, {0x00, 0x00, 0x20, 0x01}, kWrong},
      {"salt-changed", "the first salt byte changed", 18, {0x41}, kWrong},
      {"nonce-changed", "the last nonce byte changed", 45, {0x6a}, kWrong},
      {"ciphertext-changed", "the first ciphertext byte changed", 47, {static_cast<std::uint8_t>(cheap[47] ^ 1)}, kWrong},
      {"tag-changed", "the last tag byte changed", 94, {static_cast<std::uint8_t>(cheap[94] ^ 0x80)}, kWrong},
  };
  for (const Param& p : params) f.add(p.name, std::string("the cheap file with ") + p.what, open_in(with_bytes(cheap, p.at, p.bytes), pw), p.status);

  KeyFileSpec four;
  four.lanes = 4;
  f.add("lanes-4", "a file made at 4 lanes, the most accepted", open_in(compose_key_file(four, as_bytes(pw), r1), pw), kOk, holds(r1));
  KeyFileSpec many;
  many.passes = 64;
  f.add("passes-64", "a file made with 64 passes, the most accepted", open_in(compose_key_file(many, as_bytes(pw), r1), pw), kOk, holds(r1));
  KeyFileSpec v1_kind;
  v1_kind.version = 1;
  v1_kind.lanes = 2;
  f.add("v1-two-lanes", "a version 1 file at 2 lanes", open_in(compose_key_file(v1_kind, as_bytes(pw), r2_seed()), pw), kOk, holds(r2_seed()));

  // Passphrase forms: NFC, as given, NFD; each tried once.
  struct Form {
    const char* name;
    const char* what;
    std::string stored;
    std::string given;
    bool opens;
  };
  const Form forms[] = {
      {"nfc-file-composed-given", "made with the NFC bytes, given composed", kComposed, kComposed, true},
      {"nfc-file-decomposed-given", "made with the NFC bytes, given decomposed: the NFC form opens it", kComposed, kDecomposed, true},
      {"nfd-file-composed-given", "made with the NFD bytes, given composed: the NFD form opens it", kDecomposed, kComposed, true},
      {"nfd-file-decomposed-given", "made with the NFD bytes, given decomposed: the form as given opens it", kDecomposed, kDecomposed, true},
      {"unnormalised-file-same-bytes", "made with bytes that are neither NFC nor NFD, given the same bytes", kMixed, kMixed, true},
      {"unnormalised-file-nfc-given", "made with unnormalised bytes, given their NFC form: no form matches", kMixed, kComposed, false},
      {"wrong-composed", "given another composed text", kComposed, "caf\xC3\xA9 noir", false},
      {"wrong-mixed", "given an unnormalised text: three forms tried, none opens", kComposed, kMixed, false},
  };
  for (const Form& fm : forms) {
    const ByteVec file = compose_key_file(KeyFileSpec{}, as_bytes(fm.stored), r1);
    if (fm.opens)
      f.add(fm.name, std::string("a cheap file of R1 ") + fm.what, open_in(file, fm.given), kOk, holds(r1));
    else
      f.add(fm.name, std::string("a cheap file of R1 ") + fm.what, open_in(file, fm.given), kWrong);
  }
}

void signing_identity_open_cases(CorpusFile& f, const ByteVec& v2_doc) {
  auto open_in = [](const ByteVec& data, std::optional<std::string> passphrase) {
    Json in = Json::object();
    in["data"] = hex(data);
    in["passphrase"] = passphrase ? text(*passphrase) : Json(nullptr);
    return in;
  };
  auto is = [](const std::string& who) { return Json{{"out", Json{{"signing_identity_public", hex(verifying_key(who))}}}}; };
  const std::string pw = kPassphrase;
  for (const char* who : {"laptop", "phone", "tablet", "recovery", "log", "witness"}) {
    const ByteVec seed = identity_seed(who);
    f.add(std::string("raw-seed-") + who, std::string("the bare identity seed ") + who + ", no passphrase", open_in(seed, std::nullopt), kOk, is(who));
  }
  f.add("raw-seed-passphrase-ignored", "a bare seed with a passphrase, which plays no part", open_in(identity_seed("phone"), std::string("anything")),
        kOk, is("phone"));
  f.add("recipient-kind", "the v2-recipient file of R1 with the right passphrase: it opens but holds a recipient seed", open_in(v2_doc, pw), kNotKeyFile);
  KeyFileSpec doc;
  doc.memory_kib = 19456;
  doc.passes = 2;
  doc.kind = 1;
  f.add("v2-identity-kind", "the kind 1 file of laptop at the writer's parameters", open_in(compose_key_file(doc, as_bytes(pw), identity_seed("laptop")), pw),
        kOk, is("laptop"));
  KeyFileSpec ident;
  ident.kind = 1;
  const ByteVec cheap = compose_key_file(ident, as_bytes(pw), identity_seed("tablet"));
  f.add("cheap-identity-file", "a cheap kind 1 file of tablet", open_in(cheap, pw), kOk, is("tablet"));
  f.add("identity-file-nfd-given-nfc", "a kind 1 file of phone made with the NFD bytes of a passphrase, given composed",
        open_in(compose_key_file(ident, as_bytes(kDecomposed), identity_seed("phone")), kComposed), kOk, is("phone"));
  KeyFileSpec v1;
  v1.version = 1;
  f.add("v1-file", "a version 1 file always holds a recipient seed", open_in(compose_key_file(v1, as_bytes(pw), identity_seed("laptop")), pw), kNotKeyFile);
  f.add("wrong-passphrase", "the cheap identity file with another passphrase", open_in(cheap, std::string("wrong horse")), kWrong);
  f.add("key-file-without-passphrase", "a key file without passphrase is refused as an argument", open_in(cheap, std::nullopt), kInvalid);
  f.add("magic-alone-without-passphrase", "eight magic bytes, no passphrase", open_in(text_bytes("VESK-KEY"), std::nullopt), kInvalid);
  f.add("empty", "no data", open_in({}, std::nullopt), kNotKeyFile);
  f.add("thirty-one-bytes", "31 bytes", open_in(repeat_byte(0x11, 31), std::nullopt), kNotKeyFile);
  f.add("thirty-three-bytes", "33 bytes with a passphrase", open_in(repeat_byte(0x11, 33), std::string("passphrase")), kNotKeyFile);
  f.add("seven-bytes-of-magic", "seven bytes of the magic: not a key file, and no seed", open_in(text_bytes("VESK-KE"), std::nullopt), kNotKeyFile);
  f.add("raw-seed-empty-passphrase", "a bare seed with the empty passphrase", open_in(identity_seed("laptop"), std::string("")), kOk, is("laptop"));
  f.add("salt-changed", "the cheap identity file with a salt byte changed: the tag fails", open_in(with_bytes(cheap, 20, {0x45}), pw), kWrong);
  f.add("version-2-less-one-byte", "the cheap identity file less its last byte", open_in(ByteVec(cheap.begin(), cheap.end() - 1), pw), kMalformed);
  f.add("magic-damaged", "the cheap identity file with a damaged magic: 95 bytes that are not a key file",
        open_in(with_bytes(cheap, 0, {'W'}), pw), kNotKeyFile);
  f.add("version-3", "the cheap identity file with version 3", open_in(with_bytes(cheap, 8, {3}), pw), kNotKeyFile);
  f.add("version-1-95-bytes", "the cheap identity file relabelled version 1", open_in(with_bytes(cheap, 8, {1}), pw), kMalformed);
  f.add("memory-262145", "the cheap identity file with memory 262145 KiB", open_in(with_bytes(cheap, 10, {0x00, 0x04, 0x00, 0x01}), pw), kMalformed);
  f.add("kind-3", "the cheap identity file with kind 3", open_in(with_bytes(cheap, 46, {3}), pw), kMalformed);
  f.add("kind-2-swapped", "the cheap identity file with kind 1 changed to 2: the tag fails", open_in(with_bytes(cheap, 46, {2}), pw), kWrong);
  f.add("thirty-two-bytes-with-magic", "32 bytes that begin with the magic: a malformed key file",
        open_in(concat({as_bytes("VESK-KEY\x02"), repeat_byte(0x11, 23)}), pw), kMalformed);
}

void signing_identity_public_cases(CorpusFile& f) {
  for (const char* who : {"laptop", "phone", "tablet", "recovery", "log", "witness"}) {
    f.add(who, std::string("the verifying key of the identity ") + who + ": Ed25519 key, then ML-DSA-65 key",
          {{"identity", identity_from(identity_seed(who))}}, kOk, {{"out", hex(verifying_key(who))}});
  }
}

}  // namespace

void generate_keys(std::vector<CorpusFile>& files) {
  KeyFileSpec doc;
  doc.memory_kib = 19456;
  doc.passes = 2;
  const ByteVec v2_doc = compose_key_file(doc, as_bytes(kPassphrase), r1_seed());

  add_file(files, "vesk_public_key_armor", armor_cases);
  add_file(files, "vesk_public_key_dearmor", dearmor_cases);
  add_file(files, "vesk_inspect_key", [&](CorpusFile& f) { inspect_cases(f, v2_doc); });
  add_file(files, "vesk_secret_key_public", secret_key_public_cases);
  add_file(files, "vesk_secret_key_protect", [&](CorpusFile& f) { writer_passphrase_cases(f, true); });
  add_file(files, "vesk_secret_key_open", [&](CorpusFile& f) { secret_key_open_cases(f, v2_doc); });
  add_file(files, "vesk_identity_generate", [&](CorpusFile& f) { writer_passphrase_cases(f, false); });
  add_file(files, "vesk_signing_identity_open", [&](CorpusFile& f) { signing_identity_open_cases(f, v2_doc); });
  add_file(files, "vesk_signing_identity_public", signing_identity_public_cases);
}

}  // namespace vesk::vectorgen
