// The checkpoint parser and signature walk on arbitrary text, under a fixed log key.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "sign/hybrid.h"
#include "transparency/checkpoint/checkpoint.h"

using namespace vesk;

namespace {

const sign::DecodedVerifyingKey& log_key() {
  static const auto key = [] {
    // The same fixed seed as the seed corpus's signed checkpoints.
    auto identity = sign::SigningIdentity::from_seed(std::vector<std::uint8_t>(32, 0x11));
    auto decoded = sign::decode_verifying_key(identity->verifying_key());
    if (!decoded) std::abort();
    return std::make_unique<sign::DecodedVerifyingKey>(std::move(*decoded));
  }();
  return *key;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes text(data, size);
  auto parsed = transparency::parse_checkpoint(text);
  if (parsed) {
    // What the parser accepts has the shape it promises.
    if (parsed->signature_count() < 1 || parsed->signature_count() > transparency::kMaxSignatureLines) std::abort();
    if (parsed->body().empty() || parsed->body().back() != '\n' || text.back() != '\n') std::abort();
    for (std::size_t i = 0; i < parsed->signature_count(); ++i)
      if (parsed->signature(i).signature.empty() || parsed->signature(i).key_name.empty()) std::abort();
  }
  auto verified = transparency::verify_checkpoint(text, "example.com/log", log_key());
  if (verified && !parsed) std::abort();
  if (!parsed && verified.error() != transparency::CheckpointError::Malformed) std::abort();
  return 0;
}
