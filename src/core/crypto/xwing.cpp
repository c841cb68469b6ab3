#include "core/crypto/xwing.h"

#include <cstring>

#include "core/check.h"
#include "core/crypto/hash.h"
#include "core/crypto/x25519.h"

namespace vesk::crypto {
namespace {

// The combiner's label, "\.//^\".
constexpr std::uint8_t kLabel[6] = {0x5c, 0x2e, 0x2f, 0x2f, 0x5e, 0x5c};

Key32 combine(Bytes ss_m, Bytes ss_x, Bytes ct_x, Bytes pk_x) {
  Digest32 d = sha3_256({ss_m, ss_x, ct_x, pk_x, Bytes(kLabel)});
  Key32 out(Bytes(d.data(), d.size()));
  wipe(d.data(), d.size());
  return out;
}

}  // namespace

XWingSecretKey XWingSecretKey::from_seed(XWingSeed seed) {
  auto key = try_from_seed(seed);
  VESK_CHECK(key.has_value(), "X-Wing key derivation failed");
  return std::move(*key);
}

std::optional<XWingSecretKey> XWingSecretKey::try_from_seed(XWingSeed seed) {
  SecretArray<96> expanded;
  shake256({seed}, expanded.span());
  auto mlkem = MlKemKey::try_from_seed(expanded.view().first(64));
  if (!mlkem) return std::nullopt;
  XWingSecretKey key(std::move(*mlkem), X25519Key::from_secret(expanded.view().subspan(64)));
  key.mlkem_.public_key(MutBytes(key.public_key_.data(), kMlKemPublicLen));
  const X25519Public& pk_x = key.x_key_.public_key();
  std::memcpy(key.public_key_.data() + kMlKemPublicLen, pk_x.data(), pk_x.size());
  return key;
}

std::optional<Key32> XWingSecretKey::decapsulate(Bytes ct) const {
  if (ct.size() != kXWingCiphertextLen) return std::nullopt;
  auto ss_m = mlkem_.decapsulate(ct.first(kMlKemCiphertextLen));
  if (!ss_m) return std::nullopt;
  Bytes ct_x = ct.subspan(kMlKemCiphertextLen);
  auto ss_x = x_key_.exchange(ct_x);
  if (!ss_x) return std::nullopt;
  return combine(ss_m->view(), ss_x->view(), ct_x, Bytes(public_key_).subspan(kMlKemPublicLen));
}

XWingRecipient::XWingRecipient(PkeyPtr mlkem, Bytes public_key) : mlkem_(std::move(mlkem)) {
  std::memcpy(public_key_.data(), public_key.data(), kXWingPublicLen);
}

std::optional<XWingRecipient> XWingRecipient::validate(Bytes public_key) {
  if (public_key.size() != kXWingPublicLen) return std::nullopt;
  auto mlkem = mlkem_import_public(public_key.first(kMlKemPublicLen));
  if (!mlkem) return std::nullopt;
  if (x25519_public_is_degenerate(public_key.subspan(kMlKemPublicLen))) return std::nullopt;
  return XWingRecipient(std::move(*mlkem), public_key);
}

std::optional<std::pair<XWingCiphertext, Key32>> XWingRecipient::encapsulate(Bytes eseed) const {
  VESK_CHECK(eseed.size() == kXWingEncapsSeedLen, "X-Wing encapsulation seed must be 64 bytes");
  auto kem = mlkem_encapsulate(mlkem_.get(), eseed.first(32));
  if (!kem) return std::nullopt;
  Bytes ek_x = eseed.subspan(32);
  // One import of the ephemeral secret serves both its public key and the exchange.
  const X25519Key ephemeral = X25519Key::from_secret(ek_x);
  const X25519Public& ct_x = ephemeral.public_key();
  auto ss_x = ephemeral.exchange(x25519_public());
  if (!ss_x) return std::nullopt;
  std::pair<XWingCiphertext, Key32> out;
  std::memcpy(out.first.data(), kem->ciphertext.data(), kMlKemCiphertextLen);
  std::memcpy(out.first.data() + kMlKemCiphertextLen, ct_x.data(), ct_x.size());
  out.second = combine(kem->shared.view(), ss_x->view(), ct_x, x25519_public());
  return out;
}

bool x25519_public_is_degenerate(Bytes k) {
  VESK_CHECK(k.size() == 32, "X25519 public key must be 32 bytes");
  if (k[31] & 0x80) return true;
  // Not below p = 2^255 - 19: the top bit is clear here, so only 2^255-19 .. 2^255-1 remain, which
  // are 0x7f ff .. ff followed by a low byte >= 0xed.
  bool all_ff = true;
  for (int i = 1; i < 31; ++i) all_ff = all_ff && k[i] == 0xff;
  if (k[31] == 0x7f && all_ff && k[0] >= 0xed) return true;
  static constexpr std::uint8_t kRefused[][32] = {
      {0},                                               // 0
      {1},                                               // 1
      {0xec, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
       0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f},  // p - 1
      {0xe0, 0xeb, 0x7a, 0x7c, 0x3b, 0x41, 0xb8, 0xae, 0x16, 0x56, 0xe3, 0xfa, 0xf1, 0x9f, 0xc4, 0x6a,
       0xda, 0x09, 0x8d, 0xeb, 0x9c, 0x32, 0xb1, 0xfd, 0x86, 0x62, 0x05, 0x16, 0x5f, 0x49, 0xb8, 0x00},  // order 8
      {0x5f, 0x9c, 0x95, 0xbc, 0xa3, 0x50, 0x8c, 0x24, 0xb1, 0xd0, 0xb1, 0x55, 0x9c, 0x83, 0xef, 0x5b,
       0x04, 0x44, 0x5c, 0xc4, 0x58, 0x1c, 0x8e, 0x86, 0xd8, 0x22, 0x4e, 0xdd, 0xd0, 0x9f, 0x11, 0x57},  // order 8
  };
  for (const auto& r : kRefused)
    if (std::memcmp(k.data(), r, 32) == 0) return true;
  return false;
}

}  // namespace vesk::crypto
