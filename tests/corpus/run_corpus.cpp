// Runs the interop corpus (vectors/*.json) through libvesk.so, as a second implementation would:
// it sees vesk.h and vesk.hpp and nothing else of the library. Each file is first checked against
// the corpus schema as a whole; a file that breaks it is refused, naming the file and the case,
// and counts as failed. Then every case is run twice, through each layer a host may use: the C
// interface, where on any failure status every out-parameter must be as it was before the call,
// and the C++ header's calls and owners. Handles are built through the exports that open them,
// and outputs are compared.
//
//   run_corpus FILE_OR_DIR...                   runs every case
//   run_corpus --references DOCS_DIR VECTORS    checks that every vectors/<file>.json#<case> named
//                                               in DOCS_DIR/*.md exists
//
// SHA-256 of large outputs is computed with libcrypto, the one other thing this host uses.
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "vesk.hpp"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using Bytes = std::vector<std::uint8_t>;

// ---- the exports the corpus covers ----------------------------------------------------------

enum class Kind { Bytes, Text, U64, SecretKey, Identity, NonceSet, OutBuffer, OutU64, OutI32, OutSecretKey, OutIdentity };

bool is_out(Kind k) { return k >= Kind::OutBuffer; }

struct Param {
  const char* name;
  Kind kind;
};

// One argument as the call sees it, with room for what an out-parameter receives.
struct Arg {
  Bytes bytes;
  bool null = false;
  std::string text;
  std::uint64_t u64 = 0;
  void* handle = nullptr;
  VeskBuffer buffer{};
  std::uint64_t out_u64 = 0;
  std::int32_t out_i32 = 0;
  void* out_handle = nullptr;
  void* owner = nullptr;  // the vesk.hpp owner of `handle`
};

class Args {
 public:
  explicit Args(std::size_t n) : a_(n) {}
  Arg& operator[](std::size_t i) { return a_.at(i); }
  // A byte range: NULL only where the corpus says null; an empty range otherwise points somewhere.
  const std::uint8_t* ptr(std::size_t i) {
    static const std::uint8_t nothing = 0;
    if (a_[i].null) return nullptr;
    return a_[i].bytes.empty() ? &nothing : a_[i].bytes.data();
  }
  std::size_t len(std::size_t i) { return a_[i].null ? 0 : a_[i].bytes.size(); }
  const char* text(std::size_t i) { return a_[i].null ? nullptr : a_[i].text.c_str(); }
  std::uint64_t u64(std::size_t i) { return a_[i].u64; }
  const VeskSecretKeyHandle* key(std::size_t i) { return static_cast<const VeskSecretKeyHandle*>(a_[i].handle); }
  const VeskSigningIdentityHandle* id(std::size_t i) { return static_cast<const VeskSigningIdentityHandle*>(a_[i].handle); }
  VeskSpentNonceSet* set(std::size_t i) { return static_cast<VeskSpentNonceSet*>(a_[i].handle); }
  VeskBuffer* buf(std::size_t i) { return &a_[i].buffer; }
  std::uint64_t* out_u64(std::size_t i) { return &a_[i].out_u64; }
  std::int32_t* out_i32(std::size_t i) { return &a_[i].out_i32; }
  VeskSecretKeyHandle** out_key(std::size_t i) { return reinterpret_cast<VeskSecretKeyHandle**>(&a_[i].out_handle); }
  VeskSigningIdentityHandle** out_id(std::size_t i) { return reinterpret_cast<VeskSigningIdentityHandle**>(&a_[i].out_handle); }
  // The same arguments as the C++ header takes them.
  vesk::ByteView view(std::size_t i) { return vesk::ByteView(ptr(i), len(i)); }
  vesk::OptionalText opt_text(std::size_t i) { return vesk::OptionalText(text(i)); }
  const vesk::SecretKey& owned_key(std::size_t i) { return *static_cast<const vesk::SecretKey*>(a_[i].owner); }
  const vesk::SigningIdentity& owned_id(std::size_t i) { return *static_cast<const vesk::SigningIdentity*>(a_[i].owner); }
  vesk::SpentNonces& owned_set(std::size_t i) { return *static_cast<vesk::SpentNonces*>(a_[i].owner); }

 private:
  std::vector<Arg> a_;
};

struct Export {
  std::vector<Param> params;
  // Outputs drawn at random: a successful case need not list them.
  bool random_outputs = false;
  std::function<VeskStatus(Args&)> call;
};

