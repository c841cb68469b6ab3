#include "keys.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <functional>
#include <string_view>

#include "passphrase.h"
#include "records.h"
#include "textform.h"

namespace cli {

namespace {

// Key texts are small; anything larger is not one.
constexpr std::size_t kKeyTextCap = 64 * 1024;
constexpr std::size_t kRecipientsFileCap = 1024 * 1024;
// The key file layouts: version byte, the Argon2id parameters after it (lanes, then memory in
// KiB and passes, big-endian), and where version 2 keeps the kind of secret.
constexpr std::size_t kKeyFileVersionAt = 8;
constexpr std::size_t kKeyFileLanesAt = 9;
constexpr std::size_t kKeyFileMemoryAt = 10;
constexpr std::size_t kKeyFilePassesAt = 14;
constexpr std::size_t kKeyFileV1Len = 94;
constexpr std::size_t kKeyFileKindAt = 46;
constexpr std::uint8_t kKindIdentity = 1, kKindRecipient = 2;
// "VESK" CR LF 0x1a LF: the first bytes of every encrypted file.
constexpr std::uint8_t kContainerMagic[8] = {0x56, 0x45, 0x53, 0x4b, 0x0d, 0x0a, 0x1a, 0x0a};

constexpr std::string_view kWhitespace = " \t\r\n";

std::string_view as_text(ByteView data) { return {reinterpret_cast<const char*>(data.data()), data.size()}; }

std::string_view trimmed(std::string_view s) {
  const auto b = s.find_first_not_of(kWhitespace);
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(kWhitespace) - b + 1);
}

bool is_key_file(ByteView data) {
  std::int32_t yes = 0;
  return data.size() <= VESK_MAX_KEY_DATA && vesk_inspect_key(data.data(), data.size(), &yes) == VESK_OK && yes == 1;
}

Kind key_file_kind(ByteView data) {
  if (data.size() == kKeyFileV1Len && data[kKeyFileVersionAt] == 1) return Kind::kRecipientKeyFile;
  if (data.size() == VESK_KEY_FILE_LEN && data[kKeyFileVersionAt] == 2) {
    if (data[kKeyFileKindAt] == kKindIdentity) return Kind::kIdentityKeyFile;
    if (data[kKeyFileKindAt] == kKindRecipient) return Kind::kRecipientKeyFile;
  }
  return Kind::kOtherKeyFile;
}

std::uint32_t be32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// A whole number of at least 1 that fits in 32 bits, and nothing else.
std::optional<std::uint32_t> count(std::string_view text) {
  std::uint32_t value = 0;
  const auto [end, err] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (err != std::errc() || end != text.data() + text.size() || text.empty() || value == 0) return std::nullopt;
  return value;
}

// Refuses a key file whose key derivation would cost more than `cap`, naming what it asks for.
void check_work(const std::string& name, const KeyFileWork& work, const WorkCap& cap) {
  const std::uint64_t cap_kib = std::uint64_t{cap.memory_mib} * 1024;
  if (work.memory_kib <= cap_kib && work.passes <= cap.passes) return;
  // The smallest cap that lets this file through, keeping the default passes when they suffice.
  const std::uint64_t mib = std::max<std::uint64_t>((std::uint64_t{work.memory_kib} + 1023) / 1024, cap.memory_mib);
  const std::uint32_t passes = std::max(work.passes, cap.passes);
  std::string allow = std::to_string(mib);
  if (passes != WorkCap::kDefaultPasses) allow.append(",").append(std::to_string(passes));
  fail(kExitRefused, name + " asks for more key-derivation work than allowed: Argon2id with " +
                         memory_text(work.memory_kib) + " of memory, " + counted(work.passes, "pass", "passes") +
                         " and " + counted(work.lanes, "lane", "lanes") + ", over the cap of " + memory_text(cap_kib) +
                         " and " + counted(cap.passes, "pass", "passes") +
                         "; if you trust this file, allow it with --max-work " + allow);
}

// The armored public key in `text`, or the library's status for why it is not one.
VeskStatus dearmor(const std::string& text, OwnedBytes& key) {
  if (text.find('\0') != std::string::npos) return VESK_INVALID_ARGUMENT;
  vesk::Buffer out;
  const VeskStatus s = vesk_public_key_dearmor(text.c_str(), out.out());
  if (s == VESK_OK) key.assign(out.data(), out.data() + out.size());
  return s;
}

bool is_public_key(ByteView data) {
  OwnedBytes key;
  return data.size() <= kKeyTextCap && dearmor(std::string(as_text(data)), key) == VESK_OK;
}

std::optional<OwnedBytes> verifying_key_base64(ByteView data) {
  if (data.size() > kKeyTextCap) return std::nullopt;
  auto key = from_base64(trimmed(as_text(data)));
  if (!key || key->size() != VESK_VERIFYING_KEY_LEN) return std::nullopt;
  return key;
}

bool names_a_file(const std::string& arg) {
  struct stat st {};
  return arg == "-" || ::stat(arg.c_str(), &st) == 0;
}

// Reads the key file at `path` and hands its bytes, with a passphrase when it is protected, to
// `open`; kinds that `accept` refuses are named and refused before any passphrase is asked for.
void open_key_data(const Args& args, const std::string& path, const WorkCap& cap, const std::function<bool(Kind)>& accept,
                   const std::string& wanted, const std::string& instead,
                   const std::function<VeskStatus(ByteView, const char*)>& open) {
  const Input in = Input::open(path, VESK_MAX_KEY_DATA, "a key file");
  const Identified found = identify(in.bytes());
  if (!accept(found.kind)) refuse_kind(in.name(), found.kind, wanted, instead);
  if (const auto work = key_file_work(in.bytes())) check_work(in.name(), *work, cap);
  const bool protected_file = found.kind != Kind::kIdentitySeed;
  const VeskStatus s = protected_file ? try_passphrase(args, in.name(), [&](const char* p) { return open(in.bytes(), p); })
                                      : open(in.bytes(), nullptr);
  if (s != VESK_OK)
    fail_status("opening " + in.name(), s,
                {{VESK_NOT_KEY_FILE, "a key file of a version this vesk does not read"},
                 {VESK_MALFORMED_INPUT, "a damaged key file (its layout or its key-derivation parameters)"}});
}

}  // namespace

