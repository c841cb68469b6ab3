// Encryption and decryption of 64 MiB to one recipient next to raw libcrypto ChaCha20-Poly1305
// over the same data in 64 KiB chunks, two ways: sealing into an output buffer that is already
// touched (the compute limit) and into a freshly allocated one obtained the way the library
// obtains its result buffers (the fair comparison: a result must be new memory). Also the
// per-recipient work of 64 recipients next to the raw KEM operations, and the peak memory of a
// 1 GiB encryption. Ratios of throughput are printed at the end (wall time: page faults count).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/memory.h"
#include "vesk.h"

namespace {

constexpr std::size_t kSize = std::size_t{64} << 20;
constexpr std::size_t kChunk = 65536;
constexpr std::size_t kTag = 16;

struct Keys {
  std::vector<VeskSecretKeyHandle*> secret;
  std::vector<std::uint8_t> packed;  // the public keys back to back
  explicit Keys(int n) {
    for (int i = 0; i < n; ++i) {
      VeskSecretKeyHandle* key = nullptr;
      VeskBuffer pub = vesk_buffer_empty();
      if (vesk_keypair_generate(&key, &pub) != VESK_OK) std::abort();
      secret.push_back(key);
      packed.insert(packed.end(), pub.data, pub.data + pub.len);
      vesk_buffer_free(&pub);
    }
  }
  ~Keys() {
    for (auto* k : secret) vesk_secret_key_free(k);
  }
};

const std::vector<std::uint8_t>& plaintext() {
  static const std::vector<std::uint8_t> data = [] {
    std::vector<std::uint8_t> d(kSize);
    for (std::size_t i = 0; i < d.size(); ++i) d[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
    return d;
  }();
  return data;
}

// ---- the library --------------------------------------------------------------------------

void BM_Encrypt64MiB(benchmark::State& state) {
  Keys keys(1);
  const auto& pt = plaintext();
  for (auto _ : state) {
    VeskBuffer out = vesk_buffer_empty();
    if (vesk_encrypt(pt.data(), pt.size(), keys.packed.data(), 1, nullptr, nullptr, &out) != VESK_OK) std::abort();
    state.PauseTiming();
    vesk_buffer_free(&out);  // the caller's release (and its wipe) is not part of encrypting
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * kSize);
}

void BM_Decrypt64MiB(benchmark::State& state) {
  Keys keys(1);
  const auto& pt = plaintext();
  VeskBuffer container = vesk_buffer_empty();
  if (vesk_encrypt(pt.data(), pt.size(), keys.packed.data(), 1, nullptr, nullptr, &container) != VESK_OK)
    std::abort();
  for (auto _ : state) {
    VeskBuffer out = vesk_buffer_empty();
    if (vesk_decrypt(container.data, container.len, keys.secret[0], &out, nullptr, nullptr) != VESK_OK) std::abort();
    state.PauseTiming();
    vesk_buffer_free(&out);
    state.ResumeTiming();
  }
  vesk_buffer_free(&container);
  state.SetBytesProcessed(state.iterations() * kSize);
}

// ---- raw libcrypto over the same data -----------------------------------------------------

// ChaCha20-Poly1305 over 64 KiB chunks with a fresh nonce and 91 bytes of associated data each,
// as the container's payload does; sealing when `encrypt`, opening otherwise.
void raw_chunks(EVP_CIPHER_CTX* ctx, bool encrypt, const std::uint8_t* in, std::uint8_t* out, std::size_t size) {
  std::uint8_t nonce[12] = {0}, aad[91] = {0};
  std::size_t off = 0, at = 0;
  for (std::uint64_t i = 0; off < size; ++i) {
    const std::size_t n = std::min(kChunk, size - off);
    std::memcpy(nonce + 4, &i, 8);
    std::memcpy(aad + 78, &i, 8);
    int len = 0;
    if (EVP_CipherInit_ex2(ctx, nullptr, nullptr, nonce, encrypt ? 1 : 0, nullptr) != 1 ||
        EVP_CipherUpdate(ctx, nullptr, &len, aad, sizeof aad) != 1)
      std::abort();
    if (encrypt) {
      if (EVP_CipherUpdate(ctx, out + at, &len, in + off, static_cast<int>(n)) != 1 ||
          EVP_CipherFinal_ex(ctx, out + at + n, &len) != 1 ||
          EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_GET_TAG, kTag, out + at + n) != 1)
        std::abort();
      at += n + kTag;
      off += n;
    } else {
      if (EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, kTag, const_cast<std::uint8_t*>(in + off + n)) != 1 ||
          EVP_CipherUpdate(ctx, out + at, &len, in + off, static_cast<int>(n)) != 1)
        std::abort();
      benchmark::DoNotOptimize(EVP_CipherFinal_ex(ctx, out + at + n, &len));  // tags differ here
      at += n;
      off += n + kTag;
    }
  }
}

