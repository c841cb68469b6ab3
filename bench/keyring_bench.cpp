// Key-file opening next to one raw Argon2id derivation at the same costs (the parse, the tag check
// and the handle should add next to nothing when the first passphrase form opens the file), and
// keypair generation next to raw ML-KEM-768 and X25519 key generation. Each pair's ratio is
// printed at the end.
#include <benchmark/benchmark.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "vesk.h"

namespace {

constexpr char kPassphrase[] = "correct horse battery staple";

std::vector<std::uint8_t> make_key_file() {
  VeskSecretKeyHandle* key = nullptr;
  VeskBuffer pub = vesk_buffer_empty(), file = vesk_buffer_empty();
  if (vesk_keypair_generate(&key, &pub) != VESK_OK || vesk_secret_key_protect(key, kPassphrase, &file) != VESK_OK)
    std::abort();
  std::vector<std::uint8_t> out(file.data, file.data + file.len);
  vesk_buffer_free(&file);
  vesk_buffer_free(&pub);
  vesk_secret_key_free(key);
  return out;
}

void BM_KeyFileOpen(benchmark::State& state) {
  const auto file = make_key_file();
  for (auto _ : state) {
    VeskSecretKeyHandle* key = nullptr;
    if (vesk_secret_key_open(file.data(), file.size(), kPassphrase, &key) != VESK_OK) std::abort();
    vesk_secret_key_free(key);
  }
}

// The same Argon2id work straight from libcrypto: 19456 KiB, 2 passes, 1 lane, 32 bytes out.
void BM_RawArgon2id(benchmark::State& state) {
  const auto file = make_key_file();
  EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "ARGON2ID", nullptr);
  std::uint32_t lanes = 1, memory = 19456, iterations = 2;
  for (auto _ : state) {
    EVP_KDF_CTX* ctx = EVP_KDF_CTX_new(kdf);
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_PASSWORD, const_cast<char*>(kPassphrase), sizeof kPassphrase - 1),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, const_cast<std::uint8_t*>(file.data() + 18), 16),
        OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_ARGON2_LANES, &lanes),
        OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_ARGON2_MEMCOST, &memory),
        OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_ITER, &iterations),
        OSSL_PARAM_construct_end()};
    std::uint8_t out[32];
    if (EVP_KDF_derive(ctx, out, sizeof out, params) != 1) std::abort();
    benchmark::DoNotOptimize(out);
    EVP_KDF_CTX_free(ctx);
  }
  EVP_KDF_free(kdf);
}

void BM_KeypairGenerate(benchmark::State& state) {
  for (auto _ : state) {
    VeskSecretKeyHandle* key = nullptr;
    VeskBuffer pub = vesk_buffer_empty();
    if (vesk_keypair_generate(&key, &pub) != VESK_OK) std::abort();
    vesk_buffer_free(&pub);
    vesk_secret_key_free(key);
  }
}

// Random ML-KEM-768 and X25519 keys from libcrypto, with their public encodings: the primitive
// work of a keypair (the library also expands the seed with SHAKE256).
void BM_RawMlKemX25519Keygen(benchmark::State& state) {
  for (auto _ : state) {
    EVP_PKEY* mlkem = EVP_PKEY_Q_keygen(nullptr, nullptr, "ML-KEM-768");
    EVP_PKEY* x25519 = EVP_PKEY_Q_keygen(nullptr, nullptr, "X25519");
    if (mlkem == nullptr || x25519 == nullptr) std::abort();
    std::uint8_t pub[1216];
    std::size_t len = 1184;
    EVP_PKEY_get_raw_public_key(mlkem, pub, &len);
    len = 32;
    EVP_PKEY_get_raw_public_key(x25519, pub + 1184, &len);
    benchmark::DoNotOptimize(pub);
    EVP_PKEY_free(mlkem);
    EVP_PKEY_free(x25519);
  }
}

BENCHMARK(BM_KeyFileOpen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawArgon2id)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeypairGenerate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawMlKemX25519Keygen)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return vesk::bench::run_and_compare(argc, argv,
                                      {{"BM_KeyFileOpen", "BM_RawArgon2id"}, {"BM_KeypairGenerate", "BM_RawMlKemX25519Keygen"}});
}
