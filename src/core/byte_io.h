// A bounds-checked reader over a borrowed byte range, and the one writer. Every parser of the
// library reads through ByteReader and every record is written through ByteWriter, so none indexes
// raw pointers.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

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
  // A big-endian integer of `width` bytes (at most 8).
  std::optional<std::uint64_t> read_be(std::size_t width) {
    VESK_CHECK(width <= 8, "integer wider than 64 bits");
    auto b = read(width);
    if (!b) return std::nullopt;
    std::uint64_t v = 0;
    for (std::uint8_t byte : *b) v = (v << 8) | byte;
    return v;
  }
  bool skip(std::size_t n) { return read(n).has_value(); }

 private:
  Bytes input_;
  std::size_t pos_ = 0;
};

// A writer with one of two storages, chosen when it is made:
//  - growable (the default): a wiping vector, so that a record which may hold something private
//    (metadata, a transcript) leaves nothing behind as the storage grows or is released;
//  - fixed: memory of exactly the record's size, filled front to back; writing past its end is a
//    fault, and so is finishing before every byte is written.
// Either way the writer only appends: put_* copies bytes in, add_space hands out the next bytes to
// be written in place.
class ByteWriter {
 public:
  ByteWriter() = default;
  explicit ByteWriter(std::size_t reserve) { grown_.reserve(reserve); }
  explicit ByteWriter(MutBytes fixed) : fixed_(fixed), is_fixed_(true) {}

  // Extends the output by n bytes and returns them, to be written in place.
  MutBytes add_space(std::size_t n) {
    if (is_fixed_) {
      VESK_CHECK(n <= fixed_.size() - size_, "fixed record overflow");
    } else {
      grown_.resize(checked_add(size_, n));
    }
    const MutBytes space = storage().subspan(size_, n);
    size_ += n;
    return space;
  }
  void put(Bytes b) {
    const MutBytes space = add_space(b.size());
    if (!b.empty()) std::memcpy(space.data(), b.data(), b.size());
  }
  void put_u8(std::uint8_t v) { add_space(1)[0] = v; }
  void put_be16(std::uint16_t v) { store_be16(add_space(2).data(), v); }
  void put_be32(std::uint32_t v) { store_be32(add_space(4).data(), v); }
  void put_be64(std::uint64_t v) { store_be64(add_space(8).data(), v); }
  // A length-prefixed child: its 64-bit big-endian length, then its bytes (the framing of hashed
  // and signed records).
  void put_framed(Bytes b) {
    put_be64(b.size());
    put(b);
  }

  std::size_t size() const { return size_; }
  Bytes view() const { return Bytes(storage()).first(size_); }
  // Growable: the bytes written, handed over with their wiping storage.
  SecureVector take() {
    VESK_CHECK(!is_fixed_, "a fixed record stays where it was written");
    size_ = 0;
    return std::move(grown_);
  }
  // Fixed: faults unless every byte of the record was written.
  void finish() const { VESK_CHECK(is_fixed_ && size_ == fixed_.size(), "fixed record not filled"); }

 private:
  MutBytes storage() { return is_fixed_ ? fixed_ : MutBytes(grown_); }
  Bytes storage() const { return is_fixed_ ? Bytes(fixed_) : Bytes(grown_); }

  SecureVector grown_;
  MutBytes fixed_;
  bool is_fixed_ = false;
  std::size_t size_ = 0;
};

// A record of fixed layout, exactly N bytes, written front to back by `write(ByteWriter&)`.
template <std::size_t N, class Write>
std::array<std::uint8_t, N> fixed_record(Write&& write) {
  std::array<std::uint8_t, N> out;
  ByteWriter w{MutBytes(out)};
  write(w);
  w.finish();
  return out;
}

}  // namespace vesk
