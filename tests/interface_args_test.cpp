// The argument rules of the whole interface, one row per export: its valid arguments and, for
// every argument, the breaches of its kind (a NULL pointer with a length, a length over the cap or
// off the exact length, a NULL handle, text or out-parameter, a text that is not UTF-8) plus the
// breaches the export adds. Every breach gives VESK_INVALID_ARGUMENT before any work: no
// out-parameter or nonce set touched, no passphrase stretched, no randomness drawn (the source
// fails throughout), even where other ranges are empty. The valid arguments give VESK_OK, and
// empty ranges and ranges at their cap get through to the operation. And every export, given
// its valid arguments, works on a small stack the host provides and writes nothing outside it.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/base64.h"
#include "core/testing_hooks.h"
#include "ffi/spent_nonce_set.h"
#include "keyring/key_file_testing.h"
#include "support/identity_writer.h"
#include "support/stack_run.h"
#include "support/test_util.h"
#include "support/vectors.h"
#include "transparency/checkpoint/checkpoint.h"
#include "vesk.hpp"

namespace vesk::testing {
namespace {

// Zero bytes behind every range a breach makes longer than its valid value, and behind ranges at
// their cap. Lengths past its end (over the 1 GiB caps) are never read by an export that checks
// first.
const std::uint8_t* filler() {
  static const ByteVec bytes(VESK_MAX_LOG + 1, 0);
  return bytes.data();
}

// The pointer arguments a breach may set to NULL, by name: handles going in, out-parameters
// coming back.
using Slot = std::string_view;
constexpr Slot kSecretKey = "secret key handle", kIdentity = "identity handle", kNonceSet = "nonce set",
               kSecretKeyOut = "secret key out-parameter", kIdentityOut = "identity out-parameter",
               kCount = "count out-parameter", kFlag = "flag out-parameter";
constexpr Slot kBuffers[] = {"first result buffer", "second result buffer", "third result buffer"};

struct RangeArg {
  const char* name;
  ByteVec valid;
  std::size_t cap;                   // the longest length accepted; 0: only valid.size() is
  std::optional<VeskStatus> empty;   // what the operation makes of NULL with length 0
  std::optional<VeskStatus> at_cap;  // ... and of cap zero bytes (not tried at the 1 GiB caps)
};
RangeArg capped(const char* name, ByteVec valid, std::size_t cap, VeskStatus empty,
                std::optional<VeskStatus> at_cap = std::nullopt) {
  return {name, std::move(valid), cap, empty, at_cap};
}
RangeArg exact(const char* name, ByteVec valid) { return {name, std::move(valid), 0, std::nullopt, std::nullopt}; }

struct TextArg {
  const char* name;
  std::string valid;
  bool optional = false;
};

struct Export;

// One call of an export: the arguments of its row as a breach changed them, and every kind of
// out-parameter pre-filled with sentinels. What a successful call wrote is released at the end.
class Call {
 public:
  explicit Call(const Export& e);
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;
  ~Call() {
    for (VeskBuffer& b : buffers_)
      if (!is_sentinel(b)) vesk_buffer_free(&b);
    if (secret_key_out_ != sentinel_handle<VeskSecretKeyHandle>()) vesk_secret_key_free(secret_key_out_);
    if (identity_out_ != sentinel_handle<VeskSigningIdentityHandle>()) vesk_signing_identity_free(identity_out_);
    vesk_spent_nonces_free(set_);
  }

  const std::uint8_t* p(std::size_t i) const { return ranges[i].first; }
  std::size_t n(std::size_t i) const { return ranges[i].second; }
  const char* text(std::size_t i) const { return texts[i]; }
  VeskSecretKeyHandle* secret_key() const { return unless_null(kSecretKey, secret_key_); }
  VeskSigningIdentityHandle* identity() const { return unless_null(kIdentity, identity_); }
  VeskSpentNonceSet* set() const { return unless_null(kNonceSet, set_); }
  VeskBuffer* buffer(int i) { return unless_null(kBuffers[i], &buffers_[i]); }
  VeskSecretKeyHandle** secret_key_out() { return unless_null(kSecretKeyOut, &secret_key_out_); }
  VeskSigningIdentityHandle** identity_out() { return unless_null(kIdentityOut, &identity_out_); }
  std::uint64_t* count() { return unless_null(kCount, &count_); }
  std::int32_t* flag() { return unless_null(kFlag, &flag_); }

