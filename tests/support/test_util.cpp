#include "support/test_util.h"

#include <stdexcept>

#include "core/crypto/hmac.h"
#include "core/testing_hooks.h"
#include "vesk.hpp"

namespace vesk::testing {

namespace {
std::uint8_t g_sentinel_target[1] = {0xA5};
}

void* sentinel_address() { return g_sentinel_target; }

VeskBuffer sentinel_buffer() { return VeskBuffer{g_sentinel_target, 0x5EED, 0xC0FFEE}; }

bool is_sentinel(const VeskBuffer& b) {
  return b.data == g_sentinel_target && b.len == 0x5EED && b.capacity == 0xC0FFEE;
}

crypto::XWingSeed as_seed(const std::vector<std::uint8_t>& seed) {
  if (seed.size() != crypto::kXWingSeedLen) throw std::invalid_argument("a recipient seed is 32 bytes");
  return crypto::XWingSeed(seed.data(), crypto::kXWingSeedLen);
}

ExportKeys::ExportKeys(ByteVec seed) : identity_seed(std::move(seed)) {
  vesk::Buffer pk, vk;
  if (vesk_keypair_generate(&key, pk.out()) != VESK_OK) throw std::runtime_error("vesk_keypair_generate failed");
  public_key = pk.to_vector();
  if (vesk_signing_identity_open(identity_seed.data(), identity_seed.size(), nullptr, &identity) != VESK_OK ||
      vesk_signing_identity_public(identity, vk.out()) != VESK_OK) {
    vesk_secret_key_free(key);
    vesk_signing_identity_free(identity);
    throw std::runtime_error("the identity seed did not open as a signing identity");
  }
  verifying_key = vk.to_vector();
}

ExportKeys::~ExportKeys() {
  vesk_secret_key_free(key);
  vesk_signing_identity_free(identity);
}

ByteVec test_bytes(std::size_t n, std::uint32_t seed) {
  ByteVec out(n);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x);
  }
  return out;
}

ByteVec hkdf_by_hand(Bytes salt, Bytes ikm, Bytes info) {
  const auto prk = crypto::hmac_sha256(salt, {ikm});
  const std::uint8_t one[1] = {1};
  const auto okm = crypto::hmac_sha256(prk, {info, one});
  return ByteVec(okm.begin(), okm.end());
}

FailingRandomness::FailingRandomness(int error) : error_(error) {
  vesk::testing_hooks::set_random_source([](void* self, MutBytes) { return static_cast<FailingRandomness*>(self)->error_; },
                                         this);
}
FailingRandomness::~FailingRandomness() { vesk::testing_hooks::set_random_source(nullptr); }

}  // namespace vesk::testing
