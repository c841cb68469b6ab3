#include "identity/epoch_binding.h"

#include <algorithm>

#include "core/byte_io.h"

namespace vesk::identity {

namespace {

template <std::size_t N>
void take(ByteReader& r, std::array<std::uint8_t, N>& out) {
  auto b = r.read(N);
  VESK_CHECK(b.has_value(), "epoch binding layout");
  std::copy(b->begin(), b->end(), out.begin());
}

Unexpected<IdentityError> fail(IdentityErrorKind kind) { return unexpected(checking_error(kind)); }

}  // namespace

IdentityResult<EpochBinding> decode_epoch_binding(Bytes input) {
  if (input.size() != kEpochBindingLen) return unexpected(decoding_error(IdentityErrorKind::Malformed));
  ByteReader r(input);
  EpochBinding b;
  take(r, b.identity);
  take(r, b.log_link);
  take(r, b.chain_head);
  auto count = r.read_be64();
  VESK_CHECK(count.has_value(), "epoch binding layout");
  b.epoch_count = *count;
  take(r, b.signer);
  take(r, b.signature);
  VESK_CHECK(r.at_end(), "epoch binding layout");
  return b;
}

std::array<std::uint8_t, kEpochBindingSignedLen> epoch_binding_message(const EpochBinding& b) {
  return fixed_record<kEpochBindingSignedLen>([&](ByteWriter& w) {
    w.put(b.identity);
    w.put(b.log_link);
    w.put(b.chain_head);
    w.put_be64(b.epoch_count);
    w.put(b.signer);
  });
}

IdentityResult<void> check_epoch_binding(const PinnedVerification& identity, const EpochChain& chain,
                                         const EpochBinding& binding) {
  const auto& entries = identity.log.entries;
  if (entries.empty() || entries[0].link != binding.identity) return fail(IdentityErrorKind::PinMismatch);
  // Any entry of the log may be named, not only the head.
  bool linked = std::any_of(entries.begin(), entries.end(),
                            [&](const IdentityEntry& e) { return e.link == binding.log_link; });
  if (!linked) return fail(IdentityErrorKind::EpochBindingMismatch);
  if (!check_epoch_chain(chain)) return fail(IdentityErrorKind::EpochBindingMismatch);
  const auto& records = chain.records;
  if (records.empty() || records.size() != binding.epoch_count) return fail(IdentityErrorKind::EpochBindingMismatch);
  if (records.back().hash != binding.chain_head) return fail(IdentityErrorKind::EpochBindingMismatch);
  // Only a device still active after the last entry may vouch for the chain.
  auto device = identity.state.find(binding.signer);
  if (device == identity.state.end()) return fail(IdentityErrorKind::UnknownSigner);
  auto message = epoch_binding_message(binding);
  if (!sign::hybrid_verify(device->second.key, as_bytes(kEpochBindingContext), message, binding.signature))
    return fail(IdentityErrorKind::BindingInvalid);
  return {};
}

}  // namespace vesk::identity
