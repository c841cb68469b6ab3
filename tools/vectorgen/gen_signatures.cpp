// Message signatures and challenges: sign_message, verify_message, challenge_answer,
// challenge_accept.
#include "core/crypto/ed25519.h"
#include "corpus.h"
#include "support/hex.h"
#include "support/identity_writer.h"
#include "support/vectors.h"

namespace vesk::vectorgen {
namespace {

ByteVec sign_as(const std::string& who, Bytes context, Bytes message) {
  const auto s = sign::hybrid_sign(identity(who), context, message);
  return ByteVec(s.begin(), s.end());
}

ByteVec flipped(ByteVec v, std::size_t at, std::uint8_t bit = 0x01) {
  v[at] ^= bit;
  return v;
}

ByteVec with_ed25519(ByteVec key, const std::string& hex32) {
  const ByteVec p = testing::from_hex(hex32);
  std::copy(p.begin(), p.end(), key.begin());
  return key;
}

// S + l, little-endian, for a signature whose S is s: the same scalar, not in canonical form.
ByteVec s_plus_order(ByteVec sig) {
  const ByteVec order = testing::from_hex("edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010");
  unsigned carry = 0;
  for (std::size_t i = 0; i < 32; ++i) {
    const unsigned sum = sig[32 + i] + order[i] + carry;
    sig[32 + i] = static_cast<std::uint8_t>(sum);
    carry = sum >> 8;
  }
  return sig;
}

void sign_cases(CorpusFile& f) {
  auto in = [](const std::string& who, const ByteVec& context, const ByteVec& message) {
    return Json{{"identity", identity_from(identity_seed(who))}, {"context", hex(context)}, {"message", hex(message)}};
  };
  auto ok = [&](const std::string& name, const std::string& what, const std::string& who, const ByteVec& context, const ByteVec& message) {
    f.add(name, what, in(who, context, message), kOk, {{"signature_out", out_bytes(sign_as(who, context, message))}});
  };
  const ByteVec hello = text_bytes("hello");
  ok("laptop-hello", "laptop signs hello under the context example.org/v1", "laptop", text_bytes("example.org/v1"), hello);
  ok("phone-hello", "phone signs the same", "phone", text_bytes("example.org/v1"), hello);
  ok("empty-context-and-message", "an empty context and an empty message: the signing input is eight zero bytes", "laptop", {}, {});
  f.add("null-context-and-message", "context and message both NULL with length 0", Json{{"identity", identity_from(identity_seed("laptop"))}, {"context", nullptr}, {"message", nullptr}},
        kOk, {{"signature_out", out_bytes(sign_as("laptop", {}, {}))}});
  ok("context-at-cap", "a context of 4096 bytes 'c'", "laptop", ByteVec(4096, 'c'), text_bytes("m"));
  {
    ByteVec m(10000);
    for (std::size_t i = 0; i < m.size(); ++i) m[i] = static_cast<std::uint8_t>(i * 7);
    ok("message-10000-bytes", "a message of 10000 bytes (byte i = 7 i mod 256)", "tablet", text_bytes("app"), m);
  }
  ok("context-vesk-without-slash", "the context VESK is not reserved", "laptop", text_bytes("VESK"), hello);
  ok("context-vesk-dash", "VESK- is not reserved", "laptop", text_bytes("VESK-"), hello);
  ok("context-lower-case", "vesk/ is not reserved", "laptop", text_bytes("vesk/"), hello);
  ok("context-backslash", "VESK\\ is not reserved", "laptop", text_bytes("VESK\\"), hello);
  ok("context-space-first", "' VESK/' is not reserved", "laptop", text_bytes(" VESK/"), hello);
  ok("context-nul-first", "00 then VESK/ is not reserved", "laptop", concat({ByteVec{0}, text_bytes("VESK/")}), hello);
  ok("context-x-first", "xVESK/ is not reserved", "laptop", text_bytes("xVESK/"), hello);
  {
    KeyFileSpec s;
    s.kind = 1;
    const ByteVec file = compose_key_file(s, as_bytes(kPassphrase), identity_seed("laptop"));
    f.add("identity-from-key-file", "laptop opened from a cheap kind 1 key file signs as laptop",
          Json{{"identity", identity_from(file, std::string(kPassphrase))}, {"context", hex(text_bytes("example.org/v1"))}, {"message", hex(hello)}},
          kOk, {{"signature_out", out_bytes(sign_as("laptop", text_bytes("example.org/v1"), hello))}});
  }
  for (const auto& [name, ctx] : std::vector<std::pair<std::string, ByteVec>>{
           {"reserved-context", text_bytes("VESK/x")},
           {"reserved-prefix-alone", text_bytes("VESK/")},
           {"reserved-challenge-context", text_bytes("VESK/0.5 challenge")},
           {"reserved-prefix-then-nul", concat({text_bytes("VESK/"), ByteVec{0}})}}) {
    f.add(name, "a context that begins with VESK/ is refused", in("laptop", ctx, hello), kInvalid);
  }
}

// An Ed25519 signature that the plain verification equation accepts under the neutral element as
// public key: with A of order 1, [S]B - [k]A = [S]B whatever k is, so R = [a]B and S = a mod l
// for any scalar a. Only the refusal of small-order keys stands between it and a valid signature.
ByteVec forged_for_neutral_key() {
  const ByteVec seed = repeat_byte(0x5e, 32);
  const auto h = crypto::sha512({seed});
  std::array<std::uint8_t, 32> a{};
  std::copy_n(h.begin(), 32, a.begin());
  a[0] &= 248;
  a[31] &= 127;
  a[31] |= 64;
  // a mod l, bit by bit from the top: r = 2r + bit, less l while r >= l (little-endian limbs).
  const ByteVec l_bytes = testing::from_hex("edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010");
  std::array<std::uint64_t, 5> l{}, r{};
  for (int i = 0; i < 32; ++i) l[i / 8] |= std::uint64_t{l_bytes[i]} << (8 * (i % 8));
  auto geq = [&] {
    for (int i = 4; i >= 0; --i)
      if (r[i] != l[i]) return r[i] > l[i];
    return true;
  };
  for (int bit = 255; bit >= 0; --bit) {
    for (int i = 4; i > 0; --i) r[i] = (r[i] << 1) | (r[i - 1] >> 63);
    r[0] = (r[0] << 1) | ((a[bit / 8] >> (bit % 8)) & 1);
    if (geq()) {
      unsigned __int128 borrow = 0;
      for (int i = 0; i < 5; ++i) {
        const unsigned __int128 d = static_cast<unsigned __int128>(r[i]) - l[i] - borrow;
        r[i] = static_cast<std::uint64_t>(d);
        borrow = (d >> 64) ? 1 : 0;
      }
    }
  }
  const auto signer = crypto::Ed25519SigningKey::from_secret(seed);
  ByteVec sig(signer.public_key().begin(), signer.public_key().end());  // R = [a]B
  for (int i = 0; i < 32; ++i) sig.push_back(static_cast<std::uint8_t>(r[i / 8] >> (8 * (i % 8))));
  return sig;
}

void verify_cases(CorpusFile& f) {
  const ByteVec ctx = text_bytes("example.org/v1"), hello = text_bytes("hello");
  const ByteVec key = verifying_key("laptop");
  const ByteVec sig = sign_as("laptop", ctx, hello);
  auto in = [](const ByteVec& k, const ByteVec& c, const ByteVec& m, const ByteVec& s) {
    return Json{{"verifying_key", hex(k)}, {"context", hex(c)}, {"message", hex(m)}, {"signature", hex(s)}};
  };
  auto c = [&](const std::string& name, const std::string& what, const ByteVec& k, const ByteVec& cx, const ByteVec& m, const ByteVec& s,
               const char* status) { f.add(name, what, in(k, cx, m, s), status); };
  c("laptop-hello", "laptop's signature of hello under example.org/v1", key, ctx, hello, sig, kOk);
  c("laptop-hello-context-byte-moved", "context example.org/v and message 1hello: the same bytes, another signing input", key,
    text_bytes("example.org/v"), text_bytes("1hello"), sig, kAuth);
  c("ed25519-part-not-a-point", "laptop's key with its Ed25519 part 02 00..00 (y = 2, no square root)",
    with_ed25519(key, "0200000000000000000000000000000000000000000000000000000000000000"), ctx, hello, sig, kNotKeyFile);
  c("ed25519-part-small-order", "laptop's key with its Ed25519 part 01 00..00 (y = 1, the neutral element): decodes, verifies nothing",
    with_ed25519(key, "0100000000000000000000000000000000000000000000000000000000000000"), ctx, hello, sig, kAuth);
  c("ed25519-neutral-key-forged-signature",
    "Ed25519 part 01 00..00 (the neutral element) and an Ed25519 half R = [a]B, S = a that satisfies the plain equation under it, with laptop's ML-DSA half: small-order keys verify nothing",
    with_ed25519(key, "0100000000000000000000000000000000000000000000000000000000000000"), ctx, hello,
    [&] {
      ByteVec s = sig;
      const ByteVec forged = forged_for_neutral_key();
      std::copy(forged.begin(), forged.end(), s.begin());
      return s;
    }(), kAuth);
  // Ed25519 parts of small order, which decode but verify nothing, and parts that do not decode.
  struct Part {
    const char* name;
    const char* what;
    const char* hex32;
    const char* status;
  };
  const Part parts[] = {
      {"ed25519-part-y-zero", "Ed25519 part y = 0, a point of order 4",
       "0000000000000000000000000000000000000000000000000000000000000000", kAuth},
      {"ed25519-part-y-p-minus-1", "Ed25519 part y = p - 1, the point of order 2",
       "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f", kAuth},
      {"ed25519-part-order-8-a", "Ed25519 part 26e8958f..., a point of order 8",
       "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc05", kAuth},
      {"ed25519-part-order-8-b", "Ed25519 part c7176a70..., a point of order 8",
       "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac037a", kAuth},
      {"ed25519-part-order-8-sign-bit", "the order-8 point 26e8958f... with its sign bit set",
       "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc85", kAuth},
      {"ed25519-part-neutral-sign-bit", "y = 1 with the sign bit set: x = 0 cannot carry a sign",
       "0100000000000000000000000000000000000000000000000000000000000080", kNotKeyFile},
      {"ed25519-part-y-p", "y = p, not below the prime",
       "edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f", kNotKeyFile},
      {"ed25519-part-y-p-plus-1", "y = p + 1, which would be 1 if reduced",
       "eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f", kNotKeyFile},
      {"ed25519-part-y-2-255-minus-1", "y = 2^255 - 1",
       "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f", kNotKeyFile},
  };
  for (const Part& p : parts) c(p.name, p.what, with_ed25519(key, p.hex32), ctx, hello, sig, p.status);
  c("undecodable-key-garbage-signature", "a key that does not decode with a signature of 3373 bytes 5a: the key is refused first",
    with_ed25519(key, "0200000000000000000000000000000000000000000000000000000000000000"), ctx, hello, ByteVec(3373, 0x5a), kNotKeyFile);
  c("garbage-signature", "3373 bytes 5a under laptop's key", key, ctx, hello, ByteVec(3373, 0x5a), kAuth);
  c("other-identity-key", "phone's key for laptop's signature", verifying_key("phone"), ctx, hello, sig, kAuth);
  c("other-context", "the context example.org/v2", key, text_bytes("example.org/v2"), hello, sig, kAuth);
  c("empty-context", "the empty context", key, {}, hello, sig, kAuth);
  c("message-first-byte-moved", "context example.org/v1h, message ello", key, text_bytes("example.org/v1h"), text_bytes("ello"), sig, kAuth);
  c("message-changed", "the message hellO", key, ctx, text_bytes("hellO"), sig, kAuth);
  c("message-extended", "hello and a NUL byte", key, ctx, concat({hello, ByteVec{0}}), sig, kAuth);
  c("ed25519-r-changed", "the first byte of R altered", key, ctx, hello, flipped(sig, 0), kAuth);
  c("ed25519-s-changed", "a byte of S altered", key, ctx, hello, flipped(sig, 40), kAuth);
  c("ed25519-s-plus-order", "S replaced by S + l: the same scalar, not canonical", key, ctx, hello, s_plus_order(sig), kAuth);
  c("ed25519-r-small-order", "R replaced by 01 00..00, a small-order point",
    key, ctx, hello, [&] {
      ByteVec s = sig;
      std::fill(s.begin(), s.begin() + 32, 0);
      s[0] = 1;
      return s;
    }(), kAuth);
  c("mldsa-half-changed", "a byte of the ML-DSA-65 half altered", key, ctx, hello, flipped(sig, 64 + 1000), kAuth);
  c("mldsa-hint-changed", "the last signature byte altered", key, ctx, hello, flipped(sig, 3372), kAuth);
  c("mldsa-key-changed", "a byte of the ML-DSA-65 part of the key altered", flipped(key, 32 + 500), ctx, hello, sig, kAuth);
  // laptop's Ed25519 half beside phone's ML-DSA-65 half.
  ByteVec mixed_halves = sig;
  const ByteVec phone_sig = sign_as("phone", ctx, hello);
  std::copy(phone_sig.begin() + 64, phone_sig.end(), mixed_halves.begin() + 64);
  c("halves-of-two-identities", "laptop's Ed25519 half with phone's ML-DSA-65 half, under laptop's key",
    key, ctx, hello, mixed_halves, kAuth);
  c("halves-under-mixed-key", "laptop's Ed25519 key with phone's ML-DSA-65 key, and the signature made of the matching halves",
    [&] {
      ByteVec k = verifying_key("phone");
      std::copy(key.begin(), key.begin() + 32, k.begin());
      return k;
    }(), ctx, hello, mixed_halves, kOk);
  c("reserved-context-accepted", "a signature made inside the library under VESK/0.5 challenge verifies with that context",
    key, text_bytes("VESK/0.5 challenge"), hello, sign_as("laptop", text_bytes("VESK/0.5 challenge"), hello), kOk);
  c("empty-context-and-message", "laptop's signature of the empty message under the empty context", key, {}, {}, sign_as("laptop", {}, {}), kOk);
  f.add("null-context-and-message", "context and message both NULL with length 0",
        Json{{"verifying_key", hex(key)}, {"context", nullptr}, {"message", nullptr}, {"signature", hex(sign_as("laptop", {}, {}))}}, kOk);
  c("context-at-cap", "a 4096-byte context", key, ByteVec(4096, 'c'), text_bytes("m"), sign_as("laptop", ByteVec(4096, 'c'), text_bytes("m")), kOk);
}

// ---- challenges --------------------------------------------------------------------------------

ByteVec challenge(const ByteVec& nonce, std::string_view purpose, std::uint64_t issued_at, std::uint64_t lifetime,
                  std::optional<std::uint64_t> declared = std::nullopt) {
  ByteVec out = nonce;
  const auto p = be64(declared.value_or(purpose.size()));
  out.insert(out.end(), p.begin(), p.end());
  out.insert(out.end(), purpose.begin(), purpose.end());
  const auto i = be64(issued_at), l = be64(lifetime);
  out.insert(out.end(), i.begin(), i.end());
  out.insert(out.end(), l.begin(), l.end());
  return out;
}

ByteVec answer(const std::string& who, const ByteVec& c) { return sign_as(who, as_bytes("VESK/0.5 challenge"), c); }

std::vector<std::pair<std::string, ByteVec>> malformed_challenges(const ByteVec& good) {
  const ByteVec nonce = repeat_byte(0xa5, 32);
  ByteVec dropped = good, added = good;
  dropped.pop_back();
  added.push_back(0);
  return {
      {"empty", {}},
      {"thirty-nine-bytes", ByteVec(good.begin(), good.begin() + 39)},
      {"forty-bytes", ByteVec(good.begin(), good.begin() + 40)},
      {"one-byte-removed", dropped},
      {"one-byte-added", added},
      {"purpose-length-one-more", challenge(nonce, "login", 1000, 60, 6)},
      {"purpose-length-one-less", challenge(nonce, "login", 1000, 60, 4)},
      {"purpose-length-beyond-input", challenge(nonce, "login", 1000, 60, 1000)},
      {"purpose-length-max", challenge(nonce, "login", 1000, 60, kMax)},
      {"purpose-length-wraps-if-added", challenge(nonce, "login", 1000, 60, kMax - 15)},
      {"purpose-lone-continuation-byte", challenge(nonce, "a\x80", 1000, 60)},
      {"purpose-truncated-sequence", challenge(nonce, "\xC3", 1000, 60)},
      {"purpose-overlong-nul", challenge(nonce, "\xC0\x80", 1000, 60)},
      {"purpose-surrogate", challenge(nonce, "\xED\xA0\x80", 1000, 60)},
      {"purpose-above-10ffff", challenge(nonce, "\xF4\x90\x80\x80", 1000, 60)},
      {"purpose-byte-ff", challenge(nonce, "\xFFogin", 1000, 60)},
  };
}

void answer_cases(CorpusFile& f) {
  const ByteVec nonce = repeat_byte(0xa5, 32);
  const ByteVec login = challenge(nonce, "login", 1000, 60);
  auto ok = [&](const std::string& name, const std::string& what, const std::string& who, const ByteVec& c) {
    f.add(name, what, Json{{"identity", identity_from(identity_seed(who))}, {"challenge", hex(c)}}, kOk,
          {{"signature_out", out_bytes(answer(who, c))}});
  };
  ok("login", "phone answers the challenge of nonce a5.., purpose login, issued at 1000, lifetime 60", "phone", login);
  ok("login-by-laptop", "laptop answers the same challenge", "laptop", login);
  ok("empty-purpose", "a 56-byte challenge with an empty purpose", "phone", challenge(nonce, "", 0, 0));
  ok("purpose-with-nul", "a purpose holding a NUL character, as a challenge made elsewhere may", "phone",
     challenge(nonce, std::string_view("a\0b", 3), 0, 10));
  ok("purpose-multi-byte", "a purpose of multi-byte characters", "phone", challenge(nonce, "\xC3\xA9t\xC3\xA9 \xF0\x9F\x94\x91", 1, 2));
  ok("purpose-4040-bytes", "a 4040-byte purpose: a 4096-byte challenge, the largest", "phone", challenge(nonce, std::string(4040, 'p'), 1, 2));
  ok("long-expired", "a challenge long past its deadline: time plays no part in answering", "phone", challenge(nonce, "login", 0, 0));
  ok("largest-times", "issued_at and lifetime 2^64 - 1", "phone", challenge(nonce, "login", kMax, kMax));
  for (const auto& [name, bytes] : malformed_challenges(login))
    f.add(name, "a malformed challenge", Json{{"identity", identity_from(identity_seed("phone"))}, {"challenge", hex(bytes)}}, kMalformed);
}

void accept_cases(CorpusFile& f) {
  const ByteVec nonce = repeat_byte(0xa5, 32);
  const ByteVec login = challenge(nonce, "login", 1000, 60);
  const ByteVec sig = answer("phone", login);
  const ByteVec key = verifying_key("phone");
  const ByteVec bad_key = testing::with_undecodable_ed25519(key);
  auto in = [](const Json& set, const ByteVec& c, const ByteVec& s, const ByteVec& k, std::uint64_t now) {
    return Json{{"set", set}, {"challenge", hex(c)}, {"signature", hex(s)}, {"verifying_key", hex(k)}, {"now", u64(now)}};
  };
  auto one = [&](const std::string& name, const std::string& what, const ByteVec& c, const ByteVec& s, const ByteVec& k, std::uint64_t now,
                 const char* status) { f.add(name, what, in(spent_nonces(), c, s, k, now), status); };

  one("login-at-deadline", "a new set, the login challenge answered by phone, now = 1060 = the deadline", login, sig, key, 1060, kOk);
  one("login-one-past-deadline", "the same at now = 1061", login, sig, key, 1061, kExpired);
  one("expired-and-bad-signature", "now = 1061 and the answer with byte 100 altered: expiry first", login, flipped(sig, 100), key, 1061, kExpired);
  one("purpose-length-off-by-one", "the login challenge with its length field 6: 15 bytes remain instead of 16",
      challenge(nonce, "login", 1000, 60, 6), sig, key, 1000, kMalformed);
  one("issued-in-the-future", "now = 0, before issued_at: accepted", login, sig, key, 0, kOk);
  one("bad-signature", "the answer with byte 100 altered, in time", login, flipped(sig, 100), key, 1000, kAuth);
  one("other-identity-answer", "laptop's answer under phone's key", login, answer("laptop", login), key, 1000, kAuth);
  one("right-answer-wrong-key", "phone's answer under laptop's key", login, sig, verifying_key("laptop"), 1000, kAuth);
  one("answer-under-another-context", "phone's signature of the challenge bytes under VESK/0.5 challengE", login,
      sign_as("phone", as_bytes("VESK/0.5 challengE"), login), key, 1000, kAuth);
  one("message-signature-of-challenge", "phone's signature of the challenge bytes under the context login", login,
      sign_as("phone", as_bytes("login"), login), key, 1000, kAuth);
  one("answer-to-another-challenge", "an answer to a challenge with another nonce", login,
      answer("phone", challenge(repeat_byte(0x5a, 32), "login", 1000, 60)), key, 1000, kAuth);
  one("undecodable-key", "a key whose Ed25519 part is not a point", login, sig, bad_key, 1000, kNotKeyFile);
  one("undecodable-key-and-expired", "that key and now past the deadline: the key is checked first", login, sig, bad_key, kMax, kNotKeyFile);
  for (const auto& [name, bytes] : malformed_challenges(login)) {
    one(name, "a malformed challenge, with the login answer", bytes, sig, key, 1000, kMalformed);
  }
  one("malformed-and-undecodable-key", "a malformed challenge and a key that does not decode: the format is checked first",
      ByteVec(login.begin(), login.end() - 1), sig, bad_key, 1000, kMalformed);

  struct Expiry {
    const char* name;
    const char* what;
    std::uint64_t issued_at, lifetime, now;
    const char* status;
  };
  const Expiry expiry[] = {
      {"lifetime-0-at-issue", "lifetime 0, now = issued_at", 100, 0, 100, kOk},
      {"lifetime-0-one-later", "lifetime 0, now = issued_at + 1", 100, 0, 101, kExpired},
      {"long-past", "now = 2^64 - 1", 100, 50, kMax, kExpired},
      {"saturating-sum-never-expires", "issued_at 2^64 - 1, lifetime 1: the deadline saturates", kMax, 1, kMax, kOk},
      {"largest-sum-that-does-not-wrap", "issued_at 2^64 - 11, lifetime 10, now 2^64 - 1", kMax - 10, 10, kMax, kOk},
      {"sum-one-below-maximum", "issued_at 2^64 - 11, lifetime 9, now 2^64 - 1", kMax - 10, 9, kMax, kExpired},
      {"lifetime-max", "issued_at 0, lifetime 2^64 - 1", 0, kMax, kMax, kOk},
  };
  for (const Expiry& e : expiry) {
    const ByteVec c = challenge(nonce, "expiry", e.issued_at, e.lifetime);
    one(e.name, e.what, c, answer("phone", c), key, e.now, e.status);
  }
  {
    const ByteVec big = challenge(nonce, std::string(4040, 'x'), 0, 10);
    one("purpose-4040-bytes", "a 4096-byte challenge, the largest", big, answer("phone", big), key, 5, kOk);
    const ByteVec zero = challenge(nonce, std::string_view("a\0b", 3), 0, 10);
    one("purpose-with-nul", "a purpose holding a NUL character", zero, answer("phone", zero), key, 10, kOk);
  }

  using Step = CorpusFile::Step;
  const Json set = {{"set", spent_nonces()}};
  auto step = [&](const ByteVec& c, const ByteVec& s, const ByteVec& k, std::uint64_t now, const char* status) {
    return Step{in(named_handle("set"), c, s, k, now), status};
  };
  f.add_steps("login-twice", "the same acceptance twice on one set at now = 1000: the second is a replay", set,
              {step(login, sig, key, 1000, kOk), step(login, sig, key, 1000, kReplayed)});
  f.add_steps("replay-until-deadline-then-expired", "accepted at 50; replayed at 50 and at the deadline 1060; expired from 1061 on", set,
              {step(login, sig, key, 50, kOk), step(login, sig, key, 50, kReplayed), step(login, sig, key, 1060, kReplayed),
               step(login, sig, key, 1061, kExpired)});
  const ByteVec other = challenge(repeat_byte(0x5b, 32), "login", 1000, 60);
  f.add_steps("nonces-differ", "two challenges alike but for their nonces are accepted independently", set,
              {step(login, sig, key, 1000, kOk), step(other, answer("phone", other), key, 1000, kOk),
               step(other, answer("phone", other), key, 1000, kReplayed)});
  f.add_steps("bad-answers-then-good", "refused answers leave the set unchanged: the right answer is accepted after them", set,
              {step(login, flipped(sig, 100), key, 1000, kAuth), step(login, answer("laptop", login), key, 1000, kAuth),
               step(login, sig, verifying_key("laptop"), 1000, kAuth), step(login, answer("laptop", login), key, 1061, kExpired),
               step(login, sig, key, 1000, kOk), step(login, answer("laptop", login), key, 1000, kAuth)});
  const ByteVec late = challenge(repeat_byte(0x5c, 32), "late", 0, 5000);
  f.add_steps("purged-entry-is-forgotten", "login accepted at 1000; an acceptance at 2000 purges its entry (deadline 1060); with now back at 1000 login is accepted again",
              set, {step(login, sig, key, 1000, kOk), step(late, answer("phone", late), key, 2000, kOk), step(login, sig, key, 1000, kOk)});
  f.add_steps("entry-kept-until-purged", "login accepted at 1000; an acceptance at 1060 keeps its entry (deadline not below now); with now back at 1000 login is a replay",
              set, {step(login, sig, key, 1000, kOk), step(late, answer("phone", late), key, 1060, kOk), step(login, sig, key, 1000, kReplayed)});
  f.add_steps("replay-refusal-purges", "login accepted at 1000; late accepted at 1000; late replayed at 2000 purges login's entry; login at 1000 is accepted again",
              set, {step(login, sig, key, 1000, kOk), step(late, answer("phone", late), key, 1000, kOk),
                    step(late, answer("phone", late), key, 2000, kReplayed), step(login, sig, key, 1000, kOk)});
  f.add_steps("failed-acceptance-does-not-purge", "login accepted at 1000; a bad answer to late at 2000 leaves the set alone; login at 1000 is still a replay",
              set, {step(login, sig, key, 1000, kOk), step(late, flipped(answer("phone", late), 5), key, 2000, kAuth),
                    step(login, sig, key, 1000, kReplayed)});
  f.add_steps("expired-answer-not-recorded", "login refused as expired at 1061 is not recorded: accepted at 1000 afterwards", set,
              {step(login, sig, key, 1061, kExpired), step(login, sig, key, 1000, kOk)});
  f.add_steps("two-sets", "each set is its own: login accepted on two new sets", Json{{"first", spent_nonces()}, {"second", spent_nonces()}},
              {Step{in(named_handle("first"), login, sig, key, 1000), kOk}, Step{in(named_handle("second"), login, sig, key, 1000), kOk},
               Step{in(named_handle("first"), login, sig, key, 1000), kReplayed}});
}

}  // namespace

void generate_signatures(std::vector<CorpusFile>& files) {
  add_file(files, "vesk_sign_message", sign_cases);
  add_file(files, "vesk_verify_message", verify_cases);
  add_file(files, "vesk_challenge_answer", answer_cases);
  add_file(files, "vesk_challenge_accept", accept_cases);
}

}  // namespace vesk::vectorgen
