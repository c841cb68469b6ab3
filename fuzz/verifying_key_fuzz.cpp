// decode_verifying_key and hybrid_verify on fuzzer-chosen keys, contexts, messages and signatures.
//
// Input: a flags byte, a 16-bit context length and a 16-bit position, then the key (when flag 1
// is set), the signature (up to 3373 bytes, unless flag 2 is set), the context and the message.
// Without flag 1 the key is a fixed identity's, with the byte at the position changed when flag 4
// is set. With flag 2 that identity signs the context and message: the signature must verify, and
// must stop verifying once the byte at the position is changed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/byte_io.h"
#include "core/check.h"
#include "sign/hybrid.h"

using namespace vesk;

namespace {

const sign::SigningIdentity& fixed_identity() {
  static const auto identity = [] {
    std::uint8_t seed[32];
    for (int i = 0; i < 32; ++i) seed[i] = static_cast<std::uint8_t>(0xA0 + i);
    return sign::SigningIdentity::from_seed(seed);
  }();
  return *identity;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ByteReader in(Bytes(data, size));
  const auto flags = in.read_u8();
  const auto context_len = in.read_be16();
  const auto position = in.read_be16();
  if (!flags || !context_len || !position) return 0;

  const sign::SigningIdentity& identity = fixed_identity();
  sign::VerifyingKeyBytes own_key = identity.verifying_key();
  Bytes key;
  if (*flags & 1) {
    key = *in.read(std::min(in.remaining(), sign::kVerifyingKeyLen));
  } else {
    if (*flags & 4) own_key[*position % own_key.size()] ^= 0x01;
    key = own_key;
  }
  Bytes signature;
  if (!(*flags & 2)) signature = *in.read(std::min(in.remaining(), sign::kSignatureLen));
  const Bytes context = *in.read(std::min<std::size_t>(in.remaining(), *context_len % 4097));
  const Bytes message = in.rest();

  auto decoded = sign::decode_verifying_key(key);
  if (key.size() != sign::kVerifyingKeyLen && decoded) std::abort();
  if (!decoded) return 0;
  if (!(*flags & 2)) {
    (void)sign::hybrid_verify(*decoded, context, message, signature);
    return 0;
  }

  sign::Signature sig = sign::hybrid_sign(identity, context, message);
  const bool own = !(*flags & 1) && !(*flags & 4);
  if (own && !sign::hybrid_verify(*decoded, context, message, sig)) std::abort();
  sig[*position % sig.size()] ^= 0x01;
  if (sign::hybrid_verify(*decoded, context, message, sig)) std::abort();
  return 0;
}
