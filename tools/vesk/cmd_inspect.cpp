// vesk inspect: says what a file is, as far as can be told without a key or passphrase.
#include <cstdio>
#include <string>

#include "cli.h"
#include "commands.h"
#include "files.h"
#include "keys.h"
#include "records.h"
#include "textform.h"

namespace {

// The fixed start of an encrypted file: magic, 0, format version, 1, signed flag, header length.
constexpr std::size_t kPreludeLen = 16;
constexpr std::uint32_t kLargestHeader = 1048576;

std::uint32_t be32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

std::string describe_encrypted(const cli::FormInput& in) {
  const cli::ByteView b = in.bytes();
  const std::string form = in.was_text() ? "an encrypted file in the text form" : "an encrypted file";
  const std::uint8_t version = b.size() >= kPreludeLen ? b[9] : 0;
  const std::uint8_t signed_flag = b.size() >= kPreludeLen ? b[11] : 0;
  const std::uint32_t header = b.size() >= kPreludeLen ? be32(b.data() + 12) : 0;
  const bool sound = b.size() >= kPreludeLen && b[8] == 0 && b[10] == 1 && (version == 1 || version == 2) &&
                     signed_flag <= (version == 1 ? 1 : 0) && header >= 1 && header <= kLargestHeader &&
                     kPreludeLen + header <= b.size();
  if (!sound) cli::fail(cli::kExitRefused, in.name() + ": " + form + ", but its prelude is damaged");
  return form + ", format " + (version == 1 ? "1.0" : "0.5") + ", " + std::to_string(b.size()) + " bytes" +
         (in.was_text() ? " once decoded" : "") + " with a header block of " + std::to_string(header) + " bytes, " +
         (version == 2 || signed_flag == 1 ? "signed by its sender" : "not signed") +
         "; the recipients and the name are seen only when decrypting";
}

std::string describe_signature(const cli::FormInput& in) {
  if (in.bytes().size() != VESK_SIGNATURE_LEN)
    cli::fail(cli::kExitRefused, in.name() + ": a signature text form that holds " + std::to_string(in.bytes().size()) +
                                     " bytes, not a signature");
  return in.was_text() ? "a signature in the text form" : "a signature (told by its size alone)";
}

// A verifying key decodes when checking any signature with it gets as far as the signature; a
// key that does not decode is refused first.
bool decodes(const cli::OwnedBytes& key) {
  static const std::uint8_t zeros[VESK_SIGNATURE_LEN] = {};
  return vesk_verify_message(key.data(), key.size(), nullptr, 0, nullptr, 0, zeros, sizeof zeros) != VESK_NOT_KEY_FILE;
}

std::string describe_key_file(cli::ByteView b, cli::Kind kind) {
  if (kind == cli::Kind::kOtherKeyFile)
    return "a vesk key file of a version or layout this vesk does not read (version byte " +
           (b.size() > 8 ? std::to_string(b[8]) : std::string("missing")) + ", " + std::to_string(b.size()) + " bytes)";
  const cli::KeyFileWork work = *cli::key_file_work(b);
  const std::string params = "Argon2id " + std::to_string(work.memory_kib) + " KiB, " +
                             cli::counted(work.passes, "pass", "passes") + ", " + cli::counted(work.lanes, "lane", "lanes");
  return std::string("a vesk key file, version ") + std::to_string(b[8]) + ", holding " +
         (kind == cli::Kind::kIdentityKeyFile ? "an identity (it signs and decrypts)" : "a recipient secret key") + " (" +
         params + "); opening it needs its passphrase";
}

constexpr char kUnchecked[] = " (as it states; nothing is verified here)";

std::string hex_of(cli::ByteView b) { return cli::to_hex(b); }

std::uint64_t be64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = v << 8 | p[i];
  return v;
}

std::string describe_log(cli::ByteView b) {
  const cli::LogOutline log = *cli::outline_log(b);
  if (log.entries == 0) return std::string("an empty identity log") + kUnchecked;
  return "an identity log of " + cli::counted(log.entries, "entry", "entries") + ", identity id " +
         hex_of(log.first_link) + ", head " + hex_of(log.last_link) + kUnchecked +
         "; vesk identity verify checks it";
}

std::string describe_chain(cli::ByteView b) {
  const cli::ChainOutline chain = *cli::outline_chain(b);
  if (chain.epochs == 0) return std::string("an empty epoch chain") + kUnchecked;
  return "an epoch chain of " + cli::counted(chain.epochs, "epoch", "epochs") + ", head " + hex_of(chain.head) +
         kUnchecked + "; vesk epoch key checks it";
}

