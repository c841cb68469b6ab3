// Decodes arbitrary bytes as an identity log and replays what decodes under a fixed recovery key.
// Checks the decoder's guarantees on every accepted log, and that the exported queries agree with
// the family operations. Any disagreement traps.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "identity/log.h"
#include "identity/replay.h"
#include "sign/hybrid.h"
#include "vesk.h"

namespace {

using namespace vesk;
using namespace vesk::identity;

void require(bool condition) {
  if (!condition) __builtin_trap();
}

// The recovery identity of the seed corpus (test identity 9: seed byte i = 9 * 37 + i).
const sign::VerifyingKeyBytes& recovery_key_bytes() {
  static const sign::VerifyingKeyBytes key = [] {
    std::uint8_t seed[32];
    for (int i = 0; i < 32; ++i) seed[i] = static_cast<std::uint8_t>(9 * 37 + i);
    return sign::SigningIdentity::from_seed(seed)->verifying_key();
  }();
  return key;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes input(data, size);
  if (size > VESK_MAX_LOG + 1) return 0;  // the exports refuse it before any work
  const auto& rk = recovery_key_bytes();
  static const auto recovery = sign::decode_verifying_key(rk);
  require(recovery.has_value());

  auto log = decode_identity_log(input);
  std::uint64_t exported = 0;
  VeskStatus status = vesk_identity_verify(data, size, rk.data(), rk.size(), &exported);
  if (!log) {
    require(log.error().stage == ErrorStage::Decoding);
    require(status == VESK_MALFORMED_INPUT);
    return 0;
  }
  require(log->entries.size() <= kMaxEntries);
  require(log->entry_items == 6 || log->entry_items == 7);
  for (const IdentityEntry& e : log->entries) {
    require(e.signature.size() == sign::kSignatureLen);
    require(e.event.kind >= EventKind::Create && e.event.kind <= EventKind::Recover);
    if (e.event.kind == EventKind::Revoke) {
      require(e.event.key.empty() && e.event.label.empty());
    } else {
      require(e.event.label.size() <= kMaxLabel);
    }
  }

  auto state = replay(*log, *recovery);
  if (!state) {
    require(state.error().stage == ErrorStage::Checking);
    require(status == VESK_AUTHENTICATION_FAILED);
    return 0;
  }
  require(status == VESK_OK && exported == state->size());
  require(!state->empty());
  for (const auto& [id, device] : *state) require(id == device.id && device_id(device.key.bytes()) == id);

  // The head is the last entry's link, and every active device is trusted.
  VeskBuffer head = vesk_buffer_empty();
  require(vesk_identity_head(data, size, rk.data(), rk.size(), &head) == VESK_OK);
  require(equal_bytes({head.data, head.len}, view_of(log->entries.back().link)));
  vesk_buffer_free(&head);
  for (const auto& [id, device] : *state) {
    std::int32_t trusted = 0;
    const auto& key = device.key.bytes();
    require(vesk_identity_trusts_device(data, size, rk.data(), rk.size(), key.data(), key.size(), &trusted) == VESK_OK);
    require(trusted == 1);
  }
  return 0;
}
