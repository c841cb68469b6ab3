// A bounds-checked reader over a borrowed byte range and a growable writer. Every parser of the
// library reads through ByteReader, so none indexes raw pointers.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/bytes.h"
#include "core/check.h"
#include "core/secret.h"

namespace vesk {

class ByteReader {
 public:
  explicit ByteReader(Bytes input) : input_(input) {}

  std::size_t position() const { return pos_; }
  std::size_t remaining() const { return input_.size() - pos_; }
  bool at_end() const { return pos_ == input_.size(); }
  Bytes input() const { return input_; }
  Bytes rest() const { return input_.subspan(pos_); }

  // Each read either consumes exactly what it returns or fails and consumes nothing.
  std::optional<Bytes> read(std::size_t n) {
    if (n > remaining()) return std::nullopt;
    Bytes out = input_.subspan(pos_, n);
    pos_ += n;
    return out;
  }
  std::optional<std::uint8_t> read_u8() {
    if (remaining() < 1) return std::nullopt;
    return input_[pos_++];
  }
  std::optional<std::uint16_t> read_be16() {
    auto b = read(2);
    if (!b) return std::nullopt;
    return load_be16(b->data());
  }
  std::optional<std::uint32_t> read_be32() {
    auto b = read(4);
    if (!b) return std::nullopt;
    return load_be32(b->data());
  }
  std::optional<std::uint64_t> read_be64() {
    auto b = read(8);
    if (!b) return std::nullopt;
    return load_be64(b->data());
  }
  bool skip(std::size_t n) { return read(n).has_value(); }

 private:
  Bytes input_;
  std::size_t pos_ = 0;
};

// Storage for a record of fixed layout: exactly N bytes, filled front to back by a writer; writing
// past N is a fault, and so is taking the record before it is full.
template <std::size_t N>
class FixedBuffer {
 public:
  void reserve(std::size_t) {}
  std::size_t size() const { return size_; }
  const std::uint8_t* data() const { return bytes_.data(); }
  const std::uint8_t* end() const { return bytes_.data() + size_; }
  void push_back(std::uint8_t b) {
    VESK_CHECK(size_ < N, "fixed record overflow");
    bytes_[size_++] = b;
  }
  template <class It>
  void insert(const std::uint8_t*, It first, It last) {
    const auto n = static_cast<std::size_t>(last - first);
    VESK_CHECK(n <= N - size_, "fixed record overflow");
    std::copy(first, last, bytes_.begin() + static_cast<std::ptrdiff_t>(size_));
    size_ += n;
  }
  const std::array<std::uint8_t, N>& full() const {
    VESK_CHECK(size_ == N, "fixed record not filled");
    return bytes_;
  }

 private:
  std::array<std::uint8_t, N> bytes_{};
  std::size_t size_ = 0;
};

template <class Vec>
class BasicByteWriter {
 public:
  BasicByteWriter() = default;
  explicit BasicByteWriter(std::size_t reserve) { out_.reserve(reserve); }

  void put(Bytes b) { out_.insert(out_.end(), b.begin(), b.end()); }
  void put_u8(std::uint8_t v) { out_.push_back(v); }
  void put_be16(std::uint16_t v) {
    std::uint8_t b[2];
    store_be16(b, v);
    put(b);
  }
  void put_be32(std::uint32_t v) {
    std::uint8_t b[4];
    store_be32(b, v);
    put(b);
  }
  void put_be64(std::uint64_t v) {
    std::uint8_t b[8];
    store_be64(b, v);
    put(b);
  }
  // A 64-bit big-endian length followed by the bytes (the framing of hashed and signed records).
  void put_framed(Bytes b) {
    put_be64(b.size());
    put(b);
  }

  std::size_t size() const { return out_.size(); }
  Bytes view() const { return {out_.data(), out_.size()}; }
  Vec& buffer() { return out_; }
  Vec take() { return std::move(out_); }

 private:
  Vec out_;
};

using ByteWriter = BasicByteWriter<std::vector<std::uint8_t>>;
using SecretWriter = BasicByteWriter<SecureVector>;
template <std::size_t N>
using FixedWriter = BasicByteWriter<FixedBuffer<N>>;

}  // namespace vesk
