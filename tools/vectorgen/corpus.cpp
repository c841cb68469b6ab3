#include "corpus.h"

#include <stdexcept>

#include "core/testing_hooks.h"
#include "keyring/key_file.h"
#include "support/hex.h"

namespace vesk::vectorgen {

Json hex(Bytes b) { return Json{{"hex", testing::to_hex(b)}}; }
Json text(std::string_view s) { return Json{{"text", std::string(s)}}; }

Json u64(std::uint64_t v) {
  if (v < (std::uint64_t{1} << 53)) return Json(v);
  return Json{{"u64", std::to_string(v)}};
}

Json out_bytes(Bytes b) {
  if (b.size() <= kLargeOutput) return hex(b);
  const auto digest = crypto::sha256(b);
  return Json{{"sha256", testing::to_hex(digest)}, {"len", b.size()}};
}

Json released_nothing() {
  return Json{{"sha256", testing::to_hex(crypto::sha256(Bytes{}))}, {"len", 0}};
}

namespace {
Json open_args(Bytes data, const std::optional<std::string>& passphrase) {
  Json args = Json::object();
  args["data"] = hex(data);
  args["passphrase"] = passphrase ? text(*passphrase) : Json(nullptr);
  return args;
}
}  // namespace

Json secret_key_from(Bytes data, std::optional<std::string> passphrase) {
  return Json{{"secret_key_open", open_args(data, passphrase)}};
}
Json identity_from(Bytes data, std::optional<std::string> passphrase) {
  return Json{{"signing_identity_open", open_args(data, passphrase)}};
}
Json spent_nonces() { return Json{{"spent_nonces_new", Json::object()}}; }
Json named_handle(std::string_view name) { return Json{{"handle", std::string(name)}}; }

// ---- files -------------------------------------------------------------------------------------

void CorpusFile::check_name(const std::string& name) {
  if (name.empty()) throw std::logic_error("empty case name in " + export_);
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'))
      throw std::logic_error("case name " + name + " in " + export_ + " has a character outside [a-z0-9.-]");
  if (!names_.insert(name).second) throw std::logic_error("case name " + name + " twice in " + export_);
}

void CorpusFile::add(const std::string& name, const std::string& description, Json inputs, const std::string& status,
                     Json outputs) {
  check_name(name);
  Json c = Json::object();
  c["name"] = name;
  c["description"] = description;
  c["inputs"] = std::move(inputs);
  c["expect"] = Json{{"status", status}, {"outputs", std::move(outputs)}};
  cases_.push_back(std::move(c));
}

void CorpusFile::add_steps(const std::string& name, const std::string& description, Json handles,
                           const std::vector<Step>& steps) {
  check_name(name);
  Json c = Json::object();
  c["name"] = name;
  c["description"] = description;
  c["handles"] = std::move(handles);
  Json list = Json::array();
  for (const Step& s : steps)
    list.push_back(Json{{"inputs", s.inputs}, {"expect", Json{{"status", s.status}, {"outputs", s.outputs}}}});
  c["steps"] = std::move(list);
  cases_.push_back(std::move(c));
}

std::string CorpusFile::render(const std::string& version) const {
  // One case per line keeps the file diffable case by case.
  std::string out = "{\"export\": " + Json(export_).dump() + ", \"version\": " + Json(version).dump() + ", \"cases\": [\n";
  for (std::size_t i = 0; i < cases_.size(); ++i) {
    out += cases_[i].dump(-1, ' ', false, Json::error_handler_t::strict);
    out += i + 1 < cases_.size() ? ",\n" : "\n";
  }
  out += "]}\n";
  return out;
}

void add_file(std::vector<CorpusFile>& files, std::string export_name, const std::function<void(CorpusFile&)>& cases) {
  CorpusFile f(std::move(export_name));
  cases(f);
  files.push_back(std::move(f));
}

// ---- randomness --------------------------------------------------------------------------------

DeterministicRandom::DeterministicRandom() { testing_hooks::set_random_source(&DeterministicRandom::fill, this); }
DeterministicRandom::~DeterministicRandom() { testing_hooks::set_random_source(nullptr); }

void DeterministicRandom::reseed(std::string_view label) {
  label_.assign(label);
  counter_ = 0;
}

int DeterministicRandom::fill(void* self, MutBytes out) {
  auto* r = static_cast<DeterministicRandom*>(self);
  const auto n = be64(r->counter_++);
  crypto::shake256({as_bytes("vesk vectorgen"), as_bytes(r->label_), n}, out);
  return 0;
}

DeterministicRandom& randomness() {
  static DeterministicRandom r;
  return r;
}

// ---- fixtures ----------------------------------------------------------------------------------

ByteVec repeat_byte(std::uint8_t b, std::size_t n) { return ByteVec(n, b); }
ByteVec counting(std::uint8_t from, std::size_t n) {
  ByteVec v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(from + i);
  return v;
}
ByteVec concat(std::initializer_list<Bytes> parts) { return testing::cat(parts); }
ByteVec text_bytes(std::string_view s) { return ByteVec(s.begin(), s.end()); }

ByteVec r1_seed() { return counting(0x00, 32); }
ByteVec r2_seed() { return counting(0x20, 32); }

ByteVec recipient_public(Bytes seed) {
  const auto key = crypto::XWingSecretKey::from_seed(crypto::XWingSeed(seed.data(), 32));
  return ByteVec(key.public_key().begin(), key.public_key().end());
}

ByteVec derived_recipient_seed(Bytes identity_seed) {
  const auto s = keyring::identity_encryption_seed(identity_seed);
  return ByteVec(s.view().begin(), s.view().end());
}

namespace {
const std::map<std::string, std::uint8_t>& identity_bytes() {
  static const std::map<std::string, std::uint8_t> m = {{"laptop", 0x11}, {"phone", 0x22},    {"tablet", 0x33},
                                                        {"recovery", 0x99}, {"log", 0x77}, {"witness", 0x88}};
  return m;
}
}  // namespace

ByteVec identity_seed(const std::string& name) { return repeat_byte(identity_bytes().at(name), 32); }

const sign::SigningIdentity& identity(const std::string& name) {
  static std::map<std::string, std::unique_ptr<sign::SigningIdentity>> cache;
  auto& slot = cache[name];
  if (!slot) slot = sign::SigningIdentity::from_seed(identity_seed(name));
  return *slot;
}

ByteVec verifying_key(const std::string& name) {
  const auto& k = identity(name).verifying_key();
  return ByteVec(k.begin(), k.end());
}

crypto::Digest32 device_id(const std::string& name) {
  return crypto::sha256({as_bytes("VESK/0.6 device id"), identity(name).verifying_key()});
}

Json recipient_handle(Bytes recipient_seed) {
  return secret_key_from(compose_key_file(KeyFileSpec{}, as_bytes(kPassphrase), recipient_seed), std::string(kPassphrase));
}

}  // namespace vesk::vectorgen
