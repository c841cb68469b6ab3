// No secret outlives an export: neither in the blocks libcrypto or the library's own code give
// back to the C allocator, nor on the stack below the caller's frame, nor on the library's own
// work stack. Each scenario is one export call. The secrets looked for are the caller's seeds,
// passphrase and message, the texts of a signed container's metadata and, for containers, the
// X-Wing shared secret of every recipient entry (libcrypto also keeps its own copy of that as an
// HKDF salt).
#include <gtest/gtest.h>
#include <malloc.h>
#include <string.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/byte_io.h"
#include "core/crypto/heap.h"
#include "core/crypto/xwing.h"
#include "core/testing_hooks.h"
#include "ffi/handles.h"
#include "format/container.h"
#include "support/container_writer.h"
#include "support/identity_writer.h"
#include "support/stack_run.h"
#include "support/test_util.h"
#include "vesk.hpp"

// ---- the library's own released heap ----------------------------------------------------------
// This test's operator delete looks at every block the library's C++ code releases while a
// scenario runs, before the C allocator gets it back. It must not allocate.
namespace {
std::atomic<const std::vector<std::vector<std::uint8_t>>*> g_needles{nullptr};
std::atomic<int> g_found{0};
std::atomic<std::size_t> g_blocks{0};

void look_at_released(void* p, std::size_t n) {
  const auto* needles = g_needles.load(std::memory_order_acquire);
  if (needles == nullptr || p == nullptr) return;
  g_blocks.fetch_add(1, std::memory_order_relaxed);
  for (const auto& needle : *needles)
    if (!needle.empty() && n >= needle.size() && memmem(p, n, needle.data(), needle.size()) != nullptr)
      g_found.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

// The C++ allocation functions over malloc and free, as the C++ runtime's own are.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t n) {
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void operator delete(void* p) noexcept {
  look_at_released(p, p == nullptr ? 0 : malloc_usable_size(p));
  std::free(p);
}
void operator delete(void* p, std::size_t n) noexcept {
  look_at_released(p, n);
  std::free(p);
}

namespace vesk {
namespace {

using ByteVec = std::vector<std::uint8_t>;
using testing::kAddressSanitizer;
using testing::run_on_thread_stack;

constexpr char kPassphrase[] = "residue test passphrase, long enough to find";
constexpr char kSignedName[] = "residue-of-a-signed-container.txt";
constexpr char kSignedType[] = "application/x-residue-of-a-signed-container";

ByteVec seed_of(std::uint8_t first) {
  ByteVec s(32);
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::uint8_t>(first + 7 * i);
  return s;
}

bool contains(Bytes haystack, Bytes needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

ByteVec key_seed(const VeskSecretKeyHandle* key) {
  const Bytes seed = ffi::seed_of(key);
  return ByteVec(seed.begin(), seed.end());
}

// The X-Wing shared secret that `key` derives from every recipient entry of `container`: the
// value each trial decapsulation computes, whether or not the entry is the key's.
std::vector<ByteVec> shared_secrets(const ByteVec& container, const VeskSecretKeyHandle* key) {
  std::vector<ByteVec> out;
  ByteReader r(container);
  auto prelude = r.read(format::kPreludeLen);
  auto block = prelude ? r.read(load_be32(prelude->data() + 12)) : std::nullopt;
  if (!block) return out;
  auto decoded = format::decode_header_block(*block);
  auto header = decoded ? format::decode_header(decoded->body) : unexpected(decoded.error());
  EXPECT_TRUE(header.has_value());
  if (!header) return out;
  const auto xwing = crypto::XWingSecretKey::from_seed(ffi::seed_of(key));
  for (const format::RecipientEntry& entry : header->recipients) {
    auto shared = xwing.decapsulate(entry.encapsulation());
    if (shared) out.emplace_back(shared->view().begin(), shared->view().end());
  }
  return out;
}

// What the export calls need: keys made beforehand, and the results of the last call.
class Fixture {
 public:
  Fixture() {
    EXPECT_EQ(vesk_secret_key_open(alice_seed.data(), 32, nullptr, &alice), VESK_OK);
    EXPECT_EQ(vesk_secret_key_open(bob_seed.data(), 32, nullptr, &bob), VESK_OK);
    EXPECT_EQ(vesk_secret_key_open(carol_seed.data(), 32, nullptr, &carol), VESK_OK);
    vesk::Buffer alice_public, bob_public, file, c;
    EXPECT_EQ(vesk_secret_key_public(alice, alice_public.out()), VESK_OK);
    EXPECT_EQ(vesk_secret_key_public(bob, bob_public.out()), VESK_OK);
    EXPECT_EQ(vesk_secret_key_protect(alice, kPassphrase, file.out()), VESK_OK);
    alice_file = file.to_vector();
    EXPECT_EQ(vesk_signing_identity_open(alice_seed.data(), 32, nullptr, &signer), VESK_OK);
    recipients = alice_public.to_vector();
    testing::ContainerSpec spec;
    spec.recipients = {alice_public.to_vector()};
    spec.file_name = kSignedName;
    spec.content_type = kSignedType;
    spec.signature = testing::SignaturePlace::Metadata;
    spec.signed_flag = 1;
    spec.signer = &testing::test_identity(3);
    signed_container = testing::write_container(spec, plaintext);
    recipients.insert(recipients.end(), bob_public.get().data, bob_public.get().data + bob_public.size());
    EXPECT_EQ(vesk_encrypt(plaintext.data(), plaintext.size(), recipients.data(), 2, "notes.txt", nullptr, c.out()),
              VESK_OK);
    container = c.to_vector();
    altered = container;
    altered[altered.size() - 40] ^= 0x01;  // inside the last chunk
  }
  ~Fixture() {
    release_results();
    vesk_secret_key_free(alice);
    vesk_secret_key_free(bob);
    vesk_secret_key_free(carol);
    vesk_signing_identity_free(signer);
  }
  void release_results() {
    vesk_buffer_free(&output);
    vesk_secret_key_free(opened);
    opened = nullptr;
  }
  ByteVec output_bytes() const { return ByteVec(output.data, output.data + output.len); }

  const ByteVec alice_seed = seed_of(1), bob_seed = seed_of(2), carol_seed = seed_of(3);
  const ByteVec plaintext = testing::test_bytes(100000, 9);
  VeskSecretKeyHandle *alice = nullptr, *bob = nullptr, *carol = nullptr;
  VeskSigningIdentityHandle* signer = nullptr;
  ByteVec alice_file, recipients, container, altered, signed_container;
  // Filled by the call under test; released only after the checks, away from the stack checked.
  VeskBuffer output = vesk_buffer_empty();
  VeskSecretKeyHandle* opened = nullptr;
};

struct Scenario {
  const char* name;
  VeskStatus expected;
  // The export call alone: nothing else may run on the stack being checked.
  std::function<VeskStatus(Fixture&)> call;
  // The container whose recipient entries the call decapsulated (or wrote), and with which keys.
  std::function<ByteVec(const Fixture&)> container;
  std::vector<VeskSecretKeyHandle* Fixture::*> entry_keys;
};

const std::vector<Scenario>& scenarios() {
  using F = Fixture;
  const auto none = [](const F&) { return ByteVec{}; };
  static const std::vector<Scenario> all = {
      {"encrypt to two recipients", VESK_OK,
       [](F& f) {
         return vesk_encrypt(f.plaintext.data(), f.plaintext.size(), f.recipients.data(), 2, nullptr, nullptr,
                             &f.output);
       },
       [](const F& f) { return f.output_bytes(); }, {&F::alice, &F::bob}},
      {"decrypt, second entry", VESK_OK,
       [](F& f) { return vesk_decrypt(f.container.data(), f.container.size(), f.bob, &f.output, nullptr, nullptr); },
       [](const F& f) { return f.container; }, {&F::bob}},
      {"decrypt, altered chunk", VESK_AUTHENTICATION_FAILED,
       [](F& f) { return vesk_decrypt(f.altered.data(), f.altered.size(), f.alice, &f.output, nullptr, nullptr); },
       [](const F& f) { return f.altered; }, {&F::alice}},
      {"decrypt, no matching recipient", VESK_NO_MATCHING_RECIPIENT,
       [](F& f) { return vesk_decrypt(f.container.data(), f.container.size(), f.carol, &f.output, nullptr, nullptr); },
       [](const F& f) { return f.container; }, {&F::carol}},
      {"decrypt a signed container", VESK_OK,
       [](F& f) {
         return vesk_decrypt(f.signed_container.data(), f.signed_container.size(), f.alice, &f.output, nullptr,
                             nullptr);
       },
       [](const F& f) { return f.signed_container; }, {&F::alice}},
      {"open a key file", VESK_OK,
       [](F& f) { return vesk_secret_key_open(f.alice_file.data(), f.alice_file.size(), kPassphrase, &f.opened); },
       none, {}},
      {"sign a message", VESK_OK,
       [](F& f) { return vesk_sign_message(f.signer, nullptr, 0, f.plaintext.data(), 1000, &f.output); }, none, {}},
  };
  return all;
}

// Every secret the scenario's call handled that the test can know.
std::vector<ByteVec> secrets_of(const Scenario& s, const Fixture& f) {
  std::vector<ByteVec> secrets = {f.alice_seed, f.bob_seed, f.carol_seed, key_seed(f.alice), key_seed(f.bob),
                                  key_seed(f.carol), ByteVec(kPassphrase, kPassphrase + sizeof kPassphrase - 1),
                                  ByteVec(kSignedName, kSignedName + sizeof kSignedName - 1),
                                  ByteVec(kSignedType, kSignedType + sizeof kSignedType - 1),
                                  // the first kilobyte of the plaintext: the signed message, and a
                                  // stretch of every container's payload
                                  ByteVec(f.plaintext.begin(), f.plaintext.begin() + 1000)};
  const ByteVec container = s.container(f);
  for (VeskSecretKeyHandle* Fixture::*key : s.entry_keys)
    for (ByteVec& shared : shared_secrets(container, f.*key)) secrets.push_back(std::move(shared));
  return secrets;
}

// ---- released heap --------------------------------------------------------------------------

std::vector<ByteVec>* g_released = nullptr;

void keep_released(const std::uint8_t* block, std::size_t len) {
  if (g_released != nullptr) g_released->emplace_back(block, block + len);
}

// Nothing goes back to the C allocator but zeros: small blocks because the library wipes them,
// Argon2id's memory because libcrypto clears it itself (the library counts on that). What the
// library's own code releases holds none of the secrets.
TEST(SecretResidue, ReleasedHeapHoldsNoSecret) {
  Fixture f;
  for (const Scenario& s : scenarios()) {
    SCOPED_TRACE(s.name);
    std::vector<ByteVec> released;
    const std::vector<ByteVec> secrets = secrets_of(s, f);
    g_released = &released;
    g_found = 0;
    g_blocks = 0;
    g_needles.store(&secrets, std::memory_order_release);
    crypto::testing_hooks::set_crypto_release_hook(&keep_released);
    const VeskStatus status = s.call(f);
    crypto::testing_hooks::set_crypto_release_hook(nullptr);
    g_needles.store(nullptr, std::memory_order_release);
    g_released = nullptr;
    EXPECT_GT(g_blocks.load(), 0u) << "the library's own code released nothing: the look-out is not in place";
    EXPECT_EQ(g_found.load(), 0) << "secrets in blocks the library's own code released";
    EXPECT_EQ(status, s.expected);
    EXPECT_FALSE(released.empty()) << "libcrypto released nothing: the hook is not in place";
    std::size_t largest = 0;
    for (const ByteVec& block : released) {
      largest = std::max(largest, block.size());
      EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0; }))
          << "a block of " << block.size() << " bytes";
    }
    if (std::string(s.name) == "open a key file") {
      EXPECT_GT(largest, std::size_t{16} << 20) << "Argon2id's memory";
    }
    f.release_results();
  }
}

// ---- the stack below the caller ------------------------------------------------------------

constexpr std::size_t kStackLen = std::size_t{1} << 20;
constexpr std::uint8_t kUntouched = 0xa5;
// What the export leaves below the caller: return addresses, saved registers, its few locals (the
// work itself runs on the library's own stack). Frames instrumented by AddressSanitizer carry
// headers of their own, and its runtime is called to announce the switch of stacks.
constexpr std::size_t kBookkeepingLen = kAddressSanitizer ? 2048 : 512;

// Runs `call` on a thread whose stack is `stack`, filled with kUntouched first; returns the
// caller's stack pointer.
std::uintptr_t run_on_stack(std::uint8_t* stack, const std::function<void()>& call) {
  std::memset(stack, kUntouched, kStackLen);
  return run_on_thread_stack(stack, kStackLen, call);
}

TEST(SecretResidue, NothingButZerosBelowTheCallerOrOnTheWorkStackAfterExportsWithSecrets) {
  auto* stack = static_cast<std::uint8_t*>(
      mmap(nullptr, kStackLen, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(stack, MAP_FAILED);
  Fixture f;
  for (const Scenario& s : scenarios()) {
    SCOPED_TRACE(s.name);
    VeskStatus status = VESK_INTERNAL_ERROR;
    ByteVec work_stack;
    const std::uintptr_t sp = run_on_stack(stack, [&] {
      status = s.call(f);
      const MutBytes ours = testing_hooks::work_stack();
      work_stack.assign(ours.begin(), ours.end());
    });
    EXPECT_EQ(status, s.expected);
    EXPECT_FALSE(work_stack.empty());
    EXPECT_TRUE(std::all_of(work_stack.begin(), work_stack.end(), [](std::uint8_t b) { return b == 0; }))
        << "the library's work stack was not wiped";
    const auto base = reinterpret_cast<std::uintptr_t>(stack);
    ASSERT_GT(sp, base);
    ASSERT_LT(sp, base + kStackLen);
    const Bytes below(stack, sp - base);
    // What the export left is either untouched or zero, but for the bookkeeping of the calls.
    std::size_t touched = 0, deepest = below.size();
    for (std::size_t i = 0; i < below.size(); ++i) {
      if (below[i] != kUntouched && below[i] != 0) {
        ++touched;
        deepest = std::min(deepest, i);
      }
    }
    EXPECT_LE(touched, kBookkeepingLen) << "bytes left below the caller, the deepest " << below.size() - deepest
                             << " bytes down";
    for (const ByteVec& secret : secrets_of(s, f)) EXPECT_FALSE(contains(below, secret));
    f.release_results();
  }
  munmap(stack, kStackLen);
}

}  // namespace
}  // namespace vesk
