// Sender signatures of a container: where one may stand, when one is required, and the transcript
// it signs in each format version. Verification itself belongs to the caller (the hybrid
// signature sits above this family).
#pragma once

#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include "core/bytes.h"
#include "core/expected.h"
#include "core/secret.h"
#include "format/container.h"
#include "format/metadata.h"

namespace vesk::format {

enum class SignatureRefusal {
  BothPlaces,  // a header signature and a metadata signature
  Missing,     // format 0.5, or format 1.0 with signed_flag 1, and no signature
  Unexpected,  // a signature in a format 1.0 container whose signed_flag is 0
};

// None expected and none present: nothing to verify.
struct NoSignature {};
// What the signature rules call for: nothing, the one signature to verify, or a refusal.
using SignatureCheck = std::variant<NoSignature, SignatureBlock, SignatureRefusal>;

SignatureCheck select_signature(const ContainerPrelude& prelude, const ContainerHeader& header,
                                const ContainerMetadata& metadata);

// Format 0.5 admits no header or metadata extension entry and no recipient entry other than type 1.
FormatResult<void> check_v05_header(const ContainerHeader& header);
FormatResult<void> check_v05_metadata(const ContainerMetadata& metadata);

// "VESK/1.0 container" or "VESK/0.5 container".
std::string_view signature_context(FormatVersion version);

// The bytes a sender signs. `metadata_unsigned` is the metadata re-encoded without its signature,
// `plaintext_hash` the SHA-256 of the whole plaintext. Format 1.0 also covers the first 12 prelude
// bytes, every recipient entry's type and fields, and the header extension entries. It holds the
// metadata, so it is wiped when released.
SecureVector signature_transcript(FormatVersion version, Bytes prelude, const ContainerHeader& header,
                                               Bytes metadata_unsigned, Bytes plaintext_hash,
                                               std::uint64_t plaintext_len);

}  // namespace vesk::format
