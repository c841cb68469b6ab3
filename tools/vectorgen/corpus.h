// The corpus generator's common parts: the JSON value forms of the corpus, one file of cases, the
// fixed fixtures (seeds, identities, cheap key files that open the recipient seeds), and the
// deterministic randomness that stands in for the system source while the generator runs.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/crypto/hash.h"
#include "core/crypto/xwing.h"
#include "sign/hybrid.h"
#include "support/bytes.h"
#include "support/key_file_writer.h"

namespace vesk::vectorgen {

using testing::ByteVec;
using Json = nlohmann::ordered_json;

// ---- statuses ----------------------------------------------------------------------------------

// The status names the cases expect.
inline constexpr const char* kOk = "VESK_OK";
inline constexpr const char* kInvalid = "VESK_INVALID_ARGUMENT";
inline constexpr const char* kWrong = "VESK_WRONG_PASSPHRASE";
inline constexpr const char* kNotKeyFile = "VESK_NOT_KEY_FILE";
inline constexpr const char* kAuth = "VESK_AUTHENTICATION_FAILED";
inline constexpr const char* kNoMatch = "VESK_NO_MATCHING_RECIPIENT";
inline constexpr const char* kMalformed = "VESK_MALFORMED_INPUT";
inline constexpr const char* kExpired = "VESK_CHALLENGE_EXPIRED";
inline constexpr const char* kReplayed = "VESK_CHALLENGE_REPLAYED";
inline constexpr std::uint64_t kMax = UINT64_MAX;

// ---- value forms -----------------------------------------------------------------------------

// Outputs above this many bytes are given as {"sha256", "len"}; inputs are always full hex.
inline constexpr std::size_t kLargeOutput = 4096;

Json hex(Bytes b);
Json text(std::string_view s);
Json u64(std::uint64_t v);
// An output value: full hex up to kLargeOutput bytes, else its SHA-256 and length.
Json out_bytes(Bytes b);
// What an export that failed released: nothing.
Json released_nothing();

// ---- handles ---------------------------------------------------------------------------------

Json secret_key_from(Bytes data, std::optional<std::string> passphrase = std::nullopt);
Json identity_from(Bytes data, std::optional<std::string> passphrase = std::nullopt);
Json spent_nonces();
Json named_handle(std::string_view name);

// ---- one file --------------------------------------------------------------------------------

class CorpusFile {
 public:
  explicit CorpusFile(std::string export_name) : export_(std::move(export_name)) {}
  const std::string& export_name() const { return export_; }
  // A case of one call. `outputs` is keyed by out-parameter names.
  void add(const std::string& name, const std::string& description, Json inputs, const std::string& status,
           Json outputs = Json::object());
  // A case of several calls sharing the named handles.
  struct Step {
    Json inputs;
    std::string status;
    Json outputs = Json::object();
  };
  void add_steps(const std::string& name, const std::string& description, Json handles, const std::vector<Step>& steps);
  std::size_t size() const { return cases_.size(); }
  // The whole file, in its fixed layout.
  std::string render(const std::string& version) const;

 private:
  void check_name(const std::string& name);
  std::string export_;
  std::vector<Json> cases_;
  std::set<std::string> names_;
};

// Adds the file of one export, its cases written by `cases`.
void add_file(std::vector<CorpusFile>& files, std::string export_name, const std::function<void(CorpusFile&)>& cases);

// ---- randomness --------------------------------------------------------------------------------

// Installed as the library's randomness source for the whole run. Each case starts it afresh from
// a label of its own (reseed), so a case's bytes depend on nothing but its label and a case added
// later changes no other. The bytes are SHAKE256(label || counter), counter counting the draws.
class DeterministicRandom {
 public:
  DeterministicRandom();
  ~DeterministicRandom();
  void reseed(std::string_view label);

 private:
  static int fill(void* self, MutBytes out);
  std::string label_;
  std::uint64_t counter_ = 0;
};

// ---- fixtures ----------------------------------------------------------------------------------

ByteVec repeat_byte(std::uint8_t b, std::size_t n);
ByteVec counting(std::uint8_t from, std::size_t n);  // from, from + 1, ...
ByteVec concat(std::initializer_list<Bytes> parts);
ByteVec text_bytes(std::string_view s);

// Recipient seeds R1 = 00..1f, R2 = 20..3f; the public key of any recipient seed.
ByteVec r1_seed();
ByteVec r2_seed();
ByteVec recipient_public(Bytes seed);
// The recipient seed an identity seed yields.
ByteVec derived_recipient_seed(Bytes identity_seed);

// The named identities: laptop 11, phone 22, tablet 33, recovery 99, log 77, witness 88.
const sign::SigningIdentity& identity(const std::string& name);
ByteVec identity_seed(const std::string& name);
ByteVec verifying_key(const std::string& name);
crypto::Digest32 device_id(const std::string& name);

// Key files, composed field by field from the documented layout with the primitives, at the
// corpus's own salt and nonce.
struct KeyFileSpec : testing::KeyFileLayout {
  KeyFileSpec() : KeyFileLayout{.salt = counting(0x40, 16), .nonce = counting(0x60, 12)} {}
};
using testing::compose_key_file;
// The fixed passphrase and the cheap key files (8192 KiB, 1 pass) through which the corpus opens
// a handle on a bare recipient seed: secret_key_open takes 32 bare bytes as an identity seed.
inline constexpr const char* kPassphrase = "correct horse";
Json recipient_handle(Bytes recipient_seed);

// Writes every file into `dir`; returns the number of cases per export.
using Generator = void (*)(std::vector<CorpusFile>& files);
void generate_keys(std::vector<CorpusFile>& files);
void generate_containers(std::vector<CorpusFile>& files);
void generate_signatures(std::vector<CorpusFile>& files);
void generate_identity(std::vector<CorpusFile>& files);
void generate_transparency(std::vector<CorpusFile>& files);

// The process-wide randomness, reseeded by the generators before each value they draw.
DeterministicRandom& randomness();

}  // namespace vesk::vectorgen
