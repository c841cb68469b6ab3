// Hybrid signing and verification of 1 KiB and 1 MiB messages next to raw libcrypto doing the same
// Ed25519 and ML-DSA-65 work with the same keys on the same signing inputs, and the cost of opening
// an identity. Compare Hybrid* with Raw*: the difference is the library's own work (framing, strict
// Ed25519 checks, key decoding, per-call contexts). ML-DSA signing time depends on key and message
// through its rejection loop, so every benchmark cycles through the same 16 messages (4 at 1 MiB). The
// MlDsaSign* variants show what fetching the algorithm and reusing a context are worth. On a
// loaded machine read the Paired* counters: they time both sides back to back in thread CPU time.
#include <benchmark/benchmark.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <cstdlib>
#include <ctime>
#include <cstring>
#include <vector>

#include "bench_support.h"
#include "core/crypto/ed25519.h"
#include "core/crypto/mldsa.h"
#include "sign/hybrid.h"
#include "vesk.h"

using namespace vesk;

namespace {

constexpr std::size_t kMessageLen = 1024;
constexpr std::size_t kMessages = 16;
constexpr std::size_t kLargeMessageLen = std::size_t{1} << 20;
constexpr std::size_t kLargeMessages = 4;

struct Case {
  std::vector<std::uint8_t> message;
  std::vector<std::uint8_t> input;  // the signing input, framed as the library frames it
  sign::Signature signature;
};

struct Setup {
  std::uint8_t seed[32];
  bench::IdentitySecrets secrets;
  std::vector<std::uint8_t> context;
  std::vector<Case> cases;
  std::vector<Case> large_cases;
  std::unique_ptr<sign::SigningIdentity> identity;
  std::optional<sign::DecodedVerifyingKey> decoded;
  bench::RawHybridKey signing;    // the identity's own keys, derived here as the library derives them
  bench::RawHybridKey verifying;  // imported from its verifying key
  EVP_SIGNATURE* ml_alg = nullptr;

  Setup() {
    for (int i = 0; i < 32; ++i) seed[i] = static_cast<std::uint8_t>(i);
    secrets = bench::identity_secrets(seed);
    const char label[] = "bench context";
    context.assign(label, label + sizeof label - 1);

    identity = sign::SigningIdentity::from_seed(seed);
    decoded = sign::decode_verifying_key(identity->verifying_key());
    signing = bench::RawHybridKey::from_secrets(secrets);
    verifying = bench::RawHybridKey::from_verifying_key(identity->verifying_key().data());
    ml_alg = EVP_SIGNATURE_fetch(nullptr, "ML-DSA-65", nullptr);
    if (!signing.ok() || !verifying.ok() || ml_alg == nullptr) std::abort();

    for (std::size_t m = 0; m < kMessages; ++m) cases.push_back(make_case(kMessageLen, m));
    for (std::size_t m = 0; m < kLargeMessages; ++m) large_cases.push_back(make_case(kLargeMessageLen, m));
  }

  Case make_case(std::size_t len, std::size_t m) const {
    Case c;
    c.message.resize(len);
    for (std::size_t i = 0; i < len; ++i) c.message[i] = static_cast<std::uint8_t>(i * 31 + m * 7 + (i >> 8));
    sign::SigningInput framed(context, c.message);
    c.input.assign(framed.view().begin(), framed.view().end());
    c.signature = sign::hybrid_sign(*identity, context, c.message);
    // The raw path must produce the same bytes, or it is not the same work.
    std::uint8_t ed_sig[64], ml_sig[3309];
    if (!raw_ed_sign(c.input, ed_sig) || !raw_ml_sign(c.input, ml_sig, ml_alg) ||
        std::memcmp(ed_sig, c.signature.data(), 64) != 0 || std::memcmp(ml_sig, c.signature.data() + 64, 3309) != 0)
      std::abort();
    return c;
  }

