// vesk identity verify: checks an identity log under a recovery key, or against a pinned identity
// id and its recovery binding, and prints its head and the number of active devices. The library
// answers questions about a log; it does not list the devices, so neither does this command.
#include <cstdio>
#include <string>

#include "cli.h"

namespace {

std::optional<cli::Bytes> read_named(const std::string& path, const char* what) {
  auto data = cli::read_file(path);
  if (!data) cli::fail_file(std::string("cannot read ") + what + " " + path);
  return data;
}

// A verifying key as a file or Base64 text; the library reports one that does not decode.
std::optional<cli::Bytes> read_key(const std::string& path, const char* what) {
  auto key = cli::load_verifying_key(path);
  if (!key) cli::fail_file(std::string("cannot read ") + what + " " + path);
  return key;
}

int print_head(const cli::Bytes& log, const std::uint8_t* recovery_key, std::size_t recovery_key_len) {
  cli::Buffer head;
  VeskStatus s = vesk_identity_head(log.data(), log.size(), recovery_key, recovery_key_len, head.out());
  if (s != VESK_OK) return cli::fail_status("identity log", s);
  std::printf("head: %s\n", cli::to_hex(head.b.data, head.b.len).c_str());
  return cli::kExitOk;
}

int run(cli::Args& args) {
  if (!args.parse({"--recovery-key", "--binding", "--pin", "--device"}, {})) return cli::kExitUsage;
  if (args.positional().size() != 1) return cli::fail_usage("identity verify needs one LOG");
  auto recovery_path = args.value("--recovery-key");
  auto binding_path = args.value("--binding");
  auto pin_hex = args.value("--pin");
  if (recovery_path.has_value() == (binding_path.has_value() || pin_hex.has_value()))
    return cli::fail_usage("identity verify takes either --recovery-key K, or --binding B with --pin HEX");
  if (binding_path.has_value() != pin_hex.has_value()) return cli::fail_usage("--binding and --pin go together");
  if (args.value("--device") && !recovery_path) return cli::fail_usage("--device needs --recovery-key");

  const std::string& log_path = args.positional()[0];
  auto log = read_named(log_path, "log");
  if (!log) return cli::kExitFile;
  if (log->size() > VESK_MAX_LOG) {
    std::fprintf(stderr, "vesk: %s: larger than the %u-byte limit for identity logs\n", log_path.c_str(), VESK_MAX_LOG);
    return cli::kExitRefused;
  }

  if (recovery_path) {
    auto key = read_key(*recovery_path, "recovery key");
    if (!key) return cli::kExitFile;
    if (key->size() > VESK_MAX_KEY_DATA) return cli::fail_status("recovery key", VESK_NOT_KEY_FILE);
    std::uint64_t active = 0;
    VeskStatus s = vesk_identity_verify(log->data(), log->size(), key->data(), key->size(), &active);
    if (s != VESK_OK) return cli::fail_status("identity log " + log_path, s);
    if (int rc = print_head(*log, key->data(), key->size()); rc != cli::kExitOk) return rc;
    std::printf("active devices: %llu\n", static_cast<unsigned long long>(active));
    if (auto device_path = args.value("--device")) {
      auto device = read_key(*device_path, "device key");
      if (!device) return cli::kExitFile;
      if (device->size() > VESK_MAX_KEY_DATA) return cli::fail_status("device key", VESK_NOT_KEY_FILE);
      std::int32_t trusted = 0;
      s = vesk_identity_trusts_device(log->data(), log->size(), key->data(), key->size(), device->data(),
                                      device->size(), &trusted);
      if (s != VESK_OK) return cli::fail_status("device key " + *device_path, s);
      std::printf("device %s: %s\n", device_path->c_str(), trusted ? "active" : "not active");
    }
    return cli::kExitOk;
  }

  auto pin = cli::from_hex(*pin_hex);
  if (!pin || pin->size() != VESK_HASH_LEN) return cli::fail_usage("--pin needs 64 hex digits (the identity id)");
  auto binding = read_named(*binding_path, "recovery binding");
  if (!binding) return cli::kExitFile;
  if (binding->size() > VESK_RECOVERY_BINDING_LEN) return cli::fail_status("recovery binding", VESK_MALFORMED_INPUT);
  std::uint64_t active = 0;
  VeskStatus s = vesk_identity_verify_pinned(log->data(), log->size(), binding->data(), binding->size(), pin->data(),
                                             pin->size(), &active);
  if (s != VESK_OK) return cli::fail_status("identity log " + log_path, s);
  std::printf("identity: %s (matches the pin)\n", cli::to_hex(pin->data(), pin->size()).c_str());
  // The binding has just been checked, so its recovery key (after the 32-byte identity id) is the
  // identity's; the head query needs it.
  if (int rc = print_head(*log, binding->data() + VESK_HASH_LEN, VESK_VERIFYING_KEY_LEN); rc != cli::kExitOk) return rc;
  std::printf("active devices: %llu\n", static_cast<unsigned long long>(active));
  return cli::kExitOk;
}

const cli::Registration reg({"identity verify",
                             "identity verify LOG --recovery-key K [--device D] | --binding B --pin HEX",
                             "check an identity log; print its head and active device count", run, 40});

}  // namespace
