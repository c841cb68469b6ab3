// What the benchmarks share: the reporter that prints ratios, and raw libcrypto doing a hybrid
// identity's primitive work (Ed25519 and deterministic ML-DSA-65 over an already framed input), the
// baseline the library's signing and verification are compared with.
#pragma once

#include <benchmark/benchmark.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/bytes.h"
#include "core/crypto/ed25519.h"
#include "core/crypto/evp.h"
#include "core/crypto/hmac.h"
#include "core/crypto/mldsa.h"

namespace vesk::bench {

// Console output as usual, plus the CPU time of each run kept for the ratios (steadier than wall
// time on a shared machine).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration) seconds_[r.benchmark_name()] = r.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void print_ratio(const std::string& ours, const std::string& raw) const {
    auto a = seconds_.find(ours), b = seconds_.find(raw);
    if (a == seconds_.end() || b == seconds_.end() || b->second == 0) return;
    std::printf("ratio %s / %s = %.3f (CPU time)\n", ours.c_str(), raw.c_str(), a->second / b->second);
  }

 private:
  std::map<std::string, double> seconds_;
};

// Runs the benchmarks the command line selects, then prints the ratio of each pair (ours, raw).
inline int run_and_compare(int argc, char** argv, std::initializer_list<std::pair<const char*, const char*>> ratios) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const auto& [ours, raw] : ratios) reporter.print_ratio(ours, raw);
  benchmark::Shutdown();
  return 0;
}

// BE64(len(context)) || context || message: what both halves of a hybrid signature sign.
inline std::vector<std::uint8_t> raw_signing_input(Bytes context, Bytes message) {
  std::vector<std::uint8_t> in(8 + context.size() + message.size());
  store_be64(in.data(), context.size());
  std::copy(context.begin(), context.end(), in.begin() + 8);
  std::copy(message.begin(), message.end(), in.begin() + 8 + static_cast<std::ptrdiff_t>(context.size()));
  return in;
}

// An identity's Ed25519 secret key and ML-DSA-65 seed xi, derived from its 32-byte seed as the
// library derives them. The raw side must use the identity's own keys: deterministic ML-DSA
// signing retries a number of times that depends on key and input, so other keys time other work.
struct IdentitySecrets {
  std::array<std::uint8_t, 32> ed_secret;
  std::array<std::uint8_t, 32> xi;
};
inline IdentitySecrets identity_secrets(Bytes seed) {
  const auto signing = crypto::hkdf_expand32(seed, {as_bytes("VESK/0.5 identity signing")});
  IdentitySecrets s;
  const auto ed = crypto::hkdf_expand32(signing.view(), {as_bytes("VESK/0.5 identity ed25519")});
  const auto xi = crypto::hkdf_expand32(signing.view(), {as_bytes("VESK/0.5 identity ml-dsa-65")});
  std::copy(ed.view().begin(), ed.view().end(), s.ed_secret.begin());
  std::copy(xi.view().begin(), xi.view().end(), s.xi.begin());
  return s;
}

// The two keys of a hybrid identity as libcrypto objects; either is null when libcrypto refused it.
struct RawHybridKey {
  crypto::PkeyPtr ed;
  crypto::PkeyPtr ml;

