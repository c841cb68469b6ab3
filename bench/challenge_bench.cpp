// Message signatures and challenge acceptance through the exports, next to raw libcrypto doing the
// same primitive work (Ed25519 and deterministic ML-DSA-65 over the same signing input).
#include <benchmark/benchmark.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/crypto/hmac.h"
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
// framed input directly. The same keys matter: deterministic ML-DSA signing retries a number of
// times that depends on key and input, so other keys would time other work.
struct Raw {
  EVP_PKEY* ed = nullptr;
  EVP_PKEY* mldsa = nullptr;
  EVP_SIGNATURE* mldsa_alg = nullptr;
  Raw() {
    using vesk::as_bytes;
    const auto signing_seed = vesk::crypto::hkdf_expand32(kSeed, {as_bytes("VESK/0.5 identity signing")});
    const auto ed_seed = vesk::crypto::hkdf_expand32(signing_seed.view(), {as_bytes("VESK/0.5 identity ed25519")});
    const auto xi = vesk::crypto::hkdf_expand32(signing_seed.view(), {as_bytes("VESK/0.5 identity ml-dsa-65")});
    ed = EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, ed_seed.data(), ed_seed.size());
    EVP_PKEY_CTX* kctx = EVP_PKEY_CTX_new_from_name(nullptr, "ML-DSA-65", nullptr);
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_ML_DSA_SEED, const_cast<std::uint8_t*>(xi.data()), 32),
        OSSL_PARAM_construct_end()};
    require(kctx && EVP_PKEY_keygen_init(kctx) == 1 && EVP_PKEY_CTX_set_params(kctx, params) == 1 &&
                EVP_PKEY_generate(kctx, &mldsa) == 1,
            "ML-DSA keygen");
    EVP_PKEY_CTX_free(kctx);
    mldsa_alg = EVP_SIGNATURE_fetch(nullptr, "ML-DSA-65", nullptr);
    require(ed && mldsa_alg, "raw keys");
  }
  void sign(const ByteVec& input, std::uint8_t* out) const {
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    std::size_t len = 64;
    require(EVP_DigestSignInit_ex(md, nullptr, nullptr, nullptr, nullptr, ed, nullptr) == 1 &&
                EVP_DigestSign(md, out, &len, input.data(), input.size()) == 1,
            "Ed25519 sign");
    EVP_MD_CTX_free(md);
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, mldsa, nullptr);
    int deterministic = 1;
    OSSL_PARAM params[] = {OSSL_PARAM_construct_int(OSSL_SIGNATURE_PARAM_DETERMINISTIC, &deterministic),
                           OSSL_PARAM_construct_end()};
    len = 3309;
    require(EVP_PKEY_sign_message_init(ctx, mldsa_alg, params) == 1 &&
                EVP_PKEY_sign(ctx, out + 64, &len, input.data(), input.size()) == 1,
            "ML-DSA sign");
    EVP_PKEY_CTX_free(ctx);
  }
  bool verify(const ByteVec& input, const std::uint8_t* sig) const {
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    bool ok = EVP_DigestVerifyInit_ex(md, nullptr, nullptr, nullptr, nullptr, ed, nullptr) == 1 &&
              EVP_DigestVerify(md, sig, 64, input.data(), input.size()) == 1;
    EVP_MD_CTX_free(md);
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, mldsa, nullptr);
    ok = EVP_PKEY_verify_message_init(ctx, mldsa_alg, nullptr) == 1 &&
         EVP_PKEY_verify(ctx, sig + 64, 3309, input.data(), input.size()) == 1 && ok;
    EVP_PKEY_CTX_free(ctx);
    return ok;
  }
};
Raw& raw() {
  static Raw r;
  return r;
}

ByteVec framed(const ByteVec& message) {
  ByteVec input(8 + kContext.size() + message.size(), 0);
  input[7] = static_cast<std::uint8_t>(kContext.size());
  std::memcpy(input.data() + 8, kContext.data(), kContext.size());
  if (!message.empty()) std::memcpy(input.data() + 8 + kContext.size(), message.data(), message.size());
  return input;
}

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

BENCHMARK(BM_SignMessage)->Arg(64)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawSign)->Arg(64)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_VerifyMessage)->Arg(64)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawVerify)->Arg(64)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

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
