// Epoch chains: a hash chain of per-epoch recipient public keys, without signatures of its own.
#pragma once

#include <cstdint>
#include <vector>

#include "core/bytes.h"
#include "core/crypto/xwing.h"
#include "core/expected.h"
#include "identity/identity_error.h"
#include "identity/log.h"

namespace vesk::identity {

inline constexpr std::size_t kMaxEpochs = 1000000;
inline constexpr std::size_t kEpochKeyLen = crypto::kXWingPublicLen;  // a recipient public key
inline constexpr std::string_view kEpochChainLabel = "VESK/0.6 epoch chain";

struct EpochRecord {
  std::uint64_t number = 0;
  std::vector<std::uint8_t> public_key;
  crypto::Digest32 hash{};
};

struct EpochChain {
  std::vector<EpochRecord> records;
};

enum class EpochChainErrorKind {
  Malformed,       // any decoding failure
  TooManyEpochs,   // more than 1000000 records; carries the count
  NumberMismatch,  // number differs from the position; carries both
  KeyLength,       // key not 1216 bytes; carries the position, 1216 and the length
  HashMismatch,    // stored hash differs from the computed one; carries the position
  NoSuchEpoch,     // a query for an epoch past the chain's last; carries the count
};

struct EpochChainError {
  EpochChainErrorKind kind;
  ErrorStage stage = ErrorStage::Checking;
  std::uint64_t count = 0;     // TooManyEpochs, NoSuchEpoch
  std::uint64_t position = 0;  // NumberMismatch, KeyLength, HashMismatch
  std::uint64_t number = 0;    // NumberMismatch
  std::uint64_t expected_length = 0;  // KeyLength
  std::uint64_t actual_length = 0;    // KeyLength
};

template <class T>
using EpochResult = Expected<T, EpochChainError>;

// Canonical decoding; failures carry ErrorStage::Decoding (Malformed or TooManyEpochs).
EpochResult<EpochChain> decode_epoch_chain(Bytes input);

// The chaining hash of the record at `position` after `prev` (zeros for position 0).
crypto::Digest32 epoch_record_hash(const crypto::Digest32& prev, std::uint64_t position, Bytes public_key);

// Numbers, key lengths and hashes, record by record; failures carry ErrorStage::Checking.
EpochResult<void> check_epoch_chain(const EpochChain& chain);

}  // namespace vesk::identity
