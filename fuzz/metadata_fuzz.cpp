// The metadata decoder and its canonical rule: whatever decodes re-encodes to the very same bytes,
// its texts obey the name and content-type rules, and its unsigned form (as signed transcripts use
// it) decodes again to the same record less the signature.
#include <cstdint>
#include <cstdlib>

#include "format/metadata.h"

using namespace vesk;
using namespace vesk::format;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes input(data, size);
  auto metadata = decode_metadata(input);
  if (!metadata) return 0;

  auto again = encode_metadata(*metadata);
  if (!again || !equal_bytes(Bytes(again->data(), again->size()), input)) std::abort();
  if (metadata->file_name && !file_name_ok(*metadata->file_name)) std::abort();
  if (metadata->content_type && !content_type_ok(*metadata->content_type)) std::abort();
  if (metadata->extensions.size() > kMaxMetadataExtensions) std::abort();

  auto unsigned_form = encode_metadata(*metadata, false);
  if (!unsigned_form) std::abort();
  auto reread = decode_metadata(Bytes(unsigned_form->data(), unsigned_form->size()));
  if (!reread || reread->signature || reread->file_name != metadata->file_name ||
      reread->content_type != metadata->content_type || reread->extensions != metadata->extensions)
    std::abort();
  if (metadata->signature.has_value() == (unsigned_form->size() == size)) std::abort();
  return 0;
}
