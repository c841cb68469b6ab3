#include "core/crypto/hash.h"

#include "core/check.h"

namespace vesk::crypto {

Sha256::Sha256() : ctx_(EVP_MD_CTX_new()) {
  VESK_CHECK(ctx_ && EVP_DigestInit_ex2(ctx_.get(), md_sha256(), nullptr) == 1, "digest init failed");
}

Sha256& Sha256::update(Bytes data) {
  if (!data.empty()) VESK_CHECK(EVP_DigestUpdate(ctx_.get(), data.data(), data.size()) == 1, "digest update failed");
  return *this;
}

Digest32 Sha256::finish() {
  Digest32 out;
  unsigned int len = 0;
  VESK_CHECK(EVP_DigestFinal_ex(ctx_.get(), out.data(), &len) == 1 && len == out.size(), "digest final failed");
  VESK_CHECK(EVP_DigestInit_ex2(ctx_.get(), md_sha256(), nullptr) == 1, "digest init failed");
  return out;
}

namespace {

void digest(const EVP_MD* md, std::initializer_list<Bytes> parts, MutBytes out, bool xof) {
  MdCtxPtr ctx(EVP_MD_CTX_new());
  VESK_CHECK(ctx && EVP_DigestInit_ex2(ctx.get(), md, nullptr) == 1, "digest init failed");
  for (Bytes p : parts)
    if (!p.empty()) VESK_CHECK(EVP_DigestUpdate(ctx.get(), p.data(), p.size()) == 1, "digest update failed");
  if (xof) {
    VESK_CHECK(EVP_DigestFinalXOF(ctx.get(), out.data(), out.size()) == 1, "XOF final failed");
  } else {
    unsigned int len = 0;
    VESK_CHECK(EVP_DigestFinal_ex(ctx.get(), out.data(), &len) == 1 && len == out.size(), "digest final failed");
  }
}

}  // namespace

Digest32 sha256(std::initializer_list<Bytes> parts) {
  Digest32 d;
  digest(md_sha256(), parts, d, false);
  return d;
}
Digest64 sha512(std::initializer_list<Bytes> parts) {
  Digest64 d;
  digest(md_sha512(), parts, d, false);
  return d;
}
Digest32 sha3_256(std::initializer_list<Bytes> parts) {
  Digest32 d;
  digest(md_sha3_256(), parts, d, false);
  return d;
}
void shake256(std::initializer_list<Bytes> parts, MutBytes out) { digest(md_shake256(), parts, out, true); }

}  // namespace vesk::crypto
