#include "core/crypto/argon2.h"

#include <openssl/core_names.h>
#include <openssl/params.h>

#include "core/check.h"
#include "core/crypto/evp.h"

namespace vesk::crypto {

bool argon2id(Bytes password, Bytes salt, const Argon2Params& p, MutBytes out) {
  return argon2id(password, salt, {}, {}, p, out);
}

bool argon2id(Bytes password, Bytes salt, Bytes secret, Bytes associated_data, const Argon2Params& p,
              MutBytes out) {
  KdfCtxPtr ctx(EVP_KDF_CTX_new(kdf_argon2id()));
  VESK_CHECK(ctx != nullptr, "Argon2 context allocation failed");
  std::uint32_t lanes = p.lanes, memory = p.memory_kib, iterations = p.iterations, version = 0x13;
  OSSL_PARAM params[9];
  int i = 0;
  params[i++] = octet_param(OSSL_KDF_PARAM_PASSWORD, password);
  params[i++] = octet_param(OSSL_KDF_PARAM_SALT, salt);
  if (!secret.empty()) params[i++] = octet_param(OSSL_KDF_PARAM_SECRET, secret);
  if (!associated_data.empty()) params[i++] = octet_param(OSSL_KDF_PARAM_ARGON2_AD, associated_data);
  params[i++] = OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_ARGON2_LANES, &lanes);
  params[i++] = OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_ARGON2_MEMCOST, &memory);
  params[i++] = OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_ITER, &iterations);
  params[i++] = OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_ARGON2_VERSION, &version);
  params[i] = OSSL_PARAM_construct_end();
  return EVP_KDF_derive(ctx.get(), out.data(), out.size(), params) == 1;
}

}  // namespace vesk::crypto
