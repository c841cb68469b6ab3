// Merkle proofs for a 2^40-leaf tree, measured in node hashes per second next to raw libcrypto
// SHA-256 of 65-byte inputs in the same run; checkpoint verification next to one hybrid
// verification and next to raw libcrypto verifying the same two signatures.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench_support.h"
#include "core/base64.h"
#include "sign/hybrid.h"
#include "transparency/checkpoint/checkpoint.h"
#include "vesk.h"

namespace {

using vesk::crypto::Digest32;
constexpr std::uint64_t kTreeSize = std::uint64_t{1} << 40;

Digest32 raw_node(const Digest32& l, const Digest32& r) {
  std::uint8_t in[65];
  in[0] = 0x01;
  std::copy(l.begin(), l.end(), in + 1);
  std::copy(r.begin(), r.end(), in + 33);
  Digest32 out;
  unsigned int len = 0;
  EVP_Digest(in, sizeof in, out.data(), &len, EVP_sha256(), nullptr);
  return out;
}

Digest32 filler(std::uint64_t j) {
  Digest32 h{};
  for (std::size_t b = 0; b < 8; ++b) h[b] = static_cast<std::uint8_t>((j * 0x9E3779B97F4A7C15ull) >> (8 * b));
  h[31] = static_cast<std::uint8_t>(j);
  return h;
}

std::uint64_t split(std::uint64_t n) {
  std::uint64_t k = 1;
  while (k < n - k) k <<= 1;
  return k;
}

// The roots a consistency proof of the RFC 6962 shape stands for, its hashes arbitrary.
std::pair<Digest32, Digest32> consistency_roots(std::uint64_t m, std::uint64_t n, bool whole, const Digest32& old_root,
                                        std::vector<Digest32>& proof) {
  if (m == n) {
    if (whole) return {old_root, old_root};
    proof.push_back(filler(proof.size() + 100));
    return {proof.back(), proof.back()};
  }
  const std::uint64_t k = split(n);
  if (m <= k) {
    auto [o, nw] = consistency_roots(m, k, whole, old_root, proof);
    proof.push_back(filler(proof.size() + 100));
    return {o, raw_node(nw, proof.back())};
  }
  auto [o, nw] = consistency_roots(m - k, n - k, false, old_root, proof);
  proof.push_back(filler(proof.size() + 100));
  return {raw_node(proof.back(), o), raw_node(proof.back(), nw)};
}

std::vector<std::uint8_t> concat(const std::vector<Digest32>& hashes) {
  std::vector<std::uint8_t> out;
  for (const Digest32& h : hashes) out.insert(out.end(), h.begin(), h.end());
  return out;
}

void BM_InclusionProof2to40(benchmark::State& state) {
  // In a complete tree the path is the index's bits, lowest level first: 0 = sibling on the right.
  const std::uint64_t index = 0x5A5A5A5A5Aull & (kTreeSize - 1);
  const Digest32 leaf = filler(1);
  std::vector<Digest32> proof;
  Digest32 h = leaf;
  for (int level = 0; level < 40; ++level) {
    proof.push_back(filler(level + 10));
    h = (index >> level) & 1 ? raw_node(proof.back(), h) : raw_node(h, proof.back());
  }
  const auto bytes = concat(proof);
  for (auto _ : state) {
    VeskStatus s = vesk_transparency_verify_inclusion(leaf.data(), 32, index, kTreeSize, bytes.data(), bytes.size(),
                                                      h.data(), 32);
    if (s != VESK_OK) state.SkipWithError("inclusion proof refused");
    benchmark::DoNotOptimize(s);
  }
  state.counters["node_hashes/s"] = benchmark::Counter(40.0 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_InclusionProof2to40);

void BM_ConsistencyProof2to40(benchmark::State& state) {
  const std::uint64_t old_size = kTreeSize - 0x123456789ull;
  std::vector<Digest32> proof;
  const auto [a, b] = consistency_roots(old_size, kTreeSize, true, filler(7), proof);
  // Each hash of the proof after the seed costs one node hash, or two where it is shared with the
  // old tree.
  std::size_t hashes = 0;
  for (std::uint64_t m = old_size, n = kTreeSize;;) {
    const std::uint64_t k = split(n);
    if (m <= k) {
      ++hashes;
      if (m == k) break;
      n = k;
    } else {
      hashes += 2;
      m -= k;
      n -= k;
    }
  }
  const auto bytes = concat(proof);
  for (auto _ : state) {
    VeskStatus s = vesk_transparency_verify_consistency(old_size, kTreeSize, bytes.data(), bytes.size(), a.data(), 32,
                                                        b.data(), 32);
    if (s != VESK_OK) state.SkipWithError("consistency proof refused");
    benchmark::DoNotOptimize(s);
  }
  state.counters["proof_hashes"] = static_cast<double>(proof.size());
  state.counters["node_hashes/s"] =
      benchmark::Counter(static_cast<double>(hashes) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ConsistencyProof2to40);

// The floor: libcrypto hashing 65-byte inputs, one-shot and with one reused context.
void BM_RawSha256_65_OneShot(benchmark::State& state) {
  std::uint8_t in[65] = {0x01};
  std::uint8_t out[32];
  for (auto _ : state) {
    unsigned int len = 0;
    EVP_Digest(in, sizeof in, out, &len, EVP_sha256(), nullptr);
    in[1] = out[0];
    benchmark::DoNotOptimize(out);
  }
  state.counters["node_hashes/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RawSha256_65_OneShot);

void BM_RawSha256_65_ReusedContext(benchmark::State& state) {
  EVP_MD* md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  std::uint8_t in[65] = {0x01};
  std::uint8_t out[32];
  for (auto _ : state) {
    unsigned int len = 0;
    EVP_DigestInit_ex2(ctx, md, nullptr);
    EVP_DigestUpdate(ctx, in, sizeof in);
    EVP_DigestFinal_ex(ctx, out, &len);
    in[1] = out[0];
    benchmark::DoNotOptimize(out);
  }
  EVP_MD_CTX_free(ctx);
  EVP_MD_free(md);
  state.counters["node_hashes/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RawSha256_65_ReusedContext);

// A checkpoint signed by a log identity from a fixed seed, and the pieces of its signature.
struct SignedCheckpoint {
  std::string origin = "bench.example/log";
  std::string body;
  std::string text;
  vesk::sign::VerifyingKeyBytes key{};
  vesk::sign::Signature signature{};
  SignedCheckpoint() {
    auto log = vesk::sign::SigningIdentity::from_seed(std::vector<std::uint8_t>(32, 0x33));
    key = log->verifying_key();
    body = origin + "\n" + std::to_string(kTreeSize) + "\n" + vesk::base64_encode(filler(5)) + "\n";
    signature = vesk::sign::hybrid_sign(*log, vesk::as_bytes(vesk::transparency::kCheckpointContext),
                                        vesk::as_bytes(body));
    auto kh = vesk::transparency::checkpoint_key_hash(origin, key);
    std::vector<std::uint8_t> payload(kh.begin(), kh.end());
    payload.insert(payload.end(), signature.begin(), signature.end());
    text = body + "\n" + std::string(vesk::transparency::kSignatureLineStart) + origin + " " +
           vesk::base64_encode(payload) + "\n";
  }
  std::vector<std::uint8_t> signing_input() const {
    return vesk::bench::raw_signing_input(vesk::as_bytes(vesk::transparency::kCheckpointContext),
                                          vesk::as_bytes(body));
  }
};
const SignedCheckpoint& signed_checkpoint() {
  static const SignedCheckpoint c;
  return c;
}

void BM_CheckpointVerify(benchmark::State& state) {
  const auto& c = signed_checkpoint();
  for (auto _ : state) {
    std::uint64_t size = 0;
    VeskBuffer root = vesk_buffer_empty();
    VeskStatus s = vesk_checkpoint_verify(reinterpret_cast<const std::uint8_t*>(c.text.data()), c.text.size(),
                                          c.origin.c_str(), c.key.data(), c.key.size(), &size, &root);
    if (s != VESK_OK) state.SkipWithError("checkpoint refused");
    vesk_buffer_free(&root);
  }
}
BENCHMARK(BM_CheckpointVerify);

// The structural part alone: one pass, the canonical rebuild, the body checks.
void BM_CheckpointParse(benchmark::State& state) {
  const auto& c = signed_checkpoint();
  for (auto _ : state) {
    auto parsed = vesk::transparency::parse_checkpoint(vesk::as_bytes(c.text));
    if (!parsed) state.SkipWithError("checkpoint malformed");
    benchmark::DoNotOptimize(parsed);
  }
}
BENCHMARK(BM_CheckpointParse);

// One hybrid verification of the same signature, with the key decoded each time as the export
// does, and with the key decoded once.
void BM_HybridVerifyWithKeyDecode(benchmark::State& state) {
  const auto& c = signed_checkpoint();
  for (auto _ : state) {
    auto key = vesk::sign::decode_verifying_key(c.key);
    bool ok = key && vesk::sign::hybrid_verify(*key, vesk::as_bytes(vesk::transparency::kCheckpointContext),
                                               vesk::as_bytes(c.body), c.signature);
    if (!ok) state.SkipWithError("signature refused");
  }
}
BENCHMARK(BM_HybridVerifyWithKeyDecode);

void BM_HybridVerify(benchmark::State& state) {
  const auto& c = signed_checkpoint();
  auto key = vesk::sign::decode_verifying_key(c.key);
  for (auto _ : state) {
    bool ok = vesk::sign::hybrid_verify(*key, vesk::as_bytes(vesk::transparency::kCheckpointContext),
                                        vesk::as_bytes(c.body), c.signature);
    if (!ok) state.SkipWithError("signature refused");
  }
}
BENCHMARK(BM_HybridVerify);

// Raw libcrypto: import both public keys and verify both halves over the framed input.
void BM_RawEd25519AndMlDsaVerify(benchmark::State& state) {
  const auto& c = signed_checkpoint();
  const auto input = c.signing_input();
  EVP_SIGNATURE* alg = EVP_SIGNATURE_fetch(nullptr, "ML-DSA-65", nullptr);
  for (auto _ : state) {
    const auto key = vesk::bench::RawHybridKey::from_verifying_key(c.key.data());
    if (!vesk::bench::raw_hybrid_verify(key.ed.get(), key.ml.get(), alg, input, c.signature.data()))
      state.SkipWithError("raw verification refused");
  }
  EVP_SIGNATURE_free(alg);
}
BENCHMARK(BM_RawEd25519AndMlDsaVerify);

}  // namespace
