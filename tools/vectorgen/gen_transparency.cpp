// Transparency: transparency_verify_inclusion, transparency_verify_consistency (proofs from the
// RFC 6962 model in tests/support, and the published probe cases in tests/vectors) and
// checkpoint_verify (checkpoint texts composed here line by line).
#include "core/base64.h"
#include "corpus.h"
#include "support/identity_writer.h"
#include "support/merkle_model.h"
#include "support/vectors.h"

namespace vesk::vectorgen {
namespace {

using testing::merkle::HashList;
using testing::merkle::model_consistency_roots;
using testing::merkle::model_inclusion_root;
using testing::merkle::node;
using testing::merkle::RfcTree;
using Digest32 = crypto::Digest32;

const char* status_name(int status) {
  switch (status) {
    case 0: return kOk;
    case 1: return kInvalid;
    case 4: return kAuth;
    default: throw std::runtime_error("probe case with an unexpected status");
  }
}

// Leaf i of the examples: SHA-256(00 || "leaf i").
Digest32 leaf(std::uint64_t i) {
  const std::uint8_t prefix = 0;
  return crypto::sha256({Bytes(&prefix, 1), as_bytes("leaf " + std::to_string(i))});
}
// An arbitrary hash standing for a subtree of a tree too large to build.
Digest32 stand_in(std::uint64_t j) { return crypto::sha256(as_bytes("subtree " + std::to_string(j))); }

RfcTree example_tree() {
  HashList leaves;
  for (std::uint64_t i = 0; i < 8; ++i) leaves.push_back(leaf(i));
  return RfcTree(leaves);
}

ByteVec joined(const HashList& proof) {
  ByteVec out;
  for (const Digest32& h : proof) out.insert(out.end(), h.begin(), h.end());
  return out;
}

Json inclusion_in(Bytes leaf_hash, std::uint64_t index, std::uint64_t size, const Json& proof, Bytes root) {
  return Json{{"leaf_hash", hex(leaf_hash)}, {"leaf_index", u64(index)}, {"tree_size", u64(size)}, {"proof", proof}, {"root", hex(root)}};
}
Json consistency_in(std::uint64_t m, std::uint64_t n, const Json& proof, Bytes a, Bytes b) {
  return Json{{"old_size", u64(m)}, {"new_size", u64(n)}, {"proof", proof}, {"old_root", hex(a)}, {"new_root", hex(b)}};
}

std::vector<std::pair<std::string, HashList>> damaged(const HashList& proof) {
  return testing::merkle::damaged(proof, stand_in(77));
}

// A few damages for long proofs: the first and last hash changed, the first two swapped, a hash
// appended, the first removed.
std::vector<std::pair<std::string, HashList>> damaged_few(const HashList& proof) {
  std::vector<std::pair<std::string, HashList>> out;
  if (!proof.empty()) {
    HashList p = proof;
    p.front()[0] ^= 1;
    out.emplace_back("first-hash-changed", p);
    p = proof;
    p.back()[31] ^= 0x80;
    out.emplace_back("last-hash-changed", p);
    out.emplace_back("first-hash-removed", HashList(proof.begin() + 1, proof.end()));
  }
  if (proof.size() > 1 && proof[0] != proof[1]) {
    HashList p = proof;
    std::swap(p[0], p[1]);
    out.emplace_back("hashes-0-1-swapped", p);
  }
  HashList appended = proof;
  appended.push_back(stand_in(77));
  out.emplace_back("hash-appended", appended);
  return out;
}

void inclusion_cases(CorpusFile& f) {
  RfcTree tree = example_tree();
  for (std::uint64_t n = 1; n <= 8; ++n)
    for (std::uint64_t i = 0; i < n; ++i)
      f.add("size" + std::to_string(n) + "-index" + std::to_string(i), "leaf " + std::to_string(i) + " of the example tree of " + std::to_string(n) + " leaves",
            inclusion_in(leaf(i), i, n, hex(joined(tree.path(i, 0, n))), tree.root(n)), kOk);
  const HashList p76 = tree.path(6, 0, 7);
  const Digest32 r7 = tree.root(7);
  f.add("size1-index0-null-proof", "leaf 0, size 1, the proof a NULL pointer with length 0", inclusion_in(leaf(0), 0, 1, Json(nullptr), leaf(0)), kOk);
  f.add("index-equals-size", "the size7-index6 inputs with index 7", inclusion_in(leaf(6), 7, 7, hex(joined(p76)), r7), kAuth);
  f.add("proof-33-bytes", "the size7-index6 inputs with a zero byte appended to the proof", inclusion_in(leaf(6), 6, 7, hex(concat({joined(p76), ByteVec{0}})), r7),
        kInvalid);
  f.add("size-0", "size 0 holds no leaf", inclusion_in(leaf(0), 0, 0, hex({}), leaf(0)), kAuth);
  f.add("size1-extra-hash", "size 1 with a one-hash proof", inclusion_in(leaf(0), 0, 1, hex(joined({leaf(1)})), leaf(0)), kAuth);
  f.add("size1-other-root", "size 1, empty proof, a root that is not the leaf", inclusion_in(leaf(0), 0, 1, hex({}), leaf(1)), kAuth);
  f.add("size1-index1", "index 1 of a one-leaf tree", inclusion_in(leaf(0), 1, 1, hex({}), leaf(0)), kAuth);
  for (const auto& [what, p] : damaged(p76)) f.add("size7-index6-" + what, "the size7-index6 proof, " + what, inclusion_in(leaf(6), 6, 7, hex(joined(p)), r7), kAuth);
  Digest32 other_leaf = leaf(6);
  other_leaf[31] ^= 0x80;
  f.add("size7-index6-other-leaf", "another leaf hash", inclusion_in(other_leaf, 6, 7, hex(joined(p76)), r7), kAuth);
  Digest32 other_root = r7;
  other_root[0] ^= 1;
  f.add("size7-index6-other-root", "another root", inclusion_in(leaf(6), 6, 7, hex(joined(p76)), other_root), kAuth);
  f.add("size7-index6-claimed-at-index5", "the size7-index6 proof claimed for index 5", inclusion_in(leaf(6), 5, 7, hex(joined(p76)), r7), kAuth);
  f.add("size7-index6-as-size8", "the size7-index6 proof claimed for a tree of 8", inclusion_in(leaf(6), 6, 8, hex(joined(p76)), r7), kAuth);
  f.add("same-shape-other-size", "leaf 0's path in the tree of 3 claimed for a tree of 4 with the root of 3: the path has the same shape",
        inclusion_in(leaf(0), 0, 4, hex(joined(tree.path(0, 0, 3))), tree.root(3)), kOk);
  f.add("same-shape-true-root", "the same claim with the true root of 4", inclusion_in(leaf(0), 0, 4, hex(joined(tree.path(0, 0, 3))), tree.root(4)), kAuth);
  f.add("proof-of-64-hashes-shallow-tree", "64 hashes of 42 bytes for a tree of 8", inclusion_in(leaf(0), 0, 8, hex(ByteVec(2048, 0x42)), tree.root(8)), kAuth);

  // Trees too large to build: arbitrary stand-ins for the subtrees, the root from the model.
  struct Huge {
    std::uint64_t index, size;
  };
  const Huge huge[] = {
      {0, std::uint64_t{1} << 40},          {(std::uint64_t{1} << 40) - 1, std::uint64_t{1} << 40},
      {0, std::uint64_t{1} << 63},          {(std::uint64_t{1} << 63) - 1, std::uint64_t{1} << 63},
      {0, (std::uint64_t{1} << 63) + 1},    {std::uint64_t{1} << 63, (std::uint64_t{1} << 63) + 1},
      {0, kMax},                            {kMax - 1, kMax},
      {kMax - 2, kMax},                     {0x5555555555555555ull, kMax},
  };
  for (const Huge& h : huge) {
    const Digest32 lh = stand_in(h.index ^ 0xabcdef);
    std::optional<Digest32> root;
    HashList proof;
    for (std::size_t len = 0; len <= 64 && !root; ++len) {
      proof.clear();
      for (std::size_t j = 0; j < len; ++j) proof.push_back(stand_in(1000 + j));
      root = model_inclusion_root(lh, h.index, h.size, proof);
    }
    const std::string name = "huge-index" + std::to_string(h.index) + "-size" + std::to_string(h.size);
    f.add(name, "index " + std::to_string(h.index) + " of a tree of " + std::to_string(h.size) + " leaves, a path of " + std::to_string(proof.size()) + " levels",
          inclusion_in(lh, h.index, h.size, hex(joined(proof)), *root), kOk);
    for (const auto& [what, p] : damaged_few(proof)) {
      if (p.size() > 64) continue;  // past 64 hashes a proof breaks the argument rules
      f.add(name + "-" + what, "the same proof, " + what, inclusion_in(lh, h.index, h.size, hex(joined(p)), *root), kAuth);
    }
    f.add(name + "-index-equals-size", "the same proof at index " + std::to_string(h.size), inclusion_in(lh, h.size, h.size, hex(joined(proof)), *root), kAuth);
    if (h.index > 0)
      f.add(name + "-index-one-less", "the same proof at the index before", inclusion_in(lh, h.index - 1, h.size, hex(joined(proof)), *root), kAuth);
  }
  f.add("index-max", "index and size 2^64 - 1: no tree of 64-bit size holds that index",
        inclusion_in(leaf(0), kMax, kMax, hex(joined(HashList(64, leaf(0)))), leaf(0)), kAuth);
}

void consistency_cases(CorpusFile& f) {
  RfcTree tree = example_tree();
  for (std::uint64_t n = 1; n <= 8; ++n)
    for (std::uint64_t m = 1; m <= n; ++m)
      f.add("size" + std::to_string(m) + "-to-" + std::to_string(n), "the example tree of " + std::to_string(m) + " leaves within that of " + std::to_string(n),
            consistency_in(m, n, hex(joined(tree.proof(m, n))), tree.root(m), tree.root(n)), kOk);
  const HashList p37 = tree.proof(3, 7);
  const Digest32 a = tree.root(3), b = tree.root(7);
  f.add("size3-to-7-roots-swapped", "the size3-to-7 inputs with the two roots exchanged", consistency_in(3, 7, hex(joined(p37)), b, a), kAuth);
  f.add("from-size-0", "old size 0: a proof from the empty tree is always refused", consistency_in(0, 3, hex({}), ByteVec(32, 0), tree.root(3)), kAuth);
  f.add("from-size-0-to-0", "old and new size 0", consistency_in(0, 0, hex({}), ByteVec(32, 0), ByteVec(32, 0)), kAuth);
  f.add("sizes-swapped", "old size 7, new size 3", consistency_in(7, 3, hex(joined(p37)), a, b), kAuth);
  f.add("same-size-with-hash", "old and new size 5 with a one-hash proof", consistency_in(5, 5, hex(joined({leaf(0)})), tree.root(5), tree.root(5)), kAuth);
  f.add("same-size-other-roots", "old and new size 5 with different roots", consistency_in(5, 5, hex({}), tree.root(5), tree.root(4)), kAuth);
  f.add("same-size-max", "old and new size 2^64 - 1, no proof, equal roots", consistency_in(kMax, kMax, Json(nullptr), leaf(0), leaf(0)), kOk);
  f.add("size3-to-7-old-size-4", "the size3-to-7 proof claimed from size 4", consistency_in(4, 7, hex(joined(p37)), a, b), kAuth);
  f.add("size3-to-7-old-size-2", "the size3-to-7 proof claimed from size 2", consistency_in(2, 7, hex(joined(p37)), a, b), kAuth);
  f.add("same-shape-other-size", "the proof from 2 to 3 claimed from 2 to 4 with the root of 3: the same shape",
        consistency_in(2, 4, hex(joined(tree.proof(2, 3))), tree.root(2), tree.root(3)), kOk);
  f.add("same-shape-true-root", "the same claim with the true root of 4", consistency_in(2, 4, hex(joined(tree.proof(2, 3))), tree.root(2), tree.root(4)), kAuth);
  f.add("proof-of-64-hashes-shallow-tree", "64 hashes of 42 bytes from 3 to 8", consistency_in(3, 8, hex(ByteVec(2048, 0x42)), tree.root(3), tree.root(8)), kAuth);
  f.add("proof-33-bytes", "the size3-to-7 proof and one more byte", consistency_in(3, 7, hex(concat({joined(p37), ByteVec{0}})), a, b), kInvalid);
  for (const auto& [what, p] : damaged(p37)) f.add("size3-to-7-" + what, "the size3-to-7 proof, " + what, consistency_in(3, 7, hex(joined(p)), a, b), kAuth);
  Digest32 other = a;
  other[5] ^= 0x10;
  f.add("size3-to-7-other-old-root", "another old root", consistency_in(3, 7, hex(joined(p37)), other, b), kAuth);

  struct Huge {
    std::uint64_t m, n;
  };
  const Huge huge[] = {
      {std::uint64_t{1} << 40, (std::uint64_t{1} << 40) + 1}, {(std::uint64_t{1} << 40) - 1, std::uint64_t{1} << 40},
      {std::uint64_t{1} << 63, kMax},                         {1, kMax},
      {kMax - 1, kMax},                                       {0x123456789abcdefull, 0xfedcba987654321ull},
      {1, std::uint64_t{1} << 63},                            {(std::uint64_t{1} << 63) - 1, std::uint64_t{1} << 63},
  };
  for (const Huge& h : huge) {
    const Digest32 old_full = stand_in(9);
    std::optional<std::pair<Digest32, Digest32>> roots;
    HashList proof;
    for (std::size_t len = 0; len <= 64 && !roots; ++len) {
      proof.clear();
      for (std::size_t j = 0; j < len; ++j) proof.push_back(stand_in(2000 + j));
      roots = model_consistency_roots(h.m, h.n, proof, old_full);
    }
    const std::string name = "huge-" + std::to_string(h.m) + "-to-" + std::to_string(h.n);
    f.add(name, "a tree of " + std::to_string(h.m) + " leaves within one of " + std::to_string(h.n) + ", " + std::to_string(proof.size()) + " hashes",
          consistency_in(h.m, h.n, hex(joined(proof)), roots->first, roots->second), kOk);
    f.add(name + "-roots-swapped", "the same with the roots exchanged", consistency_in(h.m, h.n, hex(joined(proof)), roots->second, roots->first), kAuth);
    f.add(name + "-sizes-swapped", "the same with old and new size exchanged", consistency_in(h.n, h.m, hex(joined(proof)), roots->first, roots->second), kAuth);
    for (const auto& [what, p] : damaged_few(proof)) {
      if (p.size() > 64) continue;  // past 64 hashes a proof breaks the argument rules
      f.add(name + "-" + what, "the same proof, " + what, consistency_in(h.m, h.n, hex(joined(p)), roots->first, roots->second), kAuth);
    }
  }
  // Past 2^63 leaves an old boundary that is not a complete subtree would need 65 hashes.
  {
    HashList proof;
    for (std::size_t j = 0; j < 65; ++j) proof.push_back(stand_in(3000 + j));
    const auto roots = model_consistency_roots(3, kMax, proof, stand_in(9));
    HashList shorter(proof.begin() + 1, proof.end());
    f.add("would-need-65-hashes", "from 3 to 2^64 - 1: the 64 last of the 65 hashes such a proof would need",
          consistency_in(3, kMax, hex(joined(shorter)), roots->first, roots->second), kAuth);
    f.add("would-need-65-hashes-all-given", "from 3 to 2^64 - 1 with all 65 hashes: over the 2048-byte cap",
          consistency_in(3, kMax, hex(joined(proof)), roots->first, roots->second), kInvalid);
    for (const auto& [m, n] : {std::pair{(std::uint64_t{1} << 63) + 1, kMax}, std::pair{std::uint64_t{5}, (std::uint64_t{1} << 63) + 1}}) {
      const auto r = model_consistency_roots(m, n, proof, stand_in(9));
      f.add("would-need-65-hashes-" + std::to_string(m) + "-to-" + std::to_string(n), "from " + std::to_string(m) + " to " + std::to_string(n) + ": 64 of the 65 hashes needed",
            consistency_in(m, n, hex(joined(shorter)), r->first, r->second), kAuth);
    }
  }
}

void probe_cases(CorpusFile& inclusion, CorpusFile& consistency) {
  for (const auto& v : testing::load_vectors("merkle_transparency_dev_cases.json")) {
    std::string name = "probe-" + v.at("name").get<std::string>();
    if (name.size() > 5 && name.ends_with(".json")) name.resize(name.size() - 5);
    std::string clean;
    for (char c : name) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      const bool allowed = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.';
      if (allowed) clean.push_back(c);
      else if (!clean.empty() && clean.back() != '-') clean.push_back('-');
    }
    while (!clean.empty() && clean.back() == '-') clean.pop_back();
    name = clean;
    ByteVec proof;
    for (const auto& s : v.at("proof")) {
      const ByteVec h = testing::from_hex(s.get<std::string>());
      proof.insert(proof.end(), h.begin(), h.end());
    }
    const std::string what = "published probe: " + v.at("desc").get<std::string>();
    const char* status = status_name(v.at("expected_status").get<int>());
    if (v.at("kind") == "inclusion") {
      inclusion.add(name, what,
                    inclusion_in(testing::hex_field(v, "leaf_hash"), v.at("index").get<std::uint64_t>(), v.at("size").get<std::uint64_t>(), hex(proof),
                                 testing::hex_field(v, "root")),
                    status);
    } else {
      consistency.add(name, what,
                      consistency_in(v.at("old_size").get<std::uint64_t>(), v.at("new_size").get<std::uint64_t>(), hex(proof),
                                     testing::hex_field(v, "old_root"), testing::hex_field(v, "new_root")),
                      status);
    }
  }
}

// ---- checkpoints -------------------------------------------------------------------------------

std::array<std::uint8_t, 4> key_hash(std::string_view name, Bytes key) {
  const std::uint8_t sep[2] = {0x0a, 0xff};
  const auto d = crypto::sha256({as_bytes(name), sep, as_bytes("VESK/1.0 vesk-sign"), key});
  return {d[0], d[1], d[2], d[3]};
}

std::string body(std::string_view origin, std::string_view size, Bytes root) {
  return std::string(origin) + "\n" + std::string(size) + "\n" + base64_encode(root) + "\n";
}

std::string line(std::string_view name, Bytes payload) { return "\xE2\x80\x94 " + std::string(name) + " " + base64_encode(payload) + "\n"; }

std::string signed_line(const std::string& who, std::string_view name, std::string_view signed_body) {
  const auto sig = sign::hybrid_sign(identity(who), as_bytes("VESK/1.0 checkpoint"), as_bytes(signed_body));
  return line(name, concat({key_hash(name, verifying_key(who)), sig}));
}

ByteVec sign_as_log(std::string_view signed_body) {
  const auto sig = sign::hybrid_sign(identity("log"), as_bytes("VESK/1.0 checkpoint"), as_bytes(signed_body));
  return ByteVec(sig.begin(), sig.end());
}

std::string replace_all(std::string s, const std::string& from, const std::string& to) {
  for (std::size_t p = 0; (p = s.find(from, p)) != std::string::npos; p += to.size()) s.replace(p, from.size(), to);
  return s;
}

void checkpoint_cases(CorpusFile& f) {
  const std::string origin = "example.org/log";
  RfcTree tree = example_tree();
  const Digest32 root = tree.root(7);
  const ByteVec key = verifying_key("log");
  const std::string b7 = body(origin, "7", root);
  const std::string log_line = signed_line("log", origin, b7);
  const std::string text = b7 + "\n" + log_line;
  auto in = [](const std::string& t, const std::string& o, const ByteVec& k) {
    return Json{{"checkpoint", hex(as_bytes(t))}, {"origin", vectorgen::text(o)}, {"verifying_key", hex(k)}};
  };
  auto ok = [&](const std::string& n, const std::string& w, const std::string& t, std::uint64_t size, Bytes r, const std::string& o = "example.org/log",
                const std::string& who = "log") {
    f.add(n, w, in(t, o, verifying_key(who)), kOk, {{"tree_size_out", u64(size)}, {"root_out", hex(r)}});
  };
  auto bad = [&](const std::string& n, const std::string& w, const std::string& t, const char* status, const std::string& o = "example.org/log",
                 const ByteVec* k = nullptr) { f.add(n, w, in(t, o, k ? *k : key), status); };

  ok("log-signed", "the tree of 7 leaves signed by the log", text, 7, root);
  const std::string witness_short = line("witness.example", concat({key_hash("witness.example", verifying_key("witness")), as_bytes("short")}));
  ok("witness-short-then-log", "a well-formed witness line with a 5-byte payload, skipped, then the log's line", b7 + "\n" + witness_short + log_line, 7, root);
  const std::string witness_line = signed_line("witness", "witness.example", b7);
  bad("witness-only", "only a valid line by witness.example: no line matches the log", b7 + "\n" + witness_line, kAuth);
  ok("witness-then-log", "a valid witness line, then the log's", b7 + "\n" + witness_line + log_line, 7, root);
  ok("log-then-witness", "the log's line, then a valid witness line", b7 + "\n" + log_line + witness_line, 7, root);
  ok("log-line-twice", "the log's line twice: every matching line verifies", b7 + "\n" + log_line + log_line, 7, root);
  {
    const std::string bad_sig = [&] {
      const auto sig = sign::hybrid_sign(identity("log"), as_bytes("VESK/1.0 checkpoint"), as_bytes(body(origin, "8", tree.root(8))));
      return line(origin, concat({key_hash(origin, key), sig}));
    }();
    bad("bad-log-line-then-good", "a line by the log's key over another body, then a good one: one bad matching line fails", b7 + "\n" + bad_sig + log_line, kAuth);
    bad("good-log-line-then-bad", "a good line then the bad one", b7 + "\n" + log_line + bad_sig, kAuth);
    bad("log-line-over-other-body", "only the line over another body", b7 + "\n" + bad_sig, kAuth);
  }
  bad("log-name-other-key-hash", "a line named after the origin whose key hash is witness's: skipped, nothing matches",
      b7 + "\n" + line(origin, concat({key_hash(origin, verifying_key("witness")), sign::hybrid_sign(identity("witness"), as_bytes("VESK/1.0 checkpoint"), as_bytes(b7))})),
      kAuth);
  bad("log-key-hash-witness-signature", "a line with the log's name and key hash but witness's signature", b7 + "\n" + line(origin, concat({key_hash(origin, key), sign::hybrid_sign(identity("witness"), as_bytes("VESK/1.0 checkpoint"), as_bytes(b7))})),
      kAuth);
  {
    ByteVec ed = sign_as_log(b7);
    ed[10] ^= 0x01;
    bad("log-line-ed25519-half-altered", "the log's line with a byte of its Ed25519 half altered", b7 + "\n" + line(origin, concat({key_hash(origin, key), ed})), kAuth);
    bad("log-line-3374-bytes", "the log's good line, then a line of the log's with its signature and one more byte",
        b7 + "\n" + log_line + line(origin, concat({key_hash(origin, key), sign_as_log(b7), ByteVec{0}})), kAuth);
    bad("log-line-without-context", "a signature by the log over the body under the empty context",
        b7 + "\n" + line(origin, concat({key_hash(origin, key), sign::hybrid_sign(identity("log"), {}, as_bytes(b7))})), kAuth);
    bad("log-signature-under-other-name", "the log's signature on a line named example.org/log2 with that name's key hash",
        b7 + "\n" + signed_line("log", "example.org/log2", b7), kAuth);
    const auto wsig = sign::hybrid_sign(identity("witness"), as_bytes("VESK/1.0 checkpoint"), as_bytes(b7));
    ByteVec wbad(wsig.begin(), wsig.end());
    wbad[100] ^= 1;
    ok("witness-key-hash-under-log-name-then-log", "a bad signature on a line with the log's name but witness's key hash, skipped, then the log's line",
       b7 + "\n" + line(origin, concat({key_hash(origin, verifying_key("witness")), wbad})) + log_line, 7, root);
  }
  bad("log-line-short-signature", "the log's line with a 3372-byte signature", b7 + "\n" + line(origin, concat({key_hash(origin, key), ByteVec(3372, 1)})), kAuth);
  bad("log-line-under-message-context", "a signature by the log over the body under another context",
      b7 + "\n" + line(origin, concat({key_hash(origin, key), sign::hybrid_sign(identity("log"), as_bytes("VESK/1.0 checkpoinT"), as_bytes(b7))})), kAuth);
  {
    std::string many = b7 + "\n";
    for (int i = 0; i < 31; ++i) many += witness_short;
    ok("thirty-two-lines", "31 short witness lines and the log's: 32 lines", many + log_line, 7, root);
    bad("thirty-three-lines", "32 short witness lines and the log's", many + witness_short + log_line, kMalformed);
  }
  {
    const std::string b0 = body(origin, "0", Digest32{});
    ok("tree-size-0", "a tree of 0 leaves with a zero root", b0 + "\n" + signed_line("log", origin, b0), 0, Digest32{});
    const std::string bmax = body(origin, "18446744073709551615", root);
    ok("tree-size-max", "the tree size 2^64 - 1", bmax + "\n" + signed_line("log", origin, bmax), kMax, root);
    const std::string bover = body(origin, "18446744073709551616", root);
    bad("tree-size-2-64", "the tree size 2^64", bover + "\n" + signed_line("log", origin, bover), kMalformed);
    const std::string long_origin(256, 'o');
    const std::string blong = body(long_origin, "7", root);
    ok("origin-256-bytes", "an origin of 256 bytes", blong + "\n" + signed_line("log", long_origin, blong), 7, root, long_origin);
    const std::string too_long(257, 'o');
    const std::string btoo = body(too_long, "7", root);
    bad("origin-257-bytes", "an origin of 257 bytes", btoo + "\n" + signed_line("log", too_long, btoo), kMalformed, too_long);
  }
  auto edited_body = [&](const std::string& b) { return b + "\n" + signed_line("log", origin, b); };
  bad("tree-size-leading-zero", "the second line 07", replace_all(text, "\n7\n", "\n07\n"), kMalformed);
  bad("tree-size-plus", "the second line +7, signed", edited_body(origin + "\n+7\n" + base64_encode(root) + "\n"), kMalformed);
  bad("tree-size-empty", "an empty second line, signed", edited_body(origin + "\n\n" + base64_encode(root) + "\n"), kMalformed);
  bad("crlf-line-ends", "every line feed preceded by a carriage return", replace_all(text, "\n", "\r\n"), kMalformed);
  bad("origin-case-differs", "the expected origin Example.org/log", text, kAuth, "Example.org/log");
  bad("origin-other", "the expected origin example.org/other", text, kAuth, "example.org/other");
  bad("origin-trailing-space", "the expected origin with a trailing space", text, kAuth, "example.org/log ");
  bad("origin-empty", "the empty expected origin", text, kAuth, "");
  bad("origin-prefix", "the expected origin example.org/lo", text, kAuth, "example.org/lo");
  {
    // The log's key names the expected origin, but what it signed is another log's checkpoint.
    const std::string other = body("example.org/other", "7", root);
    bad("origin-line-differs-log-signed", "the body names example.org/other; the log's line, named example.org/log, signs it",
        other + "\n" + signed_line("log", origin, other), kAuth);
  }

  {
    const ByteVec longer = concat({key, ByteVec{0}});
    bad("key-1985-bytes", "the log's key and one zero byte", text, kNotKeyFile, origin, &longer);
    const ByteVec shorter(key.begin(), key.end() - 1);
    bad("key-1983-bytes", "the log's key less its last byte", text, kNotKeyFile, origin, &shorter);
    const ByteVec none;
    bad("key-empty", "an empty key", text, kNotKeyFile, origin, &none);
    const ByteVec undecodable = testing::with_undecodable_ed25519(key);
    bad("key-undecodable", "a key whose Ed25519 part is not a point", text, kNotKeyFile, origin, &undecodable);
    bad("key-undecodable-text-malformed", "that key and an empty text: the key is decoded first", "", kNotKeyFile, origin, &undecodable);
    const ByteVec y_is_p = [&] {
      ByteVec k = key;
      std::fill(k.begin(), k.begin() + 31, 0xff);
      k[0] = 0xed;
      k[31] = 0x7f;
      return k;
    }();
    bad("key-y-is-p", "a key whose Ed25519 part encodes y = p", text, kNotKeyFile, origin, &y_is_p);
    const ByteVec big(4096, 1);
    bad("key-4096-bytes", "4096 bytes 01 as the key", text, kNotKeyFile, origin, &big);
    bad("key-undecodable-junk-text", "a key that does not decode, the text junk and the origin other", "junk", kNotKeyFile, "other", &y_is_p);
    const ByteVec witness = verifying_key("witness");
    bad("other-log-key", "witness's key: the log's line does not match it", text, kAuth, origin, &witness);
  }
  bad("empty", "an empty text", "", kMalformed);
  bad("no-final-line-feed", "the text without its last line feed", text.substr(0, text.size() - 1), kMalformed);
  bad("no-signature-lines", "the body and the blank line alone", b7 + "\n", kMalformed);
  bad("no-blank-line", "the body followed directly by the log's line", b7 + log_line, kMalformed);
  bad("body-of-four-lines", "a fourth body line, signed", edited_body(b7 + "extra\n"), kMalformed);
  bad("body-of-two-lines", "the root line missing, signed", edited_body(origin + "\n7\n"), kMalformed);
  bad("blank-line-in-signatures", "a blank line between two signature lines: the split is at the last blank line",
      b7 + "\n" + log_line + "\n" + log_line, kMalformed);
  bad("origin-with-space", "the origin 'example.org log', signed", edited_body(body("example.org log", "7", root)), kMalformed, "example.org log");
  bad("origin-with-plus", "the origin example.org+log, signed", edited_body(body("example.org+log", "7", root)), kMalformed, "example.org+log");
  {
    std::string b = b7;
    b[b.size() - 2] = 'A';  // '=' replaced: 44 characters of 33 bytes
    bad("root-not-padded", "the root line without its '=' padding", edited_body(b), kMalformed);
    const std::string b43 = origin + "\n7\n" + base64_encode(Bytes(root).first(31)) + "\n";
    bad("root-31-bytes", "a root of 31 bytes", edited_body(b43), kMalformed);
    std::string bits = b7;
    const std::size_t at = bits.size() - 3;  // the last data character, 2 unused bits
    bits[at] = bits[at] == 'A' ? 'B' : static_cast<char>(bits[at] ^ 1);
    bad("root-non-zero-unused-bits", "the root's last data character with an unused bit set", edited_body(bits), kMalformed);
  }
  bad("dash-instead-of-em-dash", "a signature line that starts with '- '", b7 + "\n" + replace_all(log_line, "\xE2\x80\x94 ", "- "), kMalformed);
  bad("two-spaces-after-name", "two spaces between the key name and the payload", b7 + "\n" + replace_all(log_line, origin + " ", origin + "  "), kMalformed);
  bad("payload-4-bytes", "a line whose payload is 4 bytes", b7 + "\n" + line("witness.example", ByteVec{1, 2, 3, 4}) + log_line, kMalformed);
  bad("payload-not-padded", "the log's line with its padding removed", b7 + "\n" + replace_all(log_line, "=\n", "\n"), kMalformed);
  bad("key-name-257-bytes", "a witness line whose key name is 257 bytes", text + line(std::string(257, 'k'), as_bytes("short")), kMalformed);
  bad("no-space-after-name", "a witness line without the space between name and payload", text + "\xE2\x80\x94 name" + base64_encode(as_bytes("short")) + "\n", kMalformed);
  bad("tree-size-007", "the second line 007, signed", edited_body(origin + "\n007\n" + base64_encode(root) + "\n"), kMalformed);
  bad("key-name-with-plus", "a witness line named a+b", b7 + "\n" + line("a+b", concat({key_hash("a+b", key), as_bytes("short")})) + log_line, kMalformed);
  bad("key-name-empty", "a line with an empty key name", b7 + "\n" + line("", as_bytes("short")) + log_line, kMalformed);
  bad("tab-in-text", "a tab at the end of the origin line", edited_body(origin + "\t\n7\n" + base64_encode(root) + "\n"), kMalformed);
  bad("c1-control", "U+0085 inside a signature line's name", b7 + "\n" + line("w\xC2\x85", as_bytes("short")) + log_line, kMalformed);
  bad("del-in-text", "DEL inside the origin", edited_body("example.org/lo\x7f\n7\n" + base64_encode(root) + "\n"), kMalformed);
  bad("invalid-utf8", "a byte ff after the signature lines' dash", b7 + "\n" + replace_all(log_line, "\xE2\x80\x94", "\xE2\x80\xFF"), kMalformed);
}

}  // namespace

void generate_transparency(std::vector<CorpusFile>& files) {
  CorpusFile inclusion("vesk_transparency_verify_inclusion");
  CorpusFile consistency("vesk_transparency_verify_consistency");
  inclusion_cases(inclusion);
  consistency_cases(consistency);
  probe_cases(inclusion, consistency);
  files.push_back(std::move(inclusion));
  files.push_back(std::move(consistency));
  add_file(files, "vesk_checkpoint_verify", checkpoint_cases);
}

}  // namespace vesk::vectorgen
