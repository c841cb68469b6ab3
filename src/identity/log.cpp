#include "identity/log.h"

#include <algorithm>

#include "core/byte_io.h"
#include "core/crypto/hash.h"
#include "format/cbor.h"
#include "sign/hybrid.h"

namespace vesk::identity {

namespace {

using format::CborDecoder;
using format::CborEncoder;

// Hostile heads may claim far more entries than the input holds; no entry is shorter than this.
inline constexpr std::size_t kBytesPerReservedEntry = 8;
// Every entry has seven items; its head states 7, or 6 in logs that state 6 for every entry (the
// re-encoding writes back the log's number).
inline constexpr std::uint64_t kEntryItems = 7;
inline constexpr std::uint64_t kShortEntryHead = 6;

Unexpected<IdentityError> malformed() { return unexpected(decoding_error(IdentityErrorKind::Malformed)); }

IdentityResult<IdentityEntry> decode_entry(CborDecoder& d, std::uint64_t& entry_items) {
  VESK_TRY_OR(items, d.read_definite_array(), malformed());
  if (items != kEntryItems && items != kShortEntryHead) return malformed();
  if (entry_items == 0) entry_items = items;
  if (items != entry_items) return malformed();

  IdentityEntry e;
  VESK_TRY_OR(seq, d.read_u64(), malformed());
  VESK_TRY_OR(kind, d.read_u8(), malformed());
  VESK_TRY_OR(payload, d.read_bytes(), malformed());
  VESK_TRY_OR(label, d.read_text(), malformed());
  if (label.size() > kMaxLabel) return unexpected(decoding_error(IdentityErrorKind::LabelTooLong));

  e.seq = seq;
  if (kind < static_cast<std::uint8_t>(EventKind::Create) || kind > static_cast<std::uint8_t>(EventKind::Recover))
    return malformed();
  e.event.kind = static_cast<EventKind>(kind);
  if (e.event.kind == EventKind::Revoke) {
    // The label of a Revoke is dropped; the re-encoding then refuses a non-empty one.
    if (payload.size() != crypto::kDigest32Len) return malformed();
    std::copy(payload.begin(), payload.end(), e.event.device.begin());
  } else {
    e.event.key.assign(payload.begin(), payload.end());
    e.event.label.assign(label);
  }

  if (!d.read_bytes_into(e.signer) || !d.read_bytes_into(e.link)) return malformed();
  VESK_TRY_OR(signature, d.read_bytes(), malformed());
  if (signature.size() != sign::kSignatureLen) return malformed();
  e.signature.assign(signature.begin(), signature.end());
  return e;
}

void encode_log(const IdentityLog& log, CborEncoder& out) {
  out.write_array_head(log.entries.size());
  for (const IdentityEntry& e : log.entries) {
    out.write_array_head(log.entry_items);
    out.write_uint(e.seq);
    out.write_uint(static_cast<std::uint8_t>(e.event.kind));
    if (e.event.kind == EventKind::Revoke) {
      out.write_bytes(view_of(e.event.device));
      out.write_text("");
    } else {
      out.write_bytes(e.event.key);
      out.write_text(e.event.label);
    }
    out.write_bytes(view_of(e.signer));
    out.write_bytes(view_of(e.link));
    out.write_bytes(e.signature);
  }
}

}  // namespace

IdentityResult<IdentityLog> decode_identity_log(Bytes input) {
  CborDecoder d(input);
  VESK_TRY_OR(count, d.read_definite_array(), malformed());
  if (count > kMaxEntries) {
    IdentityError err = decoding_error(IdentityErrorKind::TooManyEntries);
    err.count = count;
    return unexpected(err);
  }

  IdentityLog log;
  log.entries.reserve(std::min<std::uint64_t>(count, input.size() / kBytesPerReservedEntry));
  std::uint64_t entry_items = 0;
  for (std::uint64_t i = 0; i < count; ++i) {
    VESK_TRY(entry, decode_entry(d, entry_items));
    log.entries.push_back(std::move(entry));
  }
  if (!d.at_end()) return malformed();
  if (entry_items != 0) log.entry_items = static_cast<std::uint8_t>(entry_items);

  CborEncoder again(input.size());
  encode_log(log, again);
  if (!equal_bytes(again.view(), input)) return malformed();
  return log;
}

DeviceId device_id(Bytes verifying_key) { return crypto::sha256({as_bytes(kDeviceIdLabel), verifying_key}); }

std::vector<std::uint8_t> entry_body(const IdentityEntry& entry, const crypto::Digest32& prev) {
  const IdentityEvent& ev = entry.event;
  std::size_t size = crypto::kDigest32Len + 8 + 1 + crypto::kDigest32Len + 8;
  size = ev.kind == EventKind::Revoke ? checked_add(size, crypto::kDigest32Len)
                                      : checked_add(checked_add(size, 8), checked_add(ev.key.size(), ev.label.size()));
  std::vector<std::uint8_t> body(size);
  ByteWriter w{MutBytes(body)};
  w.put(view_of(prev));
  w.put_be64(entry.seq);
  w.put_u8(static_cast<std::uint8_t>(ev.kind));
  w.put(view_of(entry.signer));
  if (ev.kind == EventKind::Revoke) {
    w.put_framed(view_of(ev.device));
  } else {
    w.put_framed(ev.key);
    w.put_framed(as_bytes(ev.label));
  }
  w.finish();
  return body;
}

crypto::Digest32 link_hash(Bytes body, Bytes signature) {
  crypto::Sha256 h;
  h.update(as_bytes(kLinkLabel));
  h.update(be64(body.size()));
  h.update(body);
  h.update(be64(signature.size()));
  h.update(signature);
  return h.finish();
}

}  // namespace vesk::identity
