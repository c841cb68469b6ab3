// A test-only container writer, for what vesk_encrypt never writes: signed containers of formats
// 1.0 and 0.5 (header or metadata signature), containers of format 0.5, unknown recipient types,
// extension entries, metadata that breaks the text rules, and headers edited after encoding. It
// holds the content key, so the header MAC always matches what it wrote; every record is encoded
// here item by item with the codec's primitives.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/crypto/aead.h"
#include "core/crypto/hash.h"
#include "core/random.h"
#include "format/cbor.h"
#include "format/container.h"
#include "format/container_keys.h"
#include "format/signature_rules.h"
#include "object/wrap.h"
#include "sign/hybrid.h"
#include "support/vectors.h"

namespace vesk::testing {

struct WriterEntry {
  std::uint64_t type;
  std::vector<ByteVec> fields;
};

enum class SignaturePlace { None, Header, Metadata, Both };

struct ContainerSpec {
  std::uint8_t version_byte = 1;
  std::uint8_t signed_flag = 0;
  std::uint64_t header_version = 1;
  std::vector<WriterEntry> entries_before;
  std::vector<ByteVec> recipients;  // public keys; each becomes a type-1 entry
  std::vector<WriterEntry> entries_after;
  std::vector<std::pair<std::uint64_t, ByteVec>> header_extensions;
  std::optional<std::string> file_name;
  std::optional<std::string> content_type;
  std::vector<std::pair<std::uint64_t, ByteVec>> metadata_extensions;

  SignaturePlace signature = SignaturePlace::None;
  const sign::SigningIdentity* signer = nullptr;
  std::optional<ByteVec> verifying_key;             // written instead of the signer's
  std::optional<format::FormatVersion> transcript;  // sign another version's transcript
  std::optional<ByteVec> signed_plaintext;          // sign as if the plaintext were this
  bool corrupt_signature = false;

