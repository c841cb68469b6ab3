#include "sign/hybrid.h"

#include <cstring>
#include <string_view>

#include "core/check.h"
#include "core/crypto/ed25519.h"
#include "core/crypto/hmac.h"
#include "core/crypto/mldsa.h"

namespace vesk::sign {


namespace {

constexpr std::string_view kSigningLabel = "VESK/0.5 identity signing";
constexpr std::string_view kEd25519Label = "VESK/0.5 identity ed25519";
constexpr std::string_view kMlDsaLabel = "VESK/0.5 identity ml-dsa-65";

}  // namespace

// The identity's secrets: the two libcrypto keys, which clear their secret parts when released.
// The seeds they were derived from are wiped as soon as the keys exist.
struct SigningIdentity::Keys {
  crypto::Ed25519SigningKey ed25519;
  crypto::MlDsaSigningKey mldsa;
};

struct DecodedVerifyingKey::Keys {
  crypto::Ed25519VerifyingKey ed25519;
  crypto::MlDsaVerifyingKey mldsa;
};

SigningIdentity::SigningIdentity() = default;
SigningIdentity::~SigningIdentity() = default;

std::unique_ptr<SigningIdentity> SigningIdentity::from_seed(Bytes identity_seed32) {
  VESK_CHECK(identity_seed32.size() == kIdentitySeedLen, "identity seed must be 32 bytes");
  Key32 signing_seed = crypto::hkdf_expand32(identity_seed32, {as_bytes(kSigningLabel)});
  Key32 ed25519_secret = crypto::hkdf_expand32(signing_seed.view(), {as_bytes(kEd25519Label)});
  Key32 mldsa_seed = crypto::hkdf_expand32(signing_seed.view(), {as_bytes(kMlDsaLabel)});
  auto ed25519 = crypto::Ed25519SigningKey::from_secret(ed25519_secret.view());
  auto mldsa = crypto::MlDsaSigningKey::from_seed(mldsa_seed.view());

  std::unique_ptr<SigningIdentity> identity(new SigningIdentity());
  std::memcpy(identity->verifying_key_.data(), ed25519.public_key().data(), crypto::kEd25519PublicLen);
  mldsa.public_key(MutBytes(identity->verifying_key_).subspan(crypto::kEd25519PublicLen));
  identity->keys_.reset(new Keys{std::move(ed25519), std::move(mldsa)});
  return identity;
}

DecodedVerifyingKey::DecodedVerifyingKey() = default;
DecodedVerifyingKey::~DecodedVerifyingKey() = default;
DecodedVerifyingKey::DecodedVerifyingKey(DecodedVerifyingKey&&) noexcept = default;
DecodedVerifyingKey& DecodedVerifyingKey::operator=(DecodedVerifyingKey&&) noexcept = default;

std::optional<DecodedVerifyingKey> decode_verifying_key(Bytes key) {
  if (key.size() != kVerifyingKeyLen) return std::nullopt;
  auto ed25519 = crypto::Ed25519VerifyingKey::decode(key.first(crypto::kEd25519PublicLen));
  if (!ed25519) return std::nullopt;
  // libcrypto takes any 1952 bytes as an ML-DSA-65 public key (t1 has no invalid values); should
  // it ever refuse one, nothing could verify under it, so the key does not decode.
  auto mldsa = crypto::MlDsaVerifyingKey::import(key.subspan(crypto::kEd25519PublicLen));
  if (!mldsa) return std::nullopt;
  DecodedVerifyingKey out;
  out.keys_.reset(new DecodedVerifyingKey::Keys{std::move(*ed25519), std::move(*mldsa)});
  std::memcpy(out.bytes_.data(), key.data(), kVerifyingKeyLen);
  return out;
}

SigningInput::SigningInput(Bytes context, Bytes message)
    : size_(checked_add(checked_add(context.size(), message.size()), 8)),
      // Not value-initialised: every byte is written below, and a message may be 1 GiB.
      data_(static_cast<std::uint8_t*>(::operator new(size_))) {
  store_be64(data_, context.size());
  if (!context.empty()) std::memcpy(data_ + 8, context.data(), context.size());
  if (!message.empty()) std::memcpy(data_ + 8 + context.size(), message.data(), message.size());
}

SigningInput::~SigningInput() {
  wipe(data_, size_);
  ::operator delete(data_);
}

// Ed25519 needs the signing input in one piece, so it is framed once; the ML-DSA half hashes the
// same bytes in place into its mu, without a copy of its own.
Signature hybrid_sign(const SigningIdentity& identity, Bytes context, Bytes message) {
  const SigningInput input(context, message);
  Signature signature;
  const MutBytes out(signature);
  if (!identity.keys().ed25519.sign(input.view(), out.first(crypto::kEd25519SignatureLen)))
    VESK_FAULT("signature operation failed");
  if (!identity.keys().mldsa.sign(input.view(), out.subspan(crypto::kEd25519SignatureLen)))
    VESK_FAULT("signature operation failed");
  return signature;
}

bool hybrid_verify(const DecodedVerifyingKey& key, Bytes context, Bytes message, Bytes signature) {
  if (signature.size() != kSignatureLen) return false;
  const SigningInput input(context, message);
  // The ML-DSA half runs even when the Ed25519 half has failed; the caller learns only the verdict.
  const bool ed25519_ok = key.keys().ed25519.verify_strict(input.view(), signature.first(crypto::kEd25519SignatureLen));
  const bool mldsa_ok = key.keys().mldsa.verify(input.view(), signature.subspan(crypto::kEd25519SignatureLen));
  return ed25519_ok && mldsa_ok;
}

}  // namespace vesk::sign
