// vesk pubkey: the armored public key of a key file (or of a bare 32-byte identity seed).
#include <cstdio>

#include "cli.h"

namespace {

void wipe_bytes(cli::Bytes& b) {
  volatile std::uint8_t* p = b.data();
  for (std::size_t i = 0; i < b.size(); ++i) p[i] = 0;
  b.clear();
}

int run(cli::Args& args) {
  if (!args.parse({"--passphrase-file"}, {})) return cli::kExitUsage;
  if (args.positional().size() != 1) return cli::fail_usage("pubkey needs one KEYFILE");
  const std::string& path = args.positional()[0];
  auto data = cli::read_file(path);
  if (!data) return cli::fail_file("cannot read " + path);
  if (data->size() > VESK_MAX_KEY_DATA) {
    wipe_bytes(*data);
    std::fprintf(stderr, "vesk: %s: not a key file (larger than %u bytes)\n", path.c_str(), VESK_MAX_KEY_DATA);
    return cli::kExitRefused;
  }

  // Only a key file needs a passphrase; a bare seed opens without one.
  std::int32_t is_key_file = 0;
  VeskStatus s = vesk_inspect_key(data->data(), data->size(), &is_key_file);
  std::optional<std::string> passphrase;
  if (s == VESK_OK && is_key_file == 1) {
    passphrase = cli::get_passphrase(args, "Passphrase: ", false);
    if (!passphrase) {
      wipe_bytes(*data);
      return args.value("--passphrase-file") ? cli::kExitFile : cli::kExitUsage;
    }
  }
  VeskSecretKeyHandle* key = nullptr;
  s = vesk_secret_key_open(data->data(), data->size(), passphrase ? passphrase->c_str() : nullptr, &key);
  if (passphrase) cli::wipe_string(*passphrase);
  wipe_bytes(*data);
  if (s != VESK_OK) return cli::fail_status("opening " + path, s);

  cli::Buffer public_key, armor;
  s = vesk_secret_key_public(key, public_key.out());
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
