// vesk pubkey: the armored public key of a key file (or of a bare 32-byte identity seed).
#include <cstdio>

#include "cli.h"

namespace {

int run(cli::Args& args) {
  if (!args.parse({"--passphrase-file"}, {})) return cli::kExitUsage;
  if (args.positional().size() != 1) return cli::fail_usage("pubkey needs one KEYFILE");
  const std::string& path = args.positional()[0];
  int exit_code = cli::kExitOk;
  VeskSecretKeyHandle* key = cli::open_key(args, path, "opening " + path, vesk_secret_key_open, exit_code);
  if (key == nullptr) return exit_code;

  cli::Buffer public_key, armor;
  VeskStatus s = vesk_secret_key_public(key, public_key.out());
  vesk_secret_key_free(key);
  if (s != VESK_OK) return cli::fail_status("computing the public key", s);
  s = vesk_public_key_armor(public_key.b.data, public_key.b.len, armor.out());
  if (s != VESK_OK) return cli::fail_status("armoring the public key", s);
  std::fwrite(armor.b.data, 1, armor.b.len, stdout);
  return cli::kExitOk;
}

const cli::Registration reg({"pubkey", "pubkey KEYFILE [--passphrase-file F]",
                             "armored public key of a key file or bare identity seed", run, 11});

}  // namespace
