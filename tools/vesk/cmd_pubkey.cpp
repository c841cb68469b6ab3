// vesk pubkey: the armored public key of a key file (or of a bare 32-byte identity seed).
#include <cstdio>

#include "cli.h"
#include "commands.h"
#include "keys.h"

namespace {

int run(cli::Args& args) {
  args.parse({{"--passphrase-file", nullptr, true}, {"--max-work", nullptr, true}});
  if (args.positional().size() != 1) cli::fail_usage("takes one KEYFILE");
  cli::one_standard_input({{"KEYFILE", args.positional()[0]}, {"the passphrase file", args.value("--passphrase-file")}});
  const cli::WorkCap cap = cli::work_cap(args);
  const vesk::SecretKey key = cli::open_secret_key(args, args.positional()[0], cap);
  vesk::Buffer public_key, armor;
  VeskStatus s = vesk_secret_key_public(key.get(), public_key.out());
  if (s != VESK_OK) cli::fail_status("computing the public key", s);
  s = vesk_public_key_armor(public_key.data(), public_key.size(), armor.out());
  if (s != VESK_OK) cli::fail_status("armoring the public key", s);
  std::fwrite(armor.data(), 1, armor.size(), stdout);
  return cli::kExitOk;
}

}  // namespace

namespace cli::cmd {

const Command pubkey{"pubkey", "KEYFILE [--passphrase-file F] [--max-work MIB[,PASSES]]",
                             "armored public key of a key file or bare identity seed", R"HELP(Prints the armored public key that belongs to KEYFILE: a recipient key file, an
identity key file (an identity can decrypt too), or a bare 32-byte identity seed.

options:
  --passphrase-file F      read the passphrase from the first line of F instead of asking
  --max-work MIB[,PASSES]  open a key file only if its key derivation needs at most MIB MiB
                           of memory and PASSES passes (default 64,4); one asking for more is
                           refused before the passphrase is asked for

example:
  vesk pubkey alice.key > alice.pub
)HELP",
  run};

}  // namespace cli::cmd