std::optional<KeyFileWork> key_file_work(ByteView data) {
  const Kind kind = is_key_file(data) ? key_file_kind(data) : Kind::kUnknown;
  if (kind != Kind::kRecipientKeyFile && kind != Kind::kIdentityKeyFile) return std::nullopt;
  return KeyFileWork{.memory_kib = be32(data.data() + kKeyFileMemoryAt),
                     .passes = be32(data.data() + kKeyFilePassesAt),
                     .lanes = data[kKeyFileLanesAt]};
}

std::string memory_text(std::uint64_t kib) {
  return kib % 1024 == 0 ? std::to_string(kib / 1024) + " MiB" : std::to_string(kib) + " KiB";
}

WorkCap work_cap(const Args& args) {
  WorkCap cap;
  const auto given = args.value("--max-work");
  if (!given) return cap;
  const std::string_view text = *given;
  const std::size_t comma = text.find(',');
  const auto memory = count(text.substr(0, comma));
  const auto passes = comma == std::string_view::npos ? std::optional(cap.passes) : count(text.substr(comma + 1));
  if (!memory || !passes)
    fail_usage("--max-work takes MIB or MIB,PASSES (whole numbers from 1), not \"" + *given + "\"");
  cap.memory_mib = *memory;
  cap.passes = *passes;
  return cap;
}

Identified identify(ByteView data) {
  const std::size_t n = data.size();
  if (is_key_file(data)) return {key_file_kind(data)};
  if (n >= sizeof kContainerMagic && std::memcmp(data.data(), kContainerMagic, sizeof kContainerMagic) == 0)
    return {Kind::kEncryptedFile};
  if (auto form = text_form_of(data))
    return {*form == TextForm::kSignature ? Kind::kSignature : Kind::kEncryptedFile, true};
  if (is_public_key(data)) return {Kind::kPublicKey, true};
  if (outline_log(data) && n > 1) return {Kind::kIdentityLog};
  if (outline_chain(data)) return {Kind::kEpochChain};
  if (outline_checkpoint(data)) return {Kind::kCheckpoint, true};
  if (n == VESK_RECOVERY_BINDING_LEN) return {Kind::kRecoveryBinding};
  if (n == VESK_EPOCH_BINDING_LEN) return {Kind::kEpochBinding};
  if (n == VESK_VERIFYING_KEY_LEN) return {Kind::kVerifyingKey};
  if (verifying_key_base64(data)) return {Kind::kVerifyingKey, true};
  if (n == VESK_SIGNATURE_LEN) return {Kind::kSignature};
  if (n == VESK_SECRET_SEED_LEN) return {Kind::kIdentitySeed};
  return {Kind::kUnknown};
}