const std::map<std::string, Export>& exports() {
  using K = Kind;
  static const std::map<std::string, Export> table = {
      {"vesk_public_key_armor",
       {{{"public_key", K::Bytes}, {"text_out", K::OutBuffer}}, false,
        [](Args& a) { return vesk_public_key_armor(a.ptr(0), a.len(0), a.buf(1)); }}},
      {"vesk_public_key_dearmor",
       {{{"text", K::Text}, {"public_key_out", K::OutBuffer}}, false,
        [](Args& a) { return vesk_public_key_dearmor(a.text(0), a.buf(1)); }}},
      {"vesk_inspect_key",
       {{{"data", K::Bytes}, {"is_key_file_out", K::OutI32}}, false,
        [](Args& a) { return vesk_inspect_key(a.ptr(0), a.len(0), a.out_i32(1)); }}},
      {"vesk_secret_key_public",
       {{{"secret_key", K::SecretKey}, {"public_key_out", K::OutBuffer}}, false,
        [](Args& a) { return vesk_secret_key_public(a.key(0), a.buf(1)); }}},
      {"vesk_secret_key_protect",
       {{{"secret_key", K::SecretKey}, {"passphrase", K::Text}, {"key_file_out", K::OutBuffer}}, true,
        [](Args& a) { return vesk_secret_key_protect(a.key(0), a.text(1), a.buf(2)); }}},
      {"vesk_secret_key_open",
       {{{"data", K::Bytes}, {"passphrase", K::Text}, {"key_out", K::OutSecretKey}}, false,
        [](Args& a) { return vesk_secret_key_open(a.ptr(0), a.len(0), a.text(1), a.out_key(2)); }}},
      {"vesk_encrypt",
       {{{"data", K::Bytes},
         {"recipients", K::Bytes},
         {"recipient_count", K::U64},
         {"file_name", K::Text},
         {"content_type", K::Text},
         {"out", K::OutBuffer}},
        true,
        [](Args& a) {
          return vesk_encrypt(a.ptr(0), a.len(0), a.ptr(1), static_cast<std::size_t>(a.u64(2)), a.text(3), a.text(4), a.buf(5));
        }}},
      {"vesk_decrypt",
       {{{"data", K::Bytes},
         {"secret_key", K::SecretKey},
         {"plaintext_out", K::OutBuffer},
         {"file_name_out", K::OutBuffer},
         {"content_type_out", K::OutBuffer}},
        false,
        [](Args& a) { return vesk_decrypt(a.ptr(0), a.len(0), a.key(1), a.buf(2), a.buf(3), a.buf(4)); }}},
      {"vesk_signing_identity_open",
       {{{"data", K::Bytes}, {"passphrase", K::Text}, {"out", K::OutIdentity}}, false,
        [](Args& a) { return vesk_signing_identity_open(a.ptr(0), a.len(0), a.text(1), a.out_id(2)); }}},
      {"vesk_signing_identity_public",
       {{{"identity", K::Identity}, {"out", K::OutBuffer}}, false,
        [](Args& a) { return vesk_signing_identity_public(a.id(0), a.buf(1)); }}},
      {"vesk_sign_message",
       {{{"identity", K::Identity}, {"context", K::Bytes}, {"message", K::Bytes}, {"signature_out", K::OutBuffer}}, false,
        [](Args& a) { return vesk_sign_message(a.id(0), a.ptr(1), a.len(1), a.ptr(2), a.len(2), a.buf(3)); }}},
      {"vesk_verify_message",
       {{{"verifying_key", K::Bytes}, {"context", K::Bytes}, {"message", K::Bytes}, {"signature", K::Bytes}}, false,
        [](Args& a) {
          return vesk_verify_message(a.ptr(0), a.len(0), a.ptr(1), a.len(1), a.ptr(2), a.len(2), a.ptr(3), a.len(3));
        }}},
      {"vesk_challenge_answer",
       {{{"identity", K::Identity}, {"challenge", K::Bytes}, {"signature_out", K::OutBuffer}}, false,
        [](Args& a) { return vesk_challenge_answer(a.id(0), a.ptr(1), a.len(1), a.buf(2)); }}},
      {"vesk_challenge_accept",
       {{{"set", K::NonceSet}, {"challenge", K::Bytes}, {"signature", K::Bytes}, {"verifying_key", K::Bytes}, {"now", K::U64}}, false,
        [](Args& a) {
          return vesk_challenge_accept(a.set(0), a.ptr(1), a.len(1), a.ptr(2), a.len(2), a.ptr(3), a.len(3), a.u64(4));
        }}},
      {"vesk_identity_generate",
       {{{"passphrase", K::Text}, {"key_file_out", K::OutBuffer}}, true,
        [](Args& a) { return vesk_identity_generate(a.text(0), a.buf(1)); }}},
      {"vesk_identity_head",
       {{{"log", K::Bytes}, {"recovery_key", K::Bytes}, {"head_out", K::OutBuffer}}, false,
        [](Args& a) { return vesk_identity_head(a.ptr(0), a.len(0), a.ptr(1), a.len(1), a.buf(2)); }}},
      {"vesk_identity_verify",
       {{{"log", K::Bytes}, {"recovery_key", K::Bytes}, {"active_devices_out", K::OutU64}}, false,
        [](Args& a) { return vesk_identity_verify(a.ptr(0), a.len(0), a.ptr(1), a.len(1), a.out_u64(2)); }}},
      {"vesk_identity_verify_pinned",
       {{{"log", K::Bytes}, {"recovery_binding", K::Bytes}, {"pin", K::Bytes}, {"active_devices_out", K::OutU64}}, false,
        [](Args& a) {
          return vesk_identity_verify_pinned(a.ptr(0), a.len(0), a.ptr(1), a.len(1), a.ptr(2), a.len(2), a.out_u64(3));
        }}},
      {"vesk_identity_trusts_device",
       {{{"log", K::Bytes}, {"recovery_key", K::Bytes}, {"device_key", K::Bytes}, {"trusted_out", K::OutI32}}, false,
        [](Args& a) {
          return vesk_identity_trusts_device(a.ptr(0), a.len(0), a.ptr(1), a.len(1), a.ptr(2), a.len(2), a.out_i32(3));
        }}},
      {"vesk_epoch_public_key",
       {{{"chain", K::Bytes}, {"epoch_index", K::U64}, {"out", K::OutBuffer}}, false,
        [](Args& a) { return vesk_epoch_public_key(a.ptr(0), a.len(0), a.u64(1), a.buf(2)); }}},
      {"vesk_epoch_verify",
       {{{"chain", K::Bytes}, {"epoch_count_out", K::OutU64}}, false,
        [](Args& a) { return vesk_epoch_verify(a.ptr(0), a.len(0), a.out_u64(1)); }}},
      {"vesk_epoch_verify_bound",
       {{{"log", K::Bytes},
         {"recovery_binding", K::Bytes},
         {"pin", K::Bytes},
         {"chain", K::Bytes},
         {"epoch_binding", K::Bytes},
         {"epoch_count_out", K::OutU64}},
        false,
        [](Args& a) {
          return vesk_epoch_verify_bound(a.ptr(0), a.len(0), a.ptr(1), a.len(1), a.ptr(2), a.len(2), a.ptr(3), a.len(3), a.ptr(4),
                                         a.len(4), a.out_u64(5));
        }}},
      {"vesk_transparency_verify_inclusion",
       {{{"leaf_hash", K::Bytes}, {"leaf_index", K::U64}, {"tree_size", K::U64}, {"proof", K::Bytes}, {"root", K::Bytes}}, false,
        [](Args& a) {
          return vesk_transparency_verify_inclusion(a.ptr(0), a.len(0), a.u64(1), a.u64(2), a.ptr(3), a.len(3), a.ptr(4), a.len(4));
        }}},
      {"vesk_transparency_verify_consistency",
       {{{"old_size", K::U64}, {"new_size", K::U64}, {"proof", K::Bytes}, {"old_root", K::Bytes}, {"new_root", K::Bytes}}, false,
        [](Args& a) {
          return vesk_transparency_verify_consistency(a.u64(0), a.u64(1), a.ptr(2), a.len(2), a.ptr(3), a.len(3), a.ptr(4), a.len(4));
        }}},
      {"vesk_checkpoint_verify",
       {{{"checkpoint", K::Bytes},
         {"origin", K::Text},
         {"verifying_key", K::Bytes},
         {"tree_size_out", K::OutU64},
         {"root_out", K::OutBuffer}},
        false,
        [](Args& a) {
          return vesk_checkpoint_verify(a.ptr(0), a.len(0), a.text(1), a.ptr(2), a.len(2), a.out_u64(3), a.buf(4));
        }}},
  };
  return table;
}