  // The signing keys: Ed25519 from its secret key, ML-DSA-65 generated from xi.
  static RawHybridKey from_secrets(const IdentitySecrets& s) {
    RawHybridKey k;
    k.ed.reset(EVP_PKEY_new_raw_private_key_ex(nullptr, "ED25519", nullptr, s.ed_secret.data(), s.ed_secret.size()));
    crypto::PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "ML-DSA-65", nullptr));
    OSSL_PARAM params[] = {crypto::octet_param(OSSL_PKEY_PARAM_ML_DSA_SEED, s.xi), OSSL_PARAM_construct_end()};
    EVP_PKEY* ml = nullptr;
    if (ctx && EVP_PKEY_keygen_init(ctx.get()) == 1 && EVP_PKEY_CTX_set_params(ctx.get(), params) == 1 &&
        EVP_PKEY_generate(ctx.get(), &ml) == 1)
      k.ml.reset(ml);
    return k;
  }
  // The public keys of a verifying key: the Ed25519 key, then the ML-DSA-65 key.
  static RawHybridKey from_verifying_key(const std::uint8_t* vk) {
    RawHybridKey k;
    k.ed.reset(EVP_PKEY_new_raw_public_key_ex(nullptr, "ED25519", nullptr, vk, crypto::kEd25519PublicLen));
    k.ml.reset(EVP_PKEY_new_raw_public_key_ex(nullptr, "ML-DSA-65", nullptr, vk + crypto::kEd25519PublicLen,
                                              crypto::kMlDsa65PublicLen));
    return k;
  }
  bool ok() const { return ed && ml; }
};

// Plain Ed25519 over the input into 64 bytes.
inline bool raw_ed25519_sign(EVP_PKEY* ed, Bytes input, std::uint8_t* out64) {
  crypto::MdCtxPtr ctx(EVP_MD_CTX_new());
  std::size_t len = crypto::kEd25519SignatureLen;
  return ctx && EVP_DigestSignInit_ex(ctx.get(), nullptr, nullptr, nullptr, nullptr, ed, nullptr) == 1 &&
         EVP_DigestSign(ctx.get(), out64, &len, input.data(), input.size()) == 1;
}

// Deterministic pure ML-DSA-65 with the empty context into 3309 bytes. The algorithm is the
// caller's, so that a benchmark can time fetching it.
inline bool raw_mldsa_sign(EVP_PKEY* ml, EVP_SIGNATURE* alg, Bytes input, std::uint8_t* out) {
  crypto::PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, ml, nullptr));
  int deterministic = 1;
  OSSL_PARAM params[] = {OSSL_PARAM_construct_int(OSSL_SIGNATURE_PARAM_DETERMINISTIC, &deterministic),
                         OSSL_PARAM_construct_end()};
  std::size_t len = crypto::kMlDsa65SignatureLen;
  return ctx && EVP_PKEY_sign_message_init(ctx.get(), alg, params) == 1 &&
         EVP_PKEY_sign(ctx.get(), out, &len, input.data(), input.size()) == 1;
}

inline bool raw_ed25519_verify(EVP_PKEY* ed, Bytes input, const std::uint8_t* sig64) {
  crypto::MdCtxPtr ctx(EVP_MD_CTX_new());
  return ctx && EVP_DigestVerifyInit_ex(ctx.get(), nullptr, nullptr, nullptr, nullptr, ed, nullptr) == 1 &&
         EVP_DigestVerify(ctx.get(), sig64, crypto::kEd25519SignatureLen, input.data(), input.size()) == 1;
}

inline bool raw_mldsa_verify(EVP_PKEY* ml, EVP_SIGNATURE* alg, Bytes input, const std::uint8_t* sig) {
  crypto::PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, ml, nullptr));
  return ctx && EVP_PKEY_verify_message_init(ctx.get(), alg, nullptr) == 1 &&
         EVP_PKEY_verify(ctx.get(), sig, crypto::kMlDsa65SignatureLen, input.data(), input.size()) == 1;
}

// Both halves of a 3373-byte hybrid signature, both always evaluated as the library does.
inline bool raw_hybrid_verify(EVP_PKEY* ed, EVP_PKEY* ml, EVP_SIGNATURE* alg, Bytes input, const std::uint8_t* sig) {
  const bool ed_ok = raw_ed25519_verify(ed, input, sig);
  const bool ml_ok = raw_mldsa_verify(ml, alg, input, sig + crypto::kEd25519SignatureLen);
  return ed_ok && ml_ok;
}

}  // namespace vesk::bench
