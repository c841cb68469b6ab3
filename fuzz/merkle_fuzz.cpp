// Merkle proof verification with fuzzer-chosen sizes, index and proof: it must always end, never
// read outside the proof, and agree with the export (which adds only the argument rules).
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>

#include "core/byte_io.h"
#include "transparency/merkle.h"
#include "vesk.h"

using namespace vesk;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ByteReader in(Bytes(data, size));
  auto a = in.read_be64();
  auto b = in.read_be64();
  auto h1 = in.read(crypto::kDigest32Len);
  auto h2 = in.read(crypto::kDigest32Len);
  if (!a || !b || !h1 || !h2) return 0;
  // The proof is whatever is left, capped at the largest proof the exports take and copied so that
  // an out-of-bounds read past it is caught.
  const std::size_t len = in.remaining() < transparency::kMaxProofLen ? in.remaining() : transparency::kMaxProofLen;
  std::uint8_t* proof = len ? static_cast<std::uint8_t*>(std::malloc(len)) : nullptr;
  if (len) std::copy_n(in.rest().begin(), len, proof);
  const Bytes p(proof, len);
  const transparency::HashView x(h1->data(), crypto::kDigest32Len), y(h2->data(), crypto::kDigest32Len);

  const bool inc = transparency::verify_inclusion(x, *a, *b, p, y);
  const bool con = transparency::verify_consistency(*a, *b, p, x, y);
  if (len % crypto::kDigest32Len == 0) {
    if (vesk_transparency_verify_inclusion(x.data(), 32, *a, *b, proof, len, y.data(), 32) != (inc ? 0 : 4)) std::abort();
    if (vesk_transparency_verify_consistency(*a, *b, proof, len, x.data(), 32, y.data(), 32) != (con ? 0 : 4))
      std::abort();
  } else if (inc || con) {
    std::abort();  // a proof that is not whole hashes never verifies
  }
  std::free(proof);
  return 0;
}