const char* noun(Kind kind) {
  switch (kind) {
    case Kind::kRecipientKeyFile: return "a recipient secret key file";
    case Kind::kIdentityKeyFile: return "an identity key file";
    case Kind::kOtherKeyFile: return "a key file";
    case Kind::kIdentitySeed: return "32 bytes that open as a bare identity seed";
    case Kind::kPublicKey: return "a recipient public key";
    case Kind::kVerifyingKey: return "a verifying key";
    case Kind::kSignature: return "a signature";
    case Kind::kEncryptedFile: return "an encrypted file";
    case Kind::kIdentityLog: return "an identity log";
    case Kind::kRecoveryBinding: return "a recovery binding";
    case Kind::kEpochChain: return "an epoch chain";
    case Kind::kEpochBinding: return "an epoch binding";
    case Kind::kCheckpoint: return "a checkpoint";
    case Kind::kUnknown: break;
  }
  return "not a vesk file";
}

void refuse_kind(const std::string& name, Kind found, const std::string& wanted, const std::string& instead) {
  const std::string is = found == Kind::kUnknown ? "" : std::string(noun(found)) + ", ";
  fail(kExitRefused, name + " is " + is + "not " + wanted + "; " + instead);
}

void Recipients::add_argument(const std::string& arg) {
  static const std::string kWanted = "a recipient public key";
  if (names_a_file(arg)) {
    const Input in = Input::open(arg, kKeyTextCap, "a recipient public key");
    const Identified found = identify(in.bytes());
    if (found.kind == Kind::kRecipientKeyFile || found.kind == Kind::kIdentityKeyFile || found.kind == Kind::kIdentitySeed)
      refuse_kind(in.name(), found.kind, kWanted, "give its public key: vesk pubkey " + arg);
    if (found.kind != Kind::kPublicKey)
      refuse_kind(in.name(), found.kind, kWanted, "give the armored key that vesk keygen or vesk pubkey wrote");
    add_text(std::string(as_text(in.bytes())), in.name());
    return;
  }
  const std::string shown = arg.size() > 40 ? arg.substr(0, 37) + "..." : arg;
  if (!is_public_key({reinterpret_cast<const std::uint8_t*>(arg.data()), arg.size()}))
    fail(kExitFile, "recipient \"" + shown + "\" is neither a readable file nor an armored public key; give a file "
                    "that vesk keygen or vesk pubkey wrote, or its text");
  add_text(arg, "the recipient given as text");
}

void Recipients::add_file(const std::string& path) {
  const Input in = Input::open(path, kRecipientsFileCap, "a recipients file");
  const Identified found = identify(in.bytes());
  if (found.kind != Kind::kPublicKey && found.kind != Kind::kUnknown)
    refuse_kind(in.name(), found.kind, "a recipients file", "list armored public keys in it, one after another");
  const std::string_view text = as_text(in.bytes());
  if (text.find('\0') != std::string_view::npos) refuse_kind(in.name(), Kind::kUnknown, "a recipients file", "list armored public keys in a text file");

  // One key after another: each label line begins a key, and so does the first line after a
  // blank one (for keys without their label). Comment lines are left out wherever they stand;
  // space around a line is not part of it.
  static constexpr std::string_view kLabel = "vesk-public-key:";
  std::string block;
  std::size_t line_no = 0, block_line = 0, added = 0;
  auto finish_block = [&] {
    if (block.empty()) return;
    add_text(block, in.name() + " line " + std::to_string(block_line));
    block.clear();
    ++added;
  };
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t nl = std::min(text.find('\n', pos), text.size());
    const std::string_view line = text.substr(pos, nl - pos);
    pos = nl + 1;
    ++line_no;
    const std::string_view t = trimmed(line);
    if (!t.empty() && t[0] == '#') continue;
    if (t.empty() || t.rfind(kLabel, 0) == 0) finish_block();
    if (t.empty()) continue;
    if (block.empty()) block_line = line_no;
    block.append(t).push_back('\n');
  }
  finish_block();
  if (added == 0) fail(kExitRefused, in.name() + " holds no recipient keys");
}

