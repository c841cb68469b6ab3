#include "identity/epoch_chain.h"

#include <algorithm>

#include "core/crypto/hash.h"
#include "format/cbor.h"

namespace vesk::identity {

namespace {

// Hostile heads may claim far more records than the input holds; reserve by the input instead.
inline constexpr std::size_t kBytesPerReservedRecord = 4;
// A record: [number, public key, hash].
inline constexpr std::uint64_t kRecordItems = 3;

Unexpected<EpochChainError> malformed() {
  return unexpected(EpochChainError{EpochChainErrorKind::Malformed, ErrorStage::Decoding});
}

EpochResult<EpochRecord> decode_record(format::CborDecoder& d) {
  VESK_TRY_OR(items, d.read_definite_array(), malformed());
  if (items != kRecordItems) return malformed();
  EpochRecord r;
  VESK_TRY_OR(number, d.read_u64(), malformed());
  VESK_TRY_OR(key, d.read_bytes(), malformed());
  if (!d.read_bytes_into(r.hash)) return malformed();
  r.number = number;
  r.public_key.assign(key.begin(), key.end());
  return r;
}

void encode_chain(const EpochChain& chain, format::CborEncoder& out) {
  out.write_array_head(chain.records.size());
  for (const EpochRecord& r : chain.records) {
    out.write_array_head(kRecordItems);
    out.write_uint(r.number);
    out.write_bytes(r.public_key);
    out.write_bytes(view_of(r.hash));
  }
}

}  // namespace

EpochResult<EpochChain> decode_epoch_chain(Bytes input) {
  format::CborDecoder d(input);
  VESK_TRY_OR(count, d.read_definite_array(), malformed());
  if (count > kMaxEpochs) {
    EpochChainError err{EpochChainErrorKind::TooManyEpochs, ErrorStage::Decoding};
    err.count = count;
    return unexpected(err);
  }
  EpochChain chain;
  chain.records.reserve(std::min<std::uint64_t>(count, input.size() / kBytesPerReservedRecord));
  for (std::uint64_t i = 0; i < count; ++i) {
    VESK_TRY(record, decode_record(d));
    chain.records.push_back(std::move(record));
  }
  if (!d.at_end()) return malformed();
  format::CborEncoder again(input.size());
  encode_chain(chain, again);
  if (!equal_bytes(again.view(), input)) return malformed();
  return chain;
}

crypto::Digest32 epoch_record_hash(const crypto::Digest32& prev, std::uint64_t position, Bytes public_key) {
  return crypto::sha256({as_bytes(kEpochChainLabel), view_of(prev), be64(position), be64(public_key.size()), public_key});
}

EpochResult<void> check_epoch_chain(const EpochChain& chain) {
  const auto& records = chain.records;
  if (records.size() > kMaxEpochs) {
    EpochChainError err{EpochChainErrorKind::TooManyEpochs};
    err.count = records.size();
    return unexpected(err);
  }
  crypto::Digest32 prev{};
  for (std::size_t i = 0; i < records.size(); ++i) {
    const EpochRecord& r = records[i];
    if (r.number != i) {
      EpochChainError err{EpochChainErrorKind::NumberMismatch};
      err.position = i;
      err.number = r.number;
      return unexpected(err);
    }
    if (r.public_key.size() != kEpochKeyLen) {
      EpochChainError err{EpochChainErrorKind::KeyLength};
      err.position = i;
      err.expected_length = kEpochKeyLen;
      err.actual_length = r.public_key.size();
      return unexpected(err);
    }
    if (epoch_record_hash(prev, i, r.public_key) != r.hash) {
      EpochChainError err{EpochChainErrorKind::HashMismatch};
      err.position = i;
      return unexpected(err);
    }
    prev = r.hash;
  }
  return {};
}

}  // namespace vesk::identity
