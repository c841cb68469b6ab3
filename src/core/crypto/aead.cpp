#include "core/crypto/aead.h"

#include <algorithm>
#include <array>
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

bool finish(EVP_CIPHER_CTX* ctx) {
  int len = 0;
  std::uint8_t none[1];
  return EVP_CipherFinal_ex(ctx, none, &len) == 1;
}

}  // namespace

ChaChaPoly::ChaChaPoly(Bytes key) : ctx_(EVP_CIPHER_CTX_new()) {
  VESK_CHECK(key.size() == kAeadKeyLen, "AEAD key must be 32 bytes");
  VESK_CHECK(ctx_ && EVP_CipherInit_ex2(ctx_.get(), cipher_chacha20_poly1305(), key.data(), nullptr, -1, nullptr) == 1,
             "AEAD init failed");
}

bool ChaChaPoly::seal(Bytes nonce, Bytes aad, Bytes in, MutBytes out, MutBytes tag) {
  VESK_CHECK(tag.size() == kAeadTagLen, "AEAD tag must be 16 bytes");
  EVP_CIPHER_CTX* ctx = ctx_.get();
  return set_nonce_and_aad(ctx, 1, nonce, aad) && crypt(ctx, in, out) && finish(ctx) &&
         EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_GET_TAG, kAeadTagLen, tag.data()) == 1;
}

bool ChaChaPoly::open(Bytes nonce, Bytes aad, Bytes in, MutBytes out, Bytes tag) {
  VESK_CHECK(tag.size() == kAeadTagLen, "AEAD tag must be 16 bytes");
  EVP_CIPHER_CTX* ctx = ctx_.get();
  return set_nonce_and_aad(ctx, 0, nonce, aad) &&
         EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, kAeadTagLen, const_cast<std::uint8_t*>(tag.data())) == 1 &&
         crypt(ctx, in, out) && finish(ctx);
}

bool ChaChaPoly::open_copying(Bytes nonce, Bytes aad, Bytes in, MutBytes out, Bytes tag) {
  VESK_CHECK(tag.size() == kAeadTagLen, "AEAD tag must be 16 bytes");
  VESK_CHECK(in.size() == out.size(), "AEAD input and output sizes differ");
  std::array<std::uint8_t, kAeadTagLen> tag_copy;
  std::memcpy(tag_copy.data(), tag.data(), kAeadTagLen);
  EVP_CIPHER_CTX* ctx = ctx_.get();
  if (!set_nonce_and_aad(ctx, 0, nonce, aad) ||
      EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, kAeadTagLen, tag_copy.data()) != 1)
    return false;
  // Each piece is copied into a small buffer that stays in the first-level cache, and decrypted
  // from there into place.
  constexpr std::size_t kPiece = std::size_t{8} << 10;
  std::array<std::uint8_t, kPiece> piece;
  for (std::size_t off = 0; off < in.size(); off += kPiece) {
    const std::size_t n = std::min(kPiece, in.size() - off);
    std::memcpy(piece.data(), in.data() + off, n);
    if (!crypt(ctx, Bytes(piece.data(), n), out.subspan(off, n))) return false;
  }
  return finish(ctx);
}

bool aead_seal(Bytes key, Bytes nonce, Bytes aad, Bytes plaintext, MutBytes out) {
  VESK_CHECK(out.size() == plaintext.size() + kAeadTagLen, "AEAD seal output size");
  // Sealed straight from the plaintext: `out` is often a plain buffer (a key file, a recipient
  // entry), so a copy of a secret made there first would outlive a failed or faulting seal.
  return ChaChaPoly(key).seal(nonce, aad, plaintext, out.first(plaintext.size()), out.subspan(plaintext.size()));
}

bool aead_open(Bytes key, Bytes nonce, Bytes aad, Bytes ciphertext_and_tag, MutBytes out) {
  if (ciphertext_and_tag.size() < kAeadTagLen) return false;
  const std::size_t n = ciphertext_and_tag.size() - kAeadTagLen;
  VESK_CHECK(out.size() == n, "AEAD open output size");
  return ChaChaPoly(key).open(nonce, aad, ciphertext_and_tag.first(n), out, ciphertext_and_tag.subspan(n));
}

}  // namespace vesk::crypto
