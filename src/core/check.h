// Faults: broken invariants, indexes out of range, overflowing size computations. A fault is
// thrown as a Fault and caught by the guard at the export, which reports it and returns 98.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace vesk {

struct Fault {
  const char* message;
  const char* file;
  int line;
};

[[noreturn]] void raise_fault(const char* message, const char* file, int line);

}  // namespace vesk

#define VESK_FAULT(message) ::vesk::raise_fault((message), __FILE__, __LINE__)
#define VESK_CHECK(condition, message)          \
  do {                                          \
    if (!(condition)) [[unlikely]]              \
      ::vesk::raise_fault((message), __FILE__, __LINE__); \
  } while (0)

namespace vesk {

// Size arithmetic that faults instead of wrapping (and, evaluated at compile time, does not compile).
constexpr std::size_t checked_add(std::size_t a, std::size_t b) {
  std::size_t r;
  if (__builtin_add_overflow(a, b, &r)) VESK_FAULT("size computation overflows");
  return r;
}
constexpr std::size_t checked_mul(std::size_t a, std::size_t b) {
  std::size_t r;
  if (__builtin_mul_overflow(a, b, &r)) VESK_FAULT("size computation overflows");
  return r;
}

}  // namespace vesk
