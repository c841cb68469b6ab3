// The system randomness source: getrandom when the kernel has it, otherwise /dev/urandom once
// /dev/random has become readable. Opened once per process and kept.
#pragma once

#include <cstddef>

#include "core/bytes.h"
#include "core/expected.h"

namespace vesk {

struct RandomError {
  int system_error;  // errno of the failing call
};

// Fills `out` completely from the process-wide source.
Expected<void, RandomError> random_fill(MutBytes out);

namespace detail {

using GetrandomFn = long (*)(void* buf, std::size_t len, unsigned flags);

// One opened source. The process-wide one is created on first use; tests create their own to
// drive each path.
class RandomSource {
 public:
  enum class Kind { Getrandom, DevUrandom, Failed };

  // Probes `getrandom` (looked up by name in open_system, given in open_with) with a
  // zero-length request; falls back to the device when it is missing or the probe reports ENOSYS
  // or EPERM.
  static RandomSource open_system();
  static RandomSource open_with(GetrandomFn getrandom_fn);
  // The device path, as used when getrandom is unavailable.
  static RandomSource open_device(const char* ready_path = "/dev/random",
                                  const char* device_path = "/dev/urandom");

  RandomSource(RandomSource&&) noexcept;
  RandomSource& operator=(RandomSource&&) = delete;
  RandomSource(const RandomSource&) = delete;
  ~RandomSource();

  Kind kind() const { return kind_; }
  Expected<void, RandomError> fill(MutBytes out) const;

 private:
  RandomSource(Kind kind, GetrandomFn fn, int fd, int open_error)
      : kind_(kind), getrandom_(fn), fd_(fd), open_error_(open_error) {}
  Kind kind_;
  GetrandomFn getrandom_;
  int fd_;
  int open_error_;
};

}  // namespace detail
}  // namespace vesk
