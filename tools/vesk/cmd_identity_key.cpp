// vesk identity key: the verifying key of an identity key file (or bare identity seed), in the
// Base64 text that vesk identity new prints, so a lost verifying key comes back from the key one
// holds.
#include <string>

#include "cli.h"
#include "commands.h"
#include "files.h"
#include "keys.h"
#include "textform.h"

namespace {

int run(cli::Args& args) {
  args.parse({{"--passphrase-file", nullptr, true}, {"--max-work", nullptr, true}, {"--output", "-o", true}});
  if (args.positional().size() != 1) cli::fail_usage("takes one KEYFILE");
  cli::one_standard_input({{"KEYFILE", args.positional()[0]}, {"the passphrase file", args.value("--passphrase-file")}});
  const cli::WorkCap cap = cli::work_cap(args);
  cli::Output out(args.value("--output").value_or("-"), cli::Output::Content::kText);
  const vesk::SigningIdentity identity = cli::open_signing_identity(args, args.positional()[0], cap);
  vesk::Buffer key;
  const VeskStatus s = vesk_signing_identity_public(identity.get(), key.out());
  if (s != VESK_OK) cli::fail_status("the verifying key", s);
  const std::string text = cli::to_base64({key.data(), key.size()}) + "\n";
  out.write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  out.commit();
  return cli::kExitOk;
}

}  // namespace

namespace cli::cmd {

const Command identity_key{"identity key", "KEYFILE [--passphrase-file F] [--max-work MIB[,PASSES]] [-o FILE]",
                           "print the verifying key of an identity key file", R"HELP(Prints the verifying key of the identity in KEYFILE (an identity key file, or a bare
32-byte identity seed) in Base64, as vesk identity new printed it when the identity was
made: others check its signatures with it.

options:
  --passphrase-file F      read the passphrase from the first line of F instead of asking
  --max-work MIB[,PASSES]  open a key file only if its key derivation needs at most MIB MiB
                           of memory and PASSES passes (default 64,4); one asking for more is
                           refused before the passphrase is asked for
  -o, --output FILE        write the key to the new file FILE instead of standard output

example:
  vesk identity key me.id -o me.pub
)HELP",
                           run};

}  // namespace cli::cmd
