// vesk epoch key: checks an epoch chain and prints the armored recipient public key of one epoch,
// ready for use as an encryption recipient.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli.h"

namespace {

int run(cli::Args& args) {
  if (!args.parse({"-o", "--output"}, {})) return cli::kExitUsage;
  if (args.positional().size() != 2) return cli::fail_usage("epoch key needs CHAIN and INDEX");
  const std::string& chain_path = args.positional()[0];
  const std::string& index_text = args.positional()[1];
  char* end = nullptr;
  errno = 0;
  unsigned long long index = std::strtoull(index_text.c_str(), &end, 10);
  if (index_text.empty() || index_text[0] == '-' || *end != '\0' || errno == ERANGE)
    return cli::fail_usage("INDEX must be an epoch number (0, 1, ...)");

  auto chain = cli::read_file(chain_path);
  if (!chain) return cli::fail_file("cannot read " + chain_path);
  if (chain->size() > VESK_MAX_LOG) {
    std::fprintf(stderr, "vesk: %s: larger than the %u-byte limit for epoch chains\n", chain_path.c_str(), VESK_MAX_LOG);
    return cli::kExitRefused;
  }
  std::uint64_t count = 0;
  VeskStatus s = vesk_epoch_verify(chain->data(), chain->size(), &count);
  if (s != VESK_OK) return cli::fail_status("epoch chain " + chain_path, s);
  if (index >= count) {
    std::fprintf(stderr, "vesk: %s has %llu epochs; there is no epoch %llu\n", chain_path.c_str(),
                 static_cast<unsigned long long>(count), index);
    return cli::kExitRefused;
  }
  cli::Buffer key, armor;
  s = vesk_epoch_public_key(chain->data(), chain->size(), index, key.out());
  if (s != VESK_OK) return cli::fail_status("epoch chain " + chain_path, s);
  s = vesk_public_key_armor(key.b.data, key.b.len, armor.out());
  if (s != VESK_OK) return cli::fail_status("armoring the epoch key", s);
  const std::string out = args.value("-o", "--output").value_or("-");
  if (!cli::write_file(out, armor.b.data, armor.b.len)) return cli::fail_file("cannot write " + out);
  return cli::kExitOk;
}

const cli::Registration reg({"epoch key", "epoch key CHAIN INDEX [-o FILE]",
                             "check an epoch chain; print one epoch's armored recipient key", run, 45});

}  // namespace
