#include "core/crypto/ed25519.h"

#include <openssl/bn.h>

#include <algorithm>
#include <cstring>

#include "core/check.h"

namespace vesk::crypto {
namespace {

struct BnDeleter {
  void operator()(BIGNUM* p) const { BN_free(p); }
  void operator()(BN_CTX* p) const { BN_CTX_free(p); }
};
using BnPtr = std::unique_ptr<BIGNUM, BnDeleter>;
using BnCtxPtr = std::unique_ptr<BN_CTX, BnDeleter>;

// The field prime p = 2^255 - 19 and the curve constant d = -121665/121666 mod p, made once.
struct Field {
  BnPtr p;
  BnPtr d;
};

Field make_field() {
  Field f{BnPtr(BN_new()), BnPtr(BN_new())};
  BnCtxPtr ctx(BN_CTX_new_ex(library_context()));
  BnPtr t(BN_new());
  VESK_CHECK(f.p && f.d && ctx && t, "bignum allocation failed");
  bool ok = BN_set_bit(f.p.get(), 255) == 1 && BN_sub_word(f.p.get(), 19) == 1 &&
            BN_set_word(t.get(), 121666) == 1 && BN_mod_inverse(t.get(), t.get(), f.p.get(), ctx.get()) != nullptr &&
            BN_mul_word(t.get(), 121665) == 1 && BN_nnmod(t.get(), t.get(), f.p.get(), ctx.get()) == 1 &&
            BN_sub(f.d.get(), f.p.get(), t.get()) == 1;
  VESK_CHECK(ok, "Ed25519 field constants failed");
  return f;
}

const Field& field() {
  // Never destroyed: a thread still verifying while the process exits may need it.
  static const Field& f = *new Field(make_field());
  return f;
}

using Encoding = std::array<std::uint8_t, 32>;

// The y coordinates (little-endian, canonical) of the eight points of order dividing 8: the
// neutral element (y = 1), the point of order 2 (y = p - 1), the two of order 4 (y = 0) and the
// four of order 8 (y = y8 and p - y8, two points each). Each y belongs to no other point, so a
// decoded point has small order exactly when its y is one of these.
constexpr std::array<Encoding, 5> kSmallOrderY = {{
    {0x00},
    {0x01},
    {0xec, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
     0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f},
    {0x26, 0xe8, 0x95, 0x8f, 0xc2, 0xb2, 0x27, 0xb0, 0x45, 0xc3, 0xf4, 0x89, 0xf2, 0xef, 0x98, 0xf0,
     0xd5, 0xdf, 0xac, 0x05, 0xd3, 0xc6, 0x33, 0x39, 0xb1, 0x38, 0x02, 0x88, 0x6d, 0x53, 0xfc, 0x05},
    {0xc7, 0x17, 0x6a, 0x70, 0x3d, 0x4d, 0xd8, 0x4f, 0xba, 0x3c, 0x0b, 0x76, 0x0d, 0x10, 0x67, 0x0f,
     0x2a, 0x20, 0x53, 0xfa, 0x2c, 0x39, 0xcc, 0xc6, 0x4e, 0xc7, 0xfd, 0x77, 0x92, 0xac, 0x03, 0x7a},
}};

// Whether the encoding's y (sign bit aside) is that of a small-order point. Only meaningful for
// canonical encodings, which is all that can pass the equation.
bool small_order_y(Bytes encoding32) {
  Encoding y;
  std::memcpy(y.data(), encoding32.data(), 32);
  y[31] &= 0x7f;
  return std::any_of(kSmallOrderY.begin(), kSmallOrderY.end(), [&](const Encoding& s) { return s == y; });
}

}  // namespace

Ed25519SigningKey Ed25519SigningKey::from_secret(Bytes secret32) {
  VESK_CHECK(secret32.size() == kEd25519SecretLen, "Ed25519 secret key must be 32 bytes");
  PkeyPtr key(EVP_PKEY_new_raw_private_key_ex(library_context(), "ED25519", nullptr, secret32.data(), secret32.size()));
  VESK_CHECK(key != nullptr, "Ed25519 key import failed");
  Ed25519Public pub;
  std::size_t len = pub.size();
  VESK_CHECK(EVP_PKEY_get_raw_public_key(key.get(), pub.data(), &len) == 1 && len == pub.size(),
             "Ed25519 public key failed");
  return Ed25519SigningKey(std::move(key), pub);
}

bool Ed25519SigningKey::sign(Bytes message, MutBytes out64) const {
  VESK_CHECK(out64.size() == kEd25519SignatureLen, "Ed25519 signature buffer size");
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(library_context(), key_.get(), nullptr));
  if (ctx == nullptr || EVP_PKEY_sign_message_init(ctx.get(), signature_ed25519(), nullptr) != 1) return false;
  std::size_t len = out64.size();
  return EVP_PKEY_sign(ctx.get(), out64.data(), &len, nonnull_data(message), message.size()) == 1 &&
         len == kEd25519SignatureLen;
}

