// Compiled into libvesk.so only. Every allocation the library makes, its own and libcrypto's, goes
// through here, so that exhausted memory is reported with its size and stops the process instead
// of surfacing as an error status deep inside a primitive. The version script keeps these
// definitions local: the host's own operator new and its own libcrypto (if any) are left alone,
// since the libcrypto inside libvesk.so is a private, statically linked copy.
#include <openssl/crypto.h>

#include <cstdlib>
#include <new>

#include "core/memory.h"

void* operator new(std::size_t size) { return vesk::checked_malloc(size); }
void* operator new[](std::size_t size) { return vesk::checked_malloc(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return vesk::checked_malloc(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return vesk::checked_malloc(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

void* crypto_malloc(std::size_t n, const char*, int) { return vesk::checked_malloc(n); }

void* crypto_realloc(void* p, std::size_t n, const char*, int) {
  if (n == 0) {
    std::free(p);
    return nullptr;
  }
  void* r = std::realloc(p, n);
  if (r == nullptr) vesk::out_of_memory(n);
  return r;
}

void crypto_free(void* p, const char*, int) { std::free(p); }

// Runs when the library is loaded, before libcrypto has allocated anything.
__attribute__((constructor)) void route_libcrypto_allocations() {
  CRYPTO_set_mem_functions(crypto_malloc, crypto_realloc, crypto_free);
}

}  // namespace
