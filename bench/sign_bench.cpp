// Hybrid signing and verification of 1 KiB and 1 MiB messages next to raw libcrypto doing the same
// Ed25519 and ML-DSA-65 work with the same keys on the same signing inputs, and the cost of opening
// an identity. Compare alone/Hybrid* with alone/Raw*: the difference is the library's own work
// (framing, strict Ed25519 checks, key decoding, per-call contexts). ML-DSA signing time depends on
// key and message through its rejection loop, so every benchmark cycles through the same 16 messages
// (4 at 1 MiB). The alone/MlDsaSign* variants show what fetching the algorithm and reusing a context
// are worth. On a
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

// ---- The work timed ----
// Each piece of work is written once, over one message's case, and returns false when it failed;
// the benchmarks below time it alone or paired with another.

bool library_sign(const Setup& s, const Case& c) {
  benchmark::DoNotOptimize(sign::hybrid_sign(*s.identity, s.context, c.message));
  return true;
}

bool raw_sign(const Setup& s, const Case& c) {
  std::uint8_t ed[64], ml[3309];
  const bool ok = s.raw_ed_sign(c.input, ed) && s.raw_ml_sign(c.input, ml, s.ml_alg);
  benchmark::DoNotOptimize(ml);
  return ok;
}

bool raw_ed25519_sign(const Setup& s, const Case& c) {
  std::uint8_t ed[64];
  const bool ok = s.raw_ed_sign(c.input, ed);
  benchmark::DoNotOptimize(ed);
  return ok;
}

// ML-DSA-65 alone: the algorithm fetched once (what the library does), fetched for every
// signature, and one context kept and re-initialised (which several threads could not share).
bool mldsa_sign_prefetched(const Setup& s, const Case& c) {
  std::uint8_t ml[3309];
  const bool ok = s.raw_ml_sign(c.input, ml, s.ml_alg);
  benchmark::DoNotOptimize(ml);
  return ok;
}

bool mldsa_sign_fetch_each_time(const Setup& s, const Case& c) {
  std::uint8_t ml[3309];
  EVP_SIGNATURE* alg = EVP_SIGNATURE_fetch(nullptr, "ML-DSA-65", nullptr);
  const bool ok = s.raw_ml_sign(c.input, ml, alg);
  EVP_SIGNATURE_free(alg);
  benchmark::DoNotOptimize(ml);
  return ok;
}

class MlDsaReusedContext {
 public:
  explicit MlDsaReusedContext(const Setup& s) : ctx_(EVP_PKEY_CTX_new_from_pkey(nullptr, s.signing.ml.get(), nullptr)) {}
  ~MlDsaReusedContext() { EVP_PKEY_CTX_free(ctx_); }
  MlDsaReusedContext(const MlDsaReusedContext&) = delete;
  MlDsaReusedContext& operator=(const MlDsaReusedContext&) = delete;

  bool operator()(const Setup& s, const Case& c) {
    std::uint8_t ml[3309];
    std::size_t len = sizeof ml;
    const bool ok = EVP_PKEY_sign_message_init(ctx_, s.ml_alg, params_) == 1 &&
                    EVP_PKEY_sign(ctx_, ml, &len, c.input.data(), c.input.size()) == 1;
    benchmark::DoNotOptimize(ml);
    return ok;
  }

 private:
  EVP_PKEY_CTX* ctx_;
  int deterministic_ = 1;
  OSSL_PARAM params_[2] = {OSSL_PARAM_construct_int(OSSL_SIGNATURE_PARAM_DETERMINISTIC, &deterministic_),
                           OSSL_PARAM_construct_end()};
};

bool library_verify(const Setup& s, const Case& c) {
  return sign::hybrid_verify(*s.decoded, s.context, c.message, c.signature);
}

bool raw_verify(const Setup& s, const Case& c) { return s.raw_verify(s.verifying, c); }

// What an export pays per verification: the 1984-byte key is decoded every time.
bool library_decode_and_verify(const Setup& s, const Case& c) {
  auto key = sign::decode_verifying_key(s.identity->verifying_key());
  return key && sign::hybrid_verify(*key, s.context, c.message, c.signature);
}

bool raw_import_and_verify(const Setup& s, const Case& c) {
  const auto key = bench::RawHybridKey::from_verifying_key(s.identity->verifying_key().data());
  return s.raw_verify(key, c);
}

// Opening takes no message.
bool library_open(const Setup& s, const Case&) {
  VeskSigningIdentityHandle* h = nullptr;
  const bool ok = vesk_signing_identity_open(s.seed, 32, nullptr, &h) == VESK_OK;
  vesk_signing_identity_free(h);
  return ok;
}

// The primitive work inside opening: an Ed25519 key from its secret and ML-DSA-65 keygen from xi.
bool raw_keys_from_seeds(const Setup& s, const Case&) { return bench::RawHybridKey::from_secrets(s.secrets).ok(); }

// ---- Alone ----

// Times `work` on the 1 KiB messages in turn.
template <class Work>
void alone(benchmark::State& state, Work&& work) {
  const Setup& s = setup();
  std::size_t i = 0;
  for (auto _ : state)
    if (!work(s, s.cases[i++ % kMessages])) state.SkipWithError("the work failed");
}

BENCHMARK_CAPTURE(alone, HybridSign, library_sign);
BENCHMARK_CAPTURE(alone, RawSign, raw_sign);
BENCHMARK_CAPTURE(alone, RawSignEd25519Only, raw_ed25519_sign);
BENCHMARK_CAPTURE(alone, MlDsaSignFetchEachTime, mldsa_sign_fetch_each_time);
BENCHMARK_CAPTURE(alone, MlDsaSignPrefetched, mldsa_sign_prefetched);
BENCHMARK_CAPTURE(alone, MlDsaSignReusedContext, MlDsaReusedContext(setup()));

