// vesk keygen: a new recipient keypair; the secret key goes to a passphrase-protected key file,
// the armored public key to standard output (and to --public-out).
#include <cstdio>
#include <optional>

#include "cli.h"
#include "commands.h"
#include "files.h"
#include "keys.h"
#include "passphrase.h"

namespace {

int run(cli::Args& args) {
  args.parse({{"--output", "-o", true}, {"--passphrase-file", nullptr, true}, {"--public-out", nullptr, true}});
  if (!args.positional().empty()) cli::fail_usage("takes no FILE arguments");
  const auto path = args.value("--output");
  if (!path || *path == "-") cli::fail_usage("needs -o KEYFILE (a file, not standard output)");
  const auto public_path = args.value("--public-out");
  // Both outputs refuse to overwrite before the passphrase is asked for.
  cli::Output key_file(*path, cli::Output::Content::kBinary, 0600);
  std::optional<cli::Output> public_file;
  if (public_path) public_file.emplace(*public_path, cli::Output::Content::kText);

  VeskSecretKeyHandle* handle = nullptr;
  vesk::Buffer public_key;
  VeskStatus s = vesk_keypair_generate(&handle, public_key.out());
  const vesk::SecretKey key(handle);
  if (s != VESK_OK) cli::fail_status("generating a keypair", s);
  vesk::Buffer protected_key, armor;
  cli::new_passphrase(args, *path, [&](const char* p) { return vesk_secret_key_protect(key.get(), p, protected_key.out()); });
  s = vesk_public_key_armor(public_key.data(), public_key.size(), armor.out());
  if (s != VESK_OK) cli::fail_status("armoring the public key", s);

  key_file.write({protected_key.data(), protected_key.size()});
  key_file.commit();
  if (public_file) {
    public_file->write({armor.data(), armor.size()});
    public_file->commit();
  }
  if (!public_file || !public_file->is_stdout()) std::fwrite(armor.data(), 1, armor.size(), stdout);
  std::fprintf(stderr, "vesk: wrote the secret key to %s (mode 0600)\n", path->c_str());
  return cli::kExitOk;
}

}  // namespace

namespace cli::cmd {

const Command keygen{"keygen", "-o KEYFILE [--passphrase-file F] [--public-out FILE]",
                             "new recipient keypair: key file (0600), armored public key on stdout", R"HELP(Makes a recipient keypair. The secret key goes to the new file KEYFILE (mode 0600),
protected by a passphrase of at least 8 characters, asked for twice on the terminal; the
armored public key, which others encrypt to, goes to standard output.

options:
  -o, --output KEYFILE     the new key file
  --passphrase-file F      take the passphrase from the first line of F instead of asking
  --public-out FILE        also write the armored public key to the new file FILE

example:
  vesk keygen -o alice.key --public-out alice.pub
)HELP",
  run};

}  // namespace cli::cmd
