// The opaque handles behind the C interface.
#pragma once

#include <cstdint>
#include <memory>

#include "core/bytes.h"
#include "core/secret.h"
#include "core/crypto/xwing.h"
#include "sign/hybrid.h"
#include "vesk.h"

// A heap block of exactly 32 bytes: the recipient's X-Wing secret seed, nothing else.
struct VeskSecretKeyHandle {
  std::uint8_t seed[32];
};

// An opened signing identity. Only read by the operations that take it; freeing the handle wipes
// the identity's secrets.
struct VeskSigningIdentityHandle {
  std::unique_ptr<vesk::sign::SigningIdentity> identity;
};

namespace vesk::ffi {

// A new handle holding a copy of the seed. Exhausted memory stops the process.
VeskSecretKeyHandle* new_secret_key_handle(crypto::XWingSeed seed);
inline crypto::XWingSeed seed_of(const VeskSecretKeyHandle* h) { return crypto::XWingSeed(h->seed); }
// Wipes the 32 bytes and frees the block; NULL is ignored.
void free_secret_key_handle(VeskSecretKeyHandle* h);

// A new handle owning the identity. Exhausted memory stops the process.
VeskSigningIdentityHandle* new_signing_identity_handle(std::unique_ptr<sign::SigningIdentity> identity);
inline const sign::SigningIdentity& identity_of(const VeskSigningIdentityHandle* h) { return *h->identity; }
// Wipes the identity's secrets and frees both blocks; NULL is ignored.
void free_signing_identity_handle(VeskSigningIdentityHandle* h);

}  // namespace vesk::ffi