struct RawCipher {
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "ChaCha20-Poly1305", nullptr);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  explicit RawCipher(bool encrypt) {
    std::uint8_t key[32] = {7};
    if (EVP_CipherInit_ex2(ctx, cipher, key, nullptr, encrypt ? 1 : 0, nullptr) != 1) std::abort();
  }
  ~RawCipher() {
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
  }
};

constexpr std::size_t kSealedSize = kSize + (kSize / kChunk) * kTag;

enum class Output { Touched, Fresh, FreshSmallPages, FreshMalloc };

// Fresh output the way the library's allocator would do it without the huge-page advice, to show
// what the advice is worth: an anonymous mapping of 4 KiB pages, or plain malloc.
std::uint8_t* allocate_plain(Output kind, std::size_t n) {
  if (kind == Output::FreshMalloc) return static_cast<std::uint8_t*>(std::malloc(n));
  void* p = ::mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) std::abort();
  ::madvise(p, n, MADV_NOHUGEPAGE);
  return static_cast<std::uint8_t*>(p);
}
void release_plain(Output kind, std::uint8_t* p, std::size_t n) {
  if (kind == Output::FreshMalloc) {
    std::free(p);
  } else {
    ::munmap(p, n);
  }
}

// Fresh: a new result buffer each iteration, from the library's own allocator (or, for
// comparison, without its huge-page advice); Touched: one buffer, touched before the first
// iteration.
void raw(benchmark::State& state, bool encrypt, Output kind) {
  const bool fresh = kind != Output::Touched;
  RawCipher raw(encrypt);
  const auto& pt = plaintext();
  std::vector<std::uint8_t> sealed;
  if (!encrypt) {
    sealed.resize(kSealedSize);
    RawCipher sealer(true);
    raw_chunks(sealer.ctx, true, pt.data(), sealed.data(), kSize);
  }
  const std::uint8_t* in = encrypt ? pt.data() : sealed.data();
  const std::size_t out_size = encrypt ? kSealedSize : kSize;
  std::vector<std::uint8_t> touched(fresh ? 0 : out_size, 1);
  for (auto _ : state) {
    vesk::ResultAllocation out{touched.data(), 0};
    if (kind == Output::Fresh) out = vesk::allocate_result(out_size);
    if (kind == Output::FreshSmallPages || kind == Output::FreshMalloc) out = {allocate_plain(kind, out_size), out_size};
    raw_chunks(raw.ctx, encrypt, in, out.data, kSize);
    benchmark::DoNotOptimize(out.data);
    state.PauseTiming();
    if (kind == Output::Fresh) vesk::release_result(out.data, out_size, out.capacity);
    if (kind == Output::FreshSmallPages || kind == Output::FreshMalloc) release_plain(kind, out.data, out_size);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * kSize);
}
void BM_RawSealTouched(benchmark::State& s) { raw(s, true, Output::Touched); }
void BM_RawSealFresh(benchmark::State& s) { raw(s, true, Output::Fresh); }
void BM_RawSealFreshSmallPages(benchmark::State& s) { raw(s, true, Output::FreshSmallPages); }
void BM_RawSealFreshMalloc(benchmark::State& s) { raw(s, true, Output::FreshMalloc); }
void BM_RawOpenTouched(benchmark::State& s) { raw(s, false, Output::Touched); }
void BM_RawOpenFresh(benchmark::State& s) { raw(s, false, Output::Fresh); }

// ---- small containers: one recipient with 1 KiB, 64 recipients -------------------------------

constexpr std::size_t kSmall = 4096;

