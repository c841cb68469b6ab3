// A writer of identity logs, recovery bindings, epoch chains and epoch bindings, for tests and the
// development generator only: the library itself never writes these records. It is written
// independently of the library's decoders (its own CBOR heads, bodies and hashes) so that tests
// compare two separate readings of the format, and it has knobs to produce every invalid history.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/crypto/hash.h"
#include "sign/hybrid.h"
#include "support/bytes.h"

namespace vesk::testing {

using ByteString = ByteVec;

// A signing identity from a fixed seed (seed byte i = n * 37 + i), made once per n and kept.
const sign::SigningIdentity& test_identity(int n);
ByteString key_of(const sign::SigningIdentity& id);
crypto::Digest32 device_id_of(Bytes verifying_key);
crypto::Digest32 device_id_of(const sign::SigningIdentity& id);

// `key` with its Ed25519 part replaced by 02 00..00 (y = 2, not a curve point), so that it does
// not decode.
ByteString with_undecodable_ed25519(ByteString key);
// A 1984-byte key that does not decode: a test identity's key with that Ed25519 part.
ByteString undecodable_key();

enum class Kind : std::uint64_t { Create = 1, Add = 2, Revoke = 3, Recover = 4 };

// One entry as it stands on the wire. Every field may be changed after it was appended; bytes()
// writes whatever the fields hold.
struct WrittenEntry {
  std::uint64_t seq = 0;
  std::uint64_t kind = 1;   // the wire number; 0 and 5 only for malformed logs
  ByteString payload;       // the key, or the revoked device id
  std::string label;        // written for Revoke too (the body leaves it out)
  ByteString signer;        // 32 bytes in a valid entry
  ByteString link;          // 32 bytes in a valid entry
  ByteString signature;     // 3373 bytes in a valid entry
  const sign::SigningIdentity* signed_by = nullptr;
  // Encoding knobs: the entry head byte (0x86, 0x87, 0x88, ...) instead of the log's, and raw
  // encodings of seq and kind (e.g. 0x18 0x00) instead of the shortest form.
  std::optional<std::uint8_t> head;
  std::optional<ByteString> seq_item;
  std::optional<ByteString> kind_item;
};

// Knobs applied while an entry is appended; the defaults give a valid entry.
struct EntryKnobs {
  std::optional<std::uint64_t> seq = std::nullopt;  // signed and written instead of the position
  std::optional<crypto::Digest32> signer = std::nullopt;      // stored instead of the signing key's device id
  std::optional<crypto::Digest32> prev = std::nullopt;        // chained to this instead of the previous entry's link
  std::string revoke_label = {};                    // a label written on a Revoke (not signed)
};

class LogWriter {
 public:
  LogWriter& create(const sign::SigningIdentity& device, std::string label = "first device", EntryKnobs k = {});
  LogWriter& add(const sign::SigningIdentity& signer, Bytes key, std::string label = "device", EntryKnobs k = {});
  LogWriter& revoke(const sign::SigningIdentity& signer, const crypto::Digest32& device, EntryKnobs k = {});
  // Signed by the recovery identity.
  LogWriter& recover(const sign::SigningIdentity& recovery, Bytes key, std::string label = "recovered",
                     EntryKnobs k = {});
  // Any entry: kind and payload as given, signed by `signer` over the body built from them.
  LogWriter& append(Kind kind, const sign::SigningIdentity& signer, Bytes payload, std::string label, EntryKnobs k);

  WrittenEntry& at(std::size_t i) { return entries_.at(i); }
  const std::vector<WrittenEntry>& entries() const { return entries_; }
  std::size_t size() const { return entries_.size(); }

  // Recomputes entry i's link from its fields as they stand (after a change to them).
  void relink(std::size_t i);
  // Signs entry i again with its signer over its body as it stands, then relinks it.
  void resign(std::size_t i);

  // The encoded log. `entry_items` is the head every entry states unless the entry overrides it;
  // `count` overrides the outer array count.
  ByteString bytes(std::uint8_t entry_items = 7, std::optional<std::uint64_t> count = std::nullopt) const;

  crypto::Digest32 identity_id() const;
  crypto::Digest32 head() const;

  // Body and link hash as the format defines them.
  static ByteString body(const WrittenEntry& e, Bytes prev);
  static crypto::Digest32 link(Bytes body, Bytes signature);

 private:
  crypto::Digest32 prev_of(std::size_t i) const;
  std::vector<WrittenEntry> entries_;
  std::vector<std::optional<crypto::Digest32>> prev_override_;
};

// The 5389-byte recovery binding: identity id, recovery key, signature by `founder`.
ByteString recovery_binding(const sign::SigningIdentity& founder, const crypto::Digest32& identity, Bytes recovery_key);

// Epoch chains: the records as they stand on the wire.
struct EpochRecordSpec {
  std::uint64_t number = 0;
  ByteString public_key;
  ByteString hash;
  std::optional<ByteString> number_item;  // raw encoding of number
  std::optional<std::uint8_t> head;       // record head byte instead of 0x83
};

class EpochChainWriter {
 public:
  // Appends a valid record (number = position, hash chained to the previous record).
  EpochChainWriter& add(Bytes public_key);
  EpochRecordSpec& at(std::size_t i) { return records_.at(i); }
  std::size_t size() const { return records_.size(); }
  ByteString bytes(std::optional<std::uint64_t> count = std::nullopt) const;
  crypto::Digest32 head() const;
  static crypto::Digest32 record_hash(Bytes prev, std::uint64_t position, Bytes public_key);

 private:
  std::vector<EpochRecordSpec> records_;
};

// The 3509-byte epoch binding signed by `signer`; `signer_id` defaults to its device id.
ByteString epoch_binding(const sign::SigningIdentity& signer, const crypto::Digest32& identity, const crypto::Digest32& log_link,
                         const crypto::Digest32& chain_head, std::uint64_t epoch_count,
                         std::optional<crypto::Digest32> signer_id = std::nullopt);

// A CBOR head in shortest form, and in a chosen width (1, 2, 3, 5 or 9 bytes) for non-canonical
// inputs.
ByteString cbor_head(std::uint8_t major, std::uint64_t n);
ByteString cbor_head_wide(std::uint8_t major, std::uint64_t n, int width);

}  // namespace vesk::testing
