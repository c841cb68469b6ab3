// Hybrid signing and verification of a 1 KiB message next to raw libcrypto doing the same
// Ed25519 and ML-DSA-65 work on the same signing input, and the cost of opening an identity.
// Compare Hybrid* with Raw*Both: the difference is the library's own work (framing, strict
// Ed25519 checks, per-call contexts). The MlDsaSign* variants show what fetching and context reuse
// are worth in libcrypto.
#include <benchmark/benchmark.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <cstring>
#include <vector>

#include "core/crypto/ed25519.h"
#include "core/crypto/hmac.h"
#include "sign/hybrid.h"
#include "vesk.h"

using namespace vesk;

namespace {

constexpr std::size_t kMessageLen = 1024;

struct Setup {
  std::uint8_t seed[32];
  std::uint8_t ed_secret[32];
  std::uint8_t xi[32];
  std::vector<std::uint8_t> context, message, input;
  std::unique_ptr<sign::SigningIdentity> identity;
  std::optional<sign::DecodedVerifyingKey> decoded;
  sign::Signature signature;
  EVP_PKEY* ed = nullptr;
  EVP_PKEY* ml = nullptr;
  EVP_PKEY* ed_public = nullptr;
  EVP_PKEY* ml_public = nullptr;
  EVP_SIGNATURE* ml_alg = nullptr;
  EVP_SIGNATURE* ed_alg = nullptr;
  std::uint8_t ed_sig[64];
  std::uint8_t ml_sig[3309];

  Setup() {
    for (int i = 0; i < 32; ++i) seed[i] = static_cast<std::uint8_t>(i);
    // The identity's own keys, so that the raw runs do the same work (ML-DSA signing time depends
    // on key and message through its rejection loop).
    const auto signing = crypto::hkdf_expand32(seed, {as_bytes("VESK/0.5 identity signing")});
    std::memcpy(ed_secret, crypto::hkdf_expand32(signing.view(), {as_bytes("VESK/0.5 identity ed25519")}).data(), 32);
    std::memcpy(xi, crypto::hkdf_expand32(signing.view(), {as_bytes("VESK/0.5 identity ml-dsa-65")}).data(), 32);
    const char label[] = "bench context";
    context.assign(label, label + sizeof label - 1);
    message.resize(kMessageLen);
    for (std::size_t i = 0; i < kMessageLen; ++i) message[i] = static_cast<std::uint8_t>(i * 31);
    sign::SigningInput framed(context, message);
    input.assign(framed.view().begin(), framed.view().end());

    identity = sign::SigningIdentity::from_seed(seed);
    decoded = sign::decode_verifying_key(identity->verifying_key());
    signature = sign::hybrid_sign(*identity, context, message);

    ed = EVP_PKEY_new_raw_private_key_ex(nullptr, "ED25519", nullptr, ed_secret, 32);
    EVP_PKEY_CTX* kctx = EVP_PKEY_CTX_new_from_name(nullptr, "ML-DSA-65", nullptr);
    EVP_PKEY_keygen_init(kctx);
    OSSL_PARAM params[] = {OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_ML_DSA_SEED, xi, 32),
                           OSSL_PARAM_construct_end()};
    EVP_PKEY_CTX_set_params(kctx, params);
    EVP_PKEY_generate(kctx, &ml);
    EVP_PKEY_CTX_free(kctx);
    ml_alg = EVP_SIGNATURE_fetch(nullptr, "ML-DSA-65", nullptr);
    ed_alg = EVP_SIGNATURE_fetch(nullptr, "ED25519", nullptr);

    std::uint8_t pub[1952];
    std::size_t len = 32;
    EVP_PKEY_get_raw_public_key(ed, pub, &len);
    ed_public = EVP_PKEY_new_raw_public_key_ex(nullptr, "ED25519", nullptr, pub, 32);
    len = sizeof pub;
    EVP_PKEY_get_raw_public_key(ml, pub, &len);
    ml_public = EVP_PKEY_new_raw_public_key_ex(nullptr, "ML-DSA-65", nullptr, pub, len);
    if (!raw_ed_sign(ed_sig) || !raw_ml_sign(ml_sig, ml_alg)) std::abort();
    if (std::memcmp(ed_sig, signature.data(), 64) != 0 || std::memcmp(ml_sig, signature.data() + 64, 3309) != 0)
      std::abort();  // not the same keys after all
  }

