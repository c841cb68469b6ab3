// Allocation: exhausted memory is reported and stops the process; result buffers handed to the
// caller come from here and go back through release_result.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vesk {

// Writes "memory allocation of N bytes failed" to standard error and aborts.
[[noreturn]] void out_of_memory(std::size_t size);

// Raw allocation that never returns NULL (size 0 gives a unique non-NULL pointer).
void* checked_malloc(std::size_t size);

// Memory that becomes a caller's VeskBuffer. Large results are placed so that the kernel can back
// them with huge pages; capacity records the size, and release_result needs it back.
struct ResultAllocation {
  std::uint8_t* data;
  std::size_t capacity;
};
ResultAllocation allocate_result(std::size_t capacity);
// Wipes the first `wipe_len` bytes, then releases.
void release_result(std::uint8_t* data, std::size_t wipe_len, std::size_t capacity);

}  // namespace vesk

namespace vesk {

// A result under construction, in memory that can be handed to the caller without a copy. Until
// it is handed over, destruction wipes the whole capacity and releases it.
class OutputBuffer {
 public:
  OutputBuffer() = default;
  explicit OutputBuffer(std::size_t capacity);
  static OutputBuffer copy_of(const std::uint8_t* data, std::size_t len);
  ~OutputBuffer();
  OutputBuffer(OutputBuffer&& o) noexcept;
  OutputBuffer& operator=(OutputBuffer&& o) noexcept;
  OutputBuffer(const OutputBuffer&) = delete;
  OutputBuffer& operator=(const OutputBuffer&) = delete;

  std::uint8_t* data() { return data_; }
  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return len_; }
  std::size_t capacity() const { return capacity_; }
  // Appends; faults if the capacity would be exceeded (results are sized up front).
  void append(const std::uint8_t* p, std::size_t n);
  // Extends the length by n bytes and returns where they start, for writing in place.
  std::uint8_t* extend(std::size_t n);
  void truncate(std::size_t n);

  struct Released {
    std::uint8_t* data;
    std::size_t len;
    std::size_t capacity;
  };
  // Gives up ownership; the receiver releases with release_result.
  Released release();

 private:
  void reset();
  std::uint8_t* data_ = nullptr;
  std::size_t len_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace vesk