BENCHMARK_CAPTURE(alone, HybridVerify, library_verify);
BENCHMARK_CAPTURE(alone, RawVerify, raw_verify);
BENCHMARK_CAPTURE(alone, HybridDecodeAndVerify, library_decode_and_verify);
BENCHMARK_CAPTURE(alone, RawImportAndVerify, raw_import_and_verify);

// The part of key decoding that libcrypto does not do: the RFC 8032 point check of A.
void Ed25519PointDecoding(benchmark::State& state) {
  const Setup& s = setup();
  for (auto _ : state) benchmark::DoNotOptimize(crypto::ed25519_decode_point(Bytes(s.identity->verifying_key()).first(32)));
}
BENCHMARK(Ed25519PointDecoding);

BENCHMARK_CAPTURE(alone, IdentityOpenBareSeed, library_open);
BENCHMARK_CAPTURE(alone, RawKeysFromSeeds, raw_keys_from_seeds);

// ---- Paired runs ----
// Each iteration times the library and the raw path back to back on the same input, in thread CPU
// time, so that load from other processes hits both alike; the counters give the ratio.

double thread_cpu_ns() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

template <class Library, class Raw>
void paired(benchmark::State& state, Library&& library, Raw&& raw, const std::vector<Case>& cases) {
  const Setup& s = setup();
  double library_ns = 0, raw_ns = 0;
  std::size_t i = 0;
  for (auto _ : state) {
    const Case& c = cases[i++ % cases.size()];
    double t0 = thread_cpu_ns();
    if (!library(s, c)) std::abort();
    double t1 = thread_cpu_ns();
    if (!raw(s, c)) std::abort();
    double t2 = thread_cpu_ns();
    library_ns += t1 - t0;
    raw_ns += t2 - t1;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["library_us"] = library_ns / n / 1e3;
  state.counters["raw_us"] = raw_ns / n / 1e3;
  state.counters["ratio"] = library_ns / raw_ns;
}

void PairedSign(benchmark::State& state) { paired(state, library_sign, raw_sign, setup().cases); }
BENCHMARK(PairedSign);
void PairedVerify(benchmark::State& state) { paired(state, library_verify, raw_verify, setup().cases); }
BENCHMARK(PairedVerify);
void PairedDecodeAndVerify(benchmark::State& state) {
  paired(state, library_decode_and_verify, raw_import_and_verify, setup().cases);
}
BENCHMARK(PairedDecodeAndVerify);
void PairedOpen(benchmark::State& state) { paired(state, library_open, raw_keys_from_seeds, setup().cases); }
BENCHMARK(PairedOpen);

// 1 MiB messages, where hashing the message dominates: the library frames the input once for
// both halves; the raw side is handed the framed input ready-made.
void PairedSign1MiB(benchmark::State& state) { paired(state, library_sign, raw_sign, setup().large_cases); }
BENCHMARK(PairedSign1MiB)->Unit(benchmark::kMillisecond);
void PairedVerify1MiB(benchmark::State& state) { paired(state, library_verify, raw_verify, setup().large_cases); }
BENCHMARK(PairedVerify1MiB)->Unit(benchmark::kMillisecond);

// The ML-DSA-65 half alone on the same 1 MiB signing inputs: the library's wrapper against
// libcrypto's own message path.
void PairedMlDsaSign1MiB(benchmark::State& state) {
  const auto key = crypto::MlDsaSigningKey::from_seed(setup().secrets.xi);
  const auto library = [&](const Setup&, const Case& c) {
    std::uint8_t ml[3309];
    const bool ok = key.sign(c.input, ml);
    benchmark::DoNotOptimize(ml);
    return ok;
  };
  paired(state, library, mldsa_sign_prefetched, setup().large_cases);
}
BENCHMARK(PairedMlDsaSign1MiB)->Unit(benchmark::kMillisecond);

void PairedMlDsaVerify1MiB(benchmark::State& state) {
  const auto key = crypto::MlDsaVerifyingKey::import(Bytes(setup().identity->verifying_key()).subspan(32));
  if (!key) std::abort();
  const auto library = [&](const Setup&, const Case& c) { return key->verify(c.input, Bytes(c.signature).subspan(64)); };
  const auto raw = [](const Setup& s, const Case& c) {
    return bench::raw_mldsa_verify(s.verifying.ml.get(), s.ml_alg, c.input, c.signature.data() + 64);
  };
  paired(state, library, raw, setup().large_cases);
}
BENCHMARK(PairedMlDsaVerify1MiB)->Unit(benchmark::kMillisecond);

// ML-DSA-65 signing alone. "library" here is the way the library does it (algorithm fetched once,
// a new context per signature); "raw" is the alternative named by the benchmark.
void PairedMlDsaPrefetchedVsFetchEachTime(benchmark::State& state) {
  paired(state, mldsa_sign_prefetched, mldsa_sign_fetch_each_time, setup().cases);
}
BENCHMARK(PairedMlDsaPrefetchedVsFetchEachTime);

void PairedMlDsaNewContextVsReusedContext(benchmark::State& state) {
  paired(state, mldsa_sign_prefetched, MlDsaReusedContext(setup()), setup().cases);
}
BENCHMARK(PairedMlDsaNewContextVsReusedContext);

}  // namespace
