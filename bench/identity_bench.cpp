// Replay of a 10000-entry identity log next to the primitive work it cannot avoid: 10000 raw
// hybrid_verify calls over the same entry bodies (and, as a second baseline, those calls plus the
// decode_verifying_key of every key the log carries). vesk_epoch_verify of a 16 MiB chain next
// to raw SHA-256 over the same record inputs. Each pair's ratio is printed at the end.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "identity/epoch_chain.h"
#include "identity/log.h"
#include "identity/replay.h"
#include "sign/hybrid.h"
#include "support/identity_writer.h"
#include "vesk.h"

namespace {

using namespace vesk;
using testing::ByteString;

constexpr std::size_t kEntries = 10000;
constexpr std::string_view kEntryContext = "VESK/0.6 identity entry";

// Create A, then Add B / Revoke B by A, over and over: half the entries carry a key to decode.
struct BenchLog {
  ByteString bytes;
  std::vector<ByteString> bodies;
  std::vector<ByteString> signatures;
  std::vector<ByteString> carried_keys;
};

const BenchLog& bench_log() {
  static const BenchLog log = [] {
    const auto& a = testing::test_identity(1);
    const auto& b = testing::test_identity(2);
    testing::LogWriter w;
    w.create(a, "a");
    while (w.size() < kEntries) {
      if (w.size() % 2 == 1) {
        w.add(a, testing::key_of(b), "b");
      } else {
        w.revoke(a, testing::device_id_of(b));
      }
    }
    BenchLog out;
    out.bytes = w.bytes();
    crypto::Digest32 prev{};
    for (std::size_t i = 0; i < w.size(); ++i) {
      const auto& e = w.at(i);
      out.bodies.push_back(testing::LogWriter::body(e, prev));
      out.signatures.push_back(e.signature);
      if (e.kind != static_cast<std::uint64_t>(testing::Kind::Revoke)) out.carried_keys.push_back(e.payload);
      std::copy(e.link.begin(), e.link.end(), prev.begin());
    }
    return out;
  }();
  return log;
}

sign::DecodedVerifyingKey decoded(const sign::SigningIdentity& id) {
  auto k = sign::decode_verifying_key(id.verifying_key());
  if (!k) std::abort();
  return std::move(*k);
}

void BM_Replay10k(benchmark::State& state) {
  const BenchLog& log = bench_log();
  const auto recovery = decoded(testing::test_identity(9));
  for (auto _ : state) {
    auto decoded_log = identity::decode_identity_log(log.bytes);
    if (!decoded_log) std::abort();
    auto st = identity::replay(*decoded_log, recovery);
    if (!st || st->size() != 2) std::abort();  // the log ends with an Add
    benchmark::DoNotOptimize(st);
  }
}

// The signature of every entry checked under the signer's key, as replay checks them.
void verify_every_entry(const BenchLog& log, const sign::DecodedVerifyingKey& signer) {
  for (std::size_t i = 0; i < log.bodies.size(); ++i) {
    if (!sign::hybrid_verify(signer, as_bytes(kEntryContext), log.bodies[i], log.signatures[i])) std::abort();
  }
}

void BM_RawHybridVerify10k(benchmark::State& state) {
  const BenchLog& log = bench_log();
  const auto signer = decoded(testing::test_identity(1));
  for (auto _ : state) verify_every_entry(log, signer);
}

void BM_RawHybridVerifyAndKeyDecode10k(benchmark::State& state) {
  const BenchLog& log = bench_log();
  const auto signer = decoded(testing::test_identity(1));
  for (auto _ : state) {
    verify_every_entry(log, signer);
    for (const ByteString& k : log.carried_keys) {
      auto d = sign::decode_verifying_key(k);
      if (!d) std::abort();
      benchmark::DoNotOptimize(d);
    }
  }
}

// As many 1216-byte epochs as fit in 16 MiB.
const ByteString& bench_chain() {
  static const ByteString chain = [] {
    testing::EpochChainWriter w;
    ByteString key(1216);
    std::size_t size = 5;
    while (true) {
      std::size_t record = 1 + testing::cbor_head(0, w.size()).size() + 3 + key.size() + 2 + 32;
      if (size + record > VESK_MAX_LOG) break;
      for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(w.size() * 31 + i);
      w.add(key);
      size += record;
    }
    return w.bytes();
  }();
  return chain;
}

void BM_EpochVerify16MiB(benchmark::State& state) {
  const ByteString& chain = bench_chain();
  for (auto _ : state) {
    std::uint64_t n = 0;
    if (vesk_epoch_verify(chain.data(), chain.size(), &n) != VESK_OK || n == 0) std::abort();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * chain.size()));
}

// One SHA-256 per record over the label, prev, position, key length and key, straight from
// libcrypto (the record inputs are laid out in advance, outside the timing).
void BM_RawSha256Records16MiB(benchmark::State& state) {
  const ByteString& chain = bench_chain();
  auto decoded_chain = identity::decode_epoch_chain(chain);
  if (!decoded_chain) std::abort();
  std::vector<ByteString> inputs;
  std::uint8_t prev[32] = {0};
  for (std::size_t i = 0; i < decoded_chain->records.size(); ++i) {
    const auto& r = decoded_chain->records[i];
    ByteString in(identity::kEpochChainLabel.begin(), identity::kEpochChainLabel.end());
    in.insert(in.end(), prev, prev + 32);
    auto pos = be64(i), len = be64(r.public_key.size());
    in.insert(in.end(), pos.begin(), pos.end());
    in.insert(in.end(), len.begin(), len.end());
    in.insert(in.end(), r.public_key.begin(), r.public_key.end());
    inputs.push_back(std::move(in));
    std::copy(r.hash.begin(), r.hash.end(), prev);
  }
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  EVP_MD* md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  for (auto _ : state) {
    for (const ByteString& in : inputs) {
      std::uint8_t out[32];
      unsigned len = 0;
      if (EVP_DigestInit_ex2(ctx, md, nullptr) != 1 || EVP_DigestUpdate(ctx, in.data(), in.size()) != 1 ||
          EVP_DigestFinal_ex(ctx, out, &len) != 1)
        std::abort();
      benchmark::DoNotOptimize(out);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * chain.size()));
  EVP_MD_free(md);
  EVP_MD_CTX_free(ctx);
}

BENCHMARK(BM_Replay10k)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RawHybridVerify10k)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RawHybridVerifyAndKeyDecode10k)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_EpochVerify16MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawSha256Records16MiB)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return vesk::bench::run_and_compare(argc, argv,
                                      {{"BM_Replay10k/iterations:3", "BM_RawHybridVerify10k/iterations:3"},
                                       {"BM_Replay10k/iterations:3", "BM_RawHybridVerifyAndKeyDecode10k/iterations:3"},
                                       {"BM_EpochVerify16MiB", "BM_RawSha256Records16MiB"}});
}
