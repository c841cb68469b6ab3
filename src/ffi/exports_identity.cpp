// The identity queries and the epoch-key exports.
#include "ffi/args.h"
#include "ffi/deliver.h"
#include "ffi/guard.h"
#include "ffi/results.h"
#include "ffi/status_identity.h"
#include "identity/queries.h"
#include "vesk.h"

using namespace vesk;

namespace {

bool log_ok(const std::uint8_t* log, std::size_t len) { return ffi::range_ok(log, len, VESK_MAX_LOG); }
bool key_ok(const std::uint8_t* key, std::size_t len) { return ffi::range_ok(key, len, VESK_MAX_KEY_DATA); }
bool pinned_args_ok(const std::uint8_t* log, std::size_t log_len, const std::uint8_t* binding, std::size_t binding_len,
                    const std::uint8_t* pin, std::size_t pin_len) {
  return log_ok(log, log_len) && ffi::range_ok(binding, binding_len, VESK_RECOVERY_BINDING_LEN) &&
         ffi::exact_ok(pin, pin_len, VESK_HASH_LEN);
}

// The two exports that verify a log under its recovery key: the same arguments and the same
// verification, then `answer` writes what the export gives from the verified identity.
template <class Out, class Answer>
VeskStatus with_verified_identity(const uint8_t* log, size_t log_len, const uint8_t* recovery_key,
                                  size_t recovery_key_len, Out* out, Answer&& answer) {
  if (!ffi::present(out) || !log_ok(log, log_len) || !key_ok(recovery_key, recovery_key_len))
    return VESK_INVALID_ARGUMENT;
  return ffi::guarded([&]() -> VeskStatus {
    const ffi::InputCopy log_copy(log, log_len), key(recovery_key, recovery_key_len);
    auto r = identity::verify_identity(log_copy.view(), key.view());
    if (!r) return ffi::status_of(r.error());
    answer(*r, out);
    return VESK_OK;
  });
}

}  // namespace

extern "C" {

VESK_EXPORT VeskStatus vesk_identity_head(const uint8_t* log, size_t log_len, const uint8_t* recovery_key,
                                          size_t recovery_key_len, VeskBuffer* head_out) {
  return with_verified_identity(log, log_len, recovery_key, recovery_key_len, head_out,
                                [](const identity::VerifiedIdentity& v, VeskBuffer* out) {
                                  ffi::put_bytes(out, identity::view_of(v.log.entries.back().link));
                                });
}

VESK_EXPORT VeskStatus vesk_identity_verify(const uint8_t* log, size_t log_len, const uint8_t* recovery_key,
                                            size_t recovery_key_len, uint64_t* active_devices_out) {
  return with_verified_identity(log, log_len, recovery_key, recovery_key_len, active_devices_out,
                                [](const identity::VerifiedIdentity& v, uint64_t* out) { *out = v.state.size(); });
}

VESK_EXPORT VeskStatus vesk_identity_verify_pinned(const uint8_t* log, size_t log_len, const uint8_t* recovery_binding,
                                                   size_t recovery_binding_len, const uint8_t* pin, size_t pin_len,
                                                   uint64_t* active_devices_out) {
  if (!ffi::present(active_devices_out) ||
      !pinned_args_ok(log, log_len, recovery_binding, recovery_binding_len, pin, pin_len))
    return VESK_INVALID_ARGUMENT;
  return ffi::guarded([&]() -> VeskStatus {
    const ffi::InputCopy log_copy(log, log_len), binding(recovery_binding, recovery_binding_len), pin_copy(pin, pin_len);
    auto r = identity::verify_pinned(log_copy.view(), binding.view(), pin_copy.view());
    if (!r) return ffi::status_of(r.error());
    *active_devices_out = r->state.size();
    return VESK_OK;
  });
}

VESK_EXPORT VeskStatus vesk_identity_trusts_device(const uint8_t* log, size_t log_len, const uint8_t* recovery_key,
                                                   size_t recovery_key_len, const uint8_t* device_key,
                                                   size_t device_key_len, int32_t* trusted_out) {
  if (!ffi::present(trusted_out) || !log_ok(log, log_len) || !key_ok(recovery_key, recovery_key_len) ||
      !key_ok(device_key, device_key_len))
    return VESK_INVALID_ARGUMENT;
  return ffi::guarded([&]() -> VeskStatus {
    const ffi::InputCopy log_copy(log, log_len), key(recovery_key, recovery_key_len), device(device_key, device_key_len);
    auto trusted = identity::trusts_device(log_copy.view(), key.view(), device.view());
    if (!trusted) return ffi::status_of(trusted.error());
    *trusted_out = *trusted ? 1 : 0;
    return VESK_OK;
  });
}

VESK_EXPORT VeskStatus vesk_epoch_public_key(const uint8_t* chain, size_t chain_len, uint64_t epoch_index,
                                             VeskBuffer* out) {
  if (!ffi::present(out) || !log_ok(chain, chain_len)) return VESK_INVALID_ARGUMENT;
  return ffi::guarded([&]() -> VeskStatus {
    const ffi::InputCopy chain_copy(chain, chain_len);
    return ffi::deliver(out, identity::epoch_public_key(chain_copy.view(), epoch_index));
  });
}

VESK_EXPORT VeskStatus vesk_epoch_verify(const uint8_t* chain, size_t chain_len, uint64_t* epoch_count_out) {
  if (!ffi::present(epoch_count_out) || !log_ok(chain, chain_len)) return VESK_INVALID_ARGUMENT;
  return ffi::guarded([&]() -> VeskStatus {
    const ffi::InputCopy chain_copy(chain, chain_len);
    auto c = identity::verified_epoch_chain(chain_copy.view());
    if (!c) return ffi::status_of(c.error());
    *epoch_count_out = c->records.size();
    return VESK_OK;
  });
}

VESK_EXPORT VeskStatus vesk_epoch_verify_bound(const uint8_t* log, size_t log_len, const uint8_t* recovery_binding,
                                               size_t recovery_binding_len, const uint8_t* pin, size_t pin_len,
                                               const uint8_t* chain, size_t chain_len, const uint8_t* epoch_binding,
                                               size_t epoch_binding_len, uint64_t* epoch_count_out) {
  if (!ffi::present(epoch_count_out) || !ffi::range_ok(epoch_binding, epoch_binding_len, VESK_EPOCH_BINDING_LEN) ||
      !log_ok(chain, chain_len) ||
      !pinned_args_ok(log, log_len, recovery_binding, recovery_binding_len, pin, pin_len))
    return VESK_INVALID_ARGUMENT;
  return ffi::guarded([&]() -> VeskStatus {
    const ffi::InputCopy log_copy(log, log_len), binding(recovery_binding, recovery_binding_len), pin_copy(pin, pin_len),
        chain_copy(chain, chain_len), epoch_binding_copy(epoch_binding, epoch_binding_len);
    auto count = identity::verify_bound_epochs(log_copy.view(), binding.view(), pin_copy.view(), chain_copy.view(),
                                               epoch_binding_copy.view());
    if (!count) return ffi::status_of(count.error());
    *epoch_count_out = *count;
    return VESK_OK;
  });
}

}  // extern "C"
