// Key files and seeds opened as recipient keys. The first byte picks the passphrase (or none); the
// rest is the key data.
//
// To keep runs fast, a file whose Argon2 costs are within the accepted bounds has them lowered to
// the minimum (8192 KiB, 1 pass; the lane count is kept) before it is parsed, so every derivation
// is cheap. Costs outside the bounds are left alone: the parser must refuse them without deriving.
// Each run checks that no refusal other than a failed tag derives anything and that at most three
// passphrase forms are tried.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "core/bytes.h"
#include "keyring/key_file.h"
#include "keyring/key_file_testing.h"
#include "keyring/recipient.h"

using namespace vesk;

namespace {

const std::optional<std::string_view> kPassphrases[] = {
    std::nullopt,
    "fuzzing passphrase",
    "caf\xC3\xA9 au lait",
    "cafe\xCC\x81 au lait",
    "\xC3\xA9t\xC3\xA9 e\xCC\x81t\xC3\xA9",
    "not UTF-8 \xFF",
    "",
};

void lower_costs(std::vector<std::uint8_t>& d) {
  if (d.size() < 18 || !keyring::has_key_file_magic(d)) return;
  const std::uint32_t memory = load_be32(&d[10]);
  const std::uint32_t iterations = load_be32(&d[14]);
  if (memory >= 8192 && memory <= 262144) store_be32(&d[10], 8192);
  if (iterations >= 1 && iterations <= 64) store_be32(&d[14], 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 4096 + 1) return 0;  // the export's cap
  const auto passphrase = kPassphrases[data[0] % std::size(kPassphrases)];
  std::vector<std::uint8_t> key_data(data + 1, data + size);
  lower_costs(key_data);

  const std::uint64_t before = keyring::testing_hooks::argon2_derivations();
  auto seed = keyring::open_recipient_key(key_data, passphrase);
  const std::uint64_t derived = keyring::testing_hooks::argon2_derivations() - before;
  if (derived > 3) std::abort();
  if (!seed && seed.error().kind != keyring::KeyFileErrorKind::WrongPassphrase && derived != 0) std::abort();
  if (seed && !keyring::has_key_file_magic(key_data) && key_data.size() != 32) std::abort();
  return 0;
}