std::string describe_recovery_binding(cli::ByteView b) {
  return "a recovery binding for identity " + hex_of(b.first(VESK_HASH_LEN)) + kUnchecked +
         "; vesk identity verify --binding checks it";
}

std::string describe_epoch_binding(cli::ByteView b) {
  // identity id, log link, chain head, epoch count, signer's device id, signature
  return "an epoch binding of identity " + hex_of(b.first(32)) + " to " + cli::counted(be64(b.data() + 96), "epoch", "epochs") +
         " with chain head " + hex_of(b.subspan(64, 32)) + ", signed by device " + hex_of(b.subspan(104, 32)) +
         kUnchecked + "; vesk epoch key --binding checks it";
}

std::string describe_checkpoint(cli::ByteView b) {
  const cli::CheckpointOutline cp = *cli::outline_checkpoint(b);
  std::string signers;
  for (const std::string& s : cp.signers) signers += (signers.empty() ? "" : ", ") + s;
  return "a checkpoint of " + cp.origin + ", tree size " + cp.tree_size + ", with signature lines by " + signers +
         kUnchecked + "; vesk checkpoint verify checks it";
}

int run(cli::Args& args) {
  args.parse({});
  if (args.positional().size() != 1) cli::fail_usage("takes one FILE");
  const std::string& path = args.positional()[0];
  cli::Input raw = cli::Input::open(path, cli::text_form_cap(VESK_MAX_CONTAINER), "a file to inspect");
  const std::string name = raw.name();
  cli::check_text_form_start(raw.bytes(), name);
  const cli::Identified what = cli::identify(raw.bytes());
  std::string text;
  switch (what.kind) {
    case cli::Kind::kEncryptedFile:
      text = describe_encrypted(
          cli::FormInput::from(std::move(raw), cli::TextForm::kEncryptedFile, VESK_MAX_CONTAINER, "an encrypted file"));
      break;
    case cli::Kind::kSignature:
      text = describe_signature(cli::FormInput::from(std::move(raw), cli::TextForm::kSignature, VESK_MAX_CONTAINER, "a signature"));
      break;
    case cli::Kind::kVerifyingKey: {
      const cli::OwnedBytes key = cli::verifying_key_in(raw);
      if (!decodes(key)) cli::fail(cli::kExitRefused, name + ": a verifying key that does not decode (it is damaged)");
      text = what.text ? "a verifying key (Base64)" : "a verifying key (raw bytes)";
      break;
    }
    case cli::Kind::kRecipientKeyFile:
    case cli::Kind::kIdentityKeyFile:
    case cli::Kind::kOtherKeyFile:
      text = describe_key_file(raw.bytes(), what.kind);
      break;
    case cli::Kind::kPublicKey:
      text = "an armored recipient public key";
      break;
    case cli::Kind::kIdentitySeed:
      text = "32 bytes: opens as a bare, unprotected identity seed";
      break;
    case cli::Kind::kIdentityLog:
      text = describe_log(raw.bytes());
      break;
    case cli::Kind::kRecoveryBinding:
      text = describe_recovery_binding(raw.bytes());
      break;
    case cli::Kind::kEpochChain:
      text = describe_chain(raw.bytes());
      break;
    case cli::Kind::kEpochBinding:
      text = describe_epoch_binding(raw.bytes());
      break;
    case cli::Kind::kCheckpoint:
      text = describe_checkpoint(raw.bytes());
      break;
    case cli::Kind::kUnknown:
      cli::fail(cli::kExitRefused, name + ": not a vesk file");
  }
  std::printf("%s: %s\n", name.c_str(), text.c_str());
  return cli::kExitOk;
}

}  // namespace

namespace cli::cmd {

const Command inspect{"inspect", "FILE", "say what kind of vesk file FILE is", R"HELP(Says what FILE is without any key or passphrase: an encrypted file (format version and
sizes), a signature, a verifying key, a key file (what it holds and its key-derivation
settings), an armored public key, a bare identity seed, an identity log (entries, identity
id, head), a recovery binding, an epoch chain (epochs, head), an epoch binding, or a
checkpoint (origin, tree size, signers). What a record states is shown as it stands; the
commands that take it verify it. Text forms are recognised and checked as strictly as
decrypt and verify check them. Anything else is not a vesk file (exit code 3).

example:
  vesk inspect report.pdf.vesk
)HELP",
  run};

}  // namespace cli::cmd
