#include "core/crypto/hpke.h"

#include <cstring>

#include "core/check.h"
#include "core/crypto/aead.h"
#include "core/crypto/hmac.h"

namespace vesk::crypto {
namespace {

constexpr std::string_view kVersionLabel = "HPKE-v1";
constexpr std::uint16_t kKdfHkdfSha256 = 0x0001;
constexpr std::uint16_t kAeadChaCha20Poly1305 = 0x0003;
constexpr std::uint8_t kModeBase = 0x00;

}  // namespace

HpkeSuiteId hpke_suite_id(std::uint16_t kem_id) {
  HpkeSuiteId id = {'H', 'P', 'K', 'E'};
  store_be16(id.data() + 4, kem_id);
  store_be16(id.data() + 6, kKdfHkdfSha256);
  store_be16(id.data() + 8, kAeadChaCha20Poly1305);
  return id;
}

Key32 hpke_labeled_extract(const HpkeSuiteId& suite, Bytes salt, std::string_view label, Bytes ikm) {
  // HKDF-Extract takes its input keying material in one piece; it may hold the KEM shared secret.
  SecureVector labeled;
  labeled.reserve(kVersionLabel.size() + suite.size() + label.size() + ikm.size());
  for (Bytes part : {as_bytes(kVersionLabel), Bytes(suite), as_bytes(label), ikm})
    labeled.insert(labeled.end(), part.begin(), part.end());
  return hkdf_extract(salt, Bytes(labeled.data(), labeled.size()));
}

void hpke_labeled_expand(const HpkeSuiteId& suite, Bytes prk, std::string_view label, Bytes info, MutBytes out) {
  VESK_CHECK(out.size() <= 0xffff, "HPKE expand length");
  std::uint8_t length[2];
  store_be16(length, static_cast<std::uint16_t>(out.size()));
  hkdf_expand(prk, {Bytes(length), as_bytes(kVersionLabel), Bytes(suite), as_bytes(label), info}, out);
}

HpkeKeySchedule::HpkeKeySchedule(std::uint16_t kem_id, Bytes info) : suite_(hpke_suite_id(kem_id)) {
  // The PSK inputs are empty in base mode.
  context_[0] = kModeBase;
  const Key32 psk_id_hash = hpke_labeled_extract(suite_, {}, "psk_id_hash", {});
  const Key32 info_hash = hpke_labeled_extract(suite_, {}, "info_hash", info);
  std::memcpy(context_.data() + 1, psk_id_hash.data(), 32);
  std::memcpy(context_.data() + 33, info_hash.data(), 32);
}

HpkeContext HpkeKeySchedule::context(Bytes shared_secret) const {
  const Key32 secret = hpke_labeled_extract(suite_, shared_secret, "secret", {});
  HpkeContext ctx;
  hpke_labeled_expand(suite_, secret.view(), "key", context_, ctx.key_.span());
  hpke_labeled_expand(suite_, secret.view(), "base_nonce", context_, ctx.base_nonce_.span());
  return ctx;
}

bool HpkeContext::seal(Bytes aad, Bytes plaintext, MutBytes out) const {
  return aead_seal(key(), base_nonce(), aad, plaintext, out);
}

bool HpkeContext::open(Bytes aad, Bytes ciphertext, MutBytes out) const {
  return aead_open(key(), base_nonce(), aad, ciphertext, out);
}

std::optional<XWingCiphertext> hpke_seal_base(const XWingRecipient& recipient, Bytes eseed,
                                              const HpkeKeySchedule& schedule, Bytes aad, Bytes plaintext,
                                              MutBytes out) {
  auto encapsulation = recipient.encapsulate(eseed);
  if (!encapsulation) return std::nullopt;
  const HpkeContext ctx = schedule.context(encapsulation->second.view());
  if (!ctx.seal(aad, plaintext, out)) return std::nullopt;
  return encapsulation->first;
}

bool hpke_open_base(const XWingSecretKey& key, Bytes enc, const HpkeKeySchedule& schedule, Bytes aad,
                    Bytes ciphertext, MutBytes out) {
  auto shared = key.decapsulate(enc);
  if (!shared) return false;
  const HpkeContext ctx = schedule.context(shared->view());
  return ctx.open(aad, ciphertext, out);
}

}  // namespace vesk::crypto
