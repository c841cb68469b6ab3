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

// `founder` is the Create's key when the caller has decoded it already (it is taken then).
IdentityResult<void> apply_entry(const IdentityEntry& e, const crypto::Digest32& prev,
                                 const sign::DecodedVerifyingKey& recovery, const DeviceId& recovery_id,
                                 std::optional<sign::DecodedVerifyingKey>& founder, IdentityState& state) {
  const IdentityEvent& ev = e.event;
  if (ev.kind != EventKind::Revoke && ev.label.size() > kMaxLabel) return fail(IdentityErrorKind::LabelTooLong);

  std::vector<std::uint8_t> body = entry_body(e, prev);
  if (link_hash(body, e.signature) != e.link) return fail(IdentityErrorKind::LinkMismatch);
  if (e.signature.size() != sign::kSignatureLen) return fail(IdentityErrorKind::BadSignature);

  // The key allowed to sign this entry.
  const sign::DecodedVerifyingKey* signer_key = nullptr;
  std::optional<sign::DecodedVerifyingKey> own_key;  // a Create signs itself
  switch (ev.kind) {
    case EventKind::Add:
    case EventKind::Revoke: {
      auto it = state.find(e.signer);
      if (it == state.end()) return fail(IdentityErrorKind::UnknownSigner);
      signer_key = &it->second.key;
      break;
    }
    case EventKind::Create: {
      if (e.seq != 0) return unexpected_event(kLaterCreate);
      if (founder) {
        own_key.emplace(std::move(*founder));
        founder.reset();
      } else {
        VESK_TRY(key, entry_key(ev));
        own_key.emplace(std::move(key));
      }
      if (device_id(own_key->bytes()) != e.signer) return fail(IdentityErrorKind::UnknownSigner);
      signer_key = &*own_key;
      break;
    }
    case EventKind::Recover:
      if (recovery_id != e.signer) return fail(IdentityErrorKind::UnknownSigner);
      signer_key = &recovery;
      break;
  }
  VESK_CHECK(signer_key != nullptr, "identity event kind out of range");
  if (!sign::hybrid_verify(*signer_key, as_bytes(kEntryContext), body, e.signature))
    return fail(IdentityErrorKind::BadSignature);

  switch (ev.kind) {
    case EventKind::Create:
      insert_device(state, e, std::move(*own_key));
      break;
    case EventKind::Add: {
      VESK_TRY(key, entry_key(ev));
      if (state.contains(device_id(key.bytes()))) {
        IdentityError err = checking_error(IdentityErrorKind::DeviceAlreadyActive);
        err.seq = e.seq;
        return unexpected(err);
      }
      insert_device(state, e, std::move(key));
      break;
    }
    case EventKind::Revoke: {
      auto it = state.find(ev.device);
      if (it == state.end()) return fail(IdentityErrorKind::UnknownDevice);
      if (state.size() == 1) return fail(IdentityErrorKind::LastDevice);
      state.erase(it);  // the signer may revoke itself
      break;
    }
    case EventKind::Recover: {
      VESK_TRY(key, entry_key(ev));
      state.clear();
      insert_device(state, e, std::move(key));
      break;
    }
  }
  return {};
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
