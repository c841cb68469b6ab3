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

SecretArray<32> hpke_labeled_extract(const HpkeSuiteId& suite, Bytes salt, std::string_view label, Bytes ikm) {
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

HpkeContext HpkeContext::base(std::uint16_t kem_id, Bytes shared_secret, Bytes info) {
  const HpkeSuiteId suite = hpke_suite_id(kem_id);
  // key_schedule_context = mode || psk_id_hash || info_hash; the PSK inputs are empty in base mode.
  std::uint8_t context[1 + 32 + 32];
  context[0] = kModeBase;
  SecretArray<32> psk_id_hash = hpke_labeled_extract(suite, {}, "psk_id_hash", {});
  SecretArray<32> info_hash = hpke_labeled_extract(suite, {}, "info_hash", info);
  std::memcpy(context + 1, psk_id_hash.data(), 32);
  std::memcpy(context + 33, info_hash.data(), 32);

  SecretArray<32> secret = hpke_labeled_extract(suite, shared_secret, "secret", {});
  HpkeContext ctx;
  hpke_labeled_expand(suite, secret.view(), "key", context, ctx.key_.span());
  hpke_labeled_expand(suite, secret.view(), "base_nonce", context, ctx.base_nonce_.span());
  hpke_labeled_expand(suite, secret.view(), "exp", context, ctx.exporter_secret_.span());
  return ctx;
}

std::array<std::uint8_t, kHpkeNonceLen> HpkeContext::nonce(std::uint64_t seq) const {
  std::array<std::uint8_t, kHpkeNonceLen> n;
  std::memcpy(n.data(), base_nonce_.data(), kHpkeNonceLen);
  std::uint8_t s[8];
  store_be64(s, seq);
  for (int i = 0; i < 8; ++i) n[4 + i] ^= s[i];
  return n;
}

bool HpkeContext::seal(Bytes aad, Bytes plaintext, MutBytes out) const {
  return aead_seal(key(), base_nonce(), aad, plaintext, out);
}

bool HpkeContext::open(Bytes aad, Bytes ciphertext, MutBytes out) const {
  return aead_open(key(), base_nonce(), aad, ciphertext, out);
}

std::optional<XWingCiphertext> hpke_seal_base(const XWingRecipient& recipient, Bytes eseed, Bytes info, Bytes aad,
                                              Bytes plaintext, MutBytes out) {
  auto encapsulation = recipient.encapsulate(eseed);
  if (!encapsulation) return std::nullopt;
  const HpkeContext ctx = HpkeContext::base(kHpkeKemXWing, encapsulation->second.view(), info);
  if (!ctx.seal(aad, plaintext, out)) return std::nullopt;
  return encapsulation->first;
}

bool hpke_open_base(const XWingSecretKey& key, Bytes enc, Bytes info, Bytes aad, Bytes ciphertext, MutBytes out) {
  auto shared = key.decapsulate(enc);
  if (!shared) return false;
  const HpkeContext ctx = HpkeContext::base(kHpkeKemXWing, shared->view(), info);
  return ctx.open(aad, ciphertext, out);
}

}  // namespace vesk::crypto