  bool raw_ed_sign(std::uint8_t* out) const {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    std::size_t len = 64;
    bool ok = EVP_DigestSignInit_ex(ctx, nullptr, nullptr, nullptr, nullptr, ed, nullptr) == 1 &&
              EVP_DigestSign(ctx, out, &len, input.data(), input.size()) == 1;
    EVP_MD_CTX_free(ctx);
    return ok;
  }
  bool raw_ml_sign(std::uint8_t* out, EVP_SIGNATURE* alg) const {
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, ml, nullptr);
    int det = 1;
    OSSL_PARAM params[] = {OSSL_PARAM_construct_int(OSSL_SIGNATURE_PARAM_DETERMINISTIC, &det), OSSL_PARAM_construct_end()};
    std::size_t len = 3309;
    bool ok = EVP_PKEY_sign_message_init(ctx, alg, params) == 1 &&
              EVP_PKEY_sign(ctx, out, &len, input.data(), input.size()) == 1;
    EVP_PKEY_CTX_free(ctx);
    return ok;
  }
  bool raw_ed_verify(EVP_PKEY* key) const {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    bool ok = EVP_DigestVerifyInit_ex(ctx, nullptr, nullptr, nullptr, nullptr, key, nullptr) == 1 &&
              EVP_DigestVerify(ctx, ed_sig, 64, input.data(), input.size()) == 1;
    EVP_MD_CTX_free(ctx);
    return ok;
  }
  bool raw_ml_verify(EVP_PKEY* key) const {
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr);
    bool ok = EVP_PKEY_verify_message_init(ctx, ml_alg, nullptr) == 1 &&
              EVP_PKEY_verify(ctx, ml_sig, sizeof ml_sig, input.data(), input.size()) == 1;
    EVP_PKEY_CTX_free(ctx);
    return ok;
  }
};

const Setup& setup() {
  static const Setup s;
  return s;
}

// ---- Signing ----

void HybridSign(benchmark::State& state) {
  const Setup& s = setup();
  for (auto _ : state) benchmark::DoNotOptimize(sign::hybrid_sign(*s.identity, s.context, s.message));
}
BENCHMARK(HybridSign);

void RawSignBoth(benchmark::State& state) {
  const Setup& s = setup();
  std::uint8_t ed[64], ml[3309];
  for (auto _ : state) {
    if (!s.raw_ed_sign(ed) || !s.raw_ml_sign(ml, s.ml_alg)) state.SkipWithError("sign failed");
    benchmark::DoNotOptimize(ml);
  }
}
BENCHMARK(RawSignBoth);

void RawSignEd25519(benchmark::State& state) {
  const Setup& s = setup();
  std::uint8_t ed[64];
  for (auto _ : state) {
    if (!s.raw_ed_sign(ed)) state.SkipWithError("sign failed");
    benchmark::DoNotOptimize(ed);
  }
}
BENCHMARK(RawSignEd25519);

// ML-DSA-65 alone, four ways: the algorithm fetched for every signature, fetched once (what the
// library does), and one context kept and re-initialised (not usable from several threads at once).
void MlDsaSignFetchEachTime(benchmark::State& state) {
  const Setup& s = setup();
  std::uint8_t ml[3309];
  for (auto _ : state) {
    EVP_SIGNATURE* alg = EVP_SIGNATURE_fetch(nullptr, "ML-DSA-65", nullptr);
    if (!s.raw_ml_sign(ml, alg)) state.SkipWithError("sign failed");
    EVP_SIGNATURE_free(alg);
    benchmark::DoNotOptimize(ml);
  }
}
BENCHMARK(MlDsaSignFetchEachTime);

void MlDsaSignPrefetched(benchmark::State& state) {
  const Setup& s = setup();
  std::uint8_t ml[3309];
  for (auto _ : state) {
    if (!s.raw_ml_sign(ml, s.ml_alg)) state.SkipWithError("sign failed");
    benchmark::DoNotOptimize(ml);
  }
}
BENCHMARK(MlDsaSignPrefetched);

