#include "ffi/results.h"

namespace vesk::ffi {

void put_bytes(VeskBuffer* out, Bytes data) { put_output(out, OutputBuffer::copy_of(data.data(), data.size())); }

void put_output(VeskBuffer* out, OutputBuffer&& buffer) {
  if (buffer.size() == 0) {
    put_empty(out);
    return;  // the buffer releases its (empty) allocation itself
  }
  OutputBuffer::Released r = buffer.release();
  out->data = r.data;
  out->len = r.len;
  out->capacity = r.capacity;
}

void put_empty(VeskBuffer* out) { *out = VeskBuffer{nullptr, 0, 0}; }

}  // namespace vesk::ffi