void Recipients::add_text(const std::string& text, const std::string& source) {
  OwnedBytes key;
  const VeskStatus s = dearmor(text, key);
  if (s != VESK_OK) {
    const Identified found = identify({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    if (found.kind != Kind::kUnknown && found.kind != Kind::kPublicKey)
      refuse_kind(source, found.kind, "a recipient public key", "give the armored key that vesk keygen or vesk pubkey wrote");
    fail(kExitRefused, source + ": not an armored public key (" +
                           (s == VESK_MALFORMED_INPUT ? "its Base64 is damaged" : "it does not hold one key") + ")");
  }
  for (std::size_t i = 0; i < sources_.size(); ++i) {
    if (std::equal(key.begin(), key.end(), keys_.begin() + static_cast<std::ptrdiff_t>(i * VESK_PUBLIC_KEY_LEN))) {
      note((source == sources_[i] ? source + " is given more than once"
                                  : source + " is the same recipient as " + sources_[i]) +
           "; it is encrypted to once");
      return;
    }
  }
  if (sources_.size() == VESK_MAX_RECIPIENTS)
    fail_usage("more than " + std::to_string(VESK_MAX_RECIPIENTS) + " recipients");
  keys_.insert(keys_.end(), key.begin(), key.end());
  sources_.push_back(source);
}

OwnedBytes load_verifying_key(const std::string& arg) {
  if (!names_a_file(arg)) {
    if (auto key = verifying_key_base64({reinterpret_cast<const std::uint8_t*>(arg.data()), arg.size()})) return *key;
    const std::string shown = arg.size() > 40 ? arg.substr(0, 37) + "..." : arg;
    fail(kExitFile, "\"" + shown + "\" is neither a readable file nor the Base64 of a verifying key");
  }
  return verifying_key_in(Input::open(arg, kKeyTextCap, "a verifying key"));
}

OwnedBytes verifying_key_in(const Input& in) {
  const Identified found = identify(in.bytes());
  if (found.kind != Kind::kVerifyingKey)
    refuse_kind(in.name(), found.kind, "a verifying key",
                "give the verifying key that vesk identity new printed (Base64) or its raw bytes");
  if (found.text) return *verifying_key_base64(in.bytes());
  return OwnedBytes(in.bytes().begin(), in.bytes().end());
}

vesk::SecretKey open_secret_key(const Args& args, const std::string& path, const WorkCap& cap) {
  VeskSecretKeyHandle* handle = nullptr;
  open_key_data(
      args, path, cap,
      [](Kind k) {
        return k == Kind::kRecipientKeyFile || k == Kind::kIdentityKeyFile || k == Kind::kOtherKeyFile ||
               k == Kind::kIdentitySeed;
      },
      "a secret key", "give the key file that vesk keygen or vesk identity new wrote",
      [&](ByteView data, const char* p) { return vesk_secret_key_open(data.data(), data.size(), p, &handle); });
  return vesk::SecretKey(handle);
}

vesk::SigningIdentity open_signing_identity(const Args& args, const std::string& path, const WorkCap& cap) {
  VeskSigningIdentityHandle* handle = nullptr;
  open_key_data(
      args, path, cap,
      [](Kind k) { return k == Kind::kIdentityKeyFile || k == Kind::kOtherKeyFile || k == Kind::kIdentitySeed; },
      "a signing identity", "sign with the identity key file that vesk identity new wrote",
      [&](ByteView data, const char* p) { return vesk_signing_identity_open(data.data(), data.size(), p, &handle); });
  return vesk::SigningIdentity(handle);
}

}  // namespace cli
