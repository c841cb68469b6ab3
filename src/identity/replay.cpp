#include "identity/replay.h"

#include <optional>

namespace vesk::identity {

namespace {

Unexpected<IdentityError> fail(IdentityErrorKind kind) { return unexpected(checking_error(kind)); }

Unexpected<IdentityError> unexpected_event(const char* which) {
  IdentityError e = checking_error(IdentityErrorKind::UnexpectedEvent);
  e.event = which;
  return unexpected(e);
}

// A key carried by Create, Add or Recover: 1984 bytes (Malformed) that decode (BadSignature).
IdentityResult<sign::DecodedVerifyingKey> entry_key(const IdentityEvent& ev) {
  if (ev.key.size() != sign::kVerifyingKeyLen) return fail(IdentityErrorKind::Malformed);
  auto key = sign::decode_verifying_key(ev.key);
  if (!key) return fail(IdentityErrorKind::BadSignature);
  return std::move(*key);
}

void insert_device(IdentityState& state, const IdentityEntry& e, sign::DecodedVerifyingKey key) {
  DeviceId id = device_id(key.bytes());
  state.emplace(id, Device{id, std::move(key), e.event.label, e.seq});
}

// The key allowed to sign entry `e`: an active device for Add and Revoke, the recovery key for
// Recover, and for a Create its own key, which it signs itself with and which ends up in
// `own_key`: `founder` when the caller has decoded it already (it is taken then), else decoded here.
IdentityResult<const sign::DecodedVerifyingKey*> signer_of(const IdentityEntry& e,
                                                           const sign::DecodedVerifyingKey& recovery,
                                                           const DeviceId& recovery_id,
                                                           std::optional<sign::DecodedVerifyingKey>& founder,
                                                           std::optional<sign::DecodedVerifyingKey>& own_key,
                                                           const IdentityState& state) {
  switch (e.event.kind) {
    case EventKind::Add:
    case EventKind::Revoke: {
      auto it = state.find(e.signer);
      if (it == state.end()) return fail(IdentityErrorKind::UnknownSigner);
      return &it->second.key;
    }
    case EventKind::Create: {
      if (e.seq != 0) return unexpected_event(kLaterCreate);
      if (founder) {
        own_key.emplace(std::move(*founder));
        founder.reset();
      } else {
        VESK_TRY(key, entry_key(e.event));
        own_key.emplace(std::move(key));
      }
      if (device_id(own_key->bytes()) != e.signer) return fail(IdentityErrorKind::UnknownSigner);
      return &*own_key;
    }
    case EventKind::Recover:
      if (recovery_id != e.signer) return fail(IdentityErrorKind::UnknownSigner);
      return &recovery;
  }
  VESK_FAULT("identity event kind out of range");
}

// What a verified entry changes in the active device set. A Create's key is `own_key`.
IdentityResult<void> apply_event(const IdentityEntry& e, std::optional<sign::DecodedVerifyingKey>& own_key,
                                 IdentityState& state) {
  const IdentityEvent& ev = e.event;
  switch (ev.kind) {
    case EventKind::Create:
      insert_device(state, e, std::move(*own_key));
      return {};
    case EventKind::Add: {
      VESK_TRY(key, entry_key(ev));
      if (state.contains(device_id(key.bytes()))) {
        IdentityError err = checking_error(IdentityErrorKind::DeviceAlreadyActive);
        err.seq = e.seq;
        return unexpected(err);
      }
      insert_device(state, e, std::move(key));
      return {};
    }
    case EventKind::Revoke: {
      auto it = state.find(ev.device);
      if (it == state.end()) return fail(IdentityErrorKind::UnknownDevice);
      if (state.size() == 1) return fail(IdentityErrorKind::LastDevice);
      state.erase(it);  // the signer may revoke itself
      return {};
    }
    case EventKind::Recover: {
      VESK_TRY(key, entry_key(ev));
      state.clear();
      insert_device(state, e, std::move(key));
      return {};
    }
  }
  VESK_FAULT("identity event kind out of range");
}

// One entry after the entry whose link is `prev`: its label, link and signature length, the key
// allowed to sign it and its signature, then its event.
IdentityResult<void> apply_entry(const IdentityEntry& e, const crypto::Digest32& prev,
                                 const sign::DecodedVerifyingKey& recovery, const DeviceId& recovery_id,
                                 std::optional<sign::DecodedVerifyingKey>& founder, IdentityState& state) {
  if (e.event.kind != EventKind::Revoke && e.event.label.size() > kMaxLabel) return fail(IdentityErrorKind::LabelTooLong);

  const std::vector<std::uint8_t> body = entry_body(e, prev);
  if (link_hash(body, e.signature) != e.link) return fail(IdentityErrorKind::LinkMismatch);
  if (e.signature.size() != sign::kSignatureLen) return fail(IdentityErrorKind::BadSignature);

  std::optional<sign::DecodedVerifyingKey> own_key;  // a Create signs itself
  VESK_TRY(signer_key, signer_of(e, recovery, recovery_id, founder, own_key, state));
  if (!sign::hybrid_verify(*signer_key, as_bytes(kEntryContext), body, e.signature))
    return fail(IdentityErrorKind::BadSignature);
  return apply_event(e, own_key, state);
}

}  // namespace

IdentityResult<IdentityState> replay(const IdentityLog& log, const sign::DecodedVerifyingKey& recovery_key,
                                     std::optional<sign::DecodedVerifyingKey> founder) {
  const std::vector<IdentityEntry>& entries = log.entries;
  if (entries.empty()) return fail(IdentityErrorKind::EmptyLog);
  if (entries.size() > kMaxEntries) {
    IdentityError err = checking_error(IdentityErrorKind::TooManyEntries);
    err.count = entries.size();
    return unexpected(err);
  }
  if (entries[0].event.kind != EventKind::Create) return unexpected_event(kAnotherEvent);

  const DeviceId recovery_id = device_id(recovery_key.bytes());
  IdentityState state;
  crypto::Digest32 prev{};
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const IdentityEntry& e = entries[i];
    if (e.seq != i) {
      IdentityError err = checking_error(IdentityErrorKind::SequenceMismatch);
      err.position = i;
      err.seq = e.seq;
      return unexpected(err);
    }
    VESK_TRY_VOID(apply_entry(e, prev, recovery_key, recovery_id, founder, state));
    prev = e.link;
  }
  return state;
}

