#include "ffi/handles.h"

#include <cstdlib>
#include <cstring>

#include "core/check.h"
#include "core/memory.h"

namespace vesk::ffi {

static_assert(sizeof(VeskSecretKeyHandle) == crypto::kXWingSeedLen && alignof(VeskSecretKeyHandle) == 1);

VeskSecretKeyHandle* new_secret_key_handle(crypto::XWingSeed seed) {
  auto* h = static_cast<VeskSecretKeyHandle*>(checked_malloc(sizeof(VeskSecretKeyHandle)));
  std::memcpy(h->seed, seed.data(), seed.size());
  return h;
}

void free_secret_key_handle(VeskSecretKeyHandle* h) {
  if (h == nullptr) return;
  wipe(h->seed, sizeof h->seed);
  std::free(h);
}

VeskSigningIdentityHandle* new_signing_identity_handle(std::unique_ptr<sign::SigningIdentity> identity) {
  VESK_CHECK(identity != nullptr, "signing identity missing");
  return new VeskSigningIdentityHandle{std::move(identity)};
}

void free_signing_identity_handle(VeskSigningIdentityHandle* h) { delete h; }

}  // namespace vesk::ffi
