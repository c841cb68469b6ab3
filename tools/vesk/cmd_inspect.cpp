// vesk inspect: says what a file is, as far as the library can tell without a passphrase.
#include <cstdio>
#include <string>

#include "cli.h"

namespace {

int run(cli::Args& args) {
  if (!args.parse({}, {})) return cli::kExitUsage;
  if (args.positional().size() != 1) return cli::fail_usage("inspect needs one FILE");
  const std::string& path = args.positional()[0];
  auto data = cli::read_file(path);
  if (!data) return cli::fail_file("cannot read " + path);
  const char* name = path.c_str();
  const std::size_t n = data->size();

  std::int32_t is_key_file = 0;
  if (n <= VESK_MAX_KEY_DATA) {
    VeskStatus s = vesk_inspect_key(data->data(), n, &is_key_file);
    if (s != VESK_OK) return cli::fail_status("inspecting " + path, s);
  }
  if (is_key_file == 1) {
    // The interface tells a key file by its magic only; version, kind and parameters are checked
    // when it is opened.
    std::printf("%s: vesk key file (%zu bytes); opening it needs its passphrase\n", name, n);
  } else {
    VeskStatus armor_status = VESK_INVALID_ARGUMENT;
    const std::string text(data->begin(), data->end());
    if (text.find('\0') == std::string::npos) {
      cli::Buffer key;
      armor_status = vesk_public_key_dearmor(text.c_str(), key.out());
    }
    if (armor_status == VESK_OK) {
      std::printf("%s: not a key file: an armored recipient public key\n", name);
    } else if (n == VESK_SECRET_SEED_LEN) {
      std::printf("%s: not a key file (32 bytes: opens as a bare, unprotected identity seed)\n", name);
    } else {
      std::printf("%s: not a key file (%zu bytes)\n", name, n);
    }
  }
  for (auto& b : *data) b = 0;  // a 32-byte file may be a seed
  return cli::kExitOk;
}

const cli::Registration reg({"inspect", "inspect FILE", "tell a key file (or an armored public key) from other data",
                             run, 12});

}  // namespace
