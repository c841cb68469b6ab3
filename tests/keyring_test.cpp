// Recipient keypairs through the exported functions: fresh generation, the published X-Wing
// vectors, a failing randomness source. The armor and inspection cases are in the corpus
// (vectors/public_key_*.json, vectors/inspect_key.json).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "core/crypto/xwing.h"
#include "core/random.h"
#include "core/testing_hooks.h"
#include "ffi/handles.h"
#include "support/test_util.h"
#include "support/vectors.h"
#include "vesk.hpp"

namespace vesk::testing {
namespace {

constexpr std::size_t kPk = VESK_PUBLIC_KEY_LEN;

ByteVec seed_of_handle(const VeskSecretKeyHandle* h) { return ByteVec(h->seed, h->seed + 32); }

// ---- Keypairs -----------------------------------------------------------------------------

TEST(Keypair, GenerationIsFreshAndMatchesItsSeed) {
  VeskSecretKeyHandle* a = nullptr;
  VeskSecretKeyHandle* b = nullptr;
  vesk::Buffer pa, pb, again;
  ASSERT_EQ(vesk_keypair_generate(&a, pa.out()), VESK_OK);
  ASSERT_EQ(vesk_keypair_generate(&b, pb.out()), VESK_OK);
  EXPECT_EQ(pa.size(), kPk);
  EXPECT_EQ(pa.get().capacity, kPk);
  EXPECT_NE(seed_of_handle(a), seed_of_handle(b));
  EXPECT_NE(pa.to_vector(), pb.to_vector());
  // The public key is the one derived from the seed the handle holds.
  auto derived = crypto::XWingSecretKey::from_seed(ffi::seed_of(a));
  EXPECT_EQ(pa.to_vector(), ByteVec(derived.public_key().begin(), derived.public_key().end()));
  ASSERT_EQ(vesk_secret_key_public(a, again.out()), VESK_OK);
  EXPECT_EQ(again.to_vector(), pa.to_vector());
  EXPECT_EQ(again.get().capacity, kPk);
  vesk_secret_key_free(a);
  vesk_secret_key_free(b);
}

TEST(Keypair, PublicKeyOfAKnownSeedMatchesTheXWingVectors) {
  for (const auto& v : load_vectors("xwing.json")) {
    const ByteVec seed = hex_field(v, "seed");
    VeskSecretKeyHandle* h = ffi::new_secret_key_handle(as_seed(seed));
    vesk::Buffer pk;
    ASSERT_EQ(vesk_secret_key_public(h, pk.out()), VESK_OK);
    EXPECT_EQ(pk.to_vector(), hex_field(v, "pk"));
    vesk_secret_key_free(h);
  }
}

TEST(Keypair, RandomnessFailureIsAnInternalErrorAndLeavesOutputsUntouched) {
  VeskSecretKeyHandle* h = sentinel_handle<VeskSecretKeyHandle>();
  VeskBuffer pk = sentinel_buffer();
  VeskStatus s;
  {
    const FailingRandomness failing;
    s = vesk_keypair_generate(&h, &pk);
  }
  EXPECT_EQ(s, VESK_INTERNAL_ERROR);
  EXPECT_EQ(h, sentinel_handle<VeskSecretKeyHandle>());
  EXPECT_TRUE(is_sentinel(pk));
}

}  // namespace
}  // namespace vesk::testing