// ---- the same exports through the C++ header ----------------------------------------------------

// What a call through vesk.hpp gave: its status and, on success, its outputs by out-parameter
// name (bytes, a count or flag, or a returned handle by its public key).
struct Outcome {
  VeskStatus status = VESK_OK;
  std::map<std::string, Bytes> bytes;
  std::map<std::string, std::uint64_t> numbers;
};

template <class T>
Outcome failed_or(const vesk::Result<T>& r, const std::function<void(Outcome&)>& fill) {
  Outcome o;
  o.status = r.status();
  if (r) fill(o);
  return o;
}
Outcome status_only(const vesk::Result<void>& r) { return Outcome{r.status(), {}, {}}; }
Bytes vec(const vesk::Buffer& b) { return b.to_vector(); }

// A call whose one output is a buffer, or a count or flag, under its out-parameter's name.
Outcome bytes_out(const vesk::Result<vesk::Buffer>& r, const char* name) {
  return failed_or(r, [&](Outcome& o) { o.bytes[name] = vec(*r); });
}
template <class T>
Outcome number_out(const vesk::Result<T>& r, const char* name) {
  return failed_or(r, [&](Outcome& o) { o.numbers[name] = static_cast<std::uint64_t>(*r); });
}

// The public key of a returned handle, as the corpus compares it.
template <class Owner, class Public>
Bytes public_of(const Owner& owner, Public pub) {
  auto p = pub(owner);
  return p ? vec(*p) : Bytes{};
}

using CppCall = std::function<Outcome(Args&)>;

const std::map<std::string, CppCall>& cpp_layer() {
  static const std::map<std::string, CppCall> table = {
      {"vesk_public_key_armor", [](Args& a) { return bytes_out(vesk::public_key_armor(a.view(0)), "text_out"); }},
      {"vesk_public_key_dearmor", [](Args& a) { return bytes_out(vesk::public_key_dearmor(a.text(0)), "public_key_out"); }},
      {"vesk_inspect_key", [](Args& a) { return number_out(vesk::inspect_key(a.view(0)), "is_key_file_out"); }},
      {"vesk_secret_key_public", [](Args& a) { return bytes_out(vesk::secret_key_public(a.owned_key(0)), "public_key_out"); }},
      {"vesk_secret_key_protect",
       [](Args& a) { return bytes_out(vesk::secret_key_protect(a.owned_key(0), a.text(1)), "key_file_out"); }},
      {"vesk_secret_key_open", [](Args& a) {
         auto r = vesk::secret_key_open(a.view(0), a.opt_text(1));
         return failed_or(r, [&](Outcome& o) {
           o.bytes["key_out"] = public_of(*r, [](const vesk::SecretKey& k) { return vesk::secret_key_public(k); });
         });
       }},
      {"vesk_encrypt", [](Args& a) {
         return bytes_out(vesk::encrypt(a.view(0), a.view(1), static_cast<std::size_t>(a.u64(2)), a.opt_text(3), a.opt_text(4)), "out");
       }},
      {"vesk_decrypt", [](Args& a) {
         auto r = vesk::decrypt(a.view(0), a.owned_key(1));
         return failed_or(r, [&](Outcome& o) {
           o.bytes["plaintext_out"] = vec(r->plaintext);
           o.bytes["file_name_out"] = vec(r->file_name);
           o.bytes["content_type_out"] = vec(r->content_type);
         });
       }},
      {"vesk_signing_identity_open", [](Args& a) {
         auto r = vesk::signing_identity_open(a.view(0), a.opt_text(1));
         return failed_or(r, [&](Outcome& o) {
           o.bytes["out"] = public_of(*r, [](const vesk::SigningIdentity& i) { return vesk::signing_identity_public(i); });
         });
       }},
      {"vesk_signing_identity_public", [](Args& a) { return bytes_out(vesk::signing_identity_public(a.owned_id(0)), "out"); }},
      {"vesk_sign_message",
       [](Args& a) { return bytes_out(vesk::sign_message(a.owned_id(0), a.view(1), a.view(2)), "signature_out"); }},
      {"vesk_verify_message",
       [](Args& a) { return status_only(vesk::verify_message(a.view(0), a.view(1), a.view(2), a.view(3))); }},
      {"vesk_challenge_answer",
       [](Args& a) { return bytes_out(vesk::challenge_answer(a.owned_id(0), a.view(1)), "signature_out"); }},
      {"vesk_challenge_accept", [](Args& a) {
         return status_only(vesk::challenge_accept(a.owned_set(0), a.view(1), a.view(2), a.view(3), a.u64(4)));
       }},
      {"vesk_identity_generate", [](Args& a) { return bytes_out(vesk::identity_generate(a.text(0)), "key_file_out"); }},
      {"vesk_identity_head", [](Args& a) { return bytes_out(vesk::identity_head(a.view(0), a.view(1)), "head_out"); }},
      {"vesk_identity_verify",
       [](Args& a) { return number_out(vesk::identity_verify(a.view(0), a.view(1)), "active_devices_out"); }},
      {"vesk_identity_verify_pinned",
       [](Args& a) { return number_out(vesk::identity_verify_pinned(a.view(0), a.view(1), a.view(2)), "active_devices_out"); }},
      {"vesk_identity_trusts_device",
       [](Args& a) { return number_out(vesk::identity_trusts_device(a.view(0), a.view(1), a.view(2)), "trusted_out"); }},
      {"vesk_epoch_public_key", [](Args& a) { return bytes_out(vesk::epoch_public_key(a.view(0), a.u64(1)), "out"); }},
      {"vesk_epoch_verify", [](Args& a) { return number_out(vesk::epoch_verify(a.view(0)), "epoch_count_out"); }},
      {"vesk_epoch_verify_bound", [](Args& a) {
         return number_out(vesk::epoch_verify_bound(a.view(0), a.view(1), a.view(2), a.view(3), a.view(4)), "epoch_count_out");
       }},
      {"vesk_transparency_verify_inclusion", [](Args& a) {
         return status_only(vesk::transparency_verify_inclusion(a.view(0), a.u64(1), a.u64(2), a.view(3), a.view(4)));
       }},
      {"vesk_transparency_verify_consistency", [](Args& a) {
         return status_only(vesk::transparency_verify_consistency(a.u64(0), a.u64(1), a.view(2), a.view(3), a.view(4)));
       }},
      {"vesk_checkpoint_verify", [](Args& a) {
         auto r = vesk::checkpoint_verify(a.view(0), a.text(1), a.view(2));
         return failed_or(r, [&](Outcome& o) {
           o.numbers["tree_size_out"] = r->tree_size;
           o.bytes["root_out"] = vec(r->root);
         });
       }},
  };
  return table;
}