void MlDsaSignReusedContext(benchmark::State& state) {
  const Setup& s = setup();
  std::uint8_t ml[3309];
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, s.ml, nullptr);
  int det = 1;
  OSSL_PARAM params[] = {OSSL_PARAM_construct_int(OSSL_SIGNATURE_PARAM_DETERMINISTIC, &det), OSSL_PARAM_construct_end()};
  for (auto _ : state) {
    std::size_t len = sizeof ml;
    if (EVP_PKEY_sign_message_init(ctx, s.ml_alg, params) != 1 ||
        EVP_PKEY_sign(ctx, ml, &len, s.input.data(), s.input.size()) != 1)
      state.SkipWithError("sign failed");
    benchmark::DoNotOptimize(ml);
  }
  EVP_PKEY_CTX_free(ctx);
}
BENCHMARK(MlDsaSignReusedContext);

// ---- Verification ----

void HybridVerify(benchmark::State& state) {
  const Setup& s = setup();
  for (auto _ : state) {
    if (!sign::hybrid_verify(*s.decoded, s.context, s.message, s.signature)) state.SkipWithError("invalid");
  }
}
BENCHMARK(HybridVerify);

void RawVerifyBoth(benchmark::State& state) {
  const Setup& s = setup();
  for (auto _ : state) {
    if (!s.raw_ed_verify(s.ed_public) || !s.raw_ml_verify(s.ml_public)) state.SkipWithError("invalid");
  }
}
BENCHMARK(RawVerifyBoth);

// What an export pays per verification: decoding the 1984-byte key, then verifying.
void HybridDecodeAndVerify(benchmark::State& state) {
  const Setup& s = setup();
  for (auto _ : state) {
    auto key = sign::decode_verifying_key(s.identity->verifying_key());
    if (!key || !sign::hybrid_verify(*key, s.context, s.message, s.signature)) state.SkipWithError("invalid");
  }
}
BENCHMARK(HybridDecodeAndVerify);

void RawImportAndVerifyBoth(benchmark::State& state) {
  const Setup& s = setup();
  const auto& vk = s.identity->verifying_key();
  for (auto _ : state) {
    EVP_PKEY* ed = EVP_PKEY_new_raw_public_key_ex(nullptr, "ED25519", nullptr, vk.data(), 32);
    EVP_PKEY* ml = EVP_PKEY_new_raw_public_key_ex(nullptr, "ML-DSA-65", nullptr, vk.data() + 32, 1952);
    // The raw keys are the identity's; verify the library's own signature halves.
    EVP_MD_CTX* ectx = EVP_MD_CTX_new();
    EVP_PKEY_CTX* mctx = EVP_PKEY_CTX_new_from_pkey(nullptr, ml, nullptr);
    bool ok = EVP_DigestVerifyInit_ex(ectx, nullptr, nullptr, nullptr, nullptr, ed, nullptr) == 1 &&
              EVP_DigestVerify(ectx, s.signature.data(), 64, s.input.data(), s.input.size()) == 1 &&
              EVP_PKEY_verify_message_init(mctx, s.ml_alg, nullptr) == 1 &&
              EVP_PKEY_verify(mctx, s.signature.data() + 64, 3309, s.input.data(), s.input.size()) == 1;
    EVP_PKEY_CTX_free(mctx);
    EVP_MD_CTX_free(ectx);
    EVP_PKEY_free(ml);
    EVP_PKEY_free(ed);
    if (!ok) state.SkipWithError("invalid");
  }
}
BENCHMARK(RawImportAndVerifyBoth);

void Ed25519PointDecoding(benchmark::State& state) {
  const Setup& s = setup();
  for (auto _ : state) benchmark::DoNotOptimize(crypto::ed25519_decode_point(Bytes(s.signature).first(32)));
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
    EVP_PKEY* ed = EVP_PKEY_new_raw_private_key_ex(nullptr, "ED25519", nullptr, s.ed_secret, 32);
    EVP_PKEY_CTX* kctx = EVP_PKEY_CTX_new_from_name(nullptr, "ML-DSA-65", nullptr);
    EVP_PKEY* ml = nullptr;
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_ML_DSA_SEED, const_cast<std::uint8_t*>(s.xi), 32),
        OSSL_PARAM_construct_end()};
    if (EVP_PKEY_keygen_init(kctx) != 1 || EVP_PKEY_CTX_set_params(kctx, params) != 1 ||
        EVP_PKEY_generate(kctx, &ml) != 1)
      state.SkipWithError("keygen failed");
    EVP_PKEY_CTX_free(kctx);
    EVP_PKEY_free(ml);
    EVP_PKEY_free(ed);
  }
}
BENCHMARK(RawKeysFromSeeds);

}  // namespace
