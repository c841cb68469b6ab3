#include "core/crypto/mldsa.h"

#include <openssl/core_names.h>
#include <openssl/params.h>

#include "core/check.h"
#include "core/crypto/hash.h"

namespace vesk::crypto {
namespace {

using MlDsaMu = std::array<std::uint8_t, 64>;

MlDsaTr tr_of(Bytes public_key) {
  MlDsaTr tr;
  shake256({public_key}, tr);
  return tr;
}

// mu for pure signing with the empty context: the domain byte 0 and the context length 0 stand
// between tr and the message. Hashed as the parts go by, so the message is read once, in place.
MlDsaMu mu_of(const MlDsaTr& tr, Bytes message) {
  static constexpr std::uint8_t kPureEmptyContext[2] = {0x00, 0x00};
  MlDsaMu mu;
  shake256({tr, kPureEmptyContext, message}, mu);
  return mu;
}

}  // namespace

MlDsaSigningKey MlDsaSigningKey::from_seed(Bytes xi32) {
  VESK_CHECK(xi32.size() == kMlDsaSeedLen, "ML-DSA seed must be 32 bytes");
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(library_context(), "ML-DSA-65", nullptr));
  VESK_CHECK(ctx != nullptr && EVP_PKEY_keygen_init(ctx.get()) == 1, "ML-DSA keygen init failed");
  OSSL_PARAM params[] = {octet_param(OSSL_PKEY_PARAM_ML_DSA_SEED, xi32), OSSL_PARAM_construct_end()};
  VESK_CHECK(EVP_PKEY_CTX_set_params(ctx.get(), params) == 1, "ML-DSA seed rejected");
  EVP_PKEY* raw = nullptr;
  VESK_CHECK(EVP_PKEY_generate(ctx.get(), &raw) == 1 && raw != nullptr, "ML-DSA keygen failed");
  PkeyPtr key(raw);
  std::uint8_t pk[kMlDsa65PublicLen];
  std::size_t len = sizeof pk;
  VESK_CHECK(EVP_PKEY_get_raw_public_key(key.get(), pk, &len) == 1 && len == kMlDsa65PublicLen,
             "ML-DSA public key export failed");
  return MlDsaSigningKey(std::move(key), tr_of(pk));
}

void MlDsaSigningKey::public_key(MutBytes out) const {
  VESK_CHECK(out.size() == kMlDsa65PublicLen, "ML-DSA public key buffer size");
  std::size_t len = out.size();
  VESK_CHECK(EVP_PKEY_get_raw_public_key(key_.get(), out.data(), &len) == 1 && len == kMlDsa65PublicLen,
             "ML-DSA public key export failed");
}

bool MlDsaSigningKey::sign(Bytes message, MutBytes out) const {
  VESK_CHECK(out.size() == kMlDsa65SignatureLen, "ML-DSA signature buffer size");
  const MlDsaMu mu = mu_of(tr_, message);
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(library_context(), key_.get(), nullptr));
  int deterministic = 1, external_mu = 1;
  OSSL_PARAM params[] = {OSSL_PARAM_construct_int(OSSL_SIGNATURE_PARAM_DETERMINISTIC, &deterministic),
                         OSSL_PARAM_construct_int(OSSL_SIGNATURE_PARAM_MU, &external_mu), OSSL_PARAM_construct_end()};
  if (ctx == nullptr || EVP_PKEY_sign_message_init(ctx.get(), signature_mldsa65(), params) != 1) return false;
  std::size_t len = out.size();
  return EVP_PKEY_sign(ctx.get(), out.data(), &len, mu.data(), mu.size()) == 1 && len == kMlDsa65SignatureLen;
}

std::optional<MlDsaVerifyingKey> MlDsaVerifyingKey::import(Bytes public_key) {
  if (public_key.size() != kMlDsa65PublicLen) return std::nullopt;
  PkeyPtr key(EVP_PKEY_new_raw_public_key_ex(library_context(), "ML-DSA-65", nullptr, public_key.data(), public_key.size()));
  if (key == nullptr) return std::nullopt;
  return MlDsaVerifyingKey(std::move(key), tr_of(public_key));
}

bool MlDsaVerifyingKey::verify(Bytes message, Bytes signature) const {
  if (signature.size() != kMlDsa65SignatureLen) return false;
  const MlDsaMu mu = mu_of(tr_, message);
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(library_context(), key_.get(), nullptr));
  int external_mu = 1;
  OSSL_PARAM params[] = {OSSL_PARAM_construct_int(OSSL_SIGNATURE_PARAM_MU, &external_mu), OSSL_PARAM_construct_end()};
  VESK_CHECK(ctx != nullptr && EVP_PKEY_verify_message_init(ctx.get(), signature_mldsa65(), params) == 1,
             "ML-DSA verification init failed");
  return EVP_PKEY_verify(ctx.get(), signature.data(), signature.size(), mu.data(), mu.size()) == 1;
}

}  // namespace vesk::crypto