  void set_text(std::size_t i, std::string t) {
    text_storage_ = std::move(t);
    texts[i] = text_storage_.c_str();
  }
  bool untouched() const {
    return std::all_of(std::begin(buffers_), std::end(buffers_), is_sentinel) &&
           secret_key_out_ == sentinel_handle<VeskSecretKeyHandle>() &&
           identity_out_ == sentinel_handle<VeskSigningIdentityHandle>() && count_ == kSentinelCount &&
           flag_ == kSentinelFlag && set_->set.entries().empty();
  }

  std::vector<std::pair<const std::uint8_t*, std::size_t>> ranges;
  std::vector<const char*> texts;
  Bytes recipients;
  std::size_t recipient_count = 1;
  Slot null_slot;  // empty: none

 private:
  template <class T>
  T* unless_null(Slot s, T* p) const {
    return null_slot == s ? nullptr : p;
  }
  std::string text_storage_;
  VeskSecretKeyHandle* secret_key_;
  VeskSigningIdentityHandle* identity_;
  VeskSpentNonceSet* set_ = vesk_spent_nonces_new();
  VeskBuffer buffers_[3] = {sentinel_buffer(), sentinel_buffer(), sentinel_buffer()};
  VeskSecretKeyHandle* secret_key_out_ = sentinel_handle<VeskSecretKeyHandle>();
  VeskSigningIdentityHandle* identity_out_ = sentinel_handle<VeskSigningIdentityHandle>();
  std::uint64_t count_ = kSentinelCount;
  std::int32_t flag_ = kSentinelFlag;
};

using Change = std::function<void(Call&)>;
Change set_range(std::size_t i, const std::uint8_t* p, std::size_t n) {
  return [=](Call& c) { c.ranges[i] = {p, n}; };
}
Change set_text(std::size_t i, std::string t) {
  return [=](Call& c) { c.set_text(i, t); };
}

struct Breach {
  std::string name;
  Change change;
};

struct Export {
  const char* name;
  std::function<VeskStatus(Call&)> call = {};  // none for the frame functions: they check nothing
  std::vector<RangeArg> ranges = {};
  std::vector<TextArg> texts = {};
  std::vector<Slot> required = {};   // the pointers that may not be NULL
  std::vector<Breach> extras = {};   // the export's own breaches
  void (*release_null)() = nullptr;  // a release function, which ignores NULL
};

// Valid arguments for every export, made once.
struct Fixture : ExportKeys {
  ByteVec container, signature, challenge, answer;
  ByteVec context = text_bytes("ctx"), message = text_bytes("msg");
  std::string armor;
  ByteVec log, recovery_key, recovery_binding, pin, device_key, chain, epoch_binding;
  ByteVec hash = test_bytes(32, 12), checkpoint, checkpoint_key;
  const std::string origin = "example.com/log";

