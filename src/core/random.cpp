#include "core/random.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "core/testing_hooks.h"

namespace vesk {
namespace detail {

RandomSource RandomSource::open_system() {
  // Looked up at run time: a C library without the wrapper still gives us the device path.
  auto fn = reinterpret_cast<GetrandomFn>(::dlsym(RTLD_DEFAULT, "getrandom"));
  return open_with(fn);
}

RandomSource RandomSource::open_with(GetrandomFn fn) {
  if (fn != nullptr) {
    errno = 0;
    long r = fn(nullptr, 0, 0);
    if (r >= 0 || (errno != ENOSYS && errno != EPERM)) return RandomSource(Kind::Getrandom, fn, -1, 0);
  }
  return open_device();
}

RandomSource RandomSource::open_device(const char* ready_path, const char* device_path) {
  // Wait once until the kernel's pool is initialised, then read the non-blocking device.
  int ready = ::open(ready_path, O_RDONLY | O_CLOEXEC);
  if (ready < 0) return RandomSource(Kind::Failed, nullptr, -1, errno);
  pollfd pfd{ready, POLLIN, 0};
  int pr;
  do {
    pr = ::poll(&pfd, 1, -1);
  } while (pr < 0 && errno == EINTR);
  int poll_error = pr < 0 ? errno : 0;
  ::close(ready);
  if (pr < 0) return RandomSource(Kind::Failed, nullptr, -1, poll_error);
  int fd;
  do {
    fd = ::open(device_path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return RandomSource(Kind::Failed, nullptr, -1, errno);
  return RandomSource(Kind::DevUrandom, nullptr, fd, 0);
}

RandomSource::RandomSource(RandomSource&& o) noexcept
    : kind_(o.kind_), getrandom_(o.getrandom_), fd_(o.fd_), open_error_(o.open_error_) {
  o.fd_ = -1;
  o.kind_ = Kind::Failed;
}

RandomSource::~RandomSource() {
  if (fd_ >= 0) ::close(fd_);
}

Expected<void, RandomError> RandomSource::fill(MutBytes out) const {
  std::size_t done = 0;
  while (done < out.size()) {
    long r;
    if (kind_ == Kind::Getrandom) {
      r = getrandom_(out.data() + done, out.size() - done, 0);
    } else if (kind_ == Kind::DevUrandom) {
      r = ::read(fd_, out.data() + done, out.size() - done);
    } else {
      return unexpected(RandomError{open_error_ != 0 ? open_error_ : EIO});
    }
    if (r < 0) {
      if (errno == EINTR) continue;
      return unexpected(RandomError{errno});
    }
    if (r == 0) return unexpected(RandomError{EIO});  // the device ended
    done += static_cast<std::size_t>(r);
  }
  return {};
}

}  // namespace detail

namespace {
std::atomic<testing_hooks::RandomSource> g_source{nullptr};
std::atomic<void*> g_source_context{nullptr};
}  // namespace

namespace testing_hooks {
void set_random_source(RandomSource source, void* context) {
  g_source_context.store(context, std::memory_order_relaxed);
  g_source.store(source, std::memory_order_relaxed);
}
}  // namespace testing_hooks

Expected<void, RandomError> random_fill(MutBytes out) {
  if (testing_hooks::RandomSource source = g_source.load(std::memory_order_relaxed); source != nullptr) [[unlikely]] {
    if (int error = source(g_source_context.load(std::memory_order_relaxed), out); error != 0)
      return unexpected(RandomError{error});
    return {};
  }
  // Thread-safe one-time initialisation; the descriptor stays open for the life of the process.
  static const detail::RandomSource* const source = new detail::RandomSource(detail::RandomSource::open_system());
  return source->fill(out);
}

}  // namespace vesk
