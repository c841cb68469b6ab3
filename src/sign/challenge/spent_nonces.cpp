#include "sign/challenge/spent_nonces.h"

#include <algorithm>
#include <cstring>

namespace vesk::sign {

void SpentNonceSet::purge_expired(std::uint64_t now) {
  // remove_if is stable: the survivors move down over the gaps in their original order.
  std::erase_if(entries_, [now](const SpentNonceEntry& e) { return e.deadline < now; });
}

bool SpentNonceSet::contains(const Nonce& nonce) const {
  return std::any_of(entries_.begin(), entries_.end(), [&nonce](const SpentNonceEntry& e) {
    return std::memcmp(e.nonce.data(), nonce.data(), kChallengeNonceLen) == 0;
  });
}

void SpentNonceSet::append(const Nonce& nonce, std::uint64_t deadline) {
  entries_.push_back(SpentNonceEntry{nonce, deadline});
}

}  // namespace vesk::sign