  Fixture() : ExportKeys(test_bytes(32, 11)) {
    vesk::Buffer text, sealed, sig, ch, ans;
    EXPECT_EQ(vesk_public_key_armor(public_key.data(), public_key.size(), text.out()), VESK_OK);
    armor = std::string(text.text());
    EXPECT_EQ(vesk_encrypt(message.data(), message.size(), public_key.data(), 1, nullptr, nullptr, sealed.out()),
              VESK_OK);
    container = sealed.to_vector();
    EXPECT_EQ(vesk_sign_message(identity, context.data(), context.size(), message.data(), message.size(), sig.out()),
              VESK_OK);
    signature = sig.to_vector();
    EXPECT_EQ(vesk_challenge_new("sign in", 0, 100, ch.out()), VESK_OK);
    challenge = ch.to_vector();
    EXPECT_EQ(vesk_challenge_answer(identity, challenge.data(), challenge.size(), ans.out()), VESK_OK);
    answer = ans.to_vector();

    const sign::SigningIdentity &first = test_identity(1), &second = test_identity(2);
    LogWriter writer;
    writer.create(first, "phone").add(first, key_of(second), "laptop");
    log = writer.bytes();
    const crypto::Digest32 id = writer.identity_id();
    pin = to_vec(id);
    recovery_key = key_of(test_identity(9));
    recovery_binding = testing::recovery_binding(first, id, recovery_key);
    device_key = key_of(second);
    EpochChainWriter epochs;
    epochs.add(test_bytes(VESK_PUBLIC_KEY_LEN, 100)).add(test_bytes(VESK_PUBLIC_KEY_LEN, 101));
    chain = epochs.bytes();
    epoch_binding = testing::epoch_binding(second, id, writer.head(), epochs.head(), epochs.size());

    // A checkpoint of one leaf signed by the log's key.
    const sign::SigningIdentity& log_key = test_identity(5);
    const std::string body = origin + "\n1\n" + base64_encode(hash) + "\n";
    const sign::Signature sig_of_body = sign::hybrid_sign(log_key, as_bytes("VESK/1.0 checkpoint"), as_bytes(body));
    checkpoint_key = key_of(log_key);
    const auto key_hash = transparency::checkpoint_key_hash(origin, checkpoint_key);
    checkpoint =
        text_bytes(body + "\n\xE2\x80\x94 " + origin + " " + base64_encode(cat({key_hash, sig_of_body})) + "\n");
  }
};

const Fixture& fixture() {
  static const Fixture f;
  return f;
}

// Recipients for vesk_encrypt: the fixture's key, VESK_MAX_RECIPIENTS + 1 times, so that a count
// over the limit names real keys and only the count is wrong.
Bytes recipients() {
  static const ByteVec keys = cat(std::vector<Bytes>(VESK_MAX_RECIPIENTS + 1, fixture().public_key));
  return keys;
}

Call::Call(const Export& e)
    : recipients(testing::recipients()), secret_key_(fixture().key), identity_(fixture().identity) {
  for (const RangeArg& r : e.ranges) ranges.emplace_back(r.valid.data(), r.valid.size());
  for (const TextArg& t : e.texts) texts.push_back(t.valid.c_str());
}

// Proof lengths other than a whole number of hashes, 65 hashes, and a NULL proof of one hash.
std::vector<Breach> proof_breaches(std::size_t i) {
  std::vector<Breach> out;
  for (std::size_t n : {1, 31, 33, 2047, 2080})
    out.push_back({"proof of " + std::to_string(n) + " bytes", set_range(i, filler(), n)});
  out.push_back({"proof NULL, length 32", set_range(i, nullptr, 32)});
  return out;
}

// Every export, in the order of the header.
const std::vector<Export>& exports() {
  static const std::vector<Export> rows = [] {
    const Fixture& f = fixture();
    const std::string passphrase = "correct horse battery";
    const RangeArg log = capped("log", f.log, VESK_MAX_LOG, VESK_MALFORMED_INPUT, VESK_MALFORMED_INPUT),
                   recovery_key =
                       capped("recovery key", f.recovery_key, VESK_MAX_KEY_DATA, VESK_NOT_KEY_FILE, VESK_NOT_KEY_FILE),
                   recovery_binding = capped("recovery binding", f.recovery_binding, VESK_RECOVERY_BINDING_LEN,
                                             VESK_MALFORMED_INPUT, VESK_AUTHENTICATION_FAILED),
                   pin = exact("pin", f.pin),
                   chain = capped("chain", f.chain, VESK_MAX_LOG, VESK_MALFORMED_INPUT, VESK_MALFORMED_INPUT),
                   proof = capped("proof", {}, VESK_MAX_PROOF, VESK_OK, VESK_AUTHENTICATION_FAILED),
                   verifying_key = exact("verifying key", f.verifying_key),
                   challenge =
                       capped("challenge", f.challenge, VESK_MAX_CHALLENGE, VESK_MALFORMED_INPUT, VESK_MALFORMED_INPUT);
    const Slot result = kBuffers[0];
    return std::vector<Export>{
        {.name = "vesk_buffer_empty"},
        {.name = "vesk_buffer_free", .release_null = [] { vesk_buffer_free(nullptr); }},
        {.name = "vesk_error_message"},
        {.name = "vesk_version"},
        {.name = "vesk_test_panic"},
        {.name = "vesk_keypair_generate",
         .call = [](Call& c) { return vesk_keypair_generate(c.secret_key_out(), c.buffer(0)); },
         .required = {kSecretKeyOut, result}},
        {.name = "vesk_secret_key_public",
         .call = [](Call& c) { return vesk_secret_key_public(c.secret_key(), c.buffer(0)); },
         .required = {kSecretKey, result}},
        {.name = "vesk_public_key_armor",
         .call = [](Call& c) { return vesk_public_key_armor(c.p(0), c.n(0), c.buffer(0)); },
         .ranges = {exact("public key", f.public_key)},
         .required = {result}},
        {.name = "vesk_public_key_dearmor",
         .call = [](Call& c) { return vesk_public_key_dearmor(c.text(0), c.buffer(0)); },
         .texts = {{"armor", f.armor}},
         .required = {result}},
        {.name = "vesk_inspect_key",
         .call = [](Call& c) { return vesk_inspect_key(c.p(0), c.n(0), c.flag()); },
         .ranges = {capped("key data", f.identity_seed, VESK_MAX_KEY_DATA, VESK_OK, VESK_OK)},
         .required = {kFlag}},
        {.name = "vesk_secret_key_free", .release_null = [] { vesk_secret_key_free(nullptr); }},
        // The key-file writer measures the passphrase before it draws its salt. (vesk_identity_generate
        // draws the new seed first, so there a short passphrase does not come ahead of the source.)
        {.name = "vesk_secret_key_protect",
         .call = [](Call& c) { return vesk_secret_key_protect(c.secret_key(), c.text(0), c.buffer(0)); },
         .texts = {{"passphrase", passphrase}},
         .required = {kSecretKey, result},
         .extras = {{"passphrase of 7 scalar values", set_text(0, "1234567")}}},
        // A passphrase that a bare seed does not need must still be UTF-8.
        {.name = "vesk_secret_key_open",
         .call = [](Call& c) { return vesk_secret_key_open(c.p(0), c.n(0), c.text(0), c.secret_key_out()); },
         .ranges = {capped("key data", f.identity_seed, VESK_MAX_KEY_DATA, VESK_MALFORMED_INPUT, VESK_MALFORMED_INPUT)},
         .texts = {{"passphrase", passphrase, true}},
         .required = {kSecretKeyOut}},
        {.name = "vesk_encrypt",
         .call =
             [](Call& c) {
               return vesk_encrypt(c.p(0), c.n(0), c.recipients.data(), c.recipient_count, c.text(0), c.text(1),
                                   c.buffer(0));
             },
         .ranges = {capped("plaintext", f.message, VESK_MAX_PLAINTEXT, VESK_OK)},
         .texts = {{"file name", "a.txt", true}, {"content type", "text/plain", true}},
         .required = {result},
         .extras = {{"no recipient", [](Call& c) { c.recipient_count = 0; }},
                    {"65 recipients", [](Call& c) { c.recipient_count = VESK_MAX_RECIPIENTS + 1; }},
                    {"recipients NULL", [](Call& c) { c.recipients = {}; }}}},
        {.name = "vesk_decrypt",
         .call =
             [](Call& c) {
               return vesk_decrypt(c.p(0), c.n(0), c.secret_key(), c.buffer(0), c.buffer(1), c.buffer(2));
             },
         .ranges = {capped("container", f.container, VESK_MAX_CONTAINER, VESK_MALFORMED_INPUT)},
         .required = {kSecretKey, result}},
        {.name = "vesk_signing_identity_open",
         .call = [](Call& c) { return vesk_signing_identity_open(c.p(0), c.n(0), c.text(0), c.identity_out()); },
         .ranges = {capped("key data", f.identity_seed, VESK_MAX_KEY_DATA, VESK_NOT_KEY_FILE, VESK_NOT_KEY_FILE)},
         .texts = {{"passphrase", passphrase, true}},
         .required = {kIdentityOut}},
        {.name = "vesk_signing_identity_public",
         .call = [](Call& c) { return vesk_signing_identity_public(c.identity(), c.buffer(0)); },
         .required = {kIdentity, result}},
        {.name = "vesk_signing_identity_free", .release_null = [] { vesk_signing_identity_free(nullptr); }},
        {.name = "vesk_sign_message",
         .call = [](Call& c) { return vesk_sign_message(c.identity(), c.p(0), c.n(0), c.p(1), c.n(1), c.buffer(0)); },
         .ranges = {capped("context", f.context, VESK_MAX_CONTEXT, VESK_OK, VESK_OK),
                    capped("message", f.message, VESK_MAX_PLAINTEXT, VESK_OK)},
         .required = {kIdentity, result}},
        {.name = "vesk_verify_message",
         .call =
             [](Call& c) {
               return vesk_verify_message(c.p(0), c.n(0), c.p(1), c.n(1), c.p(2), c.n(2), c.p(3), c.n(3));
             },
         .ranges = {verifying_key,
                    capped("context", f.context, VESK_MAX_CONTEXT, VESK_AUTHENTICATION_FAILED,
                           VESK_AUTHENTICATION_FAILED),
                    capped("message", f.message, VESK_MAX_PLAINTEXT, VESK_AUTHENTICATION_FAILED),
                    exact("signature", f.signature)}},
        {.name = "vesk_challenge_new",
         .call = [](Call& c) { return vesk_challenge_new(c.text(0), 1, 2, c.buffer(0)); },
         .texts = {{"purpose", "sign in"}},
         .required = {result}},
        {.name = "vesk_challenge_answer",
         .call = [](Call& c) { return vesk_challenge_answer(c.identity(), c.p(0), c.n(0), c.buffer(0)); },
         .ranges = {challenge},
         .required = {kIdentity, result}},
        {.name = "vesk_challenge_accept",
         .call =
             [](Call& c) { return vesk_challenge_accept(c.set(), c.p(0), c.n(0), c.p(1), c.n(1), c.p(2), c.n(2), 0); },
         .ranges = {challenge, exact("signature", f.answer), verifying_key},
         .required = {kNonceSet}},
        {.name = "vesk_spent_nonces_new"},
        {.name = "vesk_spent_nonces_free", .release_null = [] { vesk_spent_nonces_free(nullptr); }},
        {.name = "vesk_identity_generate",
         .call = [](Call& c) { return vesk_identity_generate(c.text(0), c.buffer(0)); },
         .texts = {{"passphrase", passphrase}},
         .required = {result}},
        {.name = "vesk_identity_head",
         .call = [](Call& c) { return vesk_identity_head(c.p(0), c.n(0), c.p(1), c.n(1), c.buffer(0)); },
         .ranges = {log, recovery_key},
         .required = {result}},
        {.name = "vesk_identity_verify",
         .call = [](Call& c) { return vesk_identity_verify(c.p(0), c.n(0), c.p(1), c.n(1), c.count()); },
         .ranges = {log, recovery_key},
         .required = {kCount}},
        {.name = "vesk_identity_verify_pinned",
         .call =
             [](Call& c) {
               return vesk_identity_verify_pinned(c.p(0), c.n(0), c.p(1), c.n(1), c.p(2), c.n(2), c.count());
             },
         .ranges = {log, recovery_binding, pin},
         .required = {kCount}},
        {.name = "vesk_identity_trusts_device",
         .call =
             [](Call& c) {
               return vesk_identity_trusts_device(c.p(0), c.n(0), c.p(1), c.n(1), c.p(2), c.n(2), c.flag());
             },
         .ranges = {log, recovery_key,
                    capped("device key", f.device_key, VESK_MAX_KEY_DATA, VESK_NOT_KEY_FILE, VESK_NOT_KEY_FILE)},
         .required = {kFlag}},
        {.name = "vesk_epoch_public_key",
         .call = [](Call& c) { return vesk_epoch_public_key(c.p(0), c.n(0), 1, c.buffer(0)); },
         .ranges = {chain},
         .required = {result}},
        {.name = "vesk_epoch_verify",
         .call = [](Call& c) { return vesk_epoch_verify(c.p(0), c.n(0), c.count()); },
         .ranges = {chain},
         .required = {kCount}},
        {.name = "vesk_epoch_verify_bound",
         .call =
             [](Call& c) {
               return vesk_epoch_verify_bound(c.p(0), c.n(0), c.p(1), c.n(1), c.p(2), c.n(2), c.p(3), c.n(3), c.p(4),
                                              c.n(4), c.count());
             },
         .ranges = {log, recovery_binding, pin, chain,
                    capped("epoch binding", f.epoch_binding, VESK_EPOCH_BINDING_LEN, VESK_MALFORMED_INPUT,
                           VESK_AUTHENTICATION_FAILED)},
         .required = {kCount}},
        // A tree of one leaf, whose root is the leaf: the proof is empty.
        {.name = "vesk_transparency_verify_inclusion",
         .call =
             [](Call& c) {
               return vesk_transparency_verify_inclusion(c.p(0), c.n(0), 0, 1, c.p(1), c.n(1), c.p(2), c.n(2));
             },
         .ranges = {exact("leaf hash", f.hash), proof, exact("root", f.hash)},
         .extras = proof_breaches(1)},
        {.name = "vesk_transparency_verify_consistency",
         .call =
             [](Call& c) {
               return vesk_transparency_verify_consistency(2, 2, c.p(0), c.n(0), c.p(1), c.n(1), c.p(2), c.n(2));
             },
         .ranges = {proof, exact("old root", f.hash), exact("new root", f.hash)},
         .extras = proof_breaches(0)},
        {.name = "vesk_checkpoint_verify",
         .call =
             [](Call& c) {
               return vesk_checkpoint_verify(c.p(0), c.n(0), c.text(0), c.p(1), c.n(1), c.count(), c.buffer(0));
             },
         .ranges = {capped("checkpoint", f.checkpoint, VESK_MAX_CHECKPOINT, VESK_MALFORMED_INPUT, VESK_MALFORMED_INPUT),
                    capped("verifying key", f.checkpoint_key, VESK_MAX_KEY_DATA, VESK_NOT_KEY_FILE, VESK_NOT_KEY_FILE)},
         .texts = {{"origin", f.origin}},
         .required = {kCount, result}},
    };
  }();
  return rows;
}

// Texts that are not UTF-8, each alone, after the valid text and before it.
const std::pair<const char*, const char*> kNotUtf8[] = {
    {"a lone continuation byte", "\x80"}, {"a truncated sequence", "\xC3"},
    {"an overlong encoding", "\xC0\xAF"}, {"the byte 0xFF", "\xFF"},
    {"a surrogate", "\xED\xA0\x80"},      {"a value above U+10FFFF", "\xF4\x90\x80\x80"},
};

std::vector<Breach> breaches_of(const Export& e) {
  std::vector<Breach> out;
  for (std::size_t i = 0; i < e.ranges.size(); ++i) {
    const RangeArg& r = e.ranges[i];
    const std::string name = r.name;
    const std::size_t len = r.valid.size();
    out.push_back({name + ": NULL, length 1", set_range(i, nullptr, 1)});
    if (len > 1) out.push_back({name + ": NULL, length " + std::to_string(len), set_range(i, nullptr, len)});
    if (r.cap != 0) {
      out.push_back({name + ": " + std::to_string(r.cap + 1) + " bytes", set_range(i, filler(), r.cap + 1)});
      continue;
    }
    out.push_back({name + ": NULL, length 0", set_range(i, nullptr, 0)});
    for (std::size_t n : {len - 1, len + 1, std::size_t{0}, std::size_t{VESK_MAX_KEY_DATA + 1}})
      out.push_back({name + ": " + std::to_string(n) + " bytes", set_range(i, filler(), n)});
  }
  for (std::size_t i = 0; i < e.texts.size(); ++i) {
    const TextArg& t = e.texts[i];
    if (!t.optional) out.push_back({std::string(t.name) + ": NULL", [i](Call& c) { c.texts[i] = nullptr; }});
    for (const auto& [what, bad] : kNotUtf8) {
      out.push_back({std::string(t.name) + ": " + what, set_text(i, bad)});
      out.push_back({std::string(t.name) + ": " + what + " after the text", set_text(i, t.valid + bad)});
      out.push_back({std::string(t.name) + ": " + what + " before the text", set_text(i, bad + t.valid)});
    }
  }
  for (Slot s : e.required) out.push_back({std::string(s) + ": NULL", [s](Call& c) { c.null_slot = s; }});
  out.insert(out.end(), e.extras.begin(), e.extras.end());
  return out;
}

TEST(InterfaceArgs, TheTableHasEveryExportOnce) {
  std::istringstream listed(read_tests_file("abi/exports.txt"));
  std::map<std::string, int> rows;
  for (const Export& e : exports()) ++rows[e.name];
  std::map<std::string, int> expected;
  for (std::string line; std::getline(listed, line);)
    if (!line.empty() && line[0] != '#') expected[line] = 1;
  EXPECT_EQ(expected.size(), 36u);
  EXPECT_EQ(rows, expected);
}

TEST(InterfaceArgs, EveryBreachIsInvalidArgumentBeforeAnyWork) {
  for (const Export& e : exports()) {
    if (!e.call) continue;
    for (const Breach& b : breaches_of(e)) {
      // Alone, and with every other capped range empty, which the operation would refuse in its
      // own way: the breach is found first.
      for (bool others_empty : {false, true}) {
        SCOPED_TRACE(std::string(e.name) + ", " + b.name + (others_empty ? ", other ranges empty" : ""));
        Call c(e);
        if (others_empty) {
          for (std::size_t i = 0; i < e.ranges.size(); ++i)
            if (e.ranges[i].cap != 0) c.ranges[i] = {nullptr, 0};
        }
        b.change(c);
        const std::uint64_t derivations = keyring::testing_hooks::argon2_derivations();
        VeskStatus s;
        {
          const FailingRandomness failing;
          s = e.call(c);
        }
        EXPECT_EQ(s, VESK_INVALID_ARGUMENT);
        EXPECT_TRUE(c.untouched());
        EXPECT_EQ(keyring::testing_hooks::argon2_derivations(), derivations);
      }
    }
  }
}

// The valid arguments succeed; each capped range empty (NULL, length 0) and at its cap reaches the
// operation, which gives its own status. Outputs (and the nonce set) change on success only.
TEST(InterfaceArgs, ValidArgumentsEmptyRangesAndCapsReachTheOperation) {
  auto check = [](const Export& e, Call& c, VeskStatus expected, const std::string& what) {
    SCOPED_TRACE(std::string(e.name) + ", " + what);
    const VeskStatus s = e.call(c);
    EXPECT_EQ(s, expected);
    const bool writes =
        std::any_of(e.required.begin(), e.required.end(), [](Slot p) { return p != kSecretKey && p != kIdentity; });
    EXPECT_EQ(c.untouched(), s != VESK_OK || !writes);
  };
  for (const Export& e : exports()) {
    if (!e.call) continue;
    Call valid(e);
    check(e, valid, VESK_OK, "valid arguments");
    for (std::size_t i = 0; i < e.ranges.size(); ++i) {
      const RangeArg& r = e.ranges[i];
      if (r.empty) {
        Call c(e);
        c.ranges[i] = {nullptr, 0};
        check(e, c, *r.empty, std::string(r.name) + " empty");
      }
      if (r.at_cap) {
        ASSERT_LE(r.cap, VESK_MAX_LOG);
        Call c(e);
        c.ranges[i] = {filler(), r.cap};
        check(e, c, *r.at_cap, std::string(r.name) + " at its cap");
      }
    }
  }
  // VESK_MAX_RECIPIENTS recipients are the most a container takes.
  const Export& encrypt = *std::find_if(exports().begin(), exports().end(),
                                        [](const Export& e) { return std::string(e.name) == "vesk_encrypt"; });
  Call c(encrypt);
  c.recipient_count = VESK_MAX_RECIPIENTS;
  check(encrypt, c, VESK_OK, "64 recipients");
}

// ---- a small stack of the host's -------------------------------------------------------------

// The host's stack: 32 KiB, as a green-thread runtime or a frugal thread pool gives, with a
// stretch of the host's own memory right below it that must stay as it was.
constexpr std::size_t kHostStackLen = std::size_t{32} << 10;
constexpr std::size_t kBelowLen = std::size_t{16} << 10;
constexpr std::uint8_t kUntouched = 0xa5;
// The deepest an export may reach below its caller: its own frame, the argument checks and the
// switch to the library's stack. (Instrumented frames are larger.)
constexpr std::size_t kHostStackBudget = std::size_t{kAddressSanitizer ? 8 : 2} << 10;

enum class HostStackKind { Thread, Coroutine };

class HostStack {
 public:
  HostStack() {
    void* p = mmap(nullptr, kBelowLen + kHostStackLen, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    EXPECT_NE(p, MAP_FAILED);
    region_ = static_cast<std::uint8_t*>(p);
  }
  ~HostStack() { munmap(region_, kBelowLen + kHostStackLen); }

  // Runs `call` on the stack; returns how deep below its caller it reached.
  std::size_t run(HostStackKind kind, const std::function<void()>& call) {
    std::memset(region_, kUntouched, kBelowLen + kHostStackLen);
    const std::uintptr_t sp = kind == HostStackKind::Thread ? run_on_thread_stack(stack(), kHostStackLen, call)
                                                            : run_on_coroutine_stack(stack(), kHostStackLen, call);
    const std::uint8_t* low = stack();
    EXPECT_GT(sp, reinterpret_cast<std::uintptr_t>(low));
    std::size_t deepest = 0;
    for (std::size_t i = 0; i < kHostStackLen; ++i) {
      if (low[i] != kUntouched) {
        deepest = sp - reinterpret_cast<std::uintptr_t>(low + i);
        break;
      }
    }
    return deepest;
  }
  bool below_untouched() const {
    return std::all_of(region_, region_ + kBelowLen, [](std::uint8_t b) { return b == kUntouched; });
  }

 private:
  std::uint8_t* stack() const { return region_ + kBelowLen; }
  std::uint8_t* region_;
};

// libcrypto's deepest paths need 12 to 23 KiB of stack, more than is left of a 32 KiB stack once
// the C library has put the thread's own data on it; none of that may land on the host's stack.
TEST(InterfaceStack, EveryExportWorksOnA32KibHostStackAndWritesNothingBelowIt) {
  HostStack host;
  for (HostStackKind kind : {HostStackKind::Thread, HostStackKind::Coroutine}) {
    const char* where = kind == HostStackKind::Thread ? "thread" : "coroutine";
    for (const Export& e : exports()) {
      const bool panic = std::string(e.name) == "vesk_test_panic";
      if (!e.call && !panic) continue;
      SCOPED_TRACE(std::string(e.name) + " on a " + where);
      Call c(e);
      VeskStatus status = VESK_INTERNAL_ERROR;
      ::testing::internal::CaptureStderr();
      const std::size_t depth = host.run(kind, [&] { status = panic ? vesk_test_panic() : e.call(c); });
      ::testing::internal::GetCapturedStderr();
      EXPECT_EQ(status, panic ? VESK_INTERNAL_FAULT : VESK_OK);
      EXPECT_TRUE(host.below_untouched());
      EXPECT_LE(depth, kHostStackBudget) << "bytes of the host's stack used";
    }
  }
}

// The release functions return at once on NULL, without a word on standard error.
TEST(InterfaceArgsDeathTest, ReleaseFunctionsIgnoreNull) {
  for (const Export& e : exports()) {
    if (e.release_null == nullptr) continue;
    SCOPED_TRACE(e.name);
    EXPECT_EXIT((e.release_null(), std::_Exit(0)), ::testing::ExitedWithCode(0), "^$");
  }
}

}  // namespace
}  // namespace vesk::testing