const std::map<std::string, VeskStatus>& statuses() {
  static const std::map<std::string, VeskStatus> s = {
      {"VESK_OK", VESK_OK},
      {"VESK_INVALID_ARGUMENT", VESK_INVALID_ARGUMENT},
      {"VESK_WRONG_PASSPHRASE", VESK_WRONG_PASSPHRASE},
      {"VESK_NOT_KEY_FILE", VESK_NOT_KEY_FILE},
      {"VESK_AUTHENTICATION_FAILED", VESK_AUTHENTICATION_FAILED},
      {"VESK_NO_MATCHING_RECIPIENT", VESK_NO_MATCHING_RECIPIENT},
      {"VESK_MALFORMED_INPUT", VESK_MALFORMED_INPUT},
      {"VESK_INPUT_TOO_LARGE", VESK_INPUT_TOO_LARGE},
      {"VESK_CHALLENGE_EXPIRED", VESK_CHALLENGE_EXPIRED},
      {"VESK_CHALLENGE_REPLAYED", VESK_CHALLENGE_REPLAYED},
      {"VESK_INTERNAL_FAULT", VESK_INTERNAL_FAULT},
      {"VESK_INTERNAL_ERROR", VESK_INTERNAL_ERROR},
  };
  return s;
}

std::string status_name(VeskStatus s) {
  for (const auto& [name, value] : statuses())
    if (value == s) return name;
  return "status " + std::to_string(s);
}

// ---- values ------------------------------------------------------------------------------------

struct SchemaError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void require(bool ok, const std::string& what) {
  if (!ok) throw SchemaError(what);
}

void require_keys(const Json& j, std::set<std::string> keys, const std::string& what) {
  require(j.is_object(), what + " is not an object");
  std::set<std::string> have;
  for (const auto& [k, v] : j.items()) have.insert(k);
  require(have == keys, what + " must have exactly the keys " + [&] {
    std::string s;
    for (const auto& k : keys) s += (s.empty() ? "" : ", ") + k;
    return s;
  }());
}

Bytes parse_hex(const Json& v, const std::string& what) {
  require(v.is_string(), what + ": hex is not a string");
  const std::string s = v.get<std::string>();
  require(s.size() % 2 == 0, what + ": odd number of hex digits");
  Bytes out(s.size() / 2);
  auto digit = [&](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    throw SchemaError(what + ": not lower-case hex");
  };
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(digit(s[2 * i]) * 16 + digit(s[2 * i + 1]));
  return out;
}

std::string sha256_hex(const std::uint8_t* data, std::size_t len) {
  unsigned char md[32];
  unsigned int n = 0;
  if (EVP_Digest(data, len, md, &n, EVP_sha256(), nullptr) != 1 || n != 32) throw std::runtime_error("SHA-256 failed");
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (unsigned char c : md) {
    s.push_back(digits[c >> 4]);
    s.push_back(digits[c & 15]);
  }
  return s;
}

std::uint64_t parse_u64(const Json& v, const std::string& what) {
  if (v.is_number_unsigned()) {
    const auto n = v.get<std::uint64_t>();
    require(n < (std::uint64_t{1} << 53), what + ": numbers of 2^53 and above are written {\"u64\": ...}");
    return n;
  }
  require_keys(v, {"u64"}, what);
  require(v["u64"].is_string(), what + ": u64 is not a string");
  const std::string s = v["u64"].get<std::string>();
  require(!s.empty() && s.size() <= 20 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
              (s == "0" || s[0] != '0'),
          what + ": u64 is not a decimal number");
  unsigned __int128 n = 0;
  for (char c : s) n = n * 10 + static_cast<unsigned>(c - '0');
  require(n <= UINT64_MAX, what + ": u64 out of range");
  require(n >= (std::uint64_t{1} << 53), what + ": numbers below 2^53 are written as JSON numbers");
  return static_cast<std::uint64_t>(n);
}

