#include "object/wrap.h"

#include <cstring>
#include <string_view>

#include "core/crypto/hash.h"
#include "core/crypto/hpke.h"
#include "core/random.h"
#include "format/container_keys.h"

namespace vesk::object {
namespace {

constexpr std::string_view kObjectKeyLabel = "VESK/0.1 object-key";
constexpr std::size_t kInfoLen = 19 + format::kObjectIdLen + 2;
constexpr std::size_t kAadLen = format::kObjectIdLen + 2;

// "VESK/0.1 object-key" || object_id || 0x00 0x01.
std::array<std::uint8_t, kInfoLen> hpke_info(Bytes object_id) {
  VESK_CHECK(object_id.size() == format::kObjectIdLen, "object id must be 32 bytes");
  std::array<std::uint8_t, kInfoLen> info;
  std::memcpy(info.data(), kObjectKeyLabel.data(), kObjectKeyLabel.size());
  std::memcpy(info.data() + kObjectKeyLabel.size(), object_id.data(), format::kObjectIdLen);
  info[kInfoLen - 2] = 0x00;
  info[kInfoLen - 1] = 0x01;
  return info;
}

// object_id || 0x00 0x01.
std::array<std::uint8_t, kAadLen> hpke_aad(Bytes object_id) {
  std::array<std::uint8_t, kAadLen> aad;
  std::memcpy(aad.data(), object_id.data(), format::kObjectIdLen);
  aad[kAadLen - 2] = 0x00;
  aad[kAadLen - 1] = 0x01;
  return aad;
}

}  // namespace

Expected<crypto::XWingRecipient, CryptoError> validate_public_key(Bytes public_key) {
  if (public_key.size() != crypto::kXWingPublicLen)
    return unexpected(CryptoError{CryptoErrorKind::InvalidLength, "recipient public key", crypto::kXWingPublicLen,
                                  public_key.size()});
  if (crypto::x25519_public_is_degenerate(public_key.subspan(crypto::kMlKemPublicLen)))
    return unexpected(CryptoError{CryptoErrorKind::DegeneratePublicKey});
  auto recipient = crypto::XWingRecipient::validate(public_key);
  if (!recipient) return unexpected(CryptoError{CryptoErrorKind::InvalidParameter});
  return std::move(*recipient);
}

CekWrapper::CekWrapper(Bytes cek, Bytes object_id)
    : cek_(cek), object_id_(object_id), schedule_(crypto::kHpkeKemXWing, hpke_info(object_id)) {
  VESK_CHECK(cek.size() == format::kCekLen, "content key must be 32 bytes");
}

Expected<WrappedCek, CryptoError> wrap(const crypto::XWingRecipient& recipient, Bytes cek, Bytes object_id) {
  return CekWrapper(cek, object_id).wrap(recipient);
}

Expected<WrappedCek, CryptoError> CekWrapper::wrap(const crypto::XWingRecipient& recipient) const {
  // A generator freshly seeded for this recipient: SHAKE256 stretches 32 bytes from the system
  // source to the 64-byte encapsulation seed.
  SecretArray<32> seed;
  if (auto drawn = random_fill(seed.span()); !drawn)
    return unexpected(CryptoError{CryptoErrorKind::Randomness, "", 0, 0, drawn.error().system_error});
  SecretArray<crypto::kXWingEncapsSeedLen> eseed;
  crypto::shake256({seed.view()}, eseed.span());

  WrappedCek out;
  const auto aad = hpke_aad(object_id_);
  auto encapsulation = crypto::hpke_seal_base(recipient, eseed.view(), schedule_, aad, cek_, out.wrapped_cek);
  if (!encapsulation) return unexpected(CryptoError{CryptoErrorKind::Hpke});
  out.encapsulation = *encapsulation;
  return out;
}

namespace {

Expected<Cek, CryptoError> unwrap_with(const crypto::XWingSecretKey& key, Bytes encapsulation, Bytes wrapped_cek,
                                       const crypto::HpkeKeySchedule& schedule, Bytes object_id) {
  if (encapsulation.size() != format::kEncapsulationLen)
    return unexpected(
        CryptoError{CryptoErrorKind::InvalidLength, "encapsulation", format::kEncapsulationLen, encapsulation.size()});
  if (wrapped_cek.size() != format::kWrappedCekLen)
    return unexpected(
        CryptoError{CryptoErrorKind::InvalidLength, "wrapped CEK", format::kWrappedCekLen, wrapped_cek.size()});
  const auto aad = hpke_aad(object_id);
  Cek cek;
  if (!crypto::hpke_open_base(key, encapsulation, schedule, aad, wrapped_cek, cek.span()))
    return unexpected(CryptoError{CryptoErrorKind::AuthenticationFailed});
  return cek;
}

}  // namespace

Expected<Cek, CryptoError> unwrap(const crypto::XWingSecretKey& key, Bytes encapsulation, Bytes wrapped_cek,
                                  Bytes object_id) {
  VESK_CHECK(object_id.size() == format::kObjectIdLen, "object id must be 32 bytes");
  const crypto::HpkeKeySchedule schedule(crypto::kHpkeKemXWing, hpke_info(object_id));
  return unwrap_with(key, encapsulation, wrapped_cek, schedule, object_id);
}

Expected<Cek, ObjectError> find_cek(const crypto::XWingSecretKey& key, const format::ContainerHeader& header,
                                    Bytes prelude, Bytes body, Bytes mac) {
  // Every entry shares the info (it holds the object id), so its part of the key schedule is
  // computed once.
  const crypto::HpkeKeySchedule schedule(crypto::kHpkeKemXWing, hpke_info(header.object_id));
  for (const format::RecipientEntry& entry : header.recipients) {
    if (entry.type != 1) continue;
    auto cek = unwrap_with(key, entry.encapsulation(), entry.wrapped_cek(), schedule, header.object_id);
    if (!cek) continue;
    const SecretArray<32> mac_key = format::derive_header_mac_key(cek->view(), header.object_id);
    const crypto::Digest32 expected = format::header_mac(mac_key.view(), prelude, body);
    if (ct_equal(expected, mac)) return std::move(*cek);
    // The candidate wipes itself as it goes out of scope.
  }
  return unexpected(ObjectError::with(ObjectErrorKind::NoMatchingRecipient, "no matching recipient"));
}

}  // namespace vesk::object
