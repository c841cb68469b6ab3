// vesk verify: checks a file's signature (bytes or text form) against a verifying key.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "cli.h"
#include "commands.h"
#include "files.h"
#include "keys.h"
#include "textform.h"

namespace {

// Anything larger is not a signature in either form; the exact size is checked after decoding.
constexpr std::size_t kSignatureCap = 64 * 1024;

// SIG as bytes or text form. A regular file is mapped whatever its size, so that a file of
// another kind given as SIG is named for what it is; a stream is read only up to the cap.
cli::FormInput open_signature(const std::string& path) {
  struct stat st {};
  const bool regular = path != "-" && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  cli::Input raw = cli::Input::open(path, regular ? cli::text_form_cap(VESK_MAX_CONTAINER) : kSignatureCap, "a signature");
  cli::check_text_form_start(raw.bytes(), raw.name(), cli::TextForm::kSignature);
  const cli::Identified found = cli::identify(raw.bytes());
  if (found.kind != cli::Kind::kSignature)
    cli::refuse_kind(raw.name(), found.kind, "a signature", "give the signature that vesk sign wrote");
  auto signature = cli::FormInput::from(std::move(raw), cli::TextForm::kSignature, kSignatureCap, "a signature");
  if (signature.bytes().size() != VESK_SIGNATURE_LEN)
    cli::fail(cli::kExitRefused, signature.name() + ": a signature text form that does not hold a signature");
  return signature;
}

int run(cli::Args& args) {
  args.parse({{"--key", "-k", true}, {"--context", nullptr, true}});
  const auto key_arg = args.value("--key");
  const auto context = args.value("--context");
  if (!key_arg) cli::fail_usage("needs -k VERIFYING_KEY");
  if (!context) cli::fail_usage("needs --context TEXT");
  if (args.positional().size() != 2) cli::fail_usage("takes FILE and SIG");
  const std::string& path = args.positional()[0];
  const std::string& sig_path = args.positional()[1];
  cli::one_standard_input({{"FILE", path}, {"SIG", sig_path}, {"VERIFYING_KEY", key_arg}});

  const cli::OwnedBytes key = cli::load_verifying_key(*key_arg);
  const cli::FormInput signature = open_signature(sig_path);
  const cli::Input message = cli::Input::open(path, VESK_MAX_PLAINTEXT, "a signed file");
  const VeskStatus s = vesk_verify_message(key.data(), key.size(), reinterpret_cast<const std::uint8_t*>(context->data()),
                                           context->size(), message.bytes().data(), message.bytes().size(),
                                           signature.bytes().data(), signature.bytes().size());
  if (s != VESK_OK)
    cli::fail_status("verifying " + message.name(), s,
                     {{VESK_AUTHENTICATION_FAILED, "the signature does not match this file, verifying key and context"},
                      {VESK_NOT_KEY_FILE, "the verifying key does not decode (it is damaged)"}});
  std::printf("signature valid\n");
  return cli::kExitOk;
}

}  // namespace

namespace cli::cmd {

const Command verify{"verify", "-k VERIFYING_KEY --context TEXT FILE SIG", "verify a file's signature",
                                      R"HELP(Checks that SIG, a signature as bytes or in the text form, was made over FILE under
the context TEXT by the identity whose verifying key is VERIFYING_KEY: a file holding
the key's raw bytes or its Base64 (as vesk identity new prints it), or that Base64 text.
One of FILE and SIG may be - (standard input).

options:
  -k, --key VERIFYING_KEY  the signer's verifying key
  --context TEXT           the context the file was signed under

example:
  vesk verify -k me.pub --context "release notes" notes.txt notes.txt.sig
)HELP",
  run};

}  // namespace cli::cmd