// A byte or text value: {"hex"}, {"text"}, or null.
void parse_input(const Json& v, Kind kind, Arg& arg, const std::string& what) {
  switch (kind) {
    case Kind::Bytes:
      if (v.is_null()) {
        arg.null = true;
        return;
      }
      require_keys(v, {"hex"}, what);
      arg.bytes = parse_hex(v["hex"], what);
      return;
    case Kind::Text:
      if (v.is_null()) {
        arg.null = true;
        return;
      }
      require_keys(v, {"text"}, what);
      require(v["text"].is_string(), what + ": text is not a string");
      arg.text = v["text"].get<std::string>();
      require(arg.text.find('\0') == std::string::npos, what + ": a text cannot hold NUL");
      return;
    case Kind::U64:
      arg.u64 = parse_u64(v, what);
      return;
    default:
      throw std::logic_error("not a plain input");
  }
}

// An expected output, checked for shape.
void check_output_shape(const Json& v, Kind kind, const std::string& what) {
  switch (kind) {
    case Kind::OutBuffer:
      if (v.contains("sha256")) {
        require_keys(v, {"sha256", "len"}, what);
        require(v["sha256"].is_string() && v["sha256"].get<std::string>().size() == 64, what + ": sha256 is not 64 hex digits");
        parse_hex(v["sha256"], what);
        parse_u64(v["len"], what + " len");
      } else if (v.contains("text")) {
        require_keys(v, {"text"}, what);
        require(v["text"].is_string(), what + ": text is not a string");
      } else {
        require_keys(v, {"hex"}, what);
        parse_hex(v["hex"], what);
      }
      return;
    case Kind::OutU64:
      parse_u64(v, what);
      return;
    case Kind::OutI32:
      require(v.is_number_integer() && v.get<std::int64_t>() >= INT32_MIN && v.get<std::int64_t>() <= INT32_MAX, what + ": not a 32-bit integer");
      return;
    case Kind::OutSecretKey:
      require_keys(v, {"secret_key_public"}, what);
      check_output_shape(v["secret_key_public"], Kind::OutBuffer, what);
      return;
    case Kind::OutIdentity:
      require_keys(v, {"signing_identity_public"}, what);
      check_output_shape(v["signing_identity_public"], Kind::OutBuffer, what);
      return;
    default:
      throw std::logic_error("not an output");
  }
}

// Does a released buffer match an expected value? Returns an empty string when it does.
std::string compare_buffer(const Json& want, const std::uint8_t* data, std::size_t len) {
  if (want.contains("sha256")) {
    const std::string got = sha256_hex(data, len);
    if (got != want["sha256"].get<std::string>() || len != want["len"].get<std::uint64_t>())
      return "SHA-256 " + got + " and length " + std::to_string(len) + ", expected " + want["sha256"].get<std::string>() + " and " +
             std::to_string(want["len"].get<std::uint64_t>());
    return {};
  }
  Bytes expected;
  if (want.contains("text")) {
    const std::string t = want["text"].get<std::string>();
    expected.assign(t.begin(), t.end());
  } else {
    expected = parse_hex(want["hex"], "output");
  }
  if (expected.size() != len || (len != 0 && std::memcmp(expected.data(), data, len) != 0))
    return std::to_string(len) + " bytes (SHA-256 " + sha256_hex(data, len) + ") where " + std::to_string(expected.size()) + " were expected";
  return {};
}

// ---- handles -----------------------------------------------------------------------------------

Kind handle_kind(const Json& spec) {
  if (spec.is_object() && spec.size() == 1) {
    if (spec.contains("secret_key_open")) return Kind::SecretKey;
    if (spec.contains("signing_identity_open")) return Kind::Identity;
    if (spec.contains("spent_nonces_new")) return Kind::NonceSet;
  }
  throw SchemaError("a handle is {\"secret_key_open\": ...}, {\"signing_identity_open\": ...} or {\"spent_nonces_new\": {}}");
}

void check_handle_spec(const Json& spec, Kind want, const std::string& what) {
  const Kind k = handle_kind(spec);
  require(k == want, what + ": a handle of the wrong kind");
  if (k == Kind::NonceSet) {
    require(spec["spent_nonces_new"].is_object() && spec["spent_nonces_new"].empty(), what + ": spent_nonces_new takes no arguments");
    return;
  }
  const Json& args = spec.begin().value();
  require_keys(args, {"data", "passphrase"}, what);
  Arg scratch;
  parse_input(args["data"], Kind::Bytes, scratch, what + " data");
  parse_input(args["passphrase"], Kind::Text, scratch, what + " passphrase");
}

// Opens handles through their exports, each held by its vesk.hpp owner. Secret keys and
// identities are only read by the calls, so one opening serves every case that names the same
// arguments; a spent-nonce set belongs to one case and one layer.
class Handles {
 public:
  struct Opened {
    void* raw;
    void* owner;
  };
  Opened open(const Json& spec) {
    const Kind k = handle_kind(spec);
    if (k == Kind::NonceSet) {
      sets_.push_back(std::make_unique<vesk::SpentNonces>(vesk::spent_nonces_new()));
      return {sets_.back()->get(), sets_.back().get()};
    }
    const std::string key = spec.dump();
    const Json& args = spec.begin().value();
    Arg data, passphrase;
    parse_input(args["data"], Kind::Bytes, data, "handle data");
    parse_input(args["passphrase"], Kind::Text, passphrase, "handle passphrase");
    const vesk::ByteView bytes(data.bytes.data(), data.bytes.size());
    const vesk::OptionalText pw(passphrase.null ? nullptr : passphrase.text.c_str());
    if (k == Kind::SecretKey)
      return cached(keys_, key, "vesk_secret_key_open", [&] { return vesk::secret_key_open(bytes, pw); });
    return cached(ids_, key, "vesk_signing_identity_open", [&] { return vesk::signing_identity_open(bytes, pw); });
  }

