#include "core/secret.h"

#include <openssl/crypto.h>
#include <string.h>

namespace vesk {

void wipe(void* p, std::size_t n) {
  if (p != nullptr && n != 0) explicit_bzero(p, n);
}

bool ct_equal(Bytes a, Bytes b) {
  if (a.size() != b.size()) return false;
  if (a.empty()) return true;
  return CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace vesk
