#include "identity/queries.h"

#include "identity/epoch_binding.h"
#include "sign/hybrid.h"

namespace vesk::identity {
namespace {

IdentityResult<VerifiedIdentity> decode_and_replay(Bytes log_bytes, const sign::DecodedVerifyingKey& recovery_key) {
  VESK_TRY(log, decode_identity_log(log_bytes));
  VESK_TRY(state, replay(log, recovery_key));
  return VerifiedIdentity{std::move(log), std::move(state)};
}

Unexpected<IdentityError> undecodable_key() { return unexpected(checking_error(IdentityErrorKind::UndecodableKey)); }

}  // namespace

IdentityResult<VerifiedIdentity> verify_identity(Bytes log, Bytes recovery_key) {
  auto key = sign::decode_verifying_key(recovery_key);
  if (!key) return undecodable_key();
  return decode_and_replay(log, *key);
}

IdentityResult<bool> trusts_device(Bytes log, Bytes recovery_key, Bytes device_key) {
  auto recovery = sign::decode_verifying_key(recovery_key);
  auto device = sign::decode_verifying_key(device_key);
  if (!recovery || !device) return undecodable_key();
  VESK_TRY(verified, decode_and_replay(log, *recovery));
  return verified.state.contains(device_id(device->bytes()));
}

EpochResult<EpochChain> verified_epoch_chain(Bytes chain_bytes) {
  VESK_TRY(chain, decode_epoch_chain(chain_bytes));
  VESK_TRY_VOID(check_epoch_chain(chain));
  return chain;
}

EpochResult<std::vector<std::uint8_t>> epoch_public_key(Bytes chain_bytes, std::uint64_t index) {
  VESK_TRY(chain, verified_epoch_chain(chain_bytes));
  if (index >= chain.records.size()) {
    EpochChainError err{EpochChainErrorKind::NoSuchEpoch};
    err.count = chain.records.size();
    return unexpected(err);
  }
  return std::move(chain.records[index].public_key);
}

Expected<std::uint64_t, BoundEpochError> verify_bound_epochs(Bytes log, Bytes recovery_binding, Bytes pin,
                                                             Bytes chain_bytes, Bytes epoch_binding) {
  VESK_TRY(identity, verify_pinned(log, recovery_binding, pin));
  VESK_TRY(chain, decode_epoch_chain(chain_bytes));
  VESK_TRY(binding, decode_epoch_binding(epoch_binding));
  VESK_TRY_VOID(check_epoch_binding(identity, chain, binding));
  return chain.records.size();
}

}  // namespace vesk::identity
