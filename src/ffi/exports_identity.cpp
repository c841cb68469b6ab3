// The identity queries and the epoch-key exports.
#include <optional>

#include "core/expected.h"
#include "ffi/args.h"
#include "ffi/guard.h"
#include "ffi/results.h"
#include "ffi/status_identity.h"
#include "identity/epoch_binding.h"
#include "identity/epoch_chain.h"
#include "identity/log.h"
#include "identity/replay.h"
#include "sign/hybrid.h"
#include "vesk.h"

using namespace vesk;

namespace {

using ffi::Status;

struct Replayed {
  identity::IdentityLog log;
  identity::IdentityState state;
};

// Log decoding (6) before replay (4); the caller has already decoded the keys (3).
Expected<Replayed, Status> decode_and_replay(Bytes log_bytes, const sign::DecodedVerifyingKey& recovery_key) {
  auto log = identity::decode_identity_log(log_bytes);
  if (!log) return unexpected(ffi::identity_status(log.error()));
  auto state = identity::replay(*log, recovery_key);
  if (!state) return unexpected(ffi::identity_status(state.error()));
  return Replayed{std::move(*log), std::move(*state)};
}

// Recovery key (3), then the log (6), then replay (4).
Expected<Replayed, Status> query(Bytes log_bytes, Bytes recovery_key_bytes) {
  auto recovery_key = sign::decode_verifying_key(recovery_key_bytes);
  if (!recovery_key) return unexpected(Status::NotKeyFile);
  return decode_and_replay(log_bytes, *recovery_key);
}

// A chain that decodes (6) and checks (4).
Expected<identity::EpochChain, Status> checked_chain(Bytes chain_bytes) {
  auto chain = identity::decode_epoch_chain(chain_bytes);
  if (!chain) return unexpected(ffi::epoch_status(chain.error()));
  auto checked = identity::check_epoch_chain(*chain);
  if (!checked) return unexpected(ffi::epoch_status(checked.error()));
  return std::move(*chain);
}

bool log_ok(const std::uint8_t* log, std::size_t len) { return ffi::range_ok(log, len, VESK_MAX_LOG); }
bool key_ok(const std::uint8_t* key, std::size_t len) { return ffi::range_ok(key, len, VESK_MAX_KEY_DATA); }
bool pinned_args_ok(const std::uint8_t* log, std::size_t log_len, const std::uint8_t* binding, std::size_t binding_len,
                    const std::uint8_t* pin, std::size_t pin_len) {
  return log_ok(log, log_len) && ffi::range_ok(binding, binding_len, VESK_RECOVERY_BINDING_LEN) &&
         ffi::exact_ok(pin, pin_len, VESK_HASH_LEN);
}

}  // namespace

