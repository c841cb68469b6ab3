#include "support/key_file_writer.h"

#include <stdexcept>

#include "core/crypto/aead.h"
#include "core/crypto/argon2.h"

namespace vesk::testing {

ByteVec compose_key_file(const KeyFileLayout& l, Bytes password, Bytes secret) {
  ByteVec header = {'V', 'E', 'S', 'K', '-', 'K', 'E', 'Y', l.version, l.lanes};
  for (std::uint32_t v : {l.memory_kib, l.passes})
    for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<std::uint8_t>(v >> shift));
  header.insert(header.end(), l.salt.begin(), l.salt.end());
  header.insert(header.end(), l.nonce.begin(), l.nonce.end());
  if (l.version == 2) header.push_back(l.kind);
  ByteVec key(32);
  if (!crypto::argon2id(password, l.salt, {l.lanes, l.memory_kib, l.passes}, key))
    throw std::runtime_error("argon2id refused the parameters of a composed key file");
  ByteVec sealed(secret.size() + 16);
  if (!crypto::aead_seal(key, l.nonce, header, secret, sealed)) throw std::runtime_error("sealing a composed key file failed");
  header.insert(header.end(), sealed.begin(), sealed.end());
  return header;
}

}  // namespace vesk::testing
