// Message signatures and challenge acceptance through the exports, next to raw libcrypto doing the
// same primitive work (Ed25519 and deterministic ML-DSA-65 over the same signing input).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench_support.h"
#include "ffi/spent_nonce_set.h"
#include "sign/challenge/challenge.h"
#include "vesk.h"

namespace {

using ByteVec = std::vector<std::uint8_t>;

void require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "challenge_bench: %s failed\n", what);
    std::abort();
  }
}

ByteVec pattern(std::size_t n, std::uint8_t salt) {
  ByteVec v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i * 131 + salt);
  return v;
}

const ByteVec kSeed = pattern(32, 7);
const ByteVec kContext = {'b', 'e', 'n', 'c', 'h'};

struct Library {
  VeskSigningIdentityHandle* identity = nullptr;
  ByteVec key;
  Library() {
    require(vesk_signing_identity_open(kSeed.data(), kSeed.size(), nullptr, &identity) == VESK_OK, "open");
    VeskBuffer vk = vesk_buffer_empty();
    require(vesk_signing_identity_public(identity, &vk) == VESK_OK, "public");
    key.assign(vk.data, vk.data + vk.len);
    vesk_buffer_free(&vk);
  }
};
Library& library() {
  static Library lib;
  return lib;
}

// Raw libcrypto: the identity's own Ed25519 and ML-DSA-65 keys, signing and verifying the already
// framed input directly.
struct Raw {
  vesk::bench::RawHybridKey key = vesk::bench::RawHybridKey::from_secrets(vesk::bench::identity_secrets(kSeed));
  EVP_SIGNATURE* mldsa_alg = EVP_SIGNATURE_fetch(nullptr, "ML-DSA-65", nullptr);
  Raw() { require(key.ok() && mldsa_alg, "raw keys"); }
  void sign(const ByteVec& input, std::uint8_t* out) const {
    require(vesk::bench::raw_ed25519_sign(key.ed.get(), input, out), "Ed25519 sign");
    require(vesk::bench::raw_mldsa_sign(key.ml.get(), mldsa_alg, input, out + 64), "ML-DSA sign");
  }
  bool verify(const ByteVec& input, const std::uint8_t* sig) const {
    return vesk::bench::raw_hybrid_verify(key.ed.get(), key.ml.get(), mldsa_alg, input, sig);
  }
};
Raw& raw() {
  static Raw r;
  return r;
}

ByteVec framed(const ByteVec& message) { return vesk::bench::raw_signing_input(kContext, message); }

void BM_SignMessage(benchmark::State& state) {
  Library& lib = library();
  const ByteVec message = pattern(static_cast<std::size_t>(state.range(0)), 3);
  for (auto _ : state) {
    VeskBuffer sig = vesk_buffer_empty();
    require(vesk_sign_message(lib.identity, kContext.data(), kContext.size(), message.data(), message.size(), &sig) ==
                VESK_OK,
            "vesk_sign_message");
    vesk_buffer_free(&sig);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_RawSign(benchmark::State& state) {
  const Raw& r = raw();
  const ByteVec message = pattern(static_cast<std::size_t>(state.range(0)), 3);
  const ByteVec input = framed(message);
  std::uint8_t sig[3373];
  // Same keys, same input: the raw signature is byte for byte the library's.
  r.sign(input, sig);
  VeskBuffer lib_sig = vesk_buffer_empty();
  require(vesk_sign_message(library().identity, kContext.data(), kContext.size(), message.data(), message.size(),
                            &lib_sig) == VESK_OK &&
              std::memcmp(lib_sig.data, sig, sizeof sig) == 0,
          "raw signature equal to the library's");
  vesk_buffer_free(&lib_sig);
  for (auto _ : state) {
    r.sign(input, sig);
    benchmark::DoNotOptimize(sig);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_VerifyMessage(benchmark::State& state) {
  Library& lib = library();
  const ByteVec message = pattern(static_cast<std::size_t>(state.range(0)), 3);
  VeskBuffer sig = vesk_buffer_empty();
  require(vesk_sign_message(lib.identity, kContext.data(), kContext.size(), message.data(), message.size(), &sig) ==
              VESK_OK,
          "vesk_sign_message");
  for (auto _ : state) {
    require(vesk_verify_message(lib.key.data(), lib.key.size(), kContext.data(), kContext.size(), message.data(),
                                message.size(), sig.data, sig.len) == VESK_OK,
            "vesk_verify_message");
  }
  vesk_buffer_free(&sig);
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_RawVerify(benchmark::State& state) {
  const Raw& r = raw();
  const ByteVec input = framed(pattern(static_cast<std::size_t>(state.range(0)), 3));
  std::uint8_t sig[3373];
  r.sign(input, sig);
  for (auto _ : state) require(r.verify(input, sig), "raw verify");
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_SignMessage)->Arg(64)->Arg(1024)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawSign)->Arg(64)->Arg(1024)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_VerifyMessage)->Arg(64)->Arg(1024)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawVerify)->Arg(64)->Arg(1024)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

// A set of `live` unexpired entries, then one accepted challenge presented again: every iteration
// decodes, verifies, purges (nothing expires) and scans every entry before finding the replay at
// the end. The set does not grow, so each iteration does the same work.
void BM_ChallengeAcceptReplay(benchmark::State& state) {
  Library& lib = library();
  const std::size_t live = static_cast<std::size_t>(state.range(0));
  VeskSpentNonceSet* set = vesk_spent_nonces_new();
  for (std::size_t i = 0; i < live; ++i) {
    vesk::sign::Nonce n{};
    std::memcpy(n.data(), &i, sizeof i);
    n[31] = 0xEE;
    set->set.append(n, UINT64_MAX);
  }
  VeskBuffer ch = vesk_buffer_empty(), sig = vesk_buffer_empty();
  require(vesk_challenge_new("bench", 0, 1000, &ch) == VESK_OK, "challenge_new");
  require(vesk_challenge_answer(lib.identity, ch.data, ch.len, &sig) == VESK_OK, "answer");
  require(vesk_challenge_accept(set, ch.data, ch.len, sig.data, sig.len, lib.key.data(), lib.key.size(), 1) == VESK_OK,
          "accept");
  for (auto _ : state) {
    require(vesk_challenge_accept(set, ch.data, ch.len, sig.data, sig.len, lib.key.data(), lib.key.size(), 1) ==
                VESK_CHALLENGE_REPLAYED,
            "replayed accept");
  }
  state.counters["entries"] = static_cast<double>(set->set.entries().size());
  vesk_buffer_free(&ch);
  vesk_buffer_free(&sig);
  vesk_spent_nonces_free(set);
}
BENCHMARK(BM_ChallengeAcceptReplay)->Arg(0)->Arg(100000)->Unit(benchmark::kMicrosecond);

// The set's own work on its own: one purge pass and one full replay scan.
void BM_PurgeAndScan(benchmark::State& state) {
  vesk::sign::SpentNonceSet set;
  const std::size_t live = static_cast<std::size_t>(state.range(0));
  for (std::size_t i = 0; i < live; ++i) {
    vesk::sign::Nonce n{};
    std::memcpy(n.data(), &i, sizeof i);
    set.append(n, UINT64_MAX);
  }
  vesk::sign::Nonce absent{};
  absent.fill(0xAB);
  for (auto _ : state) {
    set.purge_expired(1);
    benchmark::DoNotOptimize(set.contains(absent));
  }
}
BENCHMARK(BM_PurgeAndScan)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace
