#include "keyring/key_file.h"

#include <atomic>
#include <cstring>

#include "core/byte_io.h"
#include "core/check.h"
#include "core/crypto/aead.h"
#include "core/crypto/argon2.h"
#include "core/crypto/hmac.h"
#include "core/random.h"
#include "core/unicode.h"
#include "core/utf8.h"
#include "keyring/key_file_testing.h"

namespace vesk::keyring {
namespace {

constexpr std::uint8_t kMagic[kMagicLen] = {'V', 'E', 'S', 'K', '-', 'K', 'E', 'Y'};
constexpr std::size_t kSaltLen = 16;
constexpr std::size_t kSecretLen = 32;
constexpr std::size_t kSealedLen = kSecretLen + crypto::kAeadTagLen;
constexpr std::size_t kHeaderV2Len = kKeyFileV2Len - kSealedLen;  // 47, the kind byte included
static_assert(kKeyFileV1Len - kSealedLen == 46 && kHeaderV2Len == 47);

// What the writer uses; the parser accepts the ranges below, so that files written with other
// costs still open while a hostile file cannot demand more than 256 MiB, 64 passes and 4 lanes.
constexpr crypto::Argon2Params kWriteParams{.lanes = 1, .memory_kib = 19456, .iterations = 2};
constexpr std::uint32_t kMinLanes = 1, kMaxLanes = 4;
constexpr std::uint32_t kMinMemoryKib = 8192, kMaxMemoryKib = 262144;
constexpr std::uint32_t kMinIterations = 1, kMaxIterations = 64;

constexpr std::size_t kMinPassphraseScalars = 8;
constexpr std::string_view kIdentityEncryptionLabel = "VESK/0.5 identity encryption";

std::atomic<std::uint64_t> g_derivations{0};

bool derive_key(Bytes password, Bytes salt, const crypto::Argon2Params& params, Key32& key) {
  g_derivations.fetch_add(1, std::memory_order_relaxed);
  return crypto::argon2id(password, salt, params, key.span());
}

KeyFileError error(KeyFileErrorKind kind) { return KeyFileError{kind}; }

// Reads from data whose length was checked against the layout first, so a short read is a bug.
template <class T>
T take(std::optional<T> v) {
  VESK_CHECK(v.has_value(), "key file layout read past its checked length");
  return *v;
}

// The passphrase forms to try, each at most once: NFC, as given, NFD. Every form lives in a
// wiping buffer.
struct Candidates {
  std::array<SecureVector, 3> forms;
  std::size_t count = 0;