  bool corrupt_metadata = false;                // a holder of the CEK alters the sealed metadata
  std::function<void(ByteVec& body)> edit_body;  // after encoding, before the MAC
};

namespace writer_detail {

inline void write_entry(format::CborEncoder& e, const WriterEntry& entry) {
  e.write_array_head(entry.fields.size() + 1);
  e.write_uint(entry.type);
  for (const ByteVec& f : entry.fields) e.write_bytes(f);
}

inline void write_signature(format::CborEncoder& e, const ByteVec& key, const sign::Signature& sig) {
  e.write_array_head(3);
  e.write_uint(1);
  e.write_bytes(key);
  e.write_bytes(sig);
}

inline ByteVec metadata(const ContainerSpec& s, const ByteVec* key, const sign::Signature* sig) {
  format::CborEncoder e;
  e.write_map_head(std::uint64_t{s.file_name.has_value()} + s.content_type.has_value() + (sig != nullptr) +
                   s.metadata_extensions.size());
  if (s.file_name) {
    e.write_uint(1);
    e.write_text(*s.file_name);
  }
  if (s.content_type) {
    e.write_uint(2);
    e.write_text(*s.content_type);
  }
  if (sig) {
    e.write_uint(3);
    write_signature(e, *key, *sig);
  }
  for (const auto& [k, v] : s.metadata_extensions) {
    e.write_uint(k);
    e.write_bytes(v);
  }
  return to_vec(e.view());
}

}  // namespace writer_detail

inline ByteVec write_container(const ContainerSpec& s, Bytes plaintext) {
  using namespace vesk::format;
  std::array<std::uint8_t, 32> cek, object_id;
  std::array<std::uint8_t, 16> salt;
  VESK_CHECK(random_fill(cek) && random_fill(object_id) && random_fill(salt), "test randomness");

  std::vector<WriterEntry> entries = s.entries_before;
  const object::CekWrapper wrapper(cek, object_id);
  for (const ByteVec& pk : s.recipients) {
    auto recipient = crypto::XWingRecipient::validate(pk);
    VESK_CHECK(recipient.has_value(), "test recipient key");
    auto w = wrapper.wrap(*recipient);
    VESK_CHECK(w.has_value(), "test wrap");
    entries.push_back({1, {ByteVec(w->encapsulation.begin(), w->encapsulation.end()),
                           ByteVec(w->wrapped_cek.begin(), w->wrapped_cek.end())}});
  }
  entries.insert(entries.end(), s.entries_after.begin(), s.entries_after.end());

  std::array<std::uint8_t, kPreludeLen> prelude{};
  std::memcpy(prelude.data(), kContainerMagic.data(), 8);
  prelude[9] = s.version_byte;
  prelude[10] = 0x01;
  prelude[11] = s.signed_flag;

  // The signature covers the header's entries and extensions, the unsigned metadata and the
  // plaintext; it is placed afterwards.
  std::optional<sign::Signature> signature;
  ByteVec verifying_key;
  if (s.signature != SignaturePlace::None) {
    VESK_CHECK(s.signer != nullptr, "signed test container without a signer");
    ContainerHeader view;
    view.object_id = object_id;
    for (const WriterEntry& entry : entries) {
      RecipientEntry r;
      r.type = static_cast<std::uint16_t>(entry.type);
      r.count = static_cast<std::uint8_t>(entry.fields.size());
      for (std::size_t i = 0; i < entry.fields.size(); ++i) r.strings[i] = entry.fields[i];
      view.recipients.push_back(r);
    }
    for (const auto& [k, v] : s.header_extensions) view.extensions.push_back({static_cast<std::uint16_t>(k), SecureVector(v.begin(), v.end())});
    const ByteVec unsigned_metadata = writer_detail::metadata(s, nullptr, nullptr);
    const Bytes signed_plaintext = s.signed_plaintext ? Bytes(*s.signed_plaintext) : plaintext;
    const FormatVersion version = s.transcript.value_or(static_cast<FormatVersion>(s.version_byte));
    const auto digest = crypto::sha256(signed_plaintext);
    const auto transcript =
        signature_transcript(version, prelude, view, unsigned_metadata, digest, signed_plaintext.size());
    signature = sign::hybrid_sign(*s.signer, as_bytes(signature_context(version)), transcript);
    if (s.corrupt_signature) (*signature)[100] ^= 0x01;
    verifying_key = s.verifying_key.value_or(
        ByteVec(s.signer->verifying_key().begin(), s.signer->verifying_key().end()));
  }
  const bool in_header = s.signature == SignaturePlace::Header || s.signature == SignaturePlace::Both;
  const bool in_metadata = s.signature == SignaturePlace::Metadata || s.signature == SignaturePlace::Both;

  const ByteVec meta = writer_detail::metadata(s, &verifying_key, in_metadata ? &*signature : nullptr);
  ByteVec sealed_metadata(meta.size() + 16);
  const auto metadata_key = derive_metadata_key(cek, object_id);
  VESK_CHECK(crypto::aead_seal(metadata_key.view(), kMetadataNonce, metadata_aad(object_id), meta, sealed_metadata),
             "test metadata seal");
  if (s.corrupt_metadata) sealed_metadata[0] ^= 0x01;

  CborEncoder e;
  e.write_map_head(5 + s.header_extensions.size());
  e.write_uint(1);
  e.write_uint(s.header_version);
  e.write_uint(2);
  e.write_bytes(object_id);
  e.write_uint(3);
  e.write_array_head(entries.size());
  for (const WriterEntry& entry : entries) writer_detail::write_entry(e, entry);
  e.write_uint(4);
  e.write_bytes(sealed_metadata);
  e.write_uint(5);
  e.write_array_head(in_header ? 1 : 0);
  if (in_header) writer_detail::write_signature(e, verifying_key, *signature);
  for (const auto& [k, v] : s.header_extensions) {
    e.write_uint(k);
    e.write_bytes(v);
  }
  ByteVec body = to_vec(e.view());
  if (s.edit_body) s.edit_body(body);

  store_be32(prelude.data() + 12, static_cast<std::uint32_t>(header_block_len(body.size())));
  const auto mac_key = derive_header_mac_key(cek, object_id);
  const auto mac = header_mac(mac_key.view(), prelude, body);
  const auto block = encode_header_block(body, mac);

  ByteVec out = cat({prelude, block, salt});
  const auto payload_key = derive_payload_key(cek, salt, object_id);
  const auto header_hash = crypto::sha256(body);
  ChunkAad aad(object_id, header_hash);
  std::size_t offset = 0;
  for (std::uint64_t index = 0;; ++index) {
    const std::size_t take = std::min(kChunkPlaintextLen, plaintext.size() - offset);
    const bool last = offset + take == plaintext.size();
    const std::uint8_t type = last ? kChunkLast : kChunkMore;
    out.push_back(type);
    std::uint8_t len[4];
    store_be32(len, static_cast<std::uint32_t>(take + 16));
    out.insert(out.end(), len, len + 4);
    ByteVec sealed(take + 16);
    VESK_CHECK(crypto::aead_seal(payload_key.view(), chunk_nonce(index, last),
                                 aad.at(index, type, static_cast<std::uint32_t>(take)), plaintext.subspan(offset, take),
                                 sealed),
               "test chunk seal");
    out.insert(out.end(), sealed.begin(), sealed.end());
    offset += take;
    if (last) break;
  }
  return out;
}

}  // namespace vesk::testing