  bool raw_ed_sign(Bytes in, std::uint8_t* out) const { return bench::raw_ed25519_sign(signing.ed.get(), in, out); }
  bool raw_ml_sign(Bytes in, std::uint8_t* out, EVP_SIGNATURE* alg) const {
    return bench::raw_mldsa_sign(signing.ml.get(), alg, in, out);
  }
  bool raw_verify(const bench::RawHybridKey& key, const Case& c) const {
    return bench::raw_hybrid_verify(key.ed.get(), key.ml.get(), ml_alg, c.input, c.signature.data());
  }
};

const Setup& setup() {
  static const Setup s;
  return s;
}

// ---- Signing ----

void HybridSign(benchmark::State& state) {
  const Setup& s = setup();
  std::size_t i = 0;
  for (auto _ : state) {
    const Case& c = s.cases[i++ % kMessages];
    benchmark::DoNotOptimize(sign::hybrid_sign(*s.identity, s.context, c.message));
  }
}
BENCHMARK(HybridSign);

void RawSign(benchmark::State& state) {
  const Setup& s = setup();
  std::uint8_t ed[64], ml[3309];
  std::size_t i = 0;
  for (auto _ : state) {
    const Case& c = s.cases[i++ % kMessages];
    if (!s.raw_ed_sign(c.input, ed) || !s.raw_ml_sign(c.input, ml, s.ml_alg)) state.SkipWithError("sign failed");
    benchmark::DoNotOptimize(ml);
  }
}
BENCHMARK(RawSign);

void RawSignEd25519Only(benchmark::State& state) {
  const Setup& s = setup();
  std::uint8_t ed[64];
  std::size_t i = 0;
  for (auto _ : state) {
    if (!s.raw_ed_sign(s.cases[i++ % kMessages].input, ed)) state.SkipWithError("sign failed");
    benchmark::DoNotOptimize(ed);
  }
}
BENCHMARK(RawSignEd25519Only);

// ML-DSA-65 alone: the algorithm fetched for every signature, fetched once (what the library
// does), and one context kept and re-initialised (which several threads could not share).
void MlDsaSignFetchEachTime(benchmark::State& state) {
  const Setup& s = setup();
  std::uint8_t ml[3309];
  std::size_t i = 0;
  for (auto _ : state) {
    EVP_SIGNATURE* alg = EVP_SIGNATURE_fetch(nullptr, "ML-DSA-65", nullptr);
    if (!s.raw_ml_sign(s.cases[i++ % kMessages].input, ml, alg)) state.SkipWithError("sign failed");
    EVP_SIGNATURE_free(alg);
    benchmark::DoNotOptimize(ml);
  }
}
BENCHMARK(MlDsaSignFetchEachTime);

void MlDsaSignPrefetched(benchmark::State& state) {
  const Setup& s = setup();
  std::uint8_t ml[3309];
  std::size_t i = 0;
  for (auto _ : state) {
    if (!s.raw_ml_sign(s.cases[i++ % kMessages].input, ml, s.ml_alg)) state.SkipWithError("sign failed");
    benchmark::DoNotOptimize(ml);
  }
}
BENCHMARK(MlDsaSignPrefetched);

void MlDsaSignReusedContext(benchmark::State& state) {
  const Setup& s = setup();
  std::uint8_t ml[3309];
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, s.signing.ml.get(), nullptr);
  int det = 1;
  OSSL_PARAM params[] = {OSSL_PARAM_construct_int(OSSL_SIGNATURE_PARAM_DETERMINISTIC, &det), OSSL_PARAM_construct_end()};
  std::size_t i = 0;
  for (auto _ : state) {
    const Case& c = s.cases[i++ % kMessages];
    std::size_t len = sizeof ml;
    if (EVP_PKEY_sign_message_init(ctx, s.ml_alg, params) != 1 ||
        EVP_PKEY_sign(ctx, ml, &len, c.input.data(), c.input.size()) != 1)
      state.SkipWithError("sign failed");
    benchmark::DoNotOptimize(ml);
  }
  EVP_PKEY_CTX_free(ctx);
}
BENCHMARK(MlDsaSignReusedContext);

// ---- Verification ----

void HybridVerify(benchmark::State& state) {
  const Setup& s = setup();
  std::size_t i = 0;
  for (auto _ : state) {
    const Case& c = s.cases[i++ % kMessages];
    if (!sign::hybrid_verify(*s.decoded, s.context, c.message, c.signature)) state.SkipWithError("invalid");
  }
}
BENCHMARK(HybridVerify);

void RawVerify(benchmark::State& state) {
  const Setup& s = setup();
  std::size_t i = 0;
  for (auto _ : state) {
    if (!s.raw_verify(s.verifying, s.cases[i++ % kMessages])) state.SkipWithError("invalid");
  }
}
BENCHMARK(RawVerify);

// What an export pays per verification: the 1984-byte key is decoded every time.
void HybridDecodeAndVerify(benchmark::State& state) {
  const Setup& s = setup();
  std::size_t i = 0;
  for (auto _ : state) {
    const Case& c = s.cases[i++ % kMessages];
    auto key = sign::decode_verifying_key(s.identity->verifying_key());
    if (!key || !sign::hybrid_verify(*key, s.context, c.message, c.signature)) state.SkipWithError("invalid");
  }
}
BENCHMARK(HybridDecodeAndVerify);

void RawImportAndVerify(benchmark::State& state) {
  const Setup& s = setup();
  const auto& vk = s.identity->verifying_key();
  std::size_t i = 0;
  for (auto _ : state) {
    const auto key = bench::RawHybridKey::from_verifying_key(vk.data());
    if (!s.raw_verify(key, s.cases[i++ % kMessages])) state.SkipWithError("invalid");
  }
}
BENCHMARK(RawImportAndVerify);

