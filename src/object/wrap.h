// Per-recipient wrapping of the content key (CEK) with single-shot HPKE over X-Wing, and the
// trial that finds one's own recipient entry when decrypting.
#pragma once

#include <array>
#include <vector>

#include "core/bytes.h"
#include "core/crypto/hpke.h"
#include "core/crypto/xwing.h"
#include "core/expected.h"
#include "core/secret.h"
#include "format/container.h"
#include "format/container_keys.h"
#include "object/object_error.h"

namespace vesk::object {

using Cek = SecretArray<format::kCekLen>;

// The recipient public keys of one encryption, `keys` holding them back to back, each checked in
// list order (its ML-KEM-768 part passes the modulus check, its X25519 part is not degenerate)
// before anything random is drawn.
Expected<std::vector<crypto::XWingRecipient>, ObjectError> usable_recipients(Bytes keys);

struct WrappedCek {
  crypto::XWingCiphertext encapsulation;
  std::array<std::uint8_t, format::kWrappedCekLen> wrapped_cek;
};

// Seals one CEK to the recipients of one container. The HPKE info holds the object id, so its part
// of the key schedule is computed once for all of them.
class CekWrapper {
 public:
  CekWrapper(Bytes cek, Bytes object_id);
  // The encapsulation randomness comes from a generator seeded with 32 fresh bytes from the
  // system source for this recipient alone.
  Expected<WrappedCek, ObjectError> wrap(const crypto::XWingRecipient& recipient) const;

 private:
  Bytes cek_;
  Bytes object_id_;
  crypto::HpkeKeySchedule schedule_;
};

// Tries the type-1 entries in order and returns the first CEK whose header-MAC key authenticates
// prelude || body against `mac` (compared in constant time); NoMatchingRecipient otherwise.
Expected<Cek, ObjectError> find_cek(const crypto::XWingSecretKey& key, const format::ContainerHeader& header,
                                    Bytes prelude, Bytes body, Bytes mac);

}  // namespace vesk::object
