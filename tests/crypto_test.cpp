// The libcrypto wrappers and the compositions built on them, pinned by published vectors.
#include <gtest/gtest.h>

#include "core/crypto/xwing.h"
#include "support/vectors.h"

namespace vesk::testing {
namespace {

using namespace vesk::crypto;

TEST(XWing, KeygenEncapsulationAndDecapsulationMatchVectors) {
  const auto vectors = load_vectors("xwing.json");
  ASSERT_EQ(vectors.size(), 3u);
  for (const auto& v : vectors) {
    const ByteVec seed = hex_field(v, "seed"), pk = hex_field(v, "pk"), eseed = hex_field(v, "eseed"),
                  ct = hex_field(v, "ct"), ss = hex_field(v, "ss");
    XWingSecretKey key = XWingSecretKey::from_seed(seed);
    EXPECT_EQ(ByteVec(key.public_key().begin(), key.public_key().end()), pk);

    auto recipient = XWingRecipient::validate(pk);
    ASSERT_TRUE(recipient.has_value());
    auto enc = recipient->encapsulate(eseed);
    ASSERT_TRUE(enc.has_value());
    EXPECT_EQ(ByteVec(enc->first.begin(), enc->first.end()), ct);
    EXPECT_EQ(ByteVec(enc->second.view().begin(), enc->second.view().end()), ss);

    auto dec = key.decapsulate(ct);
    ASSERT_TRUE(dec.has_value());
    EXPECT_EQ(ByteVec(dec->view().begin(), dec->view().end()), ss);
  }
}

}  // namespace
}  // namespace vesk::testing