// Per call, the fixed cost dominates: the key encapsulation, the key schedule and, in the
// library, the wipe of the work stack libcrypto ran on.
void BM_Encrypt1KiB(benchmark::State& state) {
  Keys keys(1);
  const auto& pt = plaintext();
  for (auto _ : state) {
    VeskBuffer out = vesk_buffer_empty();
    if (vesk_encrypt(pt.data(), 1024, keys.packed.data(), 1, nullptr, nullptr, &out) != VESK_OK) std::abort();
    vesk_buffer_free(&out);
  }
}

void BM_Decrypt1KiB(benchmark::State& state) {
  Keys keys(1);
  const auto& pt = plaintext();
  VeskBuffer container = vesk_buffer_empty();
  if (vesk_encrypt(pt.data(), 1024, keys.packed.data(), 1, nullptr, nullptr, &container) != VESK_OK) std::abort();
  for (auto _ : state) {
    VeskBuffer out = vesk_buffer_empty();
    if (vesk_decrypt(container.data, container.len, keys.secret[0], &out, nullptr, nullptr) != VESK_OK) std::abort();
    vesk_buffer_free(&out);
  }
  vesk_buffer_free(&container);
}

void BM_Encrypt64Recipients(benchmark::State& state) {
  Keys keys(64);
  const auto& pt = plaintext();
  for (auto _ : state) {
    VeskBuffer out = vesk_buffer_empty();
    if (vesk_encrypt(pt.data(), kSmall, keys.packed.data(), 64, nullptr, nullptr, &out) != VESK_OK) std::abort();
    vesk_buffer_free(&out);
  }
}

// The key's entry is the last of 64: 63 failed trials before the match.
void BM_DecryptLastOf64(benchmark::State& state) {
  Keys keys(64);
  const auto& pt = plaintext();
  VeskBuffer container = vesk_buffer_empty();
  if (vesk_encrypt(pt.data(), kSmall, keys.packed.data(), 64, nullptr, nullptr, &container) != VESK_OK) std::abort();
  for (auto _ : state) {
    VeskBuffer out = vesk_buffer_empty();
    if (vesk_decrypt(container.data, container.len, keys.secret[63], &out, nullptr, nullptr) != VESK_OK) std::abort();
    vesk_buffer_free(&out);
  }
  vesk_buffer_free(&container);
}

// The KEM work alone, once per recipient (state.range(0) of them): per recipient, importing its two public keys (as encryption must,
// every recipient being a different key), an ML-KEM-768 encapsulation and an X25519 ephemeral key
// and exchange; per entry, an ML-KEM-768 decapsulation and an X25519 exchange (decryption).
struct RawKem {
  EVP_PKEY* mlkem = EVP_PKEY_Q_keygen(nullptr, nullptr, "ML-KEM-768");
  EVP_PKEY* x25519 = EVP_PKEY_Q_keygen(nullptr, nullptr, "X25519");
  std::uint8_t ct[1088];
  RawKem() {
    EVP_PKEY_CTX* c = EVP_PKEY_CTX_new_from_pkey(nullptr, mlkem, nullptr);
    std::size_t ct_len = sizeof ct, ss_len = 32;
    std::uint8_t ss[32];
    if (EVP_PKEY_encapsulate_init(c, nullptr) != 1 || EVP_PKEY_encapsulate(c, ct, &ct_len, ss, &ss_len) != 1)
      std::abort();
    EVP_PKEY_CTX_free(c);
  }
  ~RawKem() {
    EVP_PKEY_free(mlkem);
    EVP_PKEY_free(x25519);
  }
  void exchange(EVP_PKEY* own) const {
    EVP_PKEY_CTX* c = EVP_PKEY_CTX_new_from_pkey(nullptr, own, nullptr);
    std::uint8_t ss[32];
    std::size_t len = 32;
    if (EVP_PKEY_derive_init(c) != 1 || EVP_PKEY_derive_set_peer(c, x25519) != 1 || EVP_PKEY_derive(c, ss, &len) != 1)
      std::abort();
    EVP_PKEY_CTX_free(c);
  }
};