// The part of key decoding that libcrypto does not do: the RFC 8032 point check of A.
void Ed25519PointDecoding(benchmark::State& state) {
  const Setup& s = setup();
  for (auto _ : state) benchmark::DoNotOptimize(crypto::ed25519_decode_point(Bytes(s.identity->verifying_key()).first(32)));
}
BENCHMARK(Ed25519PointDecoding);

// ---- Opening ----

void IdentityOpenBareSeed(benchmark::State& state) {
  const Setup& s = setup();
  for (auto _ : state) {
    VeskSigningIdentityHandle* h = nullptr;
    if (vesk_signing_identity_open(s.seed, 32, nullptr, &h) != VESK_OK) state.SkipWithError("open failed");
    vesk_signing_identity_free(h);
  }
}
BENCHMARK(IdentityOpenBareSeed);

// The primitive work inside opening: an Ed25519 key from its secret and ML-DSA-65 keygen from xi.
void RawKeysFromSeeds(benchmark::State& state) {
  const Setup& s = setup();
  for (auto _ : state) {
    if (!bench::RawHybridKey::from_secrets(s.secrets).ml) state.SkipWithError("keygen failed");
  }
}
BENCHMARK(RawKeysFromSeeds);

// ---- Paired runs ----
// Each iteration times the library and the raw path back to back on the same input, in thread CPU
// time, so that load from other processes hits both alike; the counters give the ratio.

double thread_cpu_ns() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

