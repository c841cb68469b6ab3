#include "core/crypto/x25519.h"

#include "core/check.h"
#include "core/crypto/evp.h"

namespace vesk::crypto {

// The free functions are one-shot uses of X25519Key, so the import and the exchange are written once.
X25519Public x25519_public(Bytes secret) { return X25519Key::from_secret(secret).public_key(); }

std::optional<Key32> x25519(Bytes secret, Bytes peer_public) {
  return X25519Key::from_secret(secret).exchange(peer_public);
}

X25519Key X25519Key::from_secret(Bytes secret) {
  VESK_CHECK(secret.size() == 32, "X25519 secret must be 32 bytes");
  PkeyPtr key(EVP_PKEY_new_raw_private_key_ex(library_context(), "X25519", nullptr, secret.data(), secret.size()));
  VESK_CHECK(key != nullptr, "X25519 key import failed");
  X25519Public pub;
  std::size_t len = pub.size();
  VESK_CHECK(EVP_PKEY_get_raw_public_key(key.get(), pub.data(), &len) == 1 && len == 32, "X25519 public key failed");
  return X25519Key(std::move(key), pub);
}

std::optional<Key32> X25519Key::exchange(Bytes peer_public) const {
  VESK_CHECK(peer_public.size() == 32, "X25519 peer key must be 32 bytes");
  PkeyPtr peer(EVP_PKEY_new_raw_public_key_ex(library_context(), "X25519", nullptr, peer_public.data(), peer_public.size()));
  VESK_CHECK(peer != nullptr, "X25519 key import failed");
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(library_context(), key_.get(), nullptr));
  VESK_CHECK(ctx != nullptr && EVP_PKEY_derive_init(ctx.get()) == 1, "X25519 derive init failed");
  if (EVP_PKEY_derive_set_peer_ex(ctx.get(), peer.get(), 0) != 1) return std::nullopt;
  Key32 shared;
  std::size_t len = shared.size();
  if (EVP_PKEY_derive(ctx.get(), shared.data(), &len) != 1 || len != 32) return std::nullopt;
  return shared;
}

}  // namespace vesk::crypto
