#include "core/crypto/heap.h"

#include <openssl/crypto.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "core/memory.h"
#include "core/secret.h"
#include "core/testing_hooks.h"

namespace vesk::crypto {
namespace {

// Each block carries its length in front, so that release knows how much to wipe without asking
// the C allocator (a host may have replaced it). 16 bytes keep malloc's alignment for the block.
constexpr std::size_t kHeaderLen = 16;

// Blocks this large are Argon2id's memory, which libcrypto clears itself before releasing it (a
// test holds it to that). Wiping them a second time would cost a pass over 19 MiB, a twentieth of
// a key-file open.
constexpr std::size_t kSelfClearedLen = std::size_t{1} << 20;

std::atomic<testing_hooks::CryptoReleaseHook> g_release_hook{nullptr};

std::uint8_t* header_of(void* block) { return static_cast<std::uint8_t*>(block) - kHeaderLen; }

std::size_t length_of(void* block) {
  std::size_t len;
  std::memcpy(&len, header_of(block), sizeof len);
  return len;
}

void* crypto_malloc(std::size_t len, const char*, int) {
  if (len > SIZE_MAX - kHeaderLen) out_of_memory(len);
  void* base = std::malloc(len + kHeaderLen);
  if (base == nullptr) out_of_memory(len);
  std::memcpy(base, &len, sizeof len);
  return static_cast<std::uint8_t*>(base) + kHeaderLen;
}

void crypto_free(void* block, const char*, int) {
  if (block == nullptr) return;
  const std::size_t len = length_of(block);
  if (len < kSelfClearedLen) wipe(block, len);
  if (auto hook = g_release_hook.load(std::memory_order_acquire))
    hook(static_cast<const std::uint8_t*>(block), len);
  std::free(header_of(block));
}

// A moved block is copied and the old one wiped: the C allocator's realloc would release the old
// contents unwiped.
void* crypto_realloc(void* block, std::size_t len, const char* file, int line) {
  if (block == nullptr) return crypto_malloc(len, file, line);
  if (len == 0) {
    crypto_free(block, file, line);
    return nullptr;
  }
  const std::size_t old_len = length_of(block);
  if (len <= old_len) {
    wipe(static_cast<std::uint8_t*>(block) + len, old_len - len);
    std::memcpy(header_of(block), &len, sizeof len);
    return block;
  }
  void* moved = crypto_malloc(len, file, line);
  std::memcpy(moved, block, len < old_len ? len : old_len);
  crypto_free(block, file, line);
  return moved;
}

// libcrypto takes new allocation functions only before its first allocation, so they are set
// once, before anything can call into it: by the constructor below when the library is loaded,
// or by the first call of the process, whichever comes first (a static host's own constructors
// may run before this one).
bool route_once() {
  static const bool routed = CRYPTO_set_mem_functions(crypto_malloc, crypto_realloc, crypto_free) == 1;
  return routed;
}

__attribute__((constructor(101))) void route_when_loaded() { route_once(); }

}  // namespace

bool route_libcrypto_allocations() { return route_once(); }

namespace testing_hooks {
void set_crypto_release_hook(CryptoReleaseHook hook) { g_release_hook.store(hook, std::memory_order_release); }
}  // namespace testing_hooks

}  // namespace vesk::crypto
