// vesk identity verify: checks an identity log under a recovery key, or against a pinned identity
// id and its recovery binding, and prints its head and the number of active devices. The library
// answers questions about a log; it does not list the devices, so neither does this command.
#include <cstdio>
#include <string>

#include "cli.h"
#include "commands.h"
#include "files.h"
#include "keys.h"
#include "records.h"
#include "textform.h"

namespace {

void print_head(cli::ByteView log, cli::ByteView recovery_key) {
  vesk::Buffer head;
  const VeskStatus s = vesk_identity_head(log.data(), log.size(), recovery_key.data(), recovery_key.size(), head.out());
  if (s != VESK_OK) cli::fail_status("identity log", s);
  std::printf("head: %s\n", cli::to_hex({head.data(), head.size()}).c_str());
}

void print_active(std::uint64_t active) { std::printf("active devices: %llu\n", static_cast<unsigned long long>(active)); }

void verify_with_recovery_key(const cli::Args& args, const cli::Input& log, const std::string& recovery_arg) {
  const cli::OwnedBytes key = cli::load_verifying_key(recovery_arg);
  std::uint64_t active = 0;
  VeskStatus s = vesk_identity_verify(log.bytes().data(), log.bytes().size(), key.data(), key.size(), &active);
  if (s != VESK_OK) cli::fail_status("identity log " + log.name(), s);
  // A recovery key ties a log to no one: anyone can write a sound log under a key of their own.
  std::printf("identity: %s (not pinned: the log is sound under the recovery key given, but nothing ties it to "
              "the identity you expect; to tie it, verify with --binding RECOVERY_BINDING --pin ID, the identity "
              "id you stored when you first met it)\n",
              cli::identity_id_of(log).c_str());
  print_head(log.bytes(), key);
  print_active(active);
  const auto device_arg = args.value("--device");
  if (!device_arg) return;
  const cli::OwnedBytes device = cli::load_verifying_key(*device_arg);
  std::int32_t trusted = 0;
  s = vesk_identity_trusts_device(log.bytes().data(), log.bytes().size(), key.data(), key.size(), device.data(),
                                  device.size(), &trusted);
  if (s != VESK_OK) cli::fail_status("device key " + *device_arg, s);
  std::printf("device %s: %s\n", device_arg->c_str(), trusted ? "active" : "not active");
}

void verify_pinned(const cli::Input& log, const std::string& binding_path, const std::string& pin_hex) {
  const auto pin = cli::from_hex(pin_hex);
  if (!pin || pin->size() != VESK_HASH_LEN) cli::fail_usage("--pin needs 64 hex digits (the identity id)");
  const cli::Input binding = cli::Input::open(binding_path, VESK_RECOVERY_BINDING_LEN, "a recovery binding");
  std::uint64_t active = 0;
  const VeskStatus s = vesk_identity_verify_pinned(log.bytes().data(), log.bytes().size(), binding.bytes().data(),
                                                   binding.bytes().size(), pin->data(), pin->size(), &active);
  if (s == VESK_AUTHENTICATION_FAILED) cli::explain_pinned_failure(log, binding, *pin);
  if (s != VESK_OK) cli::fail_status("identity log " + log.name(), s);
  std::printf("identity: %s (matches the pin)\n", cli::to_hex(*pin).c_str());
  // The binding has just been checked, so its recovery key (after the 32-byte identity id) is the
  // identity's; the head query needs it.
  print_head(log.bytes(), binding.bytes().subspan(VESK_HASH_LEN, VESK_VERIFYING_KEY_LEN));
  print_active(active);
}

int run(cli::Args& args) {
  args.parse({{"--recovery-key", nullptr, true}, {"--binding", nullptr, true}, {"--pin", nullptr, true}, {"--device", nullptr, true}});
  if (args.positional().size() != 1) cli::fail_usage("takes one LOG");
  const auto recovery = args.value("--recovery-key");
  const auto binding = args.value("--binding");
  const auto pin = args.value("--pin");
  if (recovery.has_value() == (binding.has_value() || pin.has_value()))
    cli::fail_usage("takes either --recovery-key K, or --binding B with --pin HEX");
  if (binding.has_value() != pin.has_value()) cli::fail_usage("--binding and --pin go together");
  if (args.value("--device") && !recovery) cli::fail_usage("--device needs --recovery-key");

  const cli::Input log = cli::Input::open(args.positional()[0], VESK_MAX_LOG, "an identity log");
  if (recovery) {
    verify_with_recovery_key(args, log, *recovery);
  } else {
    verify_pinned(log, *binding, *pin);
  }
  return cli::kExitOk;
}

}  // namespace

namespace cli::cmd {

const Command identity_verify{"identity verify", "LOG --recovery-key K [--device D] | LOG --binding B --pin HEX",
                             "check an identity log; print its head and active device count", R"HELP(Checks the identity log LOG, either under the identity's recovery key K or against a
pinned identity id (64 hex digits) and the identity's recovery binding B, and prints
the log's head and the number of active devices. With --device D it also says whether
the device whose verifying key is D is active at the end of the log. Keys are files of
raw bytes or Base64, or the Base64 text.

options:
  --recovery-key K         the identity's recovery verifying key
  --device D               a device's verifying key to look up (with --recovery-key)
  --binding B              the identity's recovery binding file (with --pin)
  --pin HEX                the identity id the log must start with

example:
  vesk identity verify identity.log --recovery-key recovery.key --device laptop.key
)HELP",
  run};

}  // namespace cli::cmd
