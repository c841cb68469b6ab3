#include "support/identity_writer.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string_view>

#include "core/crypto/hash.h"

namespace vesk::testing {

namespace {

constexpr std::string_view kEntryContext = "VESK/0.6 identity entry";
constexpr std::string_view kLinkLabel = "VESK/0.6 identity link";
constexpr std::string_view kDeviceLabel = "VESK/0.6 device id";
constexpr std::string_view kRecoveryContext = "VESK/1.0 recovery binding";
constexpr std::string_view kEpochLabel = "VESK/0.6 epoch chain";
constexpr std::string_view kEpochContext = "VESK/1.0 epoch binding";

void put(ByteString& out, Bytes b) { out.insert(out.end(), b.begin(), b.end()); }
void put(ByteString& out, std::string_view s) { put(out, as_bytes(s)); }
void put_be64(ByteString& out, std::uint64_t v) {
  for (int shift = 56; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}
void put_item(ByteString& out, std::uint8_t major, Bytes content) {
  put(out, cbor_head(major, content.size()));
  put(out, content);
}

crypto::Digest32 to_hash(Bytes b) {
  crypto::Digest32 h{};
  std::copy_n(b.begin(), std::min(b.size(), h.size()), h.begin());
  return h;
}

}  // namespace

const sign::SigningIdentity& test_identity(int n) {
  static std::map<int, std::unique_ptr<sign::SigningIdentity>> cache;
  auto& slot = cache[n];
  if (!slot) {
    std::array<std::uint8_t, 32> seed;
    for (std::size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<std::uint8_t>(n * 37 + i);
    slot = sign::SigningIdentity::from_seed(seed);
  }
  return *slot;
}

ByteString key_of(const sign::SigningIdentity& id) {
  return ByteString(id.verifying_key().begin(), id.verifying_key().end());
}

crypto::Digest32 device_id_of(Bytes verifying_key) { return crypto::sha256({as_bytes(kDeviceLabel), verifying_key}); }
crypto::Digest32 device_id_of(const sign::SigningIdentity& id) { return device_id_of(id.verifying_key()); }

ByteString with_undecodable_ed25519(ByteString key) {
  std::fill(key.begin(), key.begin() + 32, 0);
  key[0] = 2;
  return key;
}

ByteString undecodable_key() { return with_undecodable_ed25519(key_of(test_identity(90))); }

ByteString cbor_head(std::uint8_t major, std::uint64_t n) {
  int width = n <= 23 ? 1 : n <= 0xff ? 2 : n <= 0xffff ? 3 : n <= 0xffffffffu ? 5 : 9;
  return cbor_head_wide(major, n, width);
}

ByteString cbor_head_wide(std::uint8_t major, std::uint64_t n, int width) {
  const std::uint8_t top = static_cast<std::uint8_t>(major << 5);
  ByteString out;
  switch (width) {
    case 1:
      if (n > 23) throw std::invalid_argument("value does not fit the initial byte");
      out.push_back(static_cast<std::uint8_t>(top | n));
      return out;
    case 2: out.push_back(top | 24); break;
    case 3: out.push_back(top | 25); break;
    case 5: out.push_back(top | 26); break;
    case 9: out.push_back(top | 27); break;
    default: throw std::invalid_argument("no such head width");
  }
  for (int shift = 8 * (width - 2); shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(n >> shift));
  return out;
}

// ---- identity log ----

LogWriter& LogWriter::create(const sign::SigningIdentity& device, std::string label, EntryKnobs k) {
  return append(Kind::Create, device, device.verifying_key(), std::move(label), std::move(k));
}

LogWriter& LogWriter::add(const sign::SigningIdentity& signer, Bytes key, std::string label, EntryKnobs k) {
  return append(Kind::Add, signer, key, std::move(label), std::move(k));
}

LogWriter& LogWriter::revoke(const sign::SigningIdentity& signer, const crypto::Digest32& device, EntryKnobs k) {
  return append(Kind::Revoke, signer, device, "", std::move(k));
}

LogWriter& LogWriter::recover(const sign::SigningIdentity& recovery, Bytes key, std::string label, EntryKnobs k) {
  return append(Kind::Recover, recovery, key, std::move(label), std::move(k));
}

LogWriter& LogWriter::append(Kind kind, const sign::SigningIdentity& signer, Bytes payload, std::string label,
                             EntryKnobs k) {
  WrittenEntry e;
  e.seq = k.seq.value_or(entries_.size());
  e.kind = static_cast<std::uint64_t>(kind);
  e.payload.assign(payload.begin(), payload.end());
  e.label = kind == Kind::Revoke ? k.revoke_label : std::move(label);
  crypto::Digest32 signer_id = k.signer.value_or(device_id_of(signer));
  e.signer.assign(signer_id.begin(), signer_id.end());
  e.signed_by = &signer;
  entries_.push_back(std::move(e));
  prev_override_.push_back(k.prev);
  resign(entries_.size() - 1);
  return *this;
}

crypto::Digest32 LogWriter::prev_of(std::size_t i) const {
  if (prev_override_.at(i)) return *prev_override_[i];
  if (i == 0) return crypto::Digest32{};
  return to_hash(entries_[i - 1].link);
}

ByteString LogWriter::body(const WrittenEntry& e, Bytes prev) {
  ByteString b;
  put(b, prev);
  put_be64(b, e.seq);
  b.push_back(static_cast<std::uint8_t>(e.kind));
  put(b, e.signer);
  put_be64(b, e.payload.size());
  put(b, e.payload);
  if (e.kind != static_cast<std::uint64_t>(Kind::Revoke)) {
    put_be64(b, e.label.size());
    put(b, e.label);
  }
  return b;
}

crypto::Digest32 LogWriter::link(Bytes body, Bytes signature) {
  ByteString len_body, len_sig;
  put_be64(len_body, body.size());
  put_be64(len_sig, signature.size());
  return crypto::sha256({as_bytes(kLinkLabel), len_body, body, len_sig, signature});
}

void LogWriter::relink(std::size_t i) {
  WrittenEntry& e = entries_.at(i);
  crypto::Digest32 prev = prev_of(i);
  crypto::Digest32 l = link(body(e, prev), e.signature);
  e.link.assign(l.begin(), l.end());
}

void LogWriter::resign(std::size_t i) {
  WrittenEntry& e = entries_.at(i);
  crypto::Digest32 prev = prev_of(i);
  sign::Signature s = sign::hybrid_sign(*e.signed_by, as_bytes(kEntryContext), body(e, prev));
  e.signature.assign(s.begin(), s.end());
  relink(i);
}

ByteString LogWriter::bytes(std::uint8_t entry_items, std::optional<std::uint64_t> count) const {
  ByteString out = cbor_head(4, count.value_or(entries_.size()));
  for (const WrittenEntry& e : entries_) {
    out.push_back(e.head.value_or(static_cast<std::uint8_t>(0x80 | entry_items)));
    put(out, e.seq_item.value_or(cbor_head(0, e.seq)));
    put(out, e.kind_item.value_or(cbor_head(0, e.kind)));
    put_item(out, 2, e.payload);
    put_item(out, 3, as_bytes(e.label));
    put_item(out, 2, e.signer);
    put_item(out, 2, e.link);
    put_item(out, 2, e.signature);
  }
  return out;
}

crypto::Digest32 LogWriter::identity_id() const { return to_hash(entries_.at(0).link); }
crypto::Digest32 LogWriter::head() const { return to_hash(entries_.at(entries_.size() - 1).link); }

ByteString recovery_binding(const sign::SigningIdentity& founder, const crypto::Digest32& identity, Bytes recovery_key) {
  ByteString out;
  put(out, identity);
  put(out, recovery_key);
  sign::Signature s = sign::hybrid_sign(founder, as_bytes(kRecoveryContext), out);
  put(out, s);
  return out;
}

// ---- epoch chains ----

crypto::Digest32 EpochChainWriter::record_hash(Bytes prev, std::uint64_t position, Bytes public_key) {
  ByteString framing;
  put_be64(framing, position);
  put_be64(framing, public_key.size());
  return crypto::sha256({as_bytes(kEpochLabel), prev, framing, public_key});
}

EpochChainWriter& EpochChainWriter::add(Bytes public_key) {
  crypto::Digest32 prev = records_.empty() ? crypto::Digest32{} : to_hash(records_.back().hash);
  EpochRecordSpec r;
  r.number = records_.size();
  r.public_key.assign(public_key.begin(), public_key.end());
  crypto::Digest32 h = record_hash(prev, r.number, public_key);
  r.hash.assign(h.begin(), h.end());
  records_.push_back(std::move(r));
  return *this;
}

ByteString EpochChainWriter::bytes(std::optional<std::uint64_t> count) const {
  ByteString out = cbor_head(4, count.value_or(records_.size()));
  for (const EpochRecordSpec& r : records_) {
    out.push_back(r.head.value_or(0x83));
    put(out, r.number_item.value_or(cbor_head(0, r.number)));
    put_item(out, 2, r.public_key);
    put_item(out, 2, r.hash);
  }
  return out;
}

crypto::Digest32 EpochChainWriter::head() const { return records_.empty() ? crypto::Digest32{} : to_hash(records_.back().hash); }

ByteString epoch_binding(const sign::SigningIdentity& signer, const crypto::Digest32& identity, const crypto::Digest32& log_link,
                         const crypto::Digest32& chain_head, std::uint64_t epoch_count, std::optional<crypto::Digest32> signer_id) {
  ByteString out;
  put(out, identity);
  put(out, log_link);
  put(out, chain_head);
  put_be64(out, epoch_count);
  put(out, signer_id.value_or(device_id_of(signer)));
  sign::Signature s = sign::hybrid_sign(signer, as_bytes(kEpochContext), out);
  put(out, s);
  return out;
}

}  // namespace vesk::testing
