// vesk epoch key: checks an epoch chain and prints the armored recipient public key of one epoch,
// ready for use as an encryption recipient. On its own the chain only proves itself; with the
// identity's log, recovery binding, pin and the epoch binding, the check ties it to an active
// device of the pinned identity.
#include <charconv>
#include <string>

#include "cli.h"
#include "commands.h"
#include "files.h"
#include "records.h"
#include "textform.h"

namespace {

// The chain's epoch count, checked on its own or bound to a pinned identity.
std::uint64_t checked_epochs(const cli::Args& args, const cli::Input& chain) {
  const auto log_path = args.value("--log");
  const auto binding_path = args.value("--binding");
  const auto recovery_path = args.value("--recovery-binding");
  const auto pin_hex = args.value("--pin");
  std::uint64_t count = 0;
  if (!log_path && !binding_path && !recovery_path && !pin_hex) {
    const VeskStatus s = vesk_epoch_verify(chain.bytes().data(), chain.bytes().size(), &count);
    if (s != VESK_OK) cli::fail_status("epoch chain " + chain.name(), s);
    cli::note("the chain is checked on its own: nothing ties it to an identity; give --log, --recovery-binding, "
              "--pin and --binding to check that an active device of the pinned identity vouches for it");
    return count;
  }
  if (!log_path || !binding_path || !recovery_path || !pin_hex)
    cli::fail_usage("the bound check needs all of --log, --recovery-binding, --pin and --binding");
  const auto pin = cli::from_hex(*pin_hex);
  if (!pin || pin->size() != VESK_HASH_LEN) cli::fail_usage("--pin needs 64 hex digits (the identity id)");
  const cli::Input log = cli::Input::open(*log_path, VESK_MAX_LOG, "an identity log");
  const cli::Input recovery = cli::Input::open(*recovery_path, VESK_RECOVERY_BINDING_LEN, "a recovery binding");
  const cli::Input binding = cli::Input::open(*binding_path, VESK_EPOCH_BINDING_LEN, "an epoch binding");
  const VeskStatus s = vesk_epoch_verify_bound(log.bytes().data(), log.bytes().size(), recovery.bytes().data(),
                                               recovery.bytes().size(), pin->data(), pin->size(), chain.bytes().data(),
                                               chain.bytes().size(), binding.bytes().data(), binding.bytes().size(),
                                               &count);
  if (s == VESK_AUTHENTICATION_FAILED) cli::explain_pinned_failure(log, recovery, *pin);
  if (s != VESK_OK)
    cli::fail_status("epoch chain " + chain.name() + " bound by " + binding.name(), s,
                     {{VESK_AUTHENTICATION_FAILED,
                       "the chain is not the one an active device of the pinned identity vouched for (or the log, "
                       "the recovery binding or the pin does not hold; vesk identity verify says which)"}});
  return count;
}

int run(cli::Args& args) {
  args.parse({{"--output", "-o", true},
              {"--log", nullptr, true},
              {"--binding", nullptr, true},
              {"--recovery-binding", nullptr, true},
              {"--pin", nullptr, true}});
  if (args.positional().size() != 2) cli::fail_usage("takes CHAIN and INDEX");
  const std::string& index_text = args.positional()[1];
  std::uint64_t index = 0;
  const auto parsed = std::from_chars(index_text.data(), index_text.data() + index_text.size(), index);
  if (index_text.empty() || parsed.ec != std::errc() || parsed.ptr != index_text.data() + index_text.size())
    cli::fail_usage("INDEX must be an epoch number (0, 1, ...)");
  cli::Output out(args.value("--output").value_or("-"), cli::Output::Content::kText);

  const cli::Input chain = cli::Input::open(args.positional()[0], VESK_MAX_LOG, "an epoch chain");
  const std::uint64_t count = checked_epochs(args, chain);
  if (index >= count)
    cli::fail(cli::kExitRefused, chain.name() + " has " + cli::counted(count, "epoch", "epochs") + "; there is no epoch " + index_text);
  vesk::Buffer key, armor;
  VeskStatus s = vesk_epoch_public_key(chain.bytes().data(), chain.bytes().size(), index, key.out());
  if (s != VESK_OK) cli::fail_status("epoch chain " + chain.name(), s);
  s = vesk_public_key_armor(key.data(), key.size(), armor.out());
  if (s != VESK_OK) cli::fail_status("armoring the epoch key", s);
  out.write({armor.data(), armor.size()});
  out.commit();
  return cli::kExitOk;
}

}  // namespace

namespace cli::cmd {

const Command epoch_key{"epoch key", "CHAIN INDEX [--log LOG --recovery-binding B --pin HEX --binding E] [-o FILE]",
                             "check an epoch chain; print one epoch's armored recipient key", R"HELP(Checks the epoch chain CHAIN and prints the armored recipient public key of epoch
INDEX (0 is the first), which vesk encrypt takes as a recipient. On its own the chain
proves only itself; with the identity's log, its recovery binding and the pinned identity
id (as vesk identity verify takes them) and the epoch binding E, the check also proves that
an active device of that identity vouched for exactly this chain.

options:
  --log LOG                the identity's log
  --recovery-binding B     the identity's recovery binding
  --pin HEX                the identity id you stored (64 hex digits)
  --binding E              the epoch binding a device of the identity signed for the chain
  -o, --output FILE        write the key to the new file FILE instead of standard output

example:
  vesk epoch key epochs.chain 2 -o epoch2.pub
  vesk epoch key epochs.chain 2 --log identity.log --recovery-binding recovery.binding \
      --pin "$(cat identity.pin)" --binding epochs.binding -o epoch2.pub
)HELP",
  run};

}  // namespace cli::cmd