extern "C" {

VESK_EXPORT VeskStatus vesk_identity_head(const uint8_t* log, size_t log_len, const uint8_t* recovery_key,
                                          size_t recovery_key_len, VeskBuffer* head_out) {
  if (head_out == nullptr || !log_ok(log, log_len) || !key_ok(recovery_key, recovery_key_len))
    return ffi::code(Status::InvalidArgument);
  return ffi::guarded([&]() -> Status {
    auto r = query(ffi::range(log, log_len), ffi::range(recovery_key, recovery_key_len));
    if (!r) return r.error();
    ffi::put_bytes(head_out, identity::view_of(r->log.entries.back().link));
    return Status::Ok;
  });
}

VESK_EXPORT VeskStatus vesk_identity_verify(const uint8_t* log, size_t log_len, const uint8_t* recovery_key,
                                            size_t recovery_key_len, uint64_t* active_devices_out) {
  if (active_devices_out == nullptr || !log_ok(log, log_len) || !key_ok(recovery_key, recovery_key_len))
    return ffi::code(Status::InvalidArgument);
  return ffi::guarded([&]() -> Status {
    auto r = query(ffi::range(log, log_len), ffi::range(recovery_key, recovery_key_len));
    if (!r) return r.error();
    *active_devices_out = r->state.size();
    return Status::Ok;
  });
}

VESK_EXPORT VeskStatus vesk_identity_verify_pinned(const uint8_t* log, size_t log_len, const uint8_t* recovery_binding,
                                                   size_t recovery_binding_len, const uint8_t* pin, size_t pin_len,
                                                   uint64_t* active_devices_out) {
  if (active_devices_out == nullptr || !pinned_args_ok(log, log_len, recovery_binding, recovery_binding_len, pin, pin_len))
    return ffi::code(Status::InvalidArgument);
  return ffi::guarded([&]() -> Status {
    auto r = identity::verify_pinned(ffi::range(log, log_len), ffi::range(recovery_binding, recovery_binding_len),
                                     ffi::range(pin, pin_len));
    if (!r) return ffi::identity_status(r.error());
    *active_devices_out = r->state.size();
    return Status::Ok;
  });
}

VESK_EXPORT VeskStatus vesk_identity_trusts_device(const uint8_t* log, size_t log_len, const uint8_t* recovery_key,
                                                   size_t recovery_key_len, const uint8_t* device_key,
                                                   size_t device_key_len, int32_t* trusted_out) {
  if (trusted_out == nullptr || !log_ok(log, log_len) || !key_ok(recovery_key, recovery_key_len) ||
      !key_ok(device_key, device_key_len))
    return ffi::code(Status::InvalidArgument);
  return ffi::guarded([&]() -> Status {
    // Both keys decode before the log is looked at.
    auto recovery = sign::decode_verifying_key(ffi::range(recovery_key, recovery_key_len));
    auto device = sign::decode_verifying_key(ffi::range(device_key, device_key_len));
    if (!recovery || !device) return Status::NotKeyFile;
    auto r = decode_and_replay(ffi::range(log, log_len), *recovery);
    if (!r) return r.error();
    *trusted_out = r->state.contains(identity::device_id(device->bytes())) ? 1 : 0;
    return Status::Ok;
  });
}

VESK_EXPORT VeskStatus vesk_epoch_public_key(const uint8_t* chain, size_t chain_len, uint64_t epoch_index,
                                             VeskBuffer* out) {
  if (out == nullptr || !log_ok(chain, chain_len)) return ffi::code(Status::InvalidArgument);
  return ffi::guarded([&]() -> Status {
    auto c = checked_chain(ffi::range(chain, chain_len));
    if (!c) return c.error();
    if (epoch_index >= c->records.size()) return Status::InvalidArgument;
    ffi::put_bytes(out, c->records[epoch_index].public_key);
    return Status::Ok;
  });
}

VESK_EXPORT VeskStatus vesk_epoch_verify(const uint8_t* chain, size_t chain_len, uint64_t* epoch_count_out) {
  if (epoch_count_out == nullptr || !log_ok(chain, chain_len)) return ffi::code(Status::InvalidArgument);
  return ffi::guarded([&]() -> Status {
    auto c = checked_chain(ffi::range(chain, chain_len));
    if (!c) return c.error();
    *epoch_count_out = c->records.size();
    return Status::Ok;
  });
}

VESK_EXPORT VeskStatus vesk_epoch_verify_bound(const uint8_t* log, size_t log_len, const uint8_t* recovery_binding,
                                               size_t recovery_binding_len, const uint8_t* pin, size_t pin_len,
                                               const uint8_t* chain, size_t chain_len, const uint8_t* epoch_binding,
                                               size_t epoch_binding_len, uint64_t* epoch_count_out) {
  if (epoch_count_out == nullptr || !ffi::range_ok(epoch_binding, epoch_binding_len, VESK_EPOCH_BINDING_LEN) ||
      !log_ok(chain, chain_len) ||
      !pinned_args_ok(log, log_len, recovery_binding, recovery_binding_len, pin, pin_len))
    return ffi::code(Status::InvalidArgument);
  return ffi::guarded([&]() -> Status {
    // The identity first; only then are the chain and the epoch binding decoded.
    auto id = identity::verify_pinned(ffi::range(log, log_len), ffi::range(recovery_binding, recovery_binding_len),
                                      ffi::range(pin, pin_len));
    if (!id) return ffi::identity_status(id.error());
    auto c = identity::decode_epoch_chain(ffi::range(chain, chain_len));
    if (!c) return ffi::epoch_status(c.error());
    auto binding = identity::decode_epoch_binding(ffi::range(epoch_binding, epoch_binding_len));
    if (!binding) return ffi::identity_status(binding.error());
    auto checked = identity::check_epoch_binding(*id, *c, *binding);
    if (!checked) return ffi::identity_status(checked.error());
    *epoch_count_out = c->records.size();
    return Status::Ok;
  });
}

}  // extern "C"
