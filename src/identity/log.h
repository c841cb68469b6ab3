// The identity log: entries, their canonical decoding, and the hashes that chain them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/crypto/hash.h"
#include "core/expected.h"
#include "identity/identity_error.h"

namespace vesk::identity {

inline constexpr std::size_t kMaxEntries = 100000;
inline constexpr std::size_t kMaxLabel = 256;

inline constexpr std::string_view kDeviceIdLabel = "VESK/0.6 device id";
inline constexpr std::string_view kLinkLabel = "VESK/0.6 identity link";
inline constexpr std::string_view kEntryContext = "VESK/0.6 identity entry";

using DeviceId = crypto::Digest32;

template <class T>
using IdentityResult = Expected<T, IdentityError>;

enum class EventKind : std::uint8_t { Create = 1, Add = 2, Revoke = 3, Recover = 4 };

// What an entry records. Create, Add and Recover carry a key and a label; Revoke carries the id of
// the device it removes.
struct IdentityEvent {
  EventKind kind = EventKind::Create;
  std::vector<std::uint8_t> key;
  std::string label;
  DeviceId device{};
};

struct IdentityEntry {
  std::uint64_t seq = 0;
  IdentityEvent event;
  DeviceId signer{};
  crypto::Digest32 link{};
  std::vector<std::uint8_t> signature;
};

struct IdentityLog {
  std::vector<IdentityEntry> entries;
  // The number every entry head states (6 or 7); written back by the re-encoding.
  std::uint8_t entry_items = 7;
};

// Decodes a whole log under the canonical rule. Failures carry ErrorStage::Decoding and are
// Malformed, TooManyEntries or LabelTooLong.
IdentityResult<IdentityLog> decode_identity_log(Bytes input);

DeviceId device_id(Bytes verifying_key);

// The signed bytes of an entry, given the link of the entry before it (zeros for entry 0).
std::vector<std::uint8_t> entry_body(const IdentityEntry& entry, const crypto::Digest32& prev);

crypto::Digest32 link_hash(Bytes body, Bytes signature);

inline Bytes view_of(const crypto::Digest32& h) { return {h.data(), h.size()}; }

}  // namespace vesk::identity
