#include "transparency/merkle.h"

#include <bit>

#include "core/byte_io.h"
#include "core/check.h"
#include "core/crypto/hash.h"

namespace vesk::transparency {
namespace {

enum class Side : std::uint8_t { Right, Left };

// Directions from the root down: RIGHT when the path enters the left subtree (the sibling is on
// the right), LEFT when it enters the right subtree. A fixed array: no size needs more than 64.
class DirectionList {
 public:
  void push(Side s) {
    VESK_CHECK(count_ < kMaxProofHashes, "Merkle path deeper than 64 levels");
    sides_[count_++] = s;
  }
  std::size_t size() const { return count_; }
  // Bottom-up order: the last recorded direction is the lowest level.
  Side from_bottom(std::size_t j) const {
    VESK_CHECK(j < count_, "Merkle direction index out of range");
    return sides_[count_ - 1 - j];
  }

 private:
  std::array<Side, kMaxProofHashes> sides_{};
  std::size_t count_ = 0;
};

// One digest context for all the nodes of a verification; each node is one 65-byte update.
class NodeHasher {
 public:
  crypto::Digest32 node(Bytes left, Bytes right) {
    std::array<std::uint8_t, 1 + 2 * crypto::kDigest32Len> in;
    in[0] = 0x01;
    std::copy(left.begin(), left.end(), in.begin() + 1);
    std::copy(right.begin(), right.end(), in.begin() + 1 + crypto::kDigest32Len);
    sha_.update(in);
    return sha_.finish();
  }

 private:
  crypto::Sha256 sha_;
};

Bytes next_hash(ByteReader& proof) {
  auto h = proof.read(crypto::kDigest32Len);
  VESK_CHECK(h.has_value(), "Merkle proof shorter than counted");
  return *h;
}

bool same(const crypto::Digest32& a, HashView b) { return equal_bytes(a, b); }

}  // namespace

std::uint64_t split_point(std::uint64_t b) {
  VESK_CHECK(b >= 2, "Merkle split of a tree smaller than 2");
  return std::uint64_t{1} << (63 - std::countl_zero(b - 1));
}

bool verify_inclusion(HashView leaf, std::uint64_t index, std::uint64_t size, Bytes proof, HashView root) {
  if (proof.size() % crypto::kDigest32Len != 0) return false;
  const std::size_t count = proof.size() / crypto::kDigest32Len;
  if (count > kMaxProofHashes) return false;
  if (index >= size) return false;

  DirectionList dirs;
  for (std::uint64_t s = index, b = size; b > 1;) {
    const std::uint64_t k = split_point(b);
    if (s < k) {
      dirs.push(Side::Right);
      b = k;
    } else {
      dirs.push(Side::Left);
      s -= k;
      b -= k;
    }
  }
  if (dirs.size() != count) return false;

  NodeHasher hasher;
  ByteReader in(proof);
  crypto::Digest32 h;
  std::copy(leaf.begin(), leaf.end(), h.begin());
  for (std::size_t j = 0; j < count; ++j) {
    const Bytes p = next_hash(in);
    h = dirs.from_bottom(j) == Side::Right ? hasher.node(h, p) : hasher.node(p, h);
  }
  return same(h, root);
}

bool verify_consistency(std::uint64_t old_size, std::uint64_t new_size, Bytes proof, HashView old_root,
                        HashView new_root) {
  if (proof.size() % crypto::kDigest32Len != 0) return false;
  const std::size_t count = proof.size() / crypto::kDigest32Len;
  if (count > kMaxProofHashes) return false;
  if (old_size == 0 || old_size > new_size) return false;
  if (old_size == new_size) return count == 0 && equal_bytes(old_root, new_root);

  // a < b holds throughout, so b stays at least 2 and the walk ends where a fills a left subtree.
  DirectionList dirs;
  bool full = true;
  for (std::uint64_t a = old_size, b = new_size;;) {
    const std::uint64_t k = split_point(b);
    if (a <= k) {
      dirs.push(Side::Right);
      if (a == k) break;
      b = k;
    } else {
      dirs.push(Side::Left);
      full = false;
      a -= k;
      b -= k;
    }
  }
  const std::size_t levels = dirs.size();
  if (count != (full ? levels : levels + 1)) return false;

  ByteReader in(proof);
  crypto::Digest32 seed;
  if (full) {
    std::copy(old_root.begin(), old_root.end(), seed.begin());
  } else {
    const Bytes first = next_hash(in);
    std::copy(first.begin(), first.end(), seed.begin());
  }

  NodeHasher hasher;
  crypto::Digest32 fr = seed;
  crypto::Digest32 sr = seed;
  for (std::size_t j = 0; j < levels; ++j) {
    const Bytes q = next_hash(in);
    if (dirs.from_bottom(j) == Side::Right) {
      sr = hasher.node(sr, q);
    } else {
      fr = hasher.node(q, fr);
      sr = hasher.node(q, sr);
    }
  }
  return same(fr, old_root) && same(sr, new_root);
}

}  // namespace vesk::transparency
