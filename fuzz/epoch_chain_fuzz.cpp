// Decodes arbitrary bytes as an epoch chain and checks it, and as an epoch binding and a recovery
// binding. Checks that the exports agree with the family operations and that accepted chains keep
// their guarantees. Any disagreement traps.
#include <cstddef>
#include <cstdint>

#include "identity/epoch_binding.h"
#include "identity/epoch_chain.h"
#include "identity/recovery_binding.h"
#include "vesk.h"

namespace {

using namespace vesk;
using namespace vesk::identity;

void require(bool condition) {
  if (!condition) __builtin_trap();
}

void fuzz_chain(Bytes input) {
  std::uint64_t exported = 0;
  VeskStatus status = vesk_epoch_verify(input.data(), input.size(), &exported);
  auto chain = decode_epoch_chain(input);
  if (!chain) {
    require(chain.error().stage == ErrorStage::Decoding && status == VESK_MALFORMED_INPUT);
    return;
  }
  require(chain->records.size() <= kMaxEpochs);
  for (const EpochRecord& r : chain->records) require(r.hash.size() == crypto::kDigest32Len);
  auto checked = check_epoch_chain(*chain);
  if (!checked) {
    require(checked.error().stage == ErrorStage::Checking && status == VESK_AUTHENTICATION_FAILED);
    return;
  }
  require(status == VESK_OK && exported == chain->records.size());
  crypto::Digest32 prev{};
  for (std::size_t i = 0; i < chain->records.size(); ++i) {
    const EpochRecord& r = chain->records[i];
    require(r.number == i && r.public_key.size() == kEpochKeyLen && epoch_record_hash(prev, i, r.public_key) == r.hash);
    prev = r.hash;
  }
  // The last index gives the last key; one past it is refused.
  std::uint64_t n = chain->records.size();
  VeskBuffer key = vesk_buffer_empty();
  require(vesk_epoch_public_key(input.data(), input.size(), n, &key) == VESK_INVALID_ARGUMENT);
  if (n > 0) {
    require(vesk_epoch_public_key(input.data(), input.size(), n - 1, &key) == VESK_OK);
    require(equal_bytes({key.data, key.len}, chain->records.back().public_key));
    vesk_buffer_free(&key);
  }
}

void fuzz_epoch_binding(Bytes input) {
  auto b = decode_epoch_binding(input);
  require(b.has_value() == (input.size() == kEpochBindingLen));
  if (b) require(equal_bytes(epoch_binding_message(*b), input.first(kEpochBindingSignedLen)));
}

void fuzz_recovery_binding(Bytes input) {
  auto b = decode_recovery_binding(input);
  if (input.size() != kRecoveryBindingLen) require(!b.has_value());
  if (!b) return;
  require(equal_bytes(view_of(b->identity), input.first(crypto::kDigest32Len)));
  require(equal_bytes(b->recovery_key.bytes(), input.subspan(crypto::kDigest32Len, sign::kVerifyingKeyLen)));
  require(equal_bytes(b->signature, input.subspan(crypto::kDigest32Len + sign::kVerifyingKeyLen)));
}

}  // namespace

// The first byte picks the decoder; the rest is its input.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (size > VESK_MAX_LOG + 1) return 0;  // the exports refuse it before any work
  const Bytes input(data + 1, size - 1);
  switch (data[0] % 4) {
    case 0:
    case 1:
      fuzz_chain(input);
      break;
    case 2:
      fuzz_epoch_binding(input);
      break;
    case 3:
      fuzz_recovery_binding(input);
      break;
  }
  return 0;
}
