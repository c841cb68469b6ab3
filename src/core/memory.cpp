#include "core/memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <new>

#include "core/check.h"
#include "core/secret.h"
#include "core/testing_hooks.h"

namespace vesk {

void out_of_memory(std::size_t size) {
  // No allocation from here on: format by hand into a stack buffer.
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + size % 10);
    size /= 10;
  } while (size != 0);
  char line[96] = "memory allocation of ";
  std::size_t pos = sizeof("memory allocation of ") - 1;
  while (n > 0) line[pos++] = digits[--n];
  const char tail[] = " bytes failed\n";
  for (char c : tail) {
    if (c == '\0') break;
    line[pos++] = c;
  }
  ssize_t ignored = ::write(2, line, pos);
  (void)ignored;
  std::abort();
}

void* checked_malloc(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) out_of_memory(size);
  return p;
}

namespace {

// Results of at least this size are mapped directly, 2 MiB-aligned and advised for huge pages:
// first-touch page faults dominate writing a large fresh buffer otherwise.
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kMapThreshold = std::size_t{4} << 20;

std::atomic<testing_hooks::ReleaseHook> g_release_hook{nullptr};

std::size_t round_up_huge(std::size_t n) { return checked_add(n, kHugePage - 1) & ~(kHugePage - 1); }

std::uint8_t* map_aligned(std::size_t capacity) {
  const std::size_t length = round_up_huge(capacity);
  const std::size_t span = checked_add(length, kHugePage);
  void* raw = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) out_of_memory(capacity);
  auto base = reinterpret_cast<std::uintptr_t>(raw);
  std::uintptr_t aligned = (base + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
  if (aligned > base) ::munmap(raw, aligned - base);
  std::uintptr_t end = aligned + length;
  std::uintptr_t span_end = base + span;
  if (span_end > end) ::munmap(reinterpret_cast<void*>(end), span_end - end);
  ::madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
  return reinterpret_cast<std::uint8_t*>(aligned);
}

}  // namespace

ResultAllocation allocate_result(std::size_t capacity) {
  if (capacity >= kMapThreshold) return {map_aligned(capacity), capacity};
  return {static_cast<std::uint8_t*>(checked_malloc(capacity)), capacity};
}

void release_result(std::uint8_t* data, std::size_t wipe_len, std::size_t capacity) {
  if (data == nullptr) return;
  wipe(data, wipe_len);
  if (auto hook = g_release_hook.load(std::memory_order_acquire)) hook(data, wipe_len, capacity);
  if (capacity >= kMapThreshold) {
    ::munmap(data, round_up_huge(capacity));
  } else {
    std::free(data);
  }
}

namespace testing_hooks {
void set_release_hook(ReleaseHook hook) { g_release_hook.store(hook, std::memory_order_release); }
}  // namespace testing_hooks

}  // namespace vesk


namespace vesk {

OutputBuffer::OutputBuffer(std::size_t capacity) {
  if (capacity == 0) return;
  ResultAllocation a = allocate_result(capacity);
  data_ = a.data;
  capacity_ = a.capacity;
}

OutputBuffer OutputBuffer::copy_of(const std::uint8_t* data, std::size_t len) {
  OutputBuffer b(len);
  b.append(data, len);
  return b;
}

OutputBuffer::~OutputBuffer() { reset(); }

void OutputBuffer::reset() {
  if (data_ != nullptr) release_result(data_, capacity_, capacity_);
  data_ = nullptr;
  len_ = capacity_ = 0;
}

OutputBuffer::OutputBuffer(OutputBuffer&& o) noexcept : data_(o.data_), len_(o.len_), capacity_(o.capacity_) {
  o.data_ = nullptr;
  o.len_ = o.capacity_ = 0;
}

OutputBuffer& OutputBuffer::operator=(OutputBuffer&& o) noexcept {
  if (this != &o) {
    reset();
    data_ = o.data_;
    len_ = o.len_;
    capacity_ = o.capacity_;
    o.data_ = nullptr;
    o.len_ = o.capacity_ = 0;
  }
  return *this;
}

void OutputBuffer::append(const std::uint8_t* p, std::size_t n) {
  if (n == 0) return;
  std::memcpy(extend(n), p, n);
}

std::uint8_t* OutputBuffer::extend(std::size_t n) {
  VESK_CHECK(n <= capacity_ - len_, "result buffer overflow");
  std::uint8_t* at = data_ + len_;
  len_ += n;
  return at;
}

void OutputBuffer::truncate(std::size_t n) {
  VESK_CHECK(n <= len_, "result truncation past its length");
  len_ = n;
}

OutputBuffer::Released OutputBuffer::release() {
  Released r{data_, len_, capacity_};
  data_ = nullptr;
  len_ = capacity_ = 0;
  return r;
}

}  // namespace vesk
