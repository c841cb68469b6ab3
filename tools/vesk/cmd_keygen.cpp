// vesk keygen: a new recipient keypair; the secret key goes to a passphrase-protected key file,
// the armored public key to standard output.
#include <sys/stat.h>

#include <cstdio>

#include "cli.h"

namespace {

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

int run(cli::Args& args) {
  if (!args.parse({"-o", "--output", "--passphrase-file", "--public-out"}, {})) return cli::kExitUsage;
  if (!args.positional().empty()) return cli::fail_usage("keygen takes no positional arguments");
  auto out = args.value("-o", "--output");
  if (!out || out->empty() || *out == "-") return cli::fail_usage("keygen needs -o KEYFILE");
  const auto public_out = args.value("--public-out");
  // Refuse before asking for a passphrase; the writes below refuse again (O_EXCL).
  if (exists(*out)) return cli::fail_file("refusing to overwrite " + *out);
  if (public_out && *public_out != "-" && exists(*public_out))
    return cli::fail_file("refusing to overwrite " + *public_out);

  auto passphrase = cli::get_passphrase(args, "New passphrase: ", true);
  if (!passphrase) return args.value("--passphrase-file") ? cli::kExitFile : cli::kExitUsage;

  VeskSecretKeyHandle* key = nullptr;
  cli::Buffer public_key;
  VeskStatus s = vesk_keypair_generate(&key, public_key.out());
  if (s != VESK_OK) {
    cli::wipe_string(*passphrase);
    return cli::fail_status("generating a keypair", s);
  }
  cli::Buffer file;
  s = vesk_secret_key_protect(key, passphrase->c_str(), file.out());
  cli::wipe_string(*passphrase);
  vesk_secret_key_free(key);
  if (s == VESK_INVALID_ARGUMENT) {
    std::fprintf(stderr, "vesk: protecting the key: %s (the passphrase needs at least 8 characters)\n",
                 vesk_error_message(s));
    return cli::kExitRefused;
  }
  if (s != VESK_OK) return cli::fail_status("protecting the key", s);

  if (!cli::write_file(*out, file.b.data, file.b.len, 0600, false)) return cli::fail_file("cannot write " + *out);
  ::chmod(out->c_str(), 0600);  // whatever the umask left

  cli::Buffer armor;
  s = vesk_public_key_armor(public_key.b.data, public_key.b.len, armor.out());
  if (s != VESK_OK) return cli::fail_status("armoring the public key", s);
  if (public_out && !cli::write_file(*public_out, armor.b.data, armor.b.len, 0644, false))
    return cli::fail_file("cannot write " + *public_out);
  if (!public_out || *public_out != "-") std::fwrite(armor.b.data, 1, armor.b.len, stdout);
  std::fprintf(stderr, "vesk: wrote the secret key to %s (mode 0600)\n", out->c_str());
  return cli::kExitOk;
}

const cli::Registration reg({"keygen", "keygen -o KEYFILE [--passphrase-file F] [--public-out FILE]",
                             "new recipient keypair: key file (0600), armored public key on stdout", run, 10});

}  // namespace
