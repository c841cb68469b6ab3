#include "core/crypto/aead.h"

#include <climits>
#include <cstring>

#include "core/check.h"

namespace vesk::crypto {
namespace {

bool set_nonce_and_aad(EVP_CIPHER_CTX* ctx, int enc, Bytes nonce, Bytes aad) {
  VESK_CHECK(nonce.size() == kAeadNonceLen, "AEAD nonce must be 12 bytes");
  if (EVP_CipherInit_ex2(ctx, nullptr, nullptr, nonce.data(), enc, nullptr) != 1) return false;
  if (!aad.empty()) {
    VESK_CHECK(aad.size() <= INT_MAX, "AEAD associated data too long");
    int len = 0;
    if (EVP_CipherUpdate(ctx, nullptr, &len, aad.data(), static_cast<int>(aad.size())) != 1) return false;
  }
  return true;
}

bool crypt(EVP_CIPHER_CTX* ctx, Bytes in, MutBytes out) {
  VESK_CHECK(in.size() == out.size(), "AEAD input and output sizes differ");
  // Lengths handed to libcrypto are ints: process large inputs in pieces.
  constexpr std::size_t kStep = std::size_t{1} << 30;
  for (std::size_t off = 0; off < in.size(); off += kStep) {
    const std::size_t n = std::min(kStep, in.size() - off);
    int len = 0;
    if (EVP_CipherUpdate(ctx, out.data() + off, &len, in.data() + off, static_cast<int>(n)) != 1) return false;
    if (static_cast<std::size_t>(len) != n) return false;
  }
  return true;
}
bool crypt(EVP_CIPHER_CTX* ctx, MutBytes data) { return crypt(ctx, data, data); }

}  // namespace

ChaChaPoly::ChaChaPoly(Bytes key) : ctx_(EVP_CIPHER_CTX_new()) {
  VESK_CHECK(key.size() == kAeadKeyLen, "AEAD key must be 32 bytes");
  VESK_CHECK(ctx_ && EVP_CipherInit_ex2(ctx_.get(), cipher_chacha20_poly1305(), key.data(), nullptr, -1, nullptr) == 1,
             "AEAD init failed");
}

bool ChaChaPoly::seal_in_place(Bytes nonce, Bytes aad, MutBytes data, MutBytes tag) {
  VESK_CHECK(tag.size() == kAeadTagLen, "AEAD tag must be 16 bytes");
  EVP_CIPHER_CTX* ctx = ctx_.get();
  if (!set_nonce_and_aad(ctx, 1, nonce, aad) || !crypt(ctx, data)) return false;
  int len = 0;
  std::uint8_t dummy[1];
  if (EVP_CipherFinal_ex(ctx, dummy, &len) != 1) return false;
  return EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_GET_TAG, kAeadTagLen, tag.data()) == 1;
}

bool ChaChaPoly::open_in_place(Bytes nonce, Bytes aad, MutBytes data, Bytes tag) {
  VESK_CHECK(tag.size() == kAeadTagLen, "AEAD tag must be 16 bytes");
  EVP_CIPHER_CTX* ctx = ctx_.get();
  if (!set_nonce_and_aad(ctx, 0, nonce, aad)) return false;
  if (EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, kAeadTagLen, const_cast<std::uint8_t*>(tag.data())) != 1)
    return false;
  if (!crypt(ctx, data)) return false;
  int len = 0;
  std::uint8_t dummy[1];
  return EVP_CipherFinal_ex(ctx, dummy, &len) == 1;
}

bool ChaChaPoly::seal(Bytes nonce, Bytes aad, Bytes in, MutBytes out, MutBytes tag) {
  VESK_CHECK(tag.size() == kAeadTagLen, "AEAD tag must be 16 bytes");
  EVP_CIPHER_CTX* ctx = ctx_.get();
  if (!set_nonce_and_aad(ctx, 1, nonce, aad) || !crypt(ctx, in, out)) return false;
  int len = 0;
  std::uint8_t dummy[1];
  if (EVP_CipherFinal_ex(ctx, dummy, &len) != 1) return false;
  return EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_GET_TAG, kAeadTagLen, tag.data()) == 1;
}

bool ChaChaPoly::open(Bytes nonce, Bytes aad, Bytes in, MutBytes out, Bytes tag) {
  VESK_CHECK(tag.size() == kAeadTagLen, "AEAD tag must be 16 bytes");
  EVP_CIPHER_CTX* ctx = ctx_.get();
  if (!set_nonce_and_aad(ctx, 0, nonce, aad)) return false;
  if (EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, kAeadTagLen, const_cast<std::uint8_t*>(tag.data())) != 1)
    return false;
  if (!crypt(ctx, in, out)) return false;
  int len = 0;
  std::uint8_t dummy[1];
  return EVP_CipherFinal_ex(ctx, dummy, &len) == 1;
}

bool aead_seal(Bytes key, Bytes nonce, Bytes aad, Bytes plaintext, MutBytes out) {
  VESK_CHECK(out.size() == plaintext.size() + kAeadTagLen, "AEAD seal output size");
  // Sealed straight from the plaintext: `out` is often a plain buffer (a key file, a recipient
  // entry), so a copy of a secret made there first would outlive a failed or faulting seal.
  ChaChaPoly aead(key);
  return aead.seal(nonce, aad, plaintext, out.first(plaintext.size()), out.subspan(plaintext.size()));
}

bool aead_open(Bytes key, Bytes nonce, Bytes aad, Bytes ciphertext_and_tag, MutBytes out) {
  if (ciphertext_and_tag.size() < kAeadTagLen) return false;
  const std::size_t n = ciphertext_and_tag.size() - kAeadTagLen;
  VESK_CHECK(out.size() == n, "AEAD open output size");
  // Copy the tag first: `out` may alias the ciphertext.
  std::uint8_t tag[kAeadTagLen];
  std::memcpy(tag, ciphertext_and_tag.data() + n, kAeadTagLen);
  if (n != 0 && out.data() != ciphertext_and_tag.data()) std::memmove(out.data(), ciphertext_and_tag.data(), n);
  ChaChaPoly aead(key);
  return aead.open_in_place(nonce, aad, out, tag);
}

}  // namespace vesk::crypto
