// Merkle proof verification through the exports, exhaustively for small trees, against the tree
// model of tests/support (written from the RFC 6962 definitions) and the published vectors. Proofs
// for trees too large to build, and the edge sizes, are in the corpus (vectors/transparency_*.json).
#include <gtest/gtest.h>

#include <initializer_list>
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

// The ways of damaging a proof: every one must be refused. Beyond the model's list, a hash put in
// front and the last hash repeated.
std::vector<std::pair<std::string, HashList>> damaged(const HashList& proof) {
  auto out = vesk::testing::merkle::damaged(proof, random_hash(77));
  HashList prepended = proof;
  prepended.insert(prepended.begin(), random_hash(78));
  out.emplace_back("hash-prepended", prepended);
  if (!proof.empty()) {
    HashList doubled = proof;
    doubled.push_back(proof.back());
    out.emplace_back("last-hash-repeated", doubled);
  }
  return out;
}

constexpr std::uint64_t kModelSizes = 72;  // past 64, so seven-level paths are covered

// Claims of another size than the proof's own must get exactly the model's answer. Counts the
// sizes the model accepts (a proof of the same shape) and refuses, so that both are shown to occur.
class ModelAgreement {
 public:
  template <class Export, class Model>
  void check(std::initializer_list<std::uint64_t> sizes, std::uint64_t own, Export exported, Model model) {
    for (std::uint64_t size : sizes) {
      if (size == own) continue;
      const bool accepts = model(size);
      EXPECT_EQ(exported(size), accepts ? VESK_OK : VESK_AUTHENTICATION_FAILED) << "size " << size;
      (accepts ? same_shape_ : other_shape_)++;
    }
  }
  void expect_both_seen() const {
    EXPECT_GT(same_shape_, 0u);
    EXPECT_GT(other_shape_, 0u);
  }

 private:
  std::size_t same_shape_ = 0, other_shape_ = 0;
};

TEST(MerkleInclusion, EveryProofOfSmallTreesVerifiesAndEveryDamageIsRefused) {
  RfcTree tree(kModelSizes);
  ModelAgreement agreement;
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
      agreement.check({n + 1, n - 1, 2 * n, n + 2, i + 1}, n,
                      [&](std::uint64_t size) { return inclusion(leaf, i, size, proof, root); },
                      [&](std::uint64_t size) { return model_accepts_inclusion(leaf, i, size, proof, root); });
    }
  }
  agreement.expect_both_seen();
}

TEST(MerkleConsistency, EveryProofOfSmallTreesVerifiesAndEveryDamageIsRefused) {
  RfcTree tree(kModelSizes);
  ModelAgreement agreement;
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
      agreement.check({n + 1, n - 1, 2 * n, n + 2}, n,
                      [&](std::uint64_t size) { return consistency(m, size, proof, a, b); },
                      [&](std::uint64_t size) { return model_accepts_consistency(m, size, proof, a, b); });
    }
  }
  agreement.expect_both_seen();
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
