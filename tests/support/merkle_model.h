// An RFC 6962 tree model written from the definitions (MTH, PATH, PROOF/SUBPROOF), and the roots a
// proof stands for read top down from the same recursion, with the proof's hashes in place of the
// subtrees that are not built. Shared by the Merkle tests and the corpus generator, independent of
// the library's verifier.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/crypto/hash.h"

namespace vesk::testing::merkle {

using crypto::Digest32;
using HashList = std::vector<Digest32>;

inline Digest32 node(const Digest32& l, const Digest32& r) {
  const std::uint8_t prefix = 0x01;
  return vesk::crypto::sha256({vesk::Bytes(&prefix, 1), l, r});
}

// Largest power of two strictly below n, by counting rather than by bit tricks.
inline std::uint64_t split(std::uint64_t n) {
  std::uint64_t k = 1;
  while (k < n - k) k <<= 1;
  return k;
}

// The ways of damaging a proof that a verifier must refuse, each with its name: every hash
// changed in turn, every two neighbours swapped (where that changes the list), `extra` appended,
// the first and the last hash removed.
inline std::vector<std::pair<std::string, HashList>> damaged(const HashList& proof, const Digest32& extra) {
  std::vector<std::pair<std::string, HashList>> out;
  for (std::size_t j = 0; j < proof.size(); ++j) {
    HashList p = proof;
    p[j][j % 32] ^= 0x01;
    out.emplace_back("hash-" + std::to_string(j) + "-changed", p);
    if (j > 0) {
      HashList s = proof;
      std::swap(s[j - 1], s[j]);
      if (s != proof) out.emplace_back("hashes-" + std::to_string(j - 1) + "-" + std::to_string(j) + "-swapped", s);
    }
  }
  HashList appended = proof;
  appended.push_back(extra);
  out.emplace_back("hash-appended", appended);
  if (!proof.empty()) {
    out.emplace_back("first-hash-removed", HashList(proof.begin() + 1, proof.end()));
    out.emplace_back("last-hash-removed", HashList(proof.begin(), proof.end() - 1));
  }
  return out;
}

// A real tree over leaves 0..n-1 with the RFC definitions, subtree hashes memoised.
class RfcTree {
 public:
  explicit RfcTree(HashList leaves) : leaves_(std::move(leaves)) {}
  std::uint64_t size() const { return leaves_.size(); }
  const Digest32& leaf(std::uint64_t i) const { return leaves_.at(i); }

  Digest32 mth(std::uint64_t lo, std::uint64_t hi) {
    if (hi - lo == 1) return leaves_.at(lo);
    auto key = std::make_pair(lo, hi);
    if (auto it = memo_.find(key); it != memo_.end()) return it->second;
    const std::uint64_t k = split(hi - lo);
    Digest32 h = node(mth(lo, lo + k), mth(lo + k, hi));
    memo_[key] = h;
    return h;
  }
  Digest32 root(std::uint64_t n) { return mth(0, n); }

  // PATH(m, D[lo:hi]), from the leaf upward.
  HashList path(std::uint64_t m, std::uint64_t lo, std::uint64_t hi) {
    if (hi - lo == 1) return {};
    const std::uint64_t k = split(hi - lo);
    HashList p;
    if (m < k) {
      p = path(m, lo, lo + k);
      p.push_back(mth(lo + k, hi));
    } else {
      p = path(m - k, lo + k, hi);
      p.push_back(mth(lo, lo + k));
    }
    return p;
  }

  // PROOF(m, D[n]) = SUBPROOF(m, D[0:n], true).
  HashList proof(std::uint64_t m, std::uint64_t n) { return m == n ? HashList{} : subproof(m, 0, n, true); }

 private:
  HashList subproof(std::uint64_t m, std::uint64_t lo, std::uint64_t hi, bool whole) {
    if (m == hi - lo) return whole ? HashList{} : HashList{mth(lo, hi)};
    const std::uint64_t k = split(hi - lo);
    HashList p;
    if (m <= k) {
      p = subproof(m, lo, lo + k, whole);
      p.push_back(mth(lo + k, hi));
    } else {
      p = subproof(m - k, lo + k, hi, false);
      p.push_back(mth(lo, lo + k));
    }
    return p;
  }

  HashList leaves_;
  std::map<std::pair<std::uint64_t, std::uint64_t>, Digest32> memo_;
};

// The root a proof stands for, read top down from the RFC recursion with the proof's hashes in
// place of subtrees that are not built. nullopt when the proof has the wrong number of hashes or
// the claim is out of range. This is how proofs for trees of 2^64 - 1 leaves are made.
class ProofReader {
 public:
  explicit ProofReader(const HashList& p) : p_(p) {}
  std::optional<Digest32> next() { return pos_ < p_.size() ? std::optional<Digest32>(p_[pos_++]) : std::nullopt; }
  bool done() const { return pos_ == p_.size(); }

 private:
  const HashList& p_;
  std::size_t pos_ = 0;
};

inline std::optional<Digest32> inclusion_root(const Digest32& leaf, std::uint64_t m, std::uint64_t n, ProofReader& in) {
  if (n == 1) return leaf;
  const std::uint64_t k = split(n);
  if (m < k) {
    auto below = inclusion_root(leaf, m, k, in);
    auto sib = in.next();
    if (!below || !sib) return std::nullopt;
    return node(*below, *sib);
  }
  auto below = inclusion_root(leaf, m - k, n - k, in);
  auto sib = in.next();
  if (!below || !sib) return std::nullopt;
  return node(*sib, *below);
}

inline std::optional<Digest32> model_inclusion_root(const Digest32& leaf, std::uint64_t index, std::uint64_t size,
                                         const HashList& proof) {
  if (index >= size) return std::nullopt;
  ProofReader in(proof);
  auto r = inclusion_root(leaf, index, size, in);
  if (!r || !in.done()) return std::nullopt;
  return r;
}

// Old and new roots a consistency proof stands for; `old_root` is the old tree itself when it is
// a complete left subtree (the proof then leaves it out).
inline std::optional<std::pair<Digest32, Digest32>> consistency_roots(std::uint64_t m, std::uint64_t n, bool whole,
                                                       const Digest32& old_root, ProofReader& in) {
  if (m == n) {
    if (whole) return std::make_pair(old_root, old_root);
    auto h = in.next();
    if (!h) return std::nullopt;
    return std::make_pair(*h, *h);
  }
  const std::uint64_t k = split(n);
  if (m <= k) {
    auto below = consistency_roots(m, k, whole, old_root, in);
    auto right = in.next();
    if (!below || !right) return std::nullopt;
    return std::make_pair(below->first, node(below->second, *right));
  }
  auto below = consistency_roots(m - k, n - k, false, old_root, in);
  auto left = in.next();
  if (!below || !left) return std::nullopt;
  return std::make_pair(node(*left, below->first), node(*left, below->second));
}

inline std::optional<std::pair<Digest32, Digest32>> model_consistency_roots(std::uint64_t m, std::uint64_t n, const HashList& proof,
                                                             const Digest32& old_root) {
  if (m == 0 || m >= n) return std::nullopt;
  ProofReader in(proof);
  auto r = consistency_roots(m, n, true, old_root, in);
  if (!r || !in.done()) return std::nullopt;
  return r;
}

}  // namespace vesk::testing::merkle