void BM_RawKemEncaps(benchmark::State& state) {
  RawKem kem;
  std::uint8_t ek[1184], xpub[32];
  std::size_t len = sizeof ek;
  if (EVP_PKEY_get_raw_public_key(kem.mlkem, ek, &len) != 1) std::abort();
  len = sizeof xpub;
  if (EVP_PKEY_get_raw_public_key(kem.x25519, xpub, &len) != 1) std::abort();
  for (auto _ : state) {
    for (std::int64_t i = 0; i < state.range(0); ++i) {
      EVP_PKEY* recipient = EVP_PKEY_new_raw_public_key_ex(nullptr, "ML-KEM-768", nullptr, ek, sizeof ek);
      EVP_PKEY* peer = EVP_PKEY_new_raw_public_key_ex(nullptr, "X25519", nullptr, xpub, sizeof xpub);
      if (recipient == nullptr || peer == nullptr) std::abort();
      EVP_PKEY_CTX* c = EVP_PKEY_CTX_new_from_pkey(nullptr, recipient, nullptr);
      std::uint8_t ct[1088], ss[32];
      std::size_t ct_len = sizeof ct, ss_len = sizeof ss;
      if (EVP_PKEY_encapsulate_init(c, nullptr) != 1 || EVP_PKEY_encapsulate(c, ct, &ct_len, ss, &ss_len) != 1)
        std::abort();
      EVP_PKEY_CTX_free(c);
      EVP_PKEY* eph = EVP_PKEY_Q_keygen(nullptr, nullptr, "X25519");
      EVP_PKEY_CTX* x = EVP_PKEY_CTX_new_from_pkey(nullptr, eph, nullptr);
      std::uint8_t ss_x[32];
      std::size_t ss_x_len = sizeof ss_x;
      if (EVP_PKEY_derive_init(x) != 1 || EVP_PKEY_derive_set_peer(x, peer) != 1 ||
          EVP_PKEY_derive(x, ss_x, &ss_x_len) != 1)
        std::abort();
      EVP_PKEY_CTX_free(x);
      EVP_PKEY_free(eph);
      EVP_PKEY_free(peer);
      EVP_PKEY_free(recipient);
    }
  }
}

void BM_RawKemDecaps(benchmark::State& state) {
  RawKem kem;
  EVP_PKEY* own = EVP_PKEY_Q_keygen(nullptr, nullptr, "X25519");
  for (auto _ : state) {
    for (std::int64_t i = 0; i < state.range(0); ++i) {
      EVP_PKEY_CTX* c = EVP_PKEY_CTX_new_from_pkey(nullptr, kem.mlkem, nullptr);
      std::uint8_t ss[32];
      std::size_t ss_len = sizeof ss;
      if (EVP_PKEY_decapsulate_init(c, nullptr) != 1 ||
          EVP_PKEY_decapsulate(c, ss, &ss_len, kem.ct, sizeof kem.ct) != 1)
        std::abort();
      EVP_PKEY_CTX_free(c);
      kem.exchange(own);
    }
  }
  EVP_PKEY_free(own);
}

// The machine is shared: each is repeated and the fastest repetition counts (contention only ever
// adds time).
BENCHMARK(BM_Encrypt64MiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7);
BENCHMARK(BM_RawSealFresh)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7);
BENCHMARK(BM_RawSealTouched)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7);
BENCHMARK(BM_RawSealFreshSmallPages)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7);
BENCHMARK(BM_RawSealFreshMalloc)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7);
BENCHMARK(BM_Decrypt64MiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7);
BENCHMARK(BM_RawOpenFresh)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7);
BENCHMARK(BM_RawOpenTouched)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7);
BENCHMARK(BM_Encrypt1KiB)->Unit(benchmark::kMicrosecond)->UseRealTime()->Repetitions(7);
BENCHMARK(BM_Decrypt1KiB)->Unit(benchmark::kMicrosecond)->UseRealTime()->Repetitions(7);
BENCHMARK(BM_Encrypt64Recipients)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_DecryptLastOf64)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_RawKemEncaps)->Arg(1)->Arg(64)->Unit(benchmark::kMicrosecond)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_RawKemDecaps)->Arg(1)->Arg(64)->Unit(benchmark::kMicrosecond)->UseRealTime()->Repetitions(5);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration) continue;
      const std::string name =
          r.run_name.function_name + (r.run_name.args.empty() ? "" : "/" + r.run_name.args);
      const double t = r.GetAdjustedRealTime();
      auto it = seconds_.find(name);
      if (it == seconds_.end() || t < it->second) seconds_[name] = t;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  // Throughput of `ours` as a fraction of `raw`'s (same bytes, so the inverse ratio of the fastest
  // repetitions' times).
  void print_ratio(const std::string& ours, const std::string& raw, const char* what) const {
    auto a = seconds_.find(ours), b = seconds_.find(raw);
    if (a == seconds_.end() || b == seconds_.end() || a->second == 0) return;
    std::printf("%-56s %.3f\n", what, b->second / a->second);
  }

 private:
  std::map<std::string, double> seconds_;
};

