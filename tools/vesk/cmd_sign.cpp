// vesk sign: a hybrid signature over a file under a caller-chosen context, as bytes or in the
// text form.
#include <cstdio>
#include <string>

#include "cli.h"
#include "commands.h"
#include "files.h"
#include "keys.h"
#include "textform.h"

namespace {

int run(cli::Args& args) {
  args.parse({{"--identity", "-i", true},
              {"--passphrase-file", nullptr, true},
              {"--max-work", nullptr, true},
              {"--context", nullptr, true},
              {"--output", "-o", true},
              {"--armor", "-a", false}});
  const auto identity_path = args.value("--identity");
  const auto context = args.value("--context");
  if (!identity_path) cli::fail_usage("needs -i IDENTITY");
  if (!context) cli::fail_usage("needs --context TEXT");
  if (context->rfind("VESK/", 0) == 0) cli::fail_usage("contexts beginning with VESK/ are reserved");
  if (args.positional().size() != 1) cli::fail_usage("takes one FILE (- for standard input)");
  const std::string& path = args.positional()[0];
  cli::one_standard_input({{"FILE", path}, {"IDENTITY", identity_path}, {"the passphrase file", args.value("--passphrase-file")}});
  const auto out_path = args.value("--output");
  const bool armor = args.flag("--armor");
  const cli::WorkCap cap = cli::work_cap(args);

  cli::Output out(out_path.value_or(path == "-" ? "-" : path + ".sig"),
                  armor ? cli::Output::Content::kText : cli::Output::Content::kBinaryOrText, 0644, out_path.has_value());
  const cli::Input message = cli::Input::open(path, VESK_MAX_PLAINTEXT, "a file to sign");
  const vesk::SigningIdentity identity = cli::open_signing_identity(args, *identity_path, cap);
  vesk::Buffer signature;
  const VeskStatus s = vesk_sign_message(identity.get(), reinterpret_cast<const std::uint8_t*>(context->data()),
                                         context->size(), message.bytes().data(), message.bytes().size(), signature.out());
  if (s != VESK_OK) cli::fail_status("signing " + message.name(), s);
  if (armor) {
    cli::write_text_form(out, cli::TextForm::kSignature, {signature.data(), signature.size()});
  } else {
    out.write({signature.data(), signature.size()});
  }
  out.commit();
  if (!out.is_stdout()) std::fprintf(stderr, "vesk: wrote the signature %s\n", out.name().c_str());
  return cli::kExitOk;
}

}  // namespace

namespace cli::cmd {

const Command sign{"sign", "-i IDENTITY [--passphrase-file F] [--max-work MIB[,PASSES]] --context TEXT [-a] [-o SIG] FILE",
                                      "sign a file (the signature goes to FILE.sig unless -o)", R"HELP(Signs FILE (- for standard input) with the identity key file IDENTITY (or a bare
32-byte identity seed) under the context TEXT, which vesk verify must be given too: a
signature made for one purpose does not verify for another.

options:
  -i, --identity IDENTITY  the identity key file (from vesk identity new)
  --passphrase-file F      read the passphrase from the first line of F instead of asking
  --max-work MIB[,PASSES]  open a key file only if its key derivation needs at most MIB MiB
                           of memory and PASSES passes (default 64,4); one asking for more is
                           refused before the passphrase is asked for
  --context TEXT           what the signature is for; texts beginning with VESK/ are reserved
  -a, --armor              write the text form instead of bytes
  -o, --output SIG         write the signature to the new file SIG (default: FILE.sig, or
                           standard output when FILE is -)

example:
  vesk sign -i me.id --context "release notes" notes.txt
)HELP",
  run};

}  // namespace cli::cmd
