// vesk epoch key: checks an epoch chain and prints the armored recipient public key of one epoch,
// ready for use as an encryption recipient.
#include <charconv>
#include <string>

#include "cli.h"
#include "files.h"

namespace {

int run(cli::Args& args) {
  args.parse({{"--output", "-o", true}});
  if (args.positional().size() != 2) cli::fail_usage("epoch key takes CHAIN and INDEX");
  const std::string& index_text = args.positional()[1];
  std::uint64_t index = 0;
  const auto parsed = std::from_chars(index_text.data(), index_text.data() + index_text.size(), index);
  if (index_text.empty() || parsed.ec != std::errc() || parsed.ptr != index_text.data() + index_text.size())
    cli::fail_usage("INDEX must be an epoch number (0, 1, ...)");
  cli::Output out(args.value("--output").value_or("-"), cli::Output::Content::kText);

  const cli::Input chain = cli::Input::open(args.positional()[0], VESK_MAX_LOG, "an epoch chain");
  std::uint64_t count = 0;
  VeskStatus s = vesk_epoch_verify(chain.bytes().data(), chain.bytes().size(), &count);
  if (s != VESK_OK) cli::fail_status("epoch chain " + chain.name(), s);
  if (index >= count)
    cli::fail(cli::kExitRefused, chain.name() + " has " + std::to_string(count) + " epochs; there is no epoch " + index_text);
  cli::Buffer key, armor;
  s = vesk_epoch_public_key(chain.bytes().data(), chain.bytes().size(), index, key.out());
  if (s != VESK_OK) cli::fail_status("epoch chain " + chain.name(), s);
  s = vesk_public_key_armor(key.data(), key.size(), armor.out());
  if (s != VESK_OK) cli::fail_status("armoring the epoch key", s);
  out.write({armor.data(), armor.size()});
  out.commit();
  return cli::kExitOk;
}

const cli::Registration reg({"epoch key", "CHAIN INDEX [-o FILE]",
                             "check an epoch chain; print one epoch's armored recipient key", R"HELP(Checks the epoch chain CHAIN and prints the armored recipient public key of epoch
INDEX (0 is the first), which vesk encrypt takes as a recipient.

options:
  -o, --output FILE        write the key to the new file FILE instead of standard output

example:
  vesk epoch key epochs.chain 2 -o epoch2.pub
)HELP",
                             run, 45});

}  // namespace
