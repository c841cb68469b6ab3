// vesk verify: checks a file's signature against a verifying key.
#include <cstdio>

#include "cli.h"

namespace {

int run(cli::Args& args) {
  if (!args.parse({"-k", "--key", "--context"}, {})) return cli::kExitUsage;
  auto key_path = args.value("-k", "--key");
  auto context = args.value("--context");
  if (!key_path) return cli::fail_usage("verify needs -k VERIFYING_KEY");
  if (!context) return cli::fail_usage("verify needs --context TEXT");
  if (args.positional().size() != 2) return cli::fail_usage("verify takes FILE and SIG");
  const std::string& input = args.positional()[0];
  const std::string& sig_path = args.positional()[1];
  if (input == "-" && sig_path == "-") return cli::fail_usage("FILE and SIG cannot both be standard input");

  auto key = cli::load_verifying_key(*key_path);
  if (!key) return cli::fail_file("cannot read " + *key_path);
  if (key->size() != VESK_VERIFYING_KEY_LEN)
    return cli::fail_usage(*key_path + " is not a verifying key (raw or Base64 of " +
                           std::to_string(VESK_VERIFYING_KEY_LEN) + " bytes)");
  auto signature = cli::read_file(sig_path);
  if (!signature) return cli::fail_file("cannot read " + sig_path);
  if (signature->size() != VESK_SIGNATURE_LEN)
    return cli::fail_usage(sig_path + " is not a signature (" + std::to_string(VESK_SIGNATURE_LEN) + " bytes)");
  auto message = cli::read_file(input);
  if (!message) return cli::fail_file("cannot read " + input);

  const VeskStatus s = vesk_verify_message(key->data(), key->size(),
                                           reinterpret_cast<const uint8_t*>(context->data()), context->size(),
                                           message->data(), message->size(), signature->data(), signature->size());
  if (s != VESK_OK) return cli::fail_status("verify " + input, s);
  std::printf("signature valid\n");
  return cli::kExitOk;
}

const cli::Registration registration({"verify", "verify -k VERIFYING_KEY --context TEXT FILE SIG",
                                      "verify a file's signature", run, 51});

}  // namespace
