// The verifier's record of accepted challenge nonces, kept between acceptances. Entries stay in
// the order they were accepted and leave only when a later acceptance finds them expired.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace vesk::sign {

inline constexpr std::size_t kChallengeNonceLen = 32;
using Nonce = std::array<std::uint8_t, kChallengeNonceLen>;

struct SpentNonceEntry {
  Nonce nonce;
  std::uint64_t deadline;
  friend bool operator==(const SpentNonceEntry&, const SpentNonceEntry&) = default;
};
static_assert(sizeof(SpentNonceEntry) == 40, "an entry is 40 bytes of payload and nothing else");

// Nonces are not secret, so nothing here is wiped. Not thread-safe: the caller serialises use.
class SpentNonceSet {
 public:
  SpentNonceSet() = default;  // reserves nothing

  std::span<const SpentNonceEntry> entries() const { return entries_; }

  // Removes every entry whose deadline is before `now`, in one pass, keeping the survivors' order.
  void purge_expired(std::uint64_t now);
  // Linear scan comparing all 32 bytes of each entry's nonce.
  bool contains(const Nonce& nonce) const;
  void append(const Nonce& nonce, std::uint64_t deadline);

 private:
  std::vector<SpentNonceEntry> entries_;
};

}  // namespace vesk::sign