 private:
  // The owner kept for `key`, opened through `open_export` (named `name`) the first time.
  template <class Owner, class OpenExport>
  static Opened cached(std::map<std::string, std::unique_ptr<Owner>>& owners, const std::string& key, const char* name,
                       OpenExport&& open_export) {
    auto it = owners.find(key);
    if (it == owners.end()) {
      auto opened = open_export();
      if (!opened) throw std::runtime_error(std::string("the handle's ") + name + " gave " + status_name(opened.status()));
      it = owners.emplace(key, std::make_unique<Owner>(std::move(*opened))).first;
    }
    return {it->second->get(), it->second.get()};
  }

  std::map<std::string, std::unique_ptr<vesk::SecretKey>> keys_;
  std::map<std::string, std::unique_ptr<vesk::SigningIdentity>> ids_;
  std::vector<std::unique_ptr<vesk::SpentNonces>> sets_;
};

// ---- cases -------------------------------------------------------------------------------------

struct Call {
  Json inputs;
  VeskStatus status;
  Json outputs;
};

struct Case {
  std::string name;
  Json handles = Json::object();  // name -> spec, for cases of steps
  std::vector<Call> calls;
};

// Checks one call's inputs and expectation against the export; throws SchemaError.
Call check_call(const Export& ex, const Json& inputs, const Json& expect, const Json& handles, bool steps) {
  std::set<std::string> in_names, out_names;
  for (const Param& p : ex.params) (is_out(p.kind) ? out_names : in_names).insert(p.name);
  require_keys(inputs, in_names, "inputs");
  for (const Param& p : ex.params) {
    if (is_out(p.kind)) continue;
    const Json& v = inputs[p.name];
    const std::string what = std::string("input ") + p.name;
    if (p.kind == Kind::SecretKey || p.kind == Kind::Identity || p.kind == Kind::NonceSet) {
      if (v.is_object() && v.contains("handle")) {
        require(steps, what + ": {\"handle\": ...} outside a case of steps");
        require_keys(v, {"handle"}, what);
        require(v["handle"].is_string() && handles.contains(v["handle"].get<std::string>()), what + ": names no handle of the case");
        require(handle_kind(handles[v["handle"].get<std::string>()]) == p.kind, what + ": names a handle of the wrong kind");
      } else {
        check_handle_spec(v, p.kind, what);
      }
      continue;
    }
    Arg scratch;
    parse_input(v, p.kind, scratch, what);
  }
  require_keys(expect, {"status", "outputs"}, "expect");
  require(expect["status"].is_string() && statuses().count(expect["status"].get<std::string>()) == 1, "expect: unknown status");
  const VeskStatus status = statuses().at(expect["status"].get<std::string>());
  const Json& outputs = expect["outputs"];
  require(outputs.is_object(), "expect: outputs is not an object");
  for (const auto& [k, v] : outputs.items()) {
    require(out_names.count(k) == 1, "expect: " + k + " is not an out-parameter of the export");
    const std::string name = k;
    const Kind kind = std::find_if(ex.params.begin(), ex.params.end(), [&](const Param& p) { return name == p.name; })->kind;
    require(status == VESK_OK || kind == Kind::OutBuffer, "expect: a failure names only what a result buffer released");
    check_output_shape(v, kind, "output " + k);
  }
  if (status == VESK_OK && !ex.random_outputs)
    for (const std::string& k : out_names) require(outputs.contains(k), "expect: the successful case does not give " + k);
  return Call{inputs, status, outputs};
}

std::vector<Case> check_file(const Json& file, const std::string& file_name, const Export*& ex, std::vector<std::string>& errors) {
  std::vector<Case> out;
  try {
    require_keys(file, {"export", "version", "cases"}, "the file");
    require(file["export"].is_string() && exports().count(file["export"].get<std::string>()) == 1, "unknown export");
    const std::string name = file["export"].get<std::string>();
    require(fs::path(file_name).filename().string() == name.substr(5) + ".json", "the file of " + name + " must be named " + name.substr(5) + ".json");
    require(file["version"].is_string() && !file["version"].get<std::string>().empty(), "version is not a text");
    require(file["cases"].is_array() && !file["cases"].empty(), "cases is not a non-empty array");
    ex = &exports().at(name);
  } catch (const SchemaError& e) {
    errors.push_back(file_name + ": " + e.what());
    return out;
  }
  static const std::regex name_rule("[a-z0-9.-]+");
  std::set<std::string> names;
  std::size_t index = 0;
  for (const Json& c : file["cases"]) {
    std::string label = "case " + std::to_string(index++);
    try {
      require(c.is_object() && c.contains("name") && c["name"].is_string(), "a case without a name");
      label = "case '" + c["name"].get<std::string>() + "'";
      Case kase;
      kase.name = c["name"].get<std::string>();
      require(std::regex_match(kase.name, name_rule), "a case name is lower-case letters, digits, '-' and '.'");
      require(names.insert(kase.name).second, "the name is used twice");
      if (c.contains("steps")) {
        require_keys(c, {"name", "description", "handles", "steps"}, "the case");
        require(c["handles"].is_object() && !c["handles"].empty(), "handles is not a non-empty object");
        for (const auto& [hn, spec] : c["handles"].items()) check_handle_spec(spec, handle_kind(spec), "handle " + hn);
        kase.handles = c["handles"];
        require(c["steps"].is_array() && !c["steps"].empty(), "steps is not a non-empty array");
        for (const Json& s : c["steps"]) {
          require_keys(s, {"inputs", "expect"}, "a step");
          kase.calls.push_back(check_call(*ex, s["inputs"], s["expect"], kase.handles, true));
        }
      } else {
        require_keys(c, {"name", "description", "inputs", "expect"}, "the case");
        kase.calls.push_back(check_call(*ex, c["inputs"], c["expect"], Json::object(), false));
      }
      require(c["description"].is_string(), "description is not a text");
      out.push_back(std::move(kase));
    } catch (const SchemaError& e) {
      errors.push_back(file_name + ": " + label + ": " + e.what());
    }
  }
  return out;
}

