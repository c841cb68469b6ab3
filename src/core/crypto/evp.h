// RAII owners for libcrypto objects, the library context every algorithm comes from, the
// algorithms fetched once, and byte views handed to libcrypto.
#pragma once

#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>

#include <memory>

#include "core/bytes.h"

namespace vesk::crypto {

struct EvpDeleter {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
  void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
  void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
  void operator()(EVP_CIPHER_CTX* p) const { EVP_CIPHER_CTX_free(p); }
  void operator()(EVP_MAC_CTX* p) const { EVP_MAC_CTX_free(p); }
  void operator()(EVP_KDF_CTX* p) const { EVP_KDF_CTX_free(p); }
  void operator()(EVP_SIGNATURE* p) const { EVP_SIGNATURE_free(p); }
};

using PkeyPtr = std::unique_ptr<EVP_PKEY, EvpDeleter>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, EvpDeleter>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, EvpDeleter>;
using CipherCtxPtr = std::unique_ptr<EVP_CIPHER_CTX, EvpDeleter>;
using MacCtxPtr = std::unique_ptr<EVP_MAC_CTX, EvpDeleter>;
using KdfCtxPtr = std::unique_ptr<EVP_KDF_CTX, EvpDeleter>;

// libcrypto is linked into this library privately, so it must behave the same in every host: its
// state lives in a library context of our own that holds the built-in default provider and nothing
// else. No configuration file is read (neither OPENSSL_CONF nor the built-in default), and no
// provider or engine is loaded from a folder, whatever the environment says. Every call that takes
// a library context gets this one.
OSSL_LIB_CTX* library_context();

// Algorithm implementations fetched once per process and shared (libcrypto allows this).
const EVP_MD* md_sha256();
const EVP_MD* md_sha512();
const EVP_MD* md_sha3_256();
const EVP_MD* md_shake256();
const EVP_CIPHER* cipher_chacha20_poly1305();
EVP_MAC* mac_hmac();
EVP_KDF* kdf_hkdf();
EVP_KDF* kdf_argon2id();
// Fetched once: fetching per signature costs a lookup under a lock.
EVP_SIGNATURE* signature_ed25519();
EVP_SIGNATURE* signature_mldsa65();

// libcrypto wants a readable pointer even for an empty input.
inline const std::uint8_t* nonnull_data(Bytes b) {
  static const std::uint8_t kEmpty[1] = {0};
  return b.empty() ? kEmpty : b.data();
}

// An octet-string parameter over a view (empty allowed). libcrypto only reads it.
inline OSSL_PARAM octet_param(const char* name, Bytes value) {
  return OSSL_PARAM_construct_octet_string(name, const_cast<std::uint8_t*>(nonnull_data(value)), value.size());
}

}  // namespace vesk::crypto
