// vesk sign: a hybrid signature over a file under a caller-chosen context.
#include <cstdio>

#include "cli.h"

namespace {

int run(cli::Args& args) {
  if (!args.parse({"-i", "--identity", "--passphrase-file", "--context", "-o", "--output"}, {}))
    return cli::kExitUsage;
  auto identity_path = args.value("-i", "--identity");
  auto context = args.value("--context");
  if (!identity_path) return cli::fail_usage("sign needs -i IDENTITY");
  if (!context) return cli::fail_usage("sign needs --context TEXT");
  if (args.positional().size() != 1) return cli::fail_usage("sign takes exactly one FILE");
  const std::string& input = args.positional()[0];
  auto out_path = args.value("-o", "--output");
  const std::string output = out_path ? *out_path : (input == "-" ? std::string("-") : input + ".sig");
  if (context->rfind("VESK/", 0) == 0) return cli::fail_usage("contexts beginning with VESK/ are reserved");

  int exit_code = cli::kExitOk;
  VeskSigningIdentityHandle* identity =
      cli::open_key(args, *identity_path, "sign: opening " + *identity_path, vesk_signing_identity_open, exit_code);
  if (identity == nullptr) return exit_code;

  auto message = cli::read_file(input);
  if (!message) {
    vesk_signing_identity_free(identity);
    return cli::fail_file("cannot read " + input);
  }
  cli::Buffer signature;
  const VeskStatus s = vesk_sign_message(identity, reinterpret_cast<const uint8_t*>(context->data()),
                                         context->size(), message->data(), message->size(), signature.out());
  vesk_signing_identity_free(identity);
  if (s != VESK_OK) return cli::fail_status("sign", s);
  if (!cli::write_file(output, signature.b.data, signature.b.len))
    return cli::fail_file("cannot create " + output + " (it may exist already)");
  if (output != "-") std::fprintf(stderr, "vesk: wrote the signature %s\n", output.c_str());
  return cli::kExitOk;
}

const cli::Registration registration({"sign", "sign -i IDENTITY [--passphrase-file F] --context TEXT [-o SIG] FILE",
                                      "sign a file (signature to FILE.sig unless -o)", run, 50});

}  // namespace
