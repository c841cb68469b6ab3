#include "core/crypto/evp.h"

#include "core/check.h"

namespace vesk::crypto {
namespace {

template <class T, class Fetch>
T* fetch_once(Fetch fetch, const char* what) {
  T* p = fetch();
  VESK_CHECK(p != nullptr, what);
  return p;
}

}  // namespace

#define VESK_FETCH_ONCE(type, expr, what)                                       \
  static type* const cached = fetch_once<type>([] { return (expr); }, what);   \
  return cached

const EVP_MD* md_sha256() { VESK_FETCH_ONCE(EVP_MD, EVP_MD_fetch(nullptr, "SHA2-256", nullptr), "SHA-256 unavailable"); }
const EVP_MD* md_sha512() { VESK_FETCH_ONCE(EVP_MD, EVP_MD_fetch(nullptr, "SHA2-512", nullptr), "SHA-512 unavailable"); }
const EVP_MD* md_sha3_256() { VESK_FETCH_ONCE(EVP_MD, EVP_MD_fetch(nullptr, "SHA3-256", nullptr), "SHA3-256 unavailable"); }
const EVP_MD* md_shake256() { VESK_FETCH_ONCE(EVP_MD, EVP_MD_fetch(nullptr, "SHAKE256", nullptr), "SHAKE256 unavailable"); }
const EVP_CIPHER* cipher_chacha20_poly1305() {
  VESK_FETCH_ONCE(EVP_CIPHER, EVP_CIPHER_fetch(nullptr, "ChaCha20-Poly1305", nullptr), "ChaCha20-Poly1305 unavailable");
}
EVP_MAC* mac_hmac() { VESK_FETCH_ONCE(EVP_MAC, EVP_MAC_fetch(nullptr, "HMAC", nullptr), "HMAC unavailable"); }
EVP_KDF* kdf_hkdf() { VESK_FETCH_ONCE(EVP_KDF, EVP_KDF_fetch(nullptr, "HKDF", nullptr), "HKDF unavailable"); }
EVP_KDF* kdf_argon2id() { VESK_FETCH_ONCE(EVP_KDF, EVP_KDF_fetch(nullptr, "ARGON2ID", nullptr), "Argon2id unavailable"); }
EVP_SIGNATURE* signature_ed25519() {
  VESK_FETCH_ONCE(EVP_SIGNATURE, EVP_SIGNATURE_fetch(nullptr, "ED25519", nullptr), "Ed25519 unavailable");
}
EVP_SIGNATURE* signature_mldsa65() {
  VESK_FETCH_ONCE(EVP_SIGNATURE, EVP_SIGNATURE_fetch(nullptr, "ML-DSA-65", nullptr), "ML-DSA-65 unavailable");
}

}  // namespace vesk::crypto