// Sentinels: what every out-parameter holds before a call, and must still hold after a failure.
std::uint8_t g_sentinel_target;
VeskBuffer sentinel_buffer() { return VeskBuffer{&g_sentinel_target, 7, 9}; }
bool is_sentinel(const VeskBuffer& b) { return b.data == &g_sentinel_target && b.len == 7 && b.capacity == 9; }
constexpr std::uint64_t kSentinelU64 = 0xDEADBEEFCAFEF00Dull;
constexpr std::int32_t kSentinelI32 = 0x5A5A5A5A;
void* sentinel_handle() { return &g_sentinel_target; }

using Named = std::map<std::string, Handles::Opened>;

// Compares what a call through vesk.hpp gave with the case.
std::vector<std::string> compare_outcome(const Export& ex, const Call& call, const Outcome& got) {
  std::vector<std::string> failures;
  if (got.status != call.status) failures.push_back("status " + status_name(got.status) + ", expected " + status_name(call.status));
  for (const Param& p : ex.params) {
    if (!is_out(p.kind) || !call.outputs.contains(p.name)) continue;
    const Json& want = call.outputs[p.name];
    if (got.status != VESK_OK) {
      // Nothing came back; a listed buffer must be what was released: nothing.
      if (std::string d = compare_buffer(want, nullptr, 0); !d.empty()) failures.push_back(std::string(p.name) + " released nothing, the case expects " + d);
      continue;
    }
    if (p.kind == Kind::OutU64 || p.kind == Kind::OutI32) {
      const std::uint64_t n = got.numbers.count(p.name) ? got.numbers.at(p.name) : ~std::uint64_t{0};
      const std::uint64_t expected = p.kind == Kind::OutU64 ? parse_u64(want, p.name) : static_cast<std::uint64_t>(want.get<std::int64_t>());
      if (n != expected) failures.push_back(std::string(p.name) + " = " + std::to_string(n) + ", expected " + want.dump());
      continue;
    }
    const Bytes& b = got.bytes.count(p.name) ? got.bytes.at(p.name) : Bytes{};
    const Json& value = p.kind == Kind::OutSecretKey ? want["secret_key_public"]
                        : p.kind == Kind::OutIdentity ? want["signing_identity_public"]
                                                      : want;
    if (std::string d = compare_buffer(value, b.data(), b.size()); !d.empty()) failures.push_back(std::string(p.name) + ": " + d);
  }
  return failures;
}

// Runs one call, through the C interface or through vesk.hpp; returns the failures it found.
std::vector<std::string> run_call(const Export& ex, const CppCall* cpp, const Call& call, Handles& opened, Named& named) {
  std::vector<std::string> failures;
  Args args(ex.params.size());
  for (std::size_t i = 0; i < ex.params.size(); ++i) {
    const Param& p = ex.params[i];
    Arg& a = args[i];
    switch (p.kind) {
      case Kind::SecretKey:
      case Kind::Identity:
      case Kind::NonceSet: {
        const Json& v = call.inputs[p.name];
        const Handles::Opened o = v.contains("handle") ? named.at(v["handle"].get<std::string>()) : opened.open(v);
        a.handle = o.raw;
        a.owner = o.owner;
        break;
      }
      case Kind::OutBuffer: a.buffer = sentinel_buffer(); break;
      case Kind::OutU64: a.out_u64 = kSentinelU64; break;
      case Kind::OutI32: a.out_i32 = kSentinelI32; break;
      case Kind::OutSecretKey:
      case Kind::OutIdentity: a.out_handle = sentinel_handle(); break;
      default: parse_input(call.inputs[p.name], p.kind, a, p.name);
    }
  }
  if (cpp != nullptr) return compare_outcome(ex, call, (*cpp)(args));
  const VeskStatus got = ex.call(args);
  if (got != call.status) failures.push_back("status " + status_name(got) + ", expected " + status_name(call.status));

  for (std::size_t i = 0; i < ex.params.size(); ++i) {
    const Param& p = ex.params[i];
    if (!is_out(p.kind)) continue;
    Arg& a = args[i];
    const bool listed = call.outputs.contains(p.name);
    const Json want = listed ? call.outputs[p.name] : Json();
    if (got != VESK_OK) {
      // Nothing may have been written; a listed buffer must match what was released: nothing.
      bool untouched = true;
      switch (p.kind) {
        case Kind::OutBuffer:
          untouched = is_sentinel(a.buffer);
          if (untouched && listed) {
            if (std::string d = compare_buffer(want, nullptr, 0); !d.empty()) failures.push_back(std::string(p.name) + " released nothing, the case expects " + d);
          }
          break;
        case Kind::OutU64: untouched = a.out_u64 == kSentinelU64; break;
        case Kind::OutI32: untouched = a.out_i32 == kSentinelI32; break;
        default: untouched = a.out_handle == sentinel_handle(); break;
      }
      if (!untouched) failures.push_back(std::string(p.name) + " was written by a call that failed");
      continue;
    }
    switch (p.kind) {
      case Kind::OutBuffer:
        if (is_sentinel(a.buffer)) {
          failures.push_back(std::string(p.name) + " was not written");
          break;
        }
        if (listed) {
          if (std::string d = compare_buffer(want, a.buffer.data, a.buffer.len); !d.empty()) failures.push_back(std::string(p.name) + ": " + d);
        }
        vesk_buffer_free(&a.buffer);
        break;
      case Kind::OutU64:
        if (listed && a.out_u64 != parse_u64(want, p.name))
          failures.push_back(std::string(p.name) + " = " + std::to_string(a.out_u64) + ", expected " + want.dump());
        break;
      case Kind::OutI32:
        if (listed && a.out_i32 != want.get<std::int64_t>())
          failures.push_back(std::string(p.name) + " = " + std::to_string(a.out_i32) + ", expected " + want.dump());
        break;
      case Kind::OutSecretKey:
      case Kind::OutIdentity: {
        if (a.out_handle == sentinel_handle() || a.out_handle == nullptr) {
          failures.push_back(std::string(p.name) + " holds no handle");
          break;
        }
        VeskBuffer pub = vesk_buffer_empty();
        const bool key = p.kind == Kind::OutSecretKey;
        const VeskStatus s = key ? vesk_secret_key_public(static_cast<VeskSecretKeyHandle*>(a.out_handle), &pub)
                                 : vesk_signing_identity_public(static_cast<VeskSigningIdentityHandle*>(a.out_handle), &pub);
        if (s != VESK_OK) {
          failures.push_back(std::string(p.name) + ": reading its public key gave " + status_name(s));
        } else if (listed) {
          const Json& value = want[key ? "secret_key_public" : "signing_identity_public"];
          if (std::string d = compare_buffer(value, pub.data, pub.len); !d.empty()) failures.push_back(std::string(p.name) + "'s public key: " + d);
        }
        vesk_buffer_free(&pub);
        if (key)
          vesk_secret_key_free(static_cast<VeskSecretKeyHandle*>(a.out_handle));
        else
          vesk_signing_identity_free(static_cast<VeskSigningIdentityHandle*>(a.out_handle));
        break;
      }
      default: break;
    }
  }
  return failures;
}

