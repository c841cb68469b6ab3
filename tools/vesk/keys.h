// What a file holds, and the keys commands take: recipients (armored public keys, one per -r or
// several in a recipients file), verifying keys, and secret keys opened with their passphrase.
// A key of the wrong kind is refused with a message that names what it is and what to give.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli.h"
#include "files.h"

namespace cli {

enum class Kind {
  kRecipientKeyFile,  // a key file holding a recipient secret key
  kIdentityKeyFile,   // a key file holding an identity seed
  kOtherKeyFile,      // the key-file magic, but a version or layout this tool does not know
  kIdentitySeed,      // 32 bytes: a bare identity seed
  kPublicKey,         // an armored recipient public key
  kVerifyingKey,      // raw, or its Base64 as `vesk identity new` prints it
  kSignature,         // raw (told by its size only), or its text form
  kEncryptedFile,     // binary, or its text form
  kIdentityLog,       // what the library verifies: identity logs, their recovery bindings,
  kRecoveryBinding,   // epoch chains, epoch bindings and checkpoints (told by their structure
  kEpochChain,        // or size only: inspect verifies nothing)
  kEpochBinding,
  kCheckpoint,
  kUnknown,
};

struct Identified {
  Kind kind = Kind::kUnknown;
  bool text = false;  // a text form (or Base64) rather than the raw bytes
};

// Tells the kinds apart by content: magic numbers, text-form labels, the armor, sizes.
Identified identify(ByteView data);
// "a recipient secret key file", "an encrypted file", ... ("not a vesk file" for kUnknown).
const char* noun(Kind kind);
// Refuses `name` (exit code 3): "<name> is <what it is>, not <wanted>; <instead>".
[[noreturn]] void refuse_kind(const std::string& name, Kind found, const std::string& wanted, const std::string& instead);

// The recipients of `vesk encrypt`, in order, each once.
class Recipients {
 public:
  // -r: a file holding one armored public key, or the armored text itself.
  void add_argument(const std::string& arg);
  // -R: a file of armored public keys one after another (cat a.pub b.pub makes one), with or
  // without blank lines between them, and # comment lines anywhere.
  void add_file(const std::string& path);
  ByteView keys() const { return keys_; }
  std::size_t count() const { return sources_.size(); }
  ByteView key(std::size_t i) const { return keys().subspan(i * VESK_PUBLIC_KEY_LEN, VESK_PUBLIC_KEY_LEN); }
  // Where the i-th key came from: a file name, "FILE line N", or "the recipient given as text".
  const std::string& source(std::size_t i) const { return sources_[i]; }

 private:
  void add_text(const std::string& text, const std::string& source);
  OwnedBytes keys_;
  std::vector<std::string> sources_;
};

// A verifying key given as a file (its raw bytes or their Base64) or as the Base64 text itself.
OwnedBytes load_verifying_key(const std::string& arg);
// The verifying key an input holds; anything else is refused by what it is.
OwnedBytes verifying_key_in(const Input& in);

// The Argon2id work a key file asks for before it opens, as its clear header states it.
struct KeyFileWork {
  std::uint32_t memory_kib;
  std::uint32_t passes;
  std::uint32_t lanes;
};
// The work of a recipient or identity key file (a layout this tool knows); nullopt for anything
// else, which the library judges alone.
std::optional<KeyFileWork> key_file_work(ByteView data);
// "19456 KiB" as "19 MiB", other amounts in KiB.
std::string memory_text(std::uint64_t kib);

// The most key-derivation work the tool spends on opening a key file: a hostile file may ask
// for up to 256 MiB and 64 passes, which costs seconds per passphrase form tried. Lanes split
// the same memory and are computed in turn, so they add no work and are not capped.
struct WorkCap {
  static constexpr std::uint32_t kDefaultMemoryMib = 64;
  static constexpr std::uint32_t kDefaultPasses = 4;
  std::uint32_t memory_mib = kDefaultMemoryMib;
  std::uint32_t passes = kDefaultPasses;
};
// The cap --max-work MIB[,PASSES] sets (a usage error when malformed), or the default.
WorkCap work_cap(const Args& args);

// Opens the key file (or bare identity seed) at `path`, asking for its passphrase only when it
// is a protected key file. Any key file opens as a secret key (an identity's seed yields one);
// only an identity opens as a signing identity. A key file that asks for more work than `cap`
// is refused before its passphrase is asked for.
vesk::SecretKey open_secret_key(const Args& args, const std::string& path, const WorkCap& cap);
vesk::SigningIdentity open_signing_identity(const Args& args, const std::string& path, const WorkCap& cap);

}  // namespace cli
