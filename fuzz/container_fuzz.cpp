// The container reader with a fixed recipient key. The first byte picks what the rest is:
//   even: a whole container, read as given;
//   odd:  the payload (chunks) after the prelude, header and salt of a valid container for the
//         fixed key, so that the chunk framing, truncation and trailing-byte checks are reached
//         behind a header whose MAC verifies.
// A success must hand back a plaintext no longer than the payload and texts that obey their rules.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/crypto/xwing.h"
#include "format/container.h"
#include "format/metadata.h"
#include "object/decrypt.h"
#include "object/encrypt.h"
#include "object/wrap.h"

using namespace vesk;

namespace {

constexpr std::array<std::uint8_t, 32> kSeed = {0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42,
                                                0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42,
                                                0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42};

// Prelude, header block and payload salt of a container for the fixed key.
const std::vector<std::uint8_t>& valid_prefix() {
  static const std::vector<std::uint8_t> prefix = [] {
    const auto key = crypto::XWingSecretKey::from_seed(kSeed);
    auto container = object::encrypt({}, key.public_key(), std::string_view("fuzz.bin"), std::nullopt);
    if (!container) std::abort();
    const std::uint32_t header_len = load_be32(container->data() + 12);
    const std::size_t end = format::kPreludeLen + header_len + format::kPayloadSaltLen;
    return std::vector<std::uint8_t>(container->data(), container->data() + end);
  }();
  return prefix;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::vector<std::uint8_t> input;
  if (data[0] & 1) input = valid_prefix();
  input.insert(input.end(), data + 1, data + size);

  auto result = object::decrypt(input, kSeed);
  if (!result) return 0;
  if (result->plaintext.size() > input.size()) std::abort();
  const auto name = as_text(Bytes(result->file_name.data(), result->file_name.size()));
  const auto type = as_text(Bytes(result->content_type.data(), result->content_type.size()));
  if (!name.empty() && !format::file_name_ok(name)) std::abort();
  if (!type.empty() && !format::content_type_ok(type)) std::abort();
  return 0;
}