template <class Library, class Raw>
void paired(benchmark::State& state, Library library, Raw raw, std::size_t messages = kMessages) {
  double library_ns = 0, raw_ns = 0;
  std::size_t i = 0;
  for (auto _ : state) {
    const std::size_t m = i++ % messages;
    double t0 = thread_cpu_ns();
    library(m);
    double t1 = thread_cpu_ns();
    raw(m);
    double t2 = thread_cpu_ns();
    library_ns += t1 - t0;
    raw_ns += t2 - t1;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["library_us"] = library_ns / n / 1e3;
  state.counters["raw_us"] = raw_ns / n / 1e3;
  state.counters["ratio"] = library_ns / raw_ns;
}

void PairedSign(benchmark::State& state) {
  const Setup& s = setup();
  std::uint8_t ed[64], ml[3309];
  paired(
      state, [&](std::size_t m) { benchmark::DoNotOptimize(sign::hybrid_sign(*s.identity, s.context, s.cases[m].message)); },
      [&](std::size_t m) {
        if (!s.raw_ed_sign(s.cases[m].input, ed) || !s.raw_ml_sign(s.cases[m].input, ml, s.ml_alg)) std::abort();
        benchmark::DoNotOptimize(ml);
      });
}
BENCHMARK(PairedSign);

void PairedVerify(benchmark::State& state) {
  const Setup& s = setup();
  paired(
      state,
      [&](std::size_t m) {
        if (!sign::hybrid_verify(*s.decoded, s.context, s.cases[m].message, s.cases[m].signature)) std::abort();
      },
      [&](std::size_t m) {
        if (!s.raw_verify(s.verifying, s.cases[m])) std::abort();
      });
}
BENCHMARK(PairedVerify);

void PairedDecodeAndVerify(benchmark::State& state) {
  const Setup& s = setup();
  const auto& vk = s.identity->verifying_key();
  paired(
      state,
      [&](std::size_t m) {
        auto key = sign::decode_verifying_key(vk);
        if (!key || !sign::hybrid_verify(*key, s.context, s.cases[m].message, s.cases[m].signature)) std::abort();
      },
      [&](std::size_t m) {
        const auto key = bench::RawHybridKey::from_verifying_key(vk.data());
        if (!s.raw_verify(key, s.cases[m])) std::abort();
      });
}
BENCHMARK(PairedDecodeAndVerify);

void PairedOpen(benchmark::State& state) {
  const Setup& s = setup();
  paired(
      state,
      [&](std::size_t) {
        VeskSigningIdentityHandle* h = nullptr;
        if (vesk_signing_identity_open(s.seed, 32, nullptr, &h) != VESK_OK) std::abort();
        vesk_signing_identity_free(h);
      },
      [&](std::size_t) {
        if (!bench::RawHybridKey::from_secrets(s.secrets).ml) std::abort();
      });
}
BENCHMARK(PairedOpen);

// 1 MiB messages, where hashing the message dominates: the library frames the input once for
// both halves; the raw side is handed the framed input ready-made.
void PairedSign1MiB(benchmark::State& state) {
  const Setup& s = setup();
  std::uint8_t ed[64], ml[3309];
  const auto& cases = s.large_cases;
  paired(
      state, [&](std::size_t m) { benchmark::DoNotOptimize(sign::hybrid_sign(*s.identity, s.context, cases[m].message)); },
      [&](std::size_t m) {
        if (!s.raw_ed_sign(cases[m].input, ed) || !s.raw_ml_sign(cases[m].input, ml, s.ml_alg)) std::abort();
        benchmark::DoNotOptimize(ml);
      },
      kLargeMessages);
}
BENCHMARK(PairedSign1MiB)->Unit(benchmark::kMillisecond);

void PairedVerify1MiB(benchmark::State& state) {
  const Setup& s = setup();
  const auto& cases = s.large_cases;
  paired(
      state,
      [&](std::size_t m) {
        if (!sign::hybrid_verify(*s.decoded, s.context, cases[m].message, cases[m].signature)) std::abort();
      },
      [&](std::size_t m) {
        if (!s.raw_verify(s.verifying, cases[m])) std::abort();
      },
      kLargeMessages);
}
BENCHMARK(PairedVerify1MiB)->Unit(benchmark::kMillisecond);

// The ML-DSA-65 half alone on the same 1 MiB signing inputs: the library's wrapper against
// libcrypto's own message path.
void PairedMlDsaSign1MiB(benchmark::State& state) {
  const Setup& s = setup();
  const auto& cases = s.large_cases;
  const auto key = crypto::MlDsaSigningKey::from_seed(s.secrets.xi);
  std::uint8_t ml[3309];
  paired(
      state,
      [&](std::size_t m) {
        if (!key.sign(cases[m].input, ml)) std::abort();
        benchmark::DoNotOptimize(ml);
      },
      [&](std::size_t m) {
        if (!s.raw_ml_sign(cases[m].input, ml, s.ml_alg)) std::abort();
        benchmark::DoNotOptimize(ml);
      },
      kLargeMessages);
}
BENCHMARK(PairedMlDsaSign1MiB)->Unit(benchmark::kMillisecond);

void PairedMlDsaVerify1MiB(benchmark::State& state) {
  const Setup& s = setup();
  const auto& cases = s.large_cases;
  const auto key = crypto::MlDsaVerifyingKey::import(Bytes(s.identity->verifying_key()).subspan(32));
  if (!key) std::abort();
  paired(
      state,
      [&](std::size_t m) {
        if (!key->verify(cases[m].input, Bytes(cases[m].signature).subspan(64))) std::abort();
      },
      [&](std::size_t m) {
        if (!bench::raw_mldsa_verify(s.verifying.ml.get(), s.ml_alg, cases[m].input, cases[m].signature.data() + 64))
          std::abort();
      },
      kLargeMessages);
}
BENCHMARK(PairedMlDsaVerify1MiB)->Unit(benchmark::kMillisecond);

// ML-DSA-65 signing alone. "library" here is the way the library does it (algorithm fetched once,
// a new context per signature); "raw" is the alternative named by the benchmark.
void PairedMlDsaPrefetchedVsFetchEachTime(benchmark::State& state) {
  const Setup& s = setup();
  std::uint8_t ml[3309];
  paired(
      state, [&](std::size_t m) { benchmark::DoNotOptimize(s.raw_ml_sign(s.cases[m].input, ml, s.ml_alg)); },
      [&](std::size_t m) {
        EVP_SIGNATURE* alg = EVP_SIGNATURE_fetch(nullptr, "ML-DSA-65", nullptr);
        benchmark::DoNotOptimize(s.raw_ml_sign(s.cases[m].input, ml, alg));
        EVP_SIGNATURE_free(alg);
      });
}
BENCHMARK(PairedMlDsaPrefetchedVsFetchEachTime);

void PairedMlDsaNewContextVsReusedContext(benchmark::State& state) {
  const Setup& s = setup();
  std::uint8_t ml[3309];
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, s.signing.ml.get(), nullptr);
  int det = 1;
  OSSL_PARAM params[] = {OSSL_PARAM_construct_int(OSSL_SIGNATURE_PARAM_DETERMINISTIC, &det), OSSL_PARAM_construct_end()};
  paired(
      state, [&](std::size_t m) { benchmark::DoNotOptimize(s.raw_ml_sign(s.cases[m].input, ml, s.ml_alg)); },
      [&](std::size_t m) {
        std::size_t len = sizeof ml;
        if (EVP_PKEY_sign_message_init(ctx, s.ml_alg, params) != 1 ||
            EVP_PKEY_sign(ctx, ml, &len, s.cases[m].input.data(), s.cases[m].input.size()) != 1)
          std::abort();
      });
  EVP_PKEY_CTX_free(ctx);
}
BENCHMARK(PairedMlDsaNewContextVsReusedContext);

}  // namespace
