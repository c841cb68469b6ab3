// The exported identity queries beyond the corpus (vectors/identity_*.json): a log of the largest
// accepted size is decoded, not refused as an argument, and failures leave the outputs untouched.
#include <gtest/gtest.h>

#include "support/identity_writer.h"
#include "support/test_util.h"
#include "vesk.h"

namespace vesk::testing {
namespace {

TEST(IdentityQueries, LogAtTheCapIsDecoded) {
  LogWriter writer;
  writer.create(test_identity(1), "phone").add(test_identity(1), key_of(test_identity(2)), "laptop");
  const ByteString key = key_of(test_identity(9));
  ByteString at_cap = writer.bytes();
  at_cap.resize(VESK_MAX_LOG, 0);  // trailing zeros: decoded, and refused as malformed

  VeskBuffer head = sentinel_buffer();
  EXPECT_EQ(vesk_identity_head(at_cap.data(), at_cap.size(), key.data(), key.size(), &head), VESK_MALFORMED_INPUT);
  EXPECT_TRUE(is_sentinel(head));
  std::uint64_t n = kSentinelCount;
  EXPECT_EQ(vesk_identity_verify(at_cap.data(), at_cap.size(), key.data(), key.size(), &n), VESK_MALFORMED_INPUT);
  EXPECT_EQ(n, kSentinelCount);
  at_cap.push_back(0);
  EXPECT_EQ(vesk_identity_verify(at_cap.data(), at_cap.size(), key.data(), key.size(), &n), VESK_INVALID_ARGUMENT);
  EXPECT_EQ(n, kSentinelCount);
}

}  // namespace
}  // namespace vesk::testing
