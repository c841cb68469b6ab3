// vesk identity new: a new signing identity in a passphrase-protected key file; its verifying key
// (Base64) goes to standard output.
#include <cstdio>

#include "cli.h"
#include "commands.h"
#include "files.h"
#include "keys.h"
#include "passphrase.h"
#include "textform.h"

namespace {

int run(cli::Args& args) {
  args.parse({{"--output", "-o", true}, {"--passphrase-file", nullptr, true}});
  if (!args.positional().empty()) cli::fail_usage("takes no FILE arguments");
  const auto path = args.value("--output");
  if (!path || *path == "-") cli::fail_usage("needs -o FILE (a file, not standard output)");
  cli::Output key_file(*path, cli::Output::Content::kBinary, 0600);

  vesk::Buffer file, verifying_key;
  cli::new_passphrase(args, *path, [&](const char* p) {
    VeskStatus s = vesk_identity_generate(p, file.out());
    if (s != VESK_OK) return s;
    // The verifying key comes from opening what is written, so it is the key of the file on disk.
    VeskSigningIdentityHandle* handle = nullptr;
    s = vesk_signing_identity_open(file.data(), file.size(), p, &handle);
    const vesk::SigningIdentity identity(handle);
    return s != VESK_OK ? s : vesk_signing_identity_public(identity.get(), verifying_key.out());
  });
  key_file.write({file.data(), file.size()});
  key_file.commit();
  // Standard output carries only the Base64 verifying key, so it can be redirected into a file.
  std::printf("%s\n", cli::to_base64({verifying_key.data(), verifying_key.size()}).c_str());
  std::fprintf(stderr, "vesk: wrote the identity key file %s; its verifying key (Base64) is on standard output\n",
               path->c_str());
  return cli::kExitOk;
}

}  // namespace

namespace cli::cmd {

const Command identity_new{"identity new", "-o FILE [--passphrase-file F]",
                                      "create a signing identity; print its verifying key", R"HELP(Makes a signing identity in the new key file FILE (mode 0600), protected by a
passphrase of at least 8 characters, asked for twice on the terminal. Its verifying key,
which others check signatures with, is printed on standard output in Base64.

options:
  -o, --output FILE        the new identity key file
  --passphrase-file F      take the passphrase from the first line of F instead of asking

example:
  vesk identity new -o me.id > me.pub
)HELP",
  run};

}  // namespace cli::cmd
