#include "ffi/guard.h"

#include <cstdio>

#include "core/crypto/heap.h"

namespace vesk::ffi {

void report_fault(const Fault& fault) {
  std::fprintf(stderr, "vesk: internal fault: %s (at %s:%d)\n", fault.message, fault.file, fault.line);
  std::fflush(stderr);
}

void prepare_first_call() { crypto::route_libcrypto_allocations(); }

void report_unexpected(const char* what) {
  std::fprintf(stderr, "vesk: internal fault: %s\n", what);
  std::fflush(stderr);
}

}  // namespace vesk::ffi
