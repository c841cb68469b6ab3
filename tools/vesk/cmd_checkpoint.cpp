// vesk checkpoint verify: a log's signed checkpoint under its verifying key; prints the tree size
// and root hash for use with `vesk proof`.
#include <cstdio>

#include "cli.h"
#include "commands.h"
#include "files.h"
#include "keys.h"
#include "records.h"
#include "textform.h"

namespace {

int run(cli::Args& args) {
  args.parse({{"--origin", nullptr, true}, {"--key", nullptr, true}});
  const auto origin = args.value("--origin");
  const auto key_arg = args.value("--key");
  if (!origin) cli::fail_usage("needs --origin NAME");
  if (!key_arg) cli::fail_usage("needs --key KEY");
  if (args.positional().size() != 1) cli::fail_usage("takes one FILE");
  const cli::OwnedBytes key = cli::load_verifying_key(*key_arg);
  const cli::Input text = cli::Input::open(args.positional()[0], VESK_MAX_CHECKPOINT, "a checkpoint");

  std::uint64_t tree_size = 0;
  vesk::Buffer root;
  const VeskStatus s = vesk_checkpoint_verify(text.bytes().data(), text.bytes().size(), origin->c_str(), key.data(),
                                              key.size(), &tree_size, root.out());
  if (s == VESK_MALFORMED_INPUT)
    if (const auto why = cli::checkpoint_text_fault(text.bytes())) cli::fail(cli::kExitRefused, "checkpoint " + text.name() + ": " + *why);
  if (s != VESK_OK)
    cli::fail_status("checkpoint " + text.name(), s,
                     {{VESK_AUTHENTICATION_FAILED, "not signed by this key for this origin, or altered"},
                      {VESK_NOT_KEY_FILE, "the verifying key does not decode (it is damaged)"}});
  std::printf("checkpoint verified: %s\n", origin->c_str());
  std::printf("tree size:     %llu\n", static_cast<unsigned long long>(tree_size));
  std::printf("root (hex):    %s\n", cli::to_hex({root.data(), root.size()}).c_str());
  std::printf("root (Base64): %s\n", cli::to_base64({root.data(), root.size()}).c_str());
  return cli::kExitOk;
}

}  // namespace

namespace cli::cmd {

const Command checkpoint_verify{"checkpoint verify", "FILE --origin NAME --key KEY",
                                      "verify a log's signed checkpoint; print its size and root", R"HELP(Checks that the checkpoint text FILE is signed by the log whose verifying key is KEY
(a file of its raw bytes or Base64, or the Base64 text) for the origin NAME, and prints
the tree size and root, which vesk proof takes.

options:
  --origin NAME            the log's origin line
  --key KEY                the log's verifying key

example:
  vesk checkpoint verify checkpoint --origin example.com/log --key log.pub
)HELP",
  run};

}  // namespace cli::cmd
