// Decoders must not allocate for the entries or records a hostile head claims, only for what the
// input can hold. The largest single allocation is observed through a replaced operator new (its
// own executable, so no other suite is affected; skipped under AddressSanitizer, which owns
// operator new there).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "identity/epoch_chain.h"
#include "identity/log.h"
#include "support/identity_writer.h"

#if defined(__SANITIZE_ADDRESS__)
#define VESK_OWN_NEW 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VESK_OWN_NEW 0
#endif
#endif
#ifndef VESK_OWN_NEW
#define VESK_OWN_NEW 1
#endif

namespace {
std::atomic<bool> g_tracking{false};
std::atomic<std::size_t> g_largest{0};
}  // namespace

#if VESK_OWN_NEW
void* operator new(std::size_t n) {
  if (g_tracking.load(std::memory_order_relaxed)) {
    std::size_t seen = g_largest.load(std::memory_order_relaxed);
    while (n > seen && !g_largest.compare_exchange_weak(seen, n)) {
    }
  }
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace vesk::identity {
namespace {

template <class F>
std::size_t largest_allocation(F&& f) {
  g_largest = 0;
  g_tracking = true;
  f();
  g_tracking = false;
  return g_largest;
}

std::vector<std::uint8_t> claimed(std::vector<std::uint8_t> head, std::size_t filler) {
  head.resize(head.size() + filler, 0x00);
  return head;
}

TEST(HostileCounts, ReserveByTheInputNotTheHead) {
  if (!VESK_OWN_NEW) GTEST_SKIP() << "operator new belongs to the sanitizer runtime";

  // 100000 entries claimed in 64 bytes; 1000000 records claimed in 64 bytes.
  const auto log = claimed({0x9a, 0x00, 0x01, 0x86, 0xa0}, 59);
  const auto chain = claimed({0x9a, 0x00, 0x0f, 0x42, 0x40}, 59);
  std::size_t log_peak = largest_allocation([&] { EXPECT_FALSE(decode_identity_log(log).has_value()); });
  std::size_t chain_peak = largest_allocation([&] { EXPECT_FALSE(decode_epoch_chain(chain).has_value()); });
  EXPECT_LE(log_peak, (64 / 8) * sizeof(IdentityEntry));
  EXPECT_LE(chain_peak, (64 / 4) * sizeof(EpochRecord));

  // The probe sees real allocations: a decoded entry copies its 3373-byte signature.
  testing::LogWriter w;
  w.create(testing::test_identity(1));
  const auto real = w.bytes();
  EXPECT_GE(largest_allocation([&] { EXPECT_TRUE(decode_identity_log(real).has_value()); }), 3373u);
}

}  // namespace
}  // namespace vesk::identity
