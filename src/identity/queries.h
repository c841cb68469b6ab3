// The questions the exported identity functions answer, each with its failures in the order they
// take precedence: the caller's keys first, then decoding, then replay or the chain's checks.
#pragma once

#include <cstdint>
#include <variant>

#include "core/bytes.h"
#include "core/expected.h"
#include "identity/epoch_chain.h"
#include "identity/log.h"
#include "identity/replay.h"

namespace vesk::identity {

struct VerifiedIdentity {
  IdentityLog log;
  IdentityState state;
};

// The recovery key (UndecodableKey), then the log, then replay.
IdentityResult<VerifiedIdentity> verify_identity(Bytes log, Bytes recovery_key);

// Both keys decode before the log is looked at; then the log and replay. True when the device is
// active after the last entry.
IdentityResult<bool> trusts_device(Bytes log, Bytes recovery_key, Bytes device_key);

// A chain that decodes and passes its checks.
EpochResult<EpochChain> verified_epoch_chain(Bytes chain);

// The public key of epoch `index` of a verified chain; an index past its last is NoSuchEpoch.
EpochResult<std::vector<std::uint8_t>> epoch_public_key(Bytes chain, std::uint64_t index);

// Pinned verification of the identity first; only then are the chain and the epoch binding
// decoded, and the binding checked against both. Yields the chain's epoch count.
using BoundEpochError = std::variant<IdentityError, EpochChainError>;
Expected<std::uint64_t, BoundEpochError> verify_bound_epochs(Bytes log, Bytes recovery_binding, Bytes pin, Bytes chain,
                                                             Bytes epoch_binding);

}  // namespace vesk::identity
