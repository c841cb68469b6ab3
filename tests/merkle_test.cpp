// Merkle proof verification through the exports, against a tree model written here from the
// RFC 6962 definitions (MTH, PATH, PROOF/SUBPROOF), the published vectors, and synthetic proofs for
// trees too large to build.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "core/crypto/hash.h"
#include "support/merkle_model.h"
#include "support/test_util.h"
#include "support/vectors.h"
#include "transparency/merkle.h"
#include "vesk.h"

namespace {

using vesk::testing::ByteVec;
using vesk::testing::cat;
using vesk::testing::from_hex;
using vesk::testing::hex_field;
using vesk::crypto::Digest32;
using vesk::testing::merkle::HashList;
using vesk::testing::merkle::model_consistency_roots;
using vesk::testing::merkle::model_inclusion_root;
using vesk::testing::merkle::node;
using vesk::testing::merkle::split;

constexpr std::uint64_t kMax = ~std::uint64_t{0};

Digest32 leaf_hash(std::uint64_t i) {
  const std::uint8_t prefix = 0x00;
  auto data = vesk::testing::test_bytes(i % 7, static_cast<std::uint32_t>(i + 1));
  return vesk::crypto::sha256({vesk::Bytes(&prefix, 1), data});
}

Digest32 random_hash(std::uint32_t seed) {
  auto b = vesk::testing::test_bytes(32, seed);
  Digest32 h;
  std::copy(b.begin(), b.end(), h.begin());
  return h;
}

// The model's tree over leaves 0..n-1.
class RfcTree : public vesk::testing::merkle::RfcTree {
 public:
  explicit RfcTree(std::uint64_t n) : vesk::testing::merkle::RfcTree(leaves(n)) {}
  explicit RfcTree(HashList l) : vesk::testing::merkle::RfcTree(std::move(l)) {}