std::optional<Ed25519Point> ed25519_decode_point(Bytes encoding32) {
  VESK_CHECK(encoding32.size() == 32, "Ed25519 point encoding must be 32 bytes");
  Encoding y_bytes;
  std::memcpy(y_bytes.data(), encoding32.data(), 32);
  const bool x_negative = (y_bytes[31] & 0x80) != 0;
  y_bytes[31] &= 0x7f;

  const Field& f = field();
  BnCtxPtr ctx(BN_CTX_new_ex(library_context()));
  VESK_CHECK(ctx != nullptr, "bignum allocation failed");
  BN_CTX_start(ctx.get());
  BIGNUM* y = BN_CTX_get(ctx.get());
  BIGNUM* u = BN_CTX_get(ctx.get());
  BIGNUM* v = BN_CTX_get(ctx.get());
  BIGNUM* w = BN_CTX_get(ctx.get());
  VESK_CHECK(w != nullptr && BN_lebin2bn(y_bytes.data(), 32, y) != nullptr, "bignum allocation failed");
  if (BN_cmp(y, f.p.get()) >= 0) return std::nullopt;  // not canonical

  // x^2 = u / v with u = y^2 - 1 and v = d y^2 + 1 (never 0: -1/d is not a square). x exists
  // exactly when u v is a square, since u / v = u v / v^2.
  bool ok = BN_mod_sqr(u, y, f.p.get(), ctx.get()) == 1 && BN_mod_mul(v, u, f.d.get(), f.p.get(), ctx.get()) == 1 &&
            BN_mod_add(v, v, BN_value_one(), f.p.get(), ctx.get()) == 1 &&
            BN_mod_sub(u, u, BN_value_one(), f.p.get(), ctx.get()) == 1;
  VESK_CHECK(ok, "Ed25519 point decoding failed");
  if (BN_is_zero(u)) {
    // x = 0, whose only encoding has the sign bit clear.
    if (x_negative) return std::nullopt;
  } else {
    VESK_CHECK(BN_mod_mul(w, u, v, f.p.get(), ctx.get()) == 1, "Ed25519 point decoding failed");
    const int symbol = BN_kronecker(w, f.p.get(), ctx.get());
    VESK_CHECK(symbol != -2, "Ed25519 point decoding failed");
    if (symbol != 1) return std::nullopt;
  }

  return Ed25519Point{small_order_y(encoding32)};
}

std::optional<Ed25519VerifyingKey> Ed25519VerifyingKey::decode(Bytes encoding32) {
  if (encoding32.size() != kEd25519PublicLen) return std::nullopt;
  auto point = ed25519_decode_point(encoding32);
  if (!point) return std::nullopt;
  PkeyPtr key(EVP_PKEY_new_raw_public_key_ex(library_context(), "ED25519", nullptr, encoding32.data(), encoding32.size()));
  VESK_CHECK(key != nullptr, "Ed25519 public key import failed");
  Ed25519Public encoding;
  std::memcpy(encoding.data(), encoding32.data(), encoding.size());
  return Ed25519VerifyingKey(std::move(key), encoding, point->small_order);
}

bool Ed25519VerifyingKey::verify_strict(Bytes message, Bytes signature) const {
  if (signature.size() != kEd25519SignatureLen || small_order_) return false;
  // libcrypto compares R byte for byte with the canonical encoding of [S]B - [k]A, so an R that
  // is not canonical or does not decode never passes and needs no square-root test here (a few
  // percent of the verification). A small-order R can pass, so its order is checked.
  if (small_order_y(signature.first(32))) return false;
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(library_context(), key_.get(), nullptr));
  VESK_CHECK(ctx != nullptr && EVP_PKEY_verify_message_init(ctx.get(), signature_ed25519(), nullptr) == 1,
             "Ed25519 verification init failed");
  return EVP_PKEY_verify(ctx.get(), signature.data(), signature.size(), nonnull_data(message), message.size()) == 1;
}

}  // namespace vesk::crypto