struct Tally {
  std::size_t passed = 0, failed = 0;
  std::map<std::string, std::size_t> by_status;
};

void run_file(const fs::path& path, Tally& tally) {
  const std::string file_name = path.filename().string();
  Json file;
  try {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot be read");
    file = Json::parse(in);
  } catch (const std::exception& e) {
    std::printf("REFUSED %s: not JSON: %s\n", file_name.c_str(), e.what());
    ++tally.failed;
    return;
  }
  const Export* ex = nullptr;
  std::vector<std::string> errors;
  const std::vector<Case> cases = check_file(file, file_name, ex, errors);
  if (!errors.empty()) {
    for (const std::string& e : errors) std::printf("REFUSED %s\n", e.c_str());
    std::printf("REFUSED %s: the file does not follow the corpus schema; none of its cases was run\n", file_name.c_str());
    ++tally.failed;
    return;
  }
  Handles opened;
  std::size_t passed = 0;
  const CppCall& cpp = cpp_layer().at(file["export"].get<std::string>());
  for (const Case& c : cases) {
    std::vector<std::string> failures;
    // Each layer runs the whole case, with handles of its own for the steps it shares.
    for (const CppCall* layer : {static_cast<const CppCall*>(nullptr), &cpp}) {
      const std::string through = layer == nullptr ? "" : "through vesk.hpp: ";
      try {
        Named named;
        for (const auto& [hn, spec] : c.handles.items()) named[hn] = opened.open(spec);
        for (std::size_t i = 0; i < c.calls.size(); ++i) {
          for (const std::string& f : run_call(*ex, layer, c.calls[i], opened, named))
            failures.push_back(through + (c.calls.size() > 1 ? "step " + std::to_string(i + 1) + ": " + f : f));
          if (layer == nullptr) tally.by_status[status_name(c.calls[i].status)]++;
        }
      } catch (const std::exception& e) {
        failures.push_back(through + e.what());
      }
    }
    if (failures.empty()) {
      ++passed;
      ++tally.passed;
    } else {
      ++tally.failed;
      for (const std::string& f : failures) std::printf("FAILED %s: case '%s': %s\n", file_name.c_str(), c.name.c_str(), f.c_str());
    }
  }
  std::printf("%-40s %4zu of %zu cases passed\n", file_name.c_str(), passed, cases.size());
}

int check_references(const fs::path& docs, const fs::path& vectors) {
  static const std::regex ref(R"(vectors/([a-z0-9_]+)\.json#([a-z0-9.-]*[a-z0-9]))");
  std::map<std::string, std::set<std::string>> names;
  std::size_t refs = 0, missing = 0;
  std::vector<fs::path> pages;
  for (const auto& e : fs::directory_iterator(docs))
    if (e.path().extension() == ".md") pages.push_back(e.path());
  std::sort(pages.begin(), pages.end());
  for (const fs::path& page : pages) {
    std::ifstream in(page);
    std::stringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    for (auto it = std::sregex_iterator(s.begin(), s.end(), ref); it != std::sregex_iterator(); ++it) {
      ++refs;
      const std::string file = (*it)[1], kase = (*it)[2];
      if (!names.count(file)) {
        auto& set = names[file];
        std::ifstream vin(vectors / (file + ".json"));
        if (vin) {
          const Json j = Json::parse(vin);
          for (const Json& c : j.at("cases")) set.insert(c.at("name").get<std::string>());
        }
      }
      if (!names[file].count(kase)) {
        ++missing;
        std::printf("MISSING %s names vectors/%s.json#%s, which the corpus does not hold\n", page.filename().c_str(), file.c_str(), kase.c_str());
      }
    }
  }
  std::printf("%zu references in %zu pages, %zu missing\n", refs, pages.size(), missing);
  return refs > 0 && missing == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--references") return check_references(argv[2], argv[3]);
  if (argc < 2) {
    std::fprintf(stderr, "usage: run_corpus FILE_OR_DIR... | run_corpus --references DOCS_DIR VECTORS_DIR\n");
    return 2;
  }
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    const fs::path p = argv[i];
    if (fs::is_directory(p)) {
      std::vector<fs::path> found;
      for (const auto& e : fs::directory_iterator(p))
        if (e.path().extension() == ".json") found.push_back(e.path());
      std::sort(found.begin(), found.end());
      files.insert(files.end(), found.begin(), found.end());
    } else {
      files.push_back(p);
    }
  }
  Tally tally;
  if (files.empty()) {
    std::printf("REFUSED: no corpus file given\n");
    ++tally.failed;
  }
  for (const fs::path& f : files) run_file(f, tally);
  for (const auto& [status, n] : tally.by_status) std::printf("  %-28s %5zu calls\n", status.c_str(), n);
  std::printf("%zu passed, %zu failed\n", tally.passed, tally.failed);
  return tally.failed == 0 ? 0 : 1;
}