IdentityResult<PinnedVerification> verify_pinned(Bytes log_bytes, Bytes binding_bytes, Bytes pin) {
  VESK_TRY(binding, decode_recovery_binding(binding_bytes));
  VESK_TRY(log, decode_identity_log(log_bytes));
  if (!equal_bytes(pin, view_of(binding.identity))) return fail(IdentityErrorKind::PinMismatch);
  if (log.entries.empty()) return fail(IdentityErrorKind::EmptyLog);
  const IdentityEntry& first = log.entries[0];
  if (first.event.kind != EventKind::Create) return unexpected_event(kAnotherEvent);
  auto founder = sign::decode_verifying_key(first.event.key);
  if (!founder) return fail(IdentityErrorKind::BindingInvalid);
  // The stored link is compared here; replay then checks that it is the true link hash.
  if (first.link != binding.identity) return fail(IdentityErrorKind::PinMismatch);
  auto message = recovery_binding_message(binding.identity, binding.recovery_key.bytes());
  if (!sign::hybrid_verify(*founder, as_bytes(kRecoveryBindingContext), message, binding.signature))
    return fail(IdentityErrorKind::BindingInvalid);
  VESK_TRY(state, replay(log, binding.recovery_key, std::move(founder)));
  return PinnedVerification{std::move(log), std::move(binding.recovery_key), std::move(state)};
}

}  // namespace vesk::identity
