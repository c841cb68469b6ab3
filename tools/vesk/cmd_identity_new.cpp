// vesk identity new: a new signing identity in a passphrase-protected key file.
#include <unistd.h>

#include <cstdio>

#include "cli.h"

namespace {

int run(cli::Args& args) {
  if (!args.parse({"-o", "--output", "--passphrase-file"}, {})) return cli::kExitUsage;
  if (!args.positional().empty()) return cli::fail_usage("identity new takes no positional arguments");
  auto path = args.value("-o", "--output");
  if (!path) return cli::fail_usage("identity new needs -o FILE");
  if (*path == "-") return cli::fail_usage("the key file must go to a file, not standard output");
  // Checked up front to spare a passphrase prompt; the exclusive create below still decides.
  if (::access(path->c_str(), F_OK) == 0) return cli::fail_file("refusing to overwrite " + *path);

  auto passphrase = cli::get_passphrase(args, "Passphrase for the new identity: ", true);
  if (!passphrase) return args.value("--passphrase-file") ? cli::kExitFile : cli::kExitUsage;
  cli::Buffer file;
  const VeskStatus s = vesk_identity_generate(passphrase->c_str(), file.out());
  if (s != VESK_OK) {
    cli::wipe_string(*passphrase);
    if (s == VESK_INVALID_ARGUMENT) return cli::fail_status("identity new (the passphrase needs at least 8 characters)", s);
    return cli::fail_status("identity new", s);
  }

  // The public key comes from opening what was written, so it is the key of the file on disk.
  VeskSigningIdentityHandle* identity = nullptr;
  const VeskStatus opened = vesk_signing_identity_open(file.b.data, file.b.len, passphrase->c_str(), &identity);
  cli::wipe_string(*passphrase);
  if (opened != VESK_OK) return cli::fail_status("identity new: reopening the new key file", opened);
  cli::Buffer key;
  const VeskStatus pub = vesk_signing_identity_public(identity, key.out());
  vesk_signing_identity_free(identity);
  if (pub != VESK_OK) return cli::fail_status("identity new: reading the verifying key", pub);

  if (!cli::write_file(*path, file.b.data, file.b.len, 0600)) return cli::fail_file("cannot create " + *path + " (it may exist already)");
  // Standard output carries only the Base64 verifying key, so it can be redirected into a file.
  std::printf("%s\n", cli::to_base64(key.b.data, key.b.len).c_str());
  std::fprintf(stderr, "vesk: wrote the identity key file %s; its verifying key (Base64) is on standard output\n",
               path->c_str());
  return cli::kExitOk;
}

const cli::Registration registration({"identity new", "identity new -o FILE [--passphrase-file F]",
                                      "create a signing identity; print its verifying key", run, 40});

}  // namespace