  void add(SecureVector form) {
    for (std::size_t i = 0; i < count; ++i)
      if (equal_bytes(Bytes(forms[i].data(), forms[i].size()), Bytes(form.data(), form.size()))) return;
    forms[count++] = std::move(form);
  }
};

Candidates passphrase_candidates(std::string_view passphrase) {
  const Bytes given = as_bytes(passphrase);
  Candidates c;
  // Text that is not UTF-8 has no normal forms; it is still tried as given.
  if (auto nfc = normalize(given, NormalForm::Nfc)) c.add(std::move(*nfc));
  c.add(SecureVector(given.begin(), given.end()));
  if (auto nfd = normalize(given, NormalForm::Nfd)) c.add(std::move(*nfd));
  return c;
}

}  // namespace

bool has_key_file_magic(Bytes data) {
  return data.size() >= kMagicLen && std::memcmp(data.data(), kMagic, kMagicLen) == 0;
}

Expected<KeyFileBytes, KeyFileError> write_key_file(Bytes secret32, std::string_view passphrase, SecretKind kind) {
  VESK_CHECK(secret32.size() == kSecretLen, "a key file holds a 32-byte secret");
  VESK_CHECK(kind == SecretKind::IdentitySeed || kind == SecretKind::RecipientSeed, "unknown key-file kind");
  auto nfc = normalize(as_bytes(passphrase), NormalForm::Nfc);
  VESK_CHECK(nfc.has_value(), "key-file passphrase must be UTF-8");  // checked at the interface
  const Bytes password(nfc->data(), nfc->size());
  if (count_scalars(password) < kMinPassphraseScalars) return unexpected(error(KeyFileErrorKind::PassphraseTooShort));

  std::array<std::uint8_t, kSaltLen> salt;
  std::array<std::uint8_t, crypto::kAeadNonceLen> nonce;
  if (!random_fill(salt) || !random_fill(nonce)) return unexpected(error(KeyFileErrorKind::Other));

  KeyFileBytes file{};
  ByteWriter header(MutBytes(file).first(kHeaderV2Len));
  header.put(kMagic);
  header.put_u8(2);
  header.put_u8(static_cast<std::uint8_t>(kWriteParams.lanes));
  header.put_be32(kWriteParams.memory_kib);
  header.put_be32(kWriteParams.iterations);
  header.put(salt);
  header.put(nonce);
  header.put_u8(static_cast<std::uint8_t>(kind));
  header.finish();

  Key32 key;
  if (!derive_key(password, salt, kWriteParams, key)) return unexpected(error(KeyFileErrorKind::Other));

  const MutBytes sealed = MutBytes(file).subspan(kHeaderV2Len);
  // Sealed straight from the caller's secret: `file` never holds it in the clear.
  if (!crypto::aead_seal(key.view(), nonce, header.view(), secret32, sealed))
    return unexpected(error(KeyFileErrorKind::Other));
  return file;
}

Expected<OpenedSecret, KeyFileError> parse_key_file(Bytes data, std::string_view passphrase) {
  VESK_CHECK(has_key_file_magic(data), "parse_key_file needs data that begins with the magic");
  ByteReader in(data);
  take(in.read(kMagicLen));

  // Structure and cost are settled before anything is derived.
  auto version = in.read_u8();
  if (!version) return unexpected(error(KeyFileErrorKind::Malformed));  // the magic alone
  if (*version == 1) {
    if (data.size() != kKeyFileV1Len) return unexpected(error(KeyFileErrorKind::Malformed));
  } else if (*version == 2) {
    if (data.size() != kKeyFileV2Len) return unexpected(error(KeyFileErrorKind::Malformed));
  } else {
    return unexpected(error(KeyFileErrorKind::UnsupportedVersion));
  }

  const crypto::Argon2Params params{
      .lanes = take(in.read_u8()), .memory_kib = take(in.read_be32()), .iterations = take(in.read_be32())};
  if (params.lanes < kMinLanes || params.lanes > kMaxLanes || params.memory_kib < kMinMemoryKib ||
      params.memory_kib > kMaxMemoryKib || params.iterations < kMinIterations || params.iterations > kMaxIterations)
    return unexpected(error(KeyFileErrorKind::BadParameters));

  const Bytes salt = take(in.read(kSaltLen));
  const Bytes nonce = take(in.read(crypto::kAeadNonceLen));
  SecretKind kind = SecretKind::RecipientSeed;  // every version 1 file
  if (*version == 2) {
    const std::uint8_t k = take(in.read_u8());
    if (k != static_cast<std::uint8_t>(SecretKind::IdentitySeed) &&
        k != static_cast<std::uint8_t>(SecretKind::RecipientSeed))
      return unexpected(error(KeyFileErrorKind::Malformed));
    kind = static_cast<SecretKind>(k);
  }
  const Bytes header = data.first(in.position());
  const Bytes sealed = take(in.read(kSealedLen));
  VESK_CHECK(in.at_end(), "key file layout");

  const Candidates candidates = passphrase_candidates(passphrase);
  for (std::size_t i = 0; i < candidates.count; ++i) {
    const SecureVector& form = candidates.forms[i];
    Key32 key;
    if (!derive_key(Bytes(form.data(), form.size()), salt, params, key))
      return unexpected(error(KeyFileErrorKind::BadParameters));
    OpenedSecret opened{Key32(), kind};
    // A failed open may leave unauthenticated bytes in the secret; its destructor wipes them.
    if (crypto::aead_open(key.view(), nonce, header, sealed, opened.secret.span())) return opened;
  }
  return unexpected(error(KeyFileErrorKind::WrongPassphrase));
}

Key32 identity_encryption_seed(Bytes identity_seed32) {
  VESK_CHECK(identity_seed32.size() == 32, "an identity seed is 32 bytes");
  return crypto::hkdf_expand32(identity_seed32, {as_bytes(kIdentityEncryptionLabel)});
}

namespace testing_hooks {
std::uint64_t argon2_derivations() { return g_derivations.load(std::memory_order_relaxed); }
}  // namespace testing_hooks

}  // namespace vesk::keyring
