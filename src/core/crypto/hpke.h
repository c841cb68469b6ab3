// HPKE (RFC 9180) in base mode for the library's one suite: the X-Wing KEM (0x647A), HKDF-SHA-256
// (0x0001) and ChaCha20-Poly1305 (0x0003). One message per context (sequence number 0). The key
// schedule takes the KEM identifier as a parameter only so that it can be pinned with published
// vectors of another KEM; the KDF and AEAD are fixed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/bytes.h"
#include "core/crypto/aead.h"
#include "core/crypto/xwing.h"
#include "core/secret.h"

namespace vesk::crypto {

inline constexpr std::uint16_t kHpkeKemXWing = 0x647A;

// "HPKE" || kem_id || kdf_id || aead_id, each identifier 16-bit big-endian.
using HpkeSuiteId = std::array<std::uint8_t, 10>;
HpkeSuiteId hpke_suite_id(std::uint16_t kem_id);

// LabeledExtract(salt, label, ikm) = HKDF-Extract(salt, "HPKE-v1" || suite_id || label || ikm).
Key32 hpke_labeled_extract(const HpkeSuiteId& suite, Bytes salt, std::string_view label, Bytes ikm);
// LabeledExpand(prk, label, info, L) = HKDF-Expand(prk, I2OSP(L, 2) || "HPKE-v1" || suite_id ||
// label || info, L), with L = |out|.
void hpke_labeled_expand(const HpkeSuiteId& suite, Bytes prk, std::string_view label, Bytes info, MutBytes out);

class HpkeContext;

// The part of the base-mode key schedule that depends on the info alone: key_schedule_context =
// mode || psk_id_hash || info_hash. Contexts that share an info (the entries of one container)
// compute it once.
class HpkeKeySchedule {
 public:
  HpkeKeySchedule(std::uint16_t kem_id, Bytes info);
  // KeySchedule(mode_base, shared_secret, info, psk = "", psk_id = "").
  HpkeContext context(Bytes shared_secret) const;

 private:
  HpkeSuiteId suite_;
  std::array<std::uint8_t, 1 + 32 + 32> context_;
};

// The outputs of the base-mode key schedule that single-shot use needs (the exporter secret is not
// derived). Everything it holds is wiped when it goes away.
class HpkeContext {
 public:
  Bytes key() const { return key_.view(); }
  Bytes base_nonce() const { return base_nonce_.view(); }

  // The single Seal / Open of the context, at sequence number 0. `out` is |plaintext| + 16 bytes
  // for seal and |ciphertext| - 16 for open; open fails on a bad tag.
  bool seal(Bytes aad, Bytes plaintext, MutBytes out) const;
  bool open(Bytes aad, Bytes ciphertext, MutBytes out) const;

 private:
  friend class HpkeKeySchedule;
  HpkeContext() = default;
  // The suite's AEAD is the library's ChaCha20-Poly1305, so its key and nonce sizes are those.
  SecretArray<kAeadKeyLen> key_;
  SecretArray<kAeadNonceLen> base_nonce_;
};

// SetupBaseS with the X-Wing encapsulation seeded by `eseed` (64 bytes) and the info's part of the
// key schedule computed beforehand, then Seal(aad, plaintext) into `out` (|plaintext| + 16 bytes).
// Returns the encapsulation; nullopt if a primitive refuses.
std::optional<XWingCiphertext> hpke_seal_base(const XWingRecipient& recipient, Bytes eseed,
                                              const HpkeKeySchedule& schedule, Bytes aad, Bytes plaintext,
                                              MutBytes out);
// SetupBaseR(enc, key, info) with the info's part of the key schedule computed beforehand, then
// Open(aad, ciphertext) into `out` (|ciphertext| - 16 bytes). False when the encapsulation does not
// decapsulate or the tag fails.
bool hpke_open_base(const XWingSecretKey& key, Bytes enc, const HpkeKeySchedule& schedule, Bytes aad,
                    Bytes ciphertext, MutBytes out);

}  // namespace vesk::crypto