 private:
  static HashList leaves(std::uint64_t n) {
    HashList out;
    for (std::uint64_t i = 0; i < n; ++i) out.push_back(leaf_hash(i));
    return out;
  }
};

// What a verifier following the RFC recursion answers.
bool model_accepts_inclusion(const Digest32& leaf, std::uint64_t i, std::uint64_t n, const HashList& proof,
                             const Digest32& root) {
  auto r = model_inclusion_root(leaf, i, n, proof);
  return r && *r == root;
}
bool model_accepts_consistency(std::uint64_t m, std::uint64_t n, const HashList& proof, const Digest32& a, const Digest32& b) {
  if (m != 0 && m == n) return proof.empty() && a == b;
  auto r = model_consistency_roots(m, n, proof, a);
  return r && r->first == a && r->second == b;
}

VeskStatus inclusion(const Digest32& leaf, std::uint64_t i, std::uint64_t n, const ByteVec& proof, const Digest32& root) {
  return vesk_transparency_verify_inclusion(leaf.data(), leaf.size(), i, n, proof.data(), proof.size(), root.data(),
                                            root.size());
}
VeskStatus inclusion(const Digest32& leaf, std::uint64_t i, std::uint64_t n, const HashList& proof, const Digest32& root) {
  return inclusion(leaf, i, n, cat(proof), root);
}
VeskStatus consistency(std::uint64_t m, std::uint64_t n, const ByteVec& proof, const Digest32& a, const Digest32& b) {
  return vesk_transparency_verify_consistency(m, n, proof.data(), proof.size(), a.data(), a.size(), b.data(),
                                              b.size());
}
VeskStatus consistency(std::uint64_t m, std::uint64_t n, const HashList& proof, const Digest32& a, const Digest32& b) {
  return consistency(m, n, cat(proof), a, b);
}

// A damaged proof is refused; one grown past 64 hashes already breaks the argument rules.
VeskStatus refusal(const HashList& proof) {
  return proof.size() > vesk::transparency::kMaxProofHashes ? VESK_INVALID_ARGUMENT : VESK_AUTHENTICATION_FAILED;
}

// The ways of damaging a proof: every one must be refused.
std::vector<std::pair<std::string, HashList>> damaged(const HashList& proof) {
  std::vector<std::pair<std::string, HashList>> out;
  for (std::size_t j = 0; j < proof.size(); ++j) {
    HashList p = proof;
    p[j][j % 32] ^= 0x01;
    out.emplace_back("hash " + std::to_string(j) + " changed", p);
    if (j > 0) {
      HashList s = proof;
      std::swap(s[j - 1], s[j]);
      if (s != proof) out.emplace_back("hashes " + std::to_string(j - 1) + "/" + std::to_string(j) + " swapped", s);
    }
  }
  HashList appended = proof;
  appended.push_back(random_hash(77));
  out.emplace_back("hash appended", appended);
  HashList prepended = proof;
  prepended.insert(prepended.begin(), random_hash(78));
  out.emplace_back("hash prepended", prepended);
  if (!proof.empty()) {
    HashList doubled = proof;
    doubled.push_back(proof.back());
    out.emplace_back("last hash repeated", doubled);
    out.emplace_back("first hash removed", HashList(proof.begin() + 1, proof.end()));
    out.emplace_back("last hash removed", HashList(proof.begin(), proof.end() - 1));
  }
  return out;
}

constexpr std::uint64_t kModelSizes = 72;  // past 64, so seven-level paths are covered

TEST(MerkleInclusion, EveryProofOfSmallTreesVerifiesAndEveryDamageIsRefused) {
  RfcTree tree(kModelSizes);
  std::size_t same_shape = 0, other_shape = 0;
  for (std::uint64_t n = 1; n <= kModelSizes; ++n) {
    const Digest32 root = tree.root(n);
    for (std::uint64_t i = 0; i < n; ++i) {
      SCOPED_TRACE("inclusion (" + std::to_string(i) + ", " + std::to_string(n) + ")");
      const Digest32& leaf = tree.leaf(i);
      const HashList proof = tree.path(i, 0, n);
      ASSERT_EQ(inclusion(leaf, i, n, proof, root), VESK_OK);
      ASSERT_TRUE(model_accepts_inclusion(leaf, i, n, proof, root));

      for (const auto& [what, p] : damaged(proof))
        EXPECT_EQ(inclusion(leaf, i, n, p, root), VESK_AUTHENTICATION_FAILED) << what;
      Digest32 other_leaf = leaf;
      other_leaf[31] ^= 0x80;
      EXPECT_EQ(inclusion(other_leaf, i, n, proof, root), VESK_AUTHENTICATION_FAILED);
      Digest32 other_root = root;
      other_root[0] ^= 0x01;
      EXPECT_EQ(inclusion(leaf, i, n, proof, other_root), VESK_AUTHENTICATION_FAILED);
      if (n > 1) { EXPECT_EQ(inclusion(leaf, i, n, proof, leaf), VESK_AUTHENTICATION_FAILED); }
      EXPECT_EQ(inclusion(leaf, n, n, proof, root), VESK_AUTHENTICATION_FAILED) << "index equal to the size";

      // Another index in the same tree is another path: always refused.
      EXPECT_EQ(inclusion(leaf, i + 1, n, proof, root), VESK_AUTHENTICATION_FAILED);
      EXPECT_EQ(inclusion(leaf, i - 1, n, proof, root), VESK_AUTHENTICATION_FAILED);
      EXPECT_EQ(inclusion(leaf, n, i, proof, root), VESK_AUTHENTICATION_FAILED) << "index and size swapped";
      // Another size: the proof does not carry the size, so a size whose path to i has the same
      // shape folds to the same root (the checkpoint binds size and root together). Such claims
      // must get exactly the answer of the RFC recursion.
      const std::uint64_t sizes[] = {n + 1, n - 1, 2 * n, n + 2, i + 1};
      for (std::uint64_t cn : sizes) {
        if (cn == n) continue;
        const bool model = model_accepts_inclusion(leaf, i, cn, proof, root);
        EXPECT_EQ(inclusion(leaf, i, cn, proof, root), model ? VESK_OK : VESK_AUTHENTICATION_FAILED) << "size " << cn;
        (model ? same_shape : other_shape)++;
      }
    }
  }
  EXPECT_GT(same_shape, 0u);
  EXPECT_GT(other_shape, 0u);
}

TEST(MerkleConsistency, EveryProofOfSmallTreesVerifiesAndEveryDamageIsRefused) {
  RfcTree tree(kModelSizes);
  std::size_t same_shape = 0, other_shape = 0;
  for (std::uint64_t n = 1; n <= kModelSizes; ++n) {
    const Digest32 b = tree.root(n);
    for (std::uint64_t m = 1; m <= n; ++m) {
      SCOPED_TRACE("consistency (" + std::to_string(m) + ", " + std::to_string(n) + ")");
      const Digest32 a = tree.root(m);
      const HashList proof = tree.proof(m, n);
      ASSERT_EQ(consistency(m, n, proof, a, b), VESK_OK);
      ASSERT_TRUE(model_accepts_consistency(m, n, proof, a, b));

      for (const auto& [what, p] : damaged(proof))
        EXPECT_EQ(consistency(m, n, p, a, b), VESK_AUTHENTICATION_FAILED) << what;
      Digest32 other_a = a, other_b = b;
      other_a[5] ^= 0x10;
      other_b[6] ^= 0x10;
      EXPECT_EQ(consistency(m, n, proof, other_a, b), VESK_AUTHENTICATION_FAILED);
      EXPECT_EQ(consistency(m, n, proof, a, other_b), VESK_AUTHENTICATION_FAILED);
      if (m != n) { EXPECT_EQ(consistency(m, n, proof, b, a), VESK_AUTHENTICATION_FAILED) << "roots swapped"; }
      EXPECT_EQ(consistency(0, n, proof, a, b), VESK_AUTHENTICATION_FAILED) << "from the empty tree";

      // Another old size in the same tree ends at another boundary: always refused.
      EXPECT_EQ(consistency(m + 1, n, proof, a, b), VESK_AUTHENTICATION_FAILED);
      EXPECT_EQ(consistency(m - 1, n, proof, a, b), VESK_AUTHENTICATION_FAILED);
      if (m != n) {
        EXPECT_EQ(consistency(n, m, proof, a, b), VESK_AUTHENTICATION_FAILED) << "sizes swapped";
      }
      // Another new size: as for inclusion, exactly the answer of the RFC recursion.
      const std::uint64_t sizes[] = {n + 1, n - 1, 2 * n, n + 2};
      for (std::uint64_t cn : sizes) {
        if (cn == n) continue;
        const bool model = model_accepts_consistency(m, cn, proof, a, b);
        EXPECT_EQ(consistency(m, cn, proof, a, b), model ? VESK_OK : VESK_AUTHENTICATION_FAILED) << "new size " << cn;
        (model ? same_shape : other_shape)++;
      }
    }
  }
  EXPECT_GT(same_shape, 0u);
  EXPECT_GT(other_shape, 0u);
}

TEST(MerkleVectors, Rfc6962) {
  const auto vectors = vesk::testing::load_vectors("merkle_rfc6962.json");
  HashList leaves;
  std::size_t proofs = 0;
  auto hash_of = [](const nlohmann::json& v, const char* name) {
    ByteVec b = hex_field(v, name);
    Digest32 h{};
    EXPECT_EQ(b.size(), 32u);
    std::copy_n(b.begin(), std::min<std::size_t>(b.size(), 32), h.begin());
    return h;
  };
  auto list_of = [](const nlohmann::json& v) {
    HashList out;
    for (const auto& s : v.at("proof")) {
      ByteVec b = from_hex(s.get<std::string>());
      Digest32 h{};
      EXPECT_EQ(b.size(), 32u);
      std::copy_n(b.begin(), std::min<std::size_t>(b.size(), 32), h.begin());
      out.push_back(h);
    }
    return out;
  };
  for (const auto& v : vectors) {
    const std::string kind = v.at("kind");
    if (kind == "leaf") {
      ByteVec data = hex_field(v, "leaf");
      const std::uint8_t prefix = 0;
      EXPECT_EQ(vesk::crypto::sha256({vesk::Bytes(&prefix, 1), data}), hash_of(v, "leaf_hash"));
      leaves.push_back(hash_of(v, "leaf_hash"));
    } else if (kind == "inclusion") {
      const auto i = v.at("index").get<std::uint64_t>(), n = v.at("size").get<std::uint64_t>();
      SCOPED_TRACE("inclusion " + std::to_string(i) + " " + std::to_string(n));
      EXPECT_EQ(inclusion(hash_of(v, "leaf_hash"), i, n, list_of(v), hash_of(v, "root")), VESK_OK);
      ++proofs;
    } else if (kind == "consistency") {
      const auto m = v.at("old_size").get<std::uint64_t>(), n = v.at("new_size").get<std::uint64_t>();
      SCOPED_TRACE("consistency " + std::to_string(m) + " " + std::to_string(n));
      EXPECT_EQ(consistency(m, n, list_of(v), hash_of(v, "old_root"), hash_of(v, "new_root")), VESK_OK);
      ++proofs;
    }
  }
  EXPECT_EQ(leaves.size(), 8u);
  EXPECT_EQ(proofs, 72u);

  // The tree model of the tests above, given the published leaves, reproduces the published
  // roots and proofs.
  RfcTree tree(leaves);
  for (const auto& v : vectors) {
    const std::string kind = v.at("kind");
    if (kind == "root") {
      EXPECT_EQ(tree.root(v.at("size").get<std::uint64_t>()), hash_of(v, "root"));
    } else if (kind == "inclusion") {
      const auto i = v.at("index").get<std::uint64_t>(), n = v.at("size").get<std::uint64_t>();
      EXPECT_EQ(tree.path(i, 0, n), list_of(v)) << "inclusion " << i << " " << n;
      EXPECT_EQ(model_inclusion_root(leaves.at(i), i, n, list_of(v)), std::optional<Digest32>(tree.root(n)));
    } else if (kind == "consistency") {
      const auto m = v.at("old_size").get<std::uint64_t>(), n = v.at("new_size").get<std::uint64_t>();
      EXPECT_EQ(tree.proof(m, n), list_of(v)) << "consistency " << m << " " << n;
    }
  }
}

// Trees far too large to build: the proof hashes are arbitrary and the root is what the RFC
// recursion makes of them.
TEST(MerkleHugeTrees, InclusionAtTheTopOfTheSizeRange) {
  struct Case {
    std::uint64_t index, size;
    std::size_t proof_hashes;
  };
  const Case cases[] = {
      {0, std::uint64_t{1} << 40, 40},
      {(std::uint64_t{1} << 40) - 1, std::uint64_t{1} << 40, 40},
      {0, std::uint64_t{1} << 63, 63},
      {(std::uint64_t{1} << 63) - 1, std::uint64_t{1} << 63, 63},
      {12345678901234567ull, std::uint64_t{1} << 63, 63},
      {0, (std::uint64_t{1} << 63) + 1, 64},
      {std::uint64_t{1} << 63, (std::uint64_t{1} << 63) + 1, 1},
      {0, kMax, 64},
      {kMax - 1, kMax, 63},
      {kMax - 2, kMax, 64},
      {std::uint64_t{1} << 63, kMax, 64},
      {(std::uint64_t{1} << 63) - 1, kMax, 64},
      {0x5555555555555555ull, kMax, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("inclusion (" + std::to_string(c.index) + ", " + std::to_string(c.size) + ")");
    const Digest32 leaf = random_hash(static_cast<std::uint32_t>(c.index ^ (c.index >> 32)));
    HashList proof;
    for (std::size_t j = 0; j < c.proof_hashes; ++j) proof.push_back(random_hash(static_cast<std::uint32_t>(1000 + j)));
    const auto root = model_inclusion_root(leaf, c.index, c.size, proof);
    ASSERT_TRUE(root.has_value()) << "the path has " << c.proof_hashes << " levels";
    EXPECT_EQ(inclusion(leaf, c.index, c.size, proof, *root), VESK_OK);
    for (const auto& [what, p] : damaged(proof)) EXPECT_EQ(inclusion(leaf, c.index, c.size, p, *root), refusal(p)) << what;
    EXPECT_EQ(inclusion(leaf, c.size, c.size, proof, *root), VESK_AUTHENTICATION_FAILED);
    if (c.index > 0) { EXPECT_EQ(inclusion(leaf, c.index - 1, c.size, proof, *root), VESK_AUTHENTICATION_FAILED); }
  }
  // Index at the very end of the range: no tree of 64-bit size holds it.
  const Digest32 h = random_hash(5);
  EXPECT_EQ(inclusion(h, kMax, kMax, HashList(64, h), h), VESK_AUTHENTICATION_FAILED);
}

TEST(MerkleHugeTrees, ConsistencyAtTheTopOfTheSizeRange) {
  struct Case {
    std::uint64_t m, n;
    std::size_t proof_hashes;
  };
  const Case cases[] = {
      {std::uint64_t{1} << 40, (std::uint64_t{1} << 40) + 1, 1},  // full: the new leaf alone
      {(std::uint64_t{1} << 40) - 1, std::uint64_t{1} << 40, 41},
      {std::uint64_t{1} << 63, kMax, 1},
      {1, kMax, 64},
      {kMax - 1, kMax, 64},
      {0x123456789abcdefull, 0xfedcba987654321ull, 0},  // length from the model
      {1, std::uint64_t{1} << 63, 63},
      {(std::uint64_t{1} << 63) - 1, std::uint64_t{1} << 63, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("consistency (" + std::to_string(c.m) + ", " + std::to_string(c.n) + ")");
    const Digest32 old_full_root = random_hash(9);
    // Find the proof length by trying each: only one makes the recursion consume exactly the proof.
    std::optional<std::pair<Digest32, Digest32>> roots;
    HashList proof;
    for (std::size_t len = 0; len <= vesk::transparency::kMaxProofHashes && !roots; ++len) {
      proof.clear();
      for (std::size_t j = 0; j < len; ++j) proof.push_back(random_hash(static_cast<std::uint32_t>(2000 + j)));
      roots = model_consistency_roots(c.m, c.n, proof, old_full_root);
    }
    ASSERT_TRUE(roots.has_value());
    if (c.proof_hashes != 0) { EXPECT_EQ(proof.size(), c.proof_hashes); }
    const auto [a, b] = *roots;
    EXPECT_EQ(consistency(c.m, c.n, proof, a, b), VESK_OK);
    for (const auto& [what, p] : damaged(proof)) EXPECT_EQ(consistency(c.m, c.n, p, a, b), refusal(p)) << what;
    EXPECT_EQ(consistency(c.m, c.n, proof, b, a), VESK_AUTHENTICATION_FAILED);
    EXPECT_EQ(consistency(c.n, c.m, proof, a, b), VESK_AUTHENTICATION_FAILED);
  }
}

TEST(MerkleHugeTrees, ConsistencyProofsThatWouldNeedSixtyFiveHashes) {
  // Above 2^63 leaves, an old boundary at depth 64 that is not a complete subtree needs its own
  // hash plus 64 siblings: one more than a proof may hold, so no such proof ever verifies.
  const std::pair<std::uint64_t, std::uint64_t> cases[] = {
      {3, kMax}, {(std::uint64_t{1} << 63) + 1, kMax}, {5, (std::uint64_t{1} << 63) + 1}};
  for (auto [m, n] : cases) {
    SCOPED_TRACE("consistency (" + std::to_string(m) + ", " + std::to_string(n) + ")");
    HashList proof;
    for (std::size_t j = 0; j < 65; ++j) proof.push_back(random_hash(static_cast<std::uint32_t>(3000 + j)));
    const auto roots = model_consistency_roots(m, n, proof, random_hash(9));
    ASSERT_TRUE(roots.has_value());
    const auto [a, b] = *roots;
    const ByteVec bytes = cat(proof);
    EXPECT_FALSE(vesk::transparency::verify_consistency(m, n, bytes, a, b));
    EXPECT_EQ(consistency(m, n, bytes, a, b), VESK_INVALID_ARGUMENT);
    HashList shorter(proof.begin() + 1, proof.end());
    EXPECT_EQ(consistency(m, n, shorter, a, b), VESK_AUTHENTICATION_FAILED);
  }
}

TEST(MerkleSplit, LargestPowerOfTwoStrictlyBelow) {
  const std::pair<std::uint64_t, std::uint64_t> cases[] = {
      {2, 1}, {3, 2}, {4, 2}, {5, 4}, {8, 4}, {9, 8}, {std::uint64_t{1} << 63, std::uint64_t{1} << 62},
      {(std::uint64_t{1} << 63) + 1, std::uint64_t{1} << 63}, {kMax, std::uint64_t{1} << 63}};
  for (auto [b, k] : cases) {
    EXPECT_EQ(vesk::transparency::split_point(b), k) << b;
    EXPECT_EQ(split(b), k) << b;
  }
}

}  // namespace
