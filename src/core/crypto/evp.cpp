#include "core/crypto/evp.h"

#include <openssl/crypto.h>
#include <openssl/provider.h>

#include "core/check.h"
#include "core/crypto/heap.h"

namespace vesk::crypto {
namespace {

struct LibraryContext {
  OSSL_LIB_CTX* context;
  OSSL_PROVIDER* provider;
};

LibraryContext open_library_context() {
  VESK_CHECK(route_libcrypto_allocations(), "libcrypto allocated before its allocations were routed");
  // Marks libcrypto's one-time configuration step as done without reading anything, so that no
  // later call can trigger it either, and registers no cleanup at process exit: a host's exit
  // handlers and threads still running at exit may call the library after it would have run.
  VESK_CHECK(OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG | OPENSSL_INIT_NO_ATEXIT, nullptr) == 1,
             "libcrypto initialisation failed");
  OSSL_LIB_CTX* context = OSSL_LIB_CTX_new();
  VESK_CHECK(context != nullptr, "libcrypto library context unavailable");
  // "default" names the provider compiled into libcrypto; loading it opens no file.
  OSSL_PROVIDER* provider = OSSL_PROVIDER_load(context, "default");
  VESK_CHECK(provider != nullptr, "libcrypto default provider unavailable");
  return {context, provider};
}

template <class T, class Fetch>
T* fetch_once(Fetch fetch, const char* what) {
  T* p = fetch();
  VESK_CHECK(p != nullptr, what);
  return p;
}

}  // namespace

OSSL_LIB_CTX* library_context() {
  // Kept for the life of the process, like the algorithms fetched from it.
  static const LibraryContext kContext = open_library_context();
  return kContext.context;
}

#define VESK_FETCH_ONCE(type, expr, what)                                       \
  static type* const cached = fetch_once<type>([] { return (expr); }, what);   \
  return cached

const EVP_MD* md_sha256() { VESK_FETCH_ONCE(EVP_MD, EVP_MD_fetch(library_context(), "SHA2-256", nullptr), "SHA-256 unavailable"); }
const EVP_MD* md_sha512() { VESK_FETCH_ONCE(EVP_MD, EVP_MD_fetch(library_context(), "SHA2-512", nullptr), "SHA-512 unavailable"); }
const EVP_MD* md_sha3_256() { VESK_FETCH_ONCE(EVP_MD, EVP_MD_fetch(library_context(), "SHA3-256", nullptr), "SHA3-256 unavailable"); }
const EVP_MD* md_shake256() { VESK_FETCH_ONCE(EVP_MD, EVP_MD_fetch(library_context(), "SHAKE256", nullptr), "SHAKE256 unavailable"); }
const EVP_CIPHER* cipher_chacha20_poly1305() {
  VESK_FETCH_ONCE(EVP_CIPHER, EVP_CIPHER_fetch(library_context(), "ChaCha20-Poly1305", nullptr), "ChaCha20-Poly1305 unavailable");
}
EVP_MAC* mac_hmac() { VESK_FETCH_ONCE(EVP_MAC, EVP_MAC_fetch(library_context(), "HMAC", nullptr), "HMAC unavailable"); }
EVP_KDF* kdf_hkdf() { VESK_FETCH_ONCE(EVP_KDF, EVP_KDF_fetch(library_context(), "HKDF", nullptr), "HKDF unavailable"); }
EVP_KDF* kdf_argon2id() { VESK_FETCH_ONCE(EVP_KDF, EVP_KDF_fetch(library_context(), "ARGON2ID", nullptr), "Argon2id unavailable"); }
EVP_SIGNATURE* signature_ed25519() {
  VESK_FETCH_ONCE(EVP_SIGNATURE, EVP_SIGNATURE_fetch(library_context(), "ED25519", nullptr), "Ed25519 unavailable");
}
EVP_SIGNATURE* signature_mldsa65() {
  VESK_FETCH_ONCE(EVP_SIGNATURE, EVP_SIGNATURE_fetch(library_context(), "ML-DSA-65", nullptr), "ML-DSA-65 unavailable");
}

}  // namespace vesk::crypto
