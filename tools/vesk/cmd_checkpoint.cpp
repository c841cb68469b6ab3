// vesk checkpoint verify: a log's signed checkpoint under its verifying key; prints the tree size
// and root hash for use with `vesk proof`.
#include <cstdio>

#include "cli.h"

namespace {

int run(cli::Args& args) {
  if (!args.parse({"--origin", "--key"}, {})) return cli::kExitUsage;
  auto origin = args.value("--origin");
  auto key_arg = args.value("--key");
  if (!origin) return cli::fail_usage("checkpoint verify needs --origin NAME");
  if (!key_arg) return cli::fail_usage("checkpoint verify needs --key KEYFILE_OR_BASE64");
  if (args.positional().size() != 1) return cli::fail_usage("checkpoint verify takes exactly one FILE");
  auto key = cli::load_verifying_key(*key_arg);
  if (!key) return cli::fail_usage("--key is neither a readable file nor Base64");
  if (key->size() != VESK_VERIFYING_KEY_LEN)
    return cli::fail_usage(*key_arg + " holds neither a raw verifying key nor its Base64");
  const std::string& path = args.positional()[0];
  auto text = cli::read_file(path);
  if (!text) return cli::fail_file("cannot read " + path);

  std::uint64_t tree_size = 0;
  cli::Buffer root;
  VeskStatus s = vesk_checkpoint_verify(text->data(), text->size(), origin->c_str(), key->data(), key->size(),
                                        &tree_size, root.out());
  if (s != VESK_OK) return cli::fail_status("checkpoint " + path, s);
  std::printf("checkpoint verified: %s\n", origin->c_str());
  std::printf("tree size:     %llu\n", static_cast<unsigned long long>(tree_size));
  std::printf("root (hex):    %s\n", cli::to_hex(root.b.data, root.b.len).c_str());
  std::printf("root (Base64): %s\n", cli::to_base64(root.b.data, root.b.len).c_str());
  return cli::kExitOk;
}

const cli::Registration registration({"checkpoint verify", "checkpoint verify FILE --origin NAME --key KEY",
                                      "verify a log's signed checkpoint; print its size and root", run, 90});

}  // namespace
