#include "core/crypto/hmac.h"

#include <openssl/core_names.h>
#include <openssl/params.h>

#include "core/byte_io.h"
#include "core/check.h"

namespace vesk::crypto {
namespace {

// The info pieces are concatenated into one small buffer, since libcrypto's HKDF takes its info as
// one parameter. Info is never secret (labels, suite ids, lengths, object ids the header carries in
// the clear), so the buffer is a plain one.
std::vector<std::uint8_t> join(std::initializer_list<Bytes> parts) {
  std::size_t n = 0;
  for (Bytes p : parts) n = checked_add(n, p.size());
  std::vector<std::uint8_t> info(n);
  ByteWriter out{MutBytes(info)};
  for (Bytes p : parts) out.put(p);
  out.finish();
  return info;
}

void run_hkdf(int mode, Bytes salt, Bytes key, Bytes info, MutBytes out) {
  KdfCtxPtr ctx(EVP_KDF_CTX_new(kdf_hkdf()));
  VESK_CHECK(ctx != nullptr, "HKDF context allocation failed");
  OSSL_PARAM params[6];
  int i = 0;
  params[i++] = OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, const_cast<char*>("SHA2-256"), 0);
  params[i++] = OSSL_PARAM_construct_int(OSSL_KDF_PARAM_MODE, &mode);
  params[i++] = octet_param(OSSL_KDF_PARAM_KEY, key);
  if (mode != EVP_KDF_HKDF_MODE_EXPAND_ONLY && !salt.empty()) params[i++] = octet_param(OSSL_KDF_PARAM_SALT, salt);
  if (mode != EVP_KDF_HKDF_MODE_EXTRACT_ONLY) params[i++] = octet_param(OSSL_KDF_PARAM_INFO, info);
  params[i] = OSSL_PARAM_construct_end();
  VESK_CHECK(EVP_KDF_derive(ctx.get(), out.data(), out.size(), params) == 1, "HKDF derivation failed");
}

}  // namespace

Digest32 hmac_sha256(Bytes key, std::initializer_list<Bytes> parts) {
  MacCtxPtr ctx(EVP_MAC_CTX_new(mac_hmac()));
  VESK_CHECK(ctx != nullptr, "HMAC context allocation failed");
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, const_cast<char*>("SHA2-256"), 0),
      OSSL_PARAM_construct_end()};
  VESK_CHECK(EVP_MAC_init(ctx.get(), nonnull_data(key), key.size(), params) == 1, "HMAC init failed");
  for (Bytes p : parts)
    if (!p.empty()) VESK_CHECK(EVP_MAC_update(ctx.get(), p.data(), p.size()) == 1, "HMAC update failed");
  Digest32 out;
  std::size_t len = 0;
  VESK_CHECK(EVP_MAC_final(ctx.get(), out.data(), &len, out.size()) == 1 && len == out.size(), "HMAC final failed");
  return out;
}

void hkdf_expand(Bytes prk, std::initializer_list<Bytes> info, MutBytes out) {
  VESK_CHECK(out.size() <= 255 * 32, "HKDF output too long");
  run_hkdf(EVP_KDF_HKDF_MODE_EXPAND_ONLY, {}, prk, join(info), out);
}

Key32 hkdf_extract(Bytes salt, Bytes ikm) {
  Key32 prk;
  run_hkdf(EVP_KDF_HKDF_MODE_EXTRACT_ONLY, salt, ikm, {}, prk.span());
  return prk;
}

void hkdf(Bytes salt, Bytes ikm, std::initializer_list<Bytes> info, MutBytes out) {
  run_hkdf(EVP_KDF_HKDF_MODE_EXTRACT_AND_EXPAND, salt, ikm, join(info), out);
}

}  // namespace vesk::crypto
