// devgen-identity: DEVELOPMENT AID ONLY. Writes a demo identity log and the records around it from
// fixed seeds that are public (they are in this file), for the demo script and for trying the
// identity commands by hand. Nothing it writes is secret or fit for real use; the library itself
// never writes identity logs.
//
//   devgen-identity OUTDIR
//
// writes into OUTDIR (made if missing):
//   identity.log        Create "laptop", Add "phone", Add "tablet", Revoke "tablet"
//   recovery.key        the 1984-byte recovery verifying key
//   recovery.binding    the 5389-byte recovery binding signed by the laptop
//   identity.pin        the identity id in hex (the value a host pins), with a line feed
//   laptop.key, tablet.key   the devices' 1984-byte verifying keys
//   epochs.chain        three epochs of X-Wing recipient public keys
//   epochs.binding      the 3509-byte epoch binding signed by the phone, at the log's head
//   other.log           another identity's log (founded by the phone), sound under the same
//                       recovery key: a log that the pin does not name
#include <cstdio>
#include <string>

#include "core/crypto/xwing.h"
#include "support/hex.h"
#include "support/identity_writer.h"
#include "support/output_dir.h"

namespace {

using namespace vesk;
using namespace vesk::testing;

// Demo identities: test_identity(n) derives its seed from n alone.
constexpr int kLaptop = 101, kPhone = 102, kTablet = 103, kRecovery = 109;

// Writes one file and says so.
bool write(const OutputDir& out, const char* name, Bytes data) {
  if (!out.write(name, data)) return false;
  std::printf("wrote %s (%zu bytes)\n", out.file(name).c_str(), data.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const bool help = argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h");
  if (argc != 2 || help || argv[1][0] == '-') {
    std::fprintf(help ? stdout : stderr,
                 "usage: devgen-identity OUTDIR  (development aid: writes public demo records into OUTDIR,\n"
                 "       made if missing: identity.log, recovery.key, recovery.binding, identity.pin,\n"
                 "       laptop.key, tablet.key, epochs.chain, epochs.binding, other.log)\n");
    return help ? 0 : 1;
  }
  const OutputDir dir("devgen-identity", argv[1]);
  if (!dir.made()) return 2;
  const auto& laptop = test_identity(kLaptop);
  const auto& phone = test_identity(kPhone);
  const auto& tablet = test_identity(kTablet);
  const auto& recovery = test_identity(kRecovery);

  LogWriter log;
  log.create(laptop, "laptop").add(laptop, key_of(phone), "phone").add(phone, key_of(tablet), "tablet");
  log.revoke(laptop, device_id_of(tablet));
  const crypto::Digest32 identity = log.identity_id();

  EpochChainWriter chain;
  for (std::uint8_t epoch = 0; epoch < 3; ++epoch) {
    std::uint8_t seed[32];
    for (std::uint8_t i = 0; i < 32; ++i) seed[i] = static_cast<std::uint8_t>(0xE0 + epoch + i);
    chain.add(crypto::XWingSecretKey::from_seed(seed).public_key());
  }

  const std::string pin = to_hex(identity) + "\n";
  bool ok = write(dir, "identity.log", log.bytes()) && write(dir, "recovery.key", key_of(recovery)) &&
            write(dir, "recovery.binding", recovery_binding(laptop, identity, key_of(recovery))) &&
            write(dir, "identity.pin", as_bytes(pin)) && write(dir, "laptop.key", key_of(laptop)) &&
            write(dir, "tablet.key", key_of(tablet)) && write(dir, "epochs.chain", chain.bytes()) &&
            write(dir, "epochs.binding",
                  epoch_binding(phone, identity, log.head(), chain.head(), chain.size()));
  LogWriter other;
  other.create(phone, "phone");
  ok = ok && write(dir, "other.log", other.bytes());
  return ok ? 0 : 2;
}
