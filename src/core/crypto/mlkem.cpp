#include "core/crypto/mlkem.h"

#include <openssl/core_names.h>
#include <openssl/params.h>

#include "core/check.h"

namespace vesk::crypto {

MlKemKey MlKemKey::from_seed(Bytes seed64) {
  auto key = try_from_seed(seed64);
  VESK_CHECK(key.has_value(), "ML-KEM keygen failed");
  return std::move(*key);
}

std::optional<MlKemKey> MlKemKey::try_from_seed(Bytes seed64) {
  VESK_CHECK(seed64.size() == kMlKemSeedLen, "ML-KEM seed must be 64 bytes");
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(library_context(), "ML-KEM-768", nullptr));
  if (ctx == nullptr || EVP_PKEY_keygen_init(ctx.get()) != 1) return std::nullopt;
  OSSL_PARAM params[] = {octet_param(OSSL_PKEY_PARAM_ML_KEM_SEED, seed64), OSSL_PARAM_construct_end()};
  if (EVP_PKEY_CTX_set_params(ctx.get(), params) != 1) return std::nullopt;
  EVP_PKEY* raw = nullptr;
  if (EVP_PKEY_generate(ctx.get(), &raw) != 1 || raw == nullptr) return std::nullopt;
  return MlKemKey(PkeyPtr(raw));
}

void MlKemKey::public_key(MutBytes out) const {
  VESK_CHECK(out.size() == kMlKemPublicLen, "ML-KEM public key buffer size");
  std::size_t len = out.size();
  VESK_CHECK(EVP_PKEY_get_raw_public_key(key_.get(), out.data(), &len) == 1 && len == kMlKemPublicLen,
             "ML-KEM public key export failed");
}

std::optional<Key32> MlKemKey::decapsulate(Bytes ciphertext) const {
  if (ciphertext.size() != kMlKemCiphertextLen) return std::nullopt;
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(library_context(), key_.get(), nullptr));
  VESK_CHECK(ctx != nullptr, "ML-KEM context allocation failed");
  if (EVP_PKEY_decapsulate_init(ctx.get(), nullptr) != 1) return std::nullopt;
  Key32 shared;
  std::size_t len = shared.size();
  if (EVP_PKEY_decapsulate(ctx.get(), shared.data(), &len, ciphertext.data(), ciphertext.size()) != 1 ||
      len != kMlKemSharedLen)
    return std::nullopt;
  return shared;
}

std::optional<PkeyPtr> mlkem_import_public(Bytes public_key) {
  if (public_key.size() != kMlKemPublicLen) return std::nullopt;
  PkeyPtr key(EVP_PKEY_new_raw_public_key_ex(library_context(), "ML-KEM-768", nullptr, public_key.data(), public_key.size()));
  if (!key) return std::nullopt;
  return key;
}

std::optional<MlKemEncapsulation> mlkem_encapsulate(EVP_PKEY* public_key, Bytes m) {
  VESK_CHECK(m.size() == 32, "ML-KEM encapsulation randomness must be 32 bytes");
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(library_context(), public_key, nullptr));
  VESK_CHECK(ctx != nullptr, "ML-KEM context allocation failed");
  OSSL_PARAM params[] = {octet_param(OSSL_KEM_PARAM_IKME, m), OSSL_PARAM_construct_end()};
  if (EVP_PKEY_encapsulate_init(ctx.get(), params) != 1) return std::nullopt;
  MlKemEncapsulation out;
  std::size_t ct_len = out.ciphertext.size();
  std::size_t ss_len = out.shared.size();
  if (EVP_PKEY_encapsulate(ctx.get(), out.ciphertext.data(), &ct_len, out.shared.data(), &ss_len) != 1 ||
      ct_len != kMlKemCiphertextLen || ss_len != kMlKemSharedLen)
    return std::nullopt;
  return out;
}

}  // namespace vesk::crypto