// Peak resident memory of one 1 GiB encryption, in a child process so that nothing else counts:
// the plaintext is resident first; the growth during the call is the container and a constant.
void report_peak_memory() {
  int fds[2];
  if (::pipe(fds) != 0) return;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    Keys keys(1);
    const std::size_t n = VESK_MAX_PLAINTEXT;
    vesk::ResultAllocation pt = vesk::allocate_result(n);
    std::memset(pt.data, 0x5a, n);
    rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    VeskBuffer out = vesk_buffer_empty();
    long result[3] = {0, 0, 0};
    if (vesk_encrypt(pt.data, n, keys.packed.data(), 1, nullptr, nullptr, &out) == VESK_OK) {
      ::getrusage(RUSAGE_SELF, &after);
      result[0] = before.ru_maxrss;
      result[1] = after.ru_maxrss;
      result[2] = static_cast<long>(out.len / 1024);
    }
    ssize_t w = ::write(fds[1], result, sizeof result);
    (void)w;
    ::_exit(0);
  }
  ::close(fds[1]);
  long result[3] = {0, 0, 0};
  ssize_t r = ::read(fds[0], result, sizeof result);
  ::close(fds[0]);
  ::waitpid(pid, nullptr, 0);
  if (r != sizeof result || result[1] == 0) {
    std::printf("peak memory of a 1 GiB encryption: not measured\n");
    return;
  }
  std::printf(
      "peak memory of a 1 GiB encryption: %ld MiB resident before the call (plaintext and process), %ld MiB "
      "after; growth %ld MiB for a %ld MiB container, so %ld KiB beyond the output\n",
      result[0] / 1024, result[1] / 1024, (result[1] - result[0]) / 1024, result[2] / 1024,
      result[1] - result[0] - result[2]);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.print_ratio("BM_Encrypt64MiB", "BM_RawSealFresh",
                       "encrypt / raw seal into a fresh buffer (target >= 0.9)");
  reporter.print_ratio("BM_Encrypt64MiB", "BM_RawSealTouched",
                       "encrypt / raw seal into a touched buffer (target >= 0.5)");
  reporter.print_ratio("BM_RawSealFreshSmallPages", "BM_RawSealFresh",
                       "raw seal: fresh 4 KiB pages / fresh huge-page-advised result");
  reporter.print_ratio("BM_RawSealFreshMalloc", "BM_RawSealFresh", "raw seal: fresh malloc / fresh huge-page-advised result");
  reporter.print_ratio("BM_Decrypt64MiB", "BM_RawOpenFresh",
                       "decrypt / raw open into a fresh buffer (target >= 0.9)");
  reporter.print_ratio("BM_Decrypt64MiB", "BM_RawOpenTouched",
                       "decrypt / raw open into a touched buffer (target >= 0.5)");
  reporter.print_ratio("BM_Encrypt1KiB", "BM_RawKemEncaps/1", "encrypt 1 KiB / raw KEM work of one recipient");
  reporter.print_ratio("BM_Decrypt1KiB", "BM_RawKemDecaps/1", "decrypt 1 KiB / raw KEM work of one entry");
  reporter.print_ratio("BM_Encrypt64Recipients", "BM_RawKemEncaps/64",
                       "encrypt to 64 recipients / raw KEM work of 64");
  reporter.print_ratio("BM_DecryptLastOf64", "BM_RawKemDecaps/64",
                       "decrypt, last of 64 entries / raw KEM work of 64");
  report_peak_memory();
  benchmark::Shutdown();
  return 0;
}
