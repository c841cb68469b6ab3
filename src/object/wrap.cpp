#include "object/wrap.h"

#include <cstring>
#include <string_view>

#include "core/byte_io.h"
#include "core/crypto/hash.h"
#include "core/crypto/hpke.h"
#include "core/random.h"
#include "format/container_keys.h"

namespace vesk::object {
namespace {

constexpr std::string_view kObjectKeyLabel = "VESK/0.1 object-key";
constexpr std::size_t kInfoLen = kObjectKeyLabel.size() + format::kObjectIdLen + format::kFormatTag.size();
constexpr std::size_t kAadLen = format::kObjectIdLen + format::kFormatTag.size();

// "VESK/0.1 object-key" || object_id || format tag.
std::array<std::uint8_t, kInfoLen> hpke_info(Bytes object_id) {
  VESK_CHECK(object_id.size() == format::kObjectIdLen, "object id must be 32 bytes");
  return fixed_record<kInfoLen>([&](ByteWriter& w) {
    w.put(as_bytes(kObjectKeyLabel));
    w.put(object_id);
    w.put(format::kFormatTag);
  });
}

// object_id || format tag.
std::array<std::uint8_t, kAadLen> hpke_aad(Bytes object_id) {
  return fixed_record<kAadLen>([&](ByteWriter& w) {
    w.put(object_id);
    w.put(format::kFormatTag);
  });
}

}  // namespace

Expected<std::vector<crypto::XWingRecipient>, ObjectError> usable_recipients(Bytes keys) {
  VESK_CHECK(keys.size() % crypto::kXWingPublicLen == 0, "recipient keys are not whole public keys");
  std::vector<crypto::XWingRecipient> recipients;
  recipients.reserve(keys.size() / crypto::kXWingPublicLen);
  for (std::size_t at = 0; at < keys.size(); at += crypto::kXWingPublicLen) {
    auto recipient = crypto::XWingRecipient::validate(keys.subspan(at, crypto::kXWingPublicLen));
    if (!recipient) return unexpected(ObjectError::with(ObjectErrorKind::UnusableRecipientKey, "recipient key"));
    recipients.push_back(std::move(*recipient));
  }
  return recipients;
}

CekWrapper::CekWrapper(Bytes cek, Bytes object_id)
    : cek_(cek), object_id_(object_id), schedule_(crypto::kHpkeKemXWing, hpke_info(object_id)) {
  VESK_CHECK(cek.size() == format::kCekLen, "content key must be 32 bytes");
}

Expected<WrappedCek, ObjectError> CekWrapper::wrap(const crypto::XWingRecipient& recipient) const {
  // A generator freshly seeded for this recipient: SHAKE256 stretches 32 bytes from the system
  // source to the 64-byte encapsulation seed.
  Key32 seed;
  if (!random_fill(seed.span())) return unexpected(ObjectError::with(ObjectErrorKind::CryptoFailed, "randomness"));
  SecretArray<crypto::kXWingEncapsSeedLen> eseed;
  crypto::shake256({seed.view()}, eseed.span());

  WrappedCek out;
  const auto aad = hpke_aad(object_id_);
  auto encapsulation = crypto::hpke_seal_base(recipient, eseed.view(), schedule_, aad, cek_, out.wrapped_cek);
  if (!encapsulation) return unexpected(ObjectError::with(ObjectErrorKind::CryptoFailed, "HPKE seal"));
  out.encapsulation = *encapsulation;
  return out;
}

namespace {

// The entry's fields have the lengths of a type-1 entry: the header decoder saw to that.
std::optional<Cek> unwrap(const crypto::XWingSecretKey& key, const format::RecipientEntry& entry,
                          const crypto::HpkeKeySchedule& schedule, Bytes object_id) {
  const auto aad = hpke_aad(object_id);
  Cek cek;
  if (!crypto::hpke_open_base(key, entry.encapsulation(), schedule, aad, entry.wrapped_cek(), cek.span()))
    return std::nullopt;
  return cek;
}

}  // namespace

Expected<Cek, ObjectError> find_cek(const crypto::XWingSecretKey& key, const format::ContainerHeader& header,
                                    Bytes prelude, Bytes body, Bytes mac) {
  // Every entry shares the info (it holds the object id), so its part of the key schedule is
  // computed once.
  const crypto::HpkeKeySchedule schedule(crypto::kHpkeKemXWing, hpke_info(header.object_id));
  for (const format::RecipientEntry& entry : header.recipients) {
    if (entry.type != format::kRecipientTypeWrapped) continue;
    auto cek = unwrap(key, entry, schedule, header.object_id);
    if (!cek) continue;
    const Key32 mac_key = format::derive_header_mac_key(cek->view(), header.object_id);
    const crypto::Digest32 expected = format::header_mac(mac_key.view(), prelude, body);
    if (ct_equal(expected, mac)) return std::move(*cek);
    // The candidate wipes itself as it goes out of scope.
  }
  return unexpected(ObjectError::with(ObjectErrorKind::NoMatchingRecipient, "no matching recipient"));
}

}  // namespace vesk::object
