// Replay of an identity log: checks every entry against the state built so far and yields the
// devices the identity trusts after its last entry. Pinned verification ties a log to a stored
// identity id through the recovery binding.
#pragma once

#include <cstring>
#include <map>
#include <optional>
#include <string>

#include "identity/log.h"
#include "identity/recovery_binding.h"
#include "sign/hybrid.h"

namespace vesk::identity {

struct Device {
  DeviceId id{};
  sign::DecodedVerifyingKey key;
  std::string label;
  std::uint64_t seq = 0;  // the entry that added it
};

// Unsigned byte-wise order on device ids.
struct DeviceIdOrder {
  bool operator()(const DeviceId& a, const DeviceId& b) const { return std::memcmp(a.data(), b.data(), a.size()) < 0; }
};

// The active device set.
using IdentityState = std::map<DeviceId, Device, DeviceIdOrder>;

// Failures carry ErrorStage::Checking. `founder`, when given, is entry 0's key as the caller has
// already decoded it; it is not decoded again.
IdentityResult<IdentityState> replay(const IdentityLog& log, const sign::DecodedVerifyingKey& recovery_key,
                                     std::optional<sign::DecodedVerifyingKey> founder = std::nullopt);

struct PinnedVerification {
  IdentityLog log;
  sign::DecodedVerifyingKey recovery_key;
  IdentityState state;
};

// Decodes the binding, then the log (both failures at ErrorStage::Decoding), checks the pin and
// the binding against entry 0, and replays with the binding's recovery key.
IdentityResult<PinnedVerification> verify_pinned(Bytes log, Bytes recovery_binding, Bytes pin);

}  // namespace vesk::identity
