#include "core/crypto/argon2.h"

#include <openssl/core_names.h>
#include <openssl/params.h>

#include "core/check.h"
#include "core/crypto/evp.h"

namespace vesk::crypto {

bool argon2id(Bytes password, Bytes salt, const Argon2Params& p, MutBytes out) {
  KdfCtxPtr ctx(EVP_KDF_CTX_new(kdf_argon2id()));
  VESK_CHECK(ctx != nullptr, "Argon2 context allocation failed");
  std::uint32_t lanes = p.lanes, memory = p.memory_kib, iterations = p.iterations, version = 0x13;
  static const std::uint8_t kEmpty[1] = {0};
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_PASSWORD,
                                        const_cast<std::uint8_t*>(password.empty() ? kEmpty : password.data()),
                                        password.size()),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, const_cast<std::uint8_t*>(salt.data()), salt.size()),
      OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_ARGON2_LANES, &lanes),
      OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_ARGON2_MEMCOST, &memory),
      OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_ITER, &iterations),
      OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_ARGON2_VERSION, &version),
      OSSL_PARAM_construct_end()};
  return EVP_KDF_derive(ctx.get(), out.data(), out.size(), params) == 1;
}

}  // namespace vesk::crypto
