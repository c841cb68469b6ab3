/* vesk.hpp: scoped owners and calls over vesk.h for C++17 and later. Header-only; the library
 * exports nothing more for it.
 *
 * - vesk::Buffer owns a VeskBuffer and releases it (wiped) when it goes; vesk::SecretKey,
 *   vesk::SigningIdentity and vesk::SpentNonces own the three handles. All are move-only; a
 *   moved-from owner is empty and frees nothing. Using a moved-from owner is the one misuse the
 *   type system cannot stop: its get() is NULL, which every call refuses with
 *   VESK_INVALID_ARGUMENT.
 * - Inputs are vesk::ByteView (anything with data() and size() over bytes: std::vector, std::array,
 *   std::string, std::string_view, std::span) and vesk::Text (a NUL-terminated C string, or a
 *   std::string; vesk::OptionalText may also be std::nullopt for an absent text).
 * - Every call returns vesk::Result<T>: the value, or the VeskStatus the library gave. Statuses
 *   are results here, not exceptions: a wrong passphrase or a key that is not a recipient is an
 *   everyday answer a caller branches on, the mapping to VeskStatus stays one to one, and code
 *   built without exceptions can use the header as it is.
 *
 *     vesk::Result<vesk::KeyPair> pair = vesk::keypair_generate();
 *     if (!pair) return pair.status();
 *     vesk::Result<vesk::Buffer> sealed = vesk::encrypt(plaintext, pair->public_key.bytes(), 1);
 */
#ifndef VESK_HPP
#define VESK_HPP

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "vesk.h"

namespace vesk {

/* A borrowed byte range: pointer and length, from anything that has data() and size() over
 * 1-byte elements. Borrowed for one call; never kept. */
class ByteView {
 public:
  constexpr ByteView() noexcept = default;
  constexpr ByteView(const std::uint8_t* data, std::size_t size) noexcept : data_(data), size_(size) {}
  template <class Container, class = decltype(std::declval<const Container&>().data()),
            class = std::enable_if_t<sizeof(*std::declval<const Container&>().data()) == 1>>
  ByteView(const Container& c) noexcept  // NOLINT: converting, as a view should
      : data_(reinterpret_cast<const std::uint8_t*>(c.data())), size_(c.size()) {}
  constexpr const std::uint8_t* data() const noexcept { return data_; }
  constexpr std::size_t size() const noexcept { return size_; }
  constexpr bool empty() const noexcept { return size_ == 0; }

 private:
  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

/* A NUL-terminated UTF-8 text argument. */
class Text {
 public:
  Text(const char* text) noexcept : text_(text) {}           // NOLINT: converting
  Text(const std::string& text) noexcept : text_(text.c_str()) {}  // NOLINT: converting
  const char* c_str() const noexcept { return text_; }

 private:
  const char* text_;
};

/* A text argument that may be absent (NULL). */
class OptionalText {
 public:
  OptionalText() noexcept = default;
  OptionalText(std::nullopt_t) noexcept {}                            // NOLINT: converting
  OptionalText(const char* text) noexcept : text_(text) {}            // NOLINT: converting
  OptionalText(const std::string& text) noexcept : text_(text.c_str()) {}  // NOLINT: converting
  const char* c_str() const noexcept { return text_; }

 private:
  const char* text_ = nullptr;
};

/* Owns a VeskBuffer the library filled; releases it, wiped, when it goes. */
class Buffer {
 public:
  Buffer() noexcept : b_(vesk_buffer_empty()) {}
  ~Buffer() { vesk_buffer_free(&b_); }
  Buffer(Buffer&& other) noexcept : b_(other.b_) { other.b_ = vesk_buffer_empty(); }
  Buffer& operator=(Buffer&& other) noexcept {
    if (this != &other) {
      vesk_buffer_free(&b_);
      b_ = other.b_;
      other.b_ = vesk_buffer_empty();
    }
    return *this;
  }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;

  /* The record for an export to fill; what it held before is released first (an export
   * overwrites a record without releasing it). */
  VeskBuffer* out() noexcept {
    vesk_buffer_free(&b_);
    return &b_;
  }
  const VeskBuffer& get() const noexcept { return b_; }
  const std::uint8_t* data() const noexcept { return b_.data; }
  std::size_t size() const noexcept { return b_.len; }
  bool empty() const noexcept { return b_.len == 0; }
  ByteView bytes() const noexcept { return ByteView(b_.data, b_.len); }
  std::string_view text() const noexcept { return {reinterpret_cast<const char*>(b_.data), b_.len}; }
  /* A copy, which the caller then owns (and which is not wiped). */
  std::vector<std::uint8_t> to_vector() const { return std::vector<std::uint8_t>(b_.data, b_.data + b_.len); }
  /* Releases now, wiped. */
  void reset() noexcept { vesk_buffer_free(&b_); }

 private:
  VeskBuffer b_;
};

/* Owns one of the library's handles; freed (its secrets wiped) by Free when it goes. */
template <class Handle, void (*Free)(Handle*)>
class Owner {
 public:
  Owner() noexcept = default;
  explicit Owner(Handle* handle) noexcept : h_(handle) {}
  ~Owner() { Free(h_); }
  Owner(Owner&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
  Owner& operator=(Owner&& other) noexcept {
    if (this != &other) {
      Free(h_);
      h_ = std::exchange(other.h_, nullptr);
    }
    return *this;
  }
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;

  Handle* get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return h_ != nullptr; }
  /* Gives up ownership: the caller frees what is returned. */
  Handle* release() noexcept { return std::exchange(h_, nullptr); }

 private:
  Handle* h_ = nullptr;
};

using SecretKey = Owner<VeskSecretKeyHandle, vesk_secret_key_free>;
using SigningIdentity = Owner<VeskSigningIdentityHandle, vesk_signing_identity_free>;
using SpentNonces = Owner<VeskSpentNonceSet, vesk_spent_nonces_free>;

/* A status other than VESK_OK, on its way into a Result of any type. */
struct Failure {
  VeskStatus status;
};

/* A value, or the status the library gave instead. */
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : status_(VESK_OK), value_(std::move(value)) {}  // NOLINT: converting
  Result(Failure failure) : status_(failure.status) {}              // NOLINT: converting
  explicit operator bool() const noexcept { return status_ == VESK_OK; }
  bool ok() const noexcept { return status_ == VESK_OK; }
  VeskStatus status() const noexcept { return status_; }
  /* The value; only on success (checked by ok() or the bool conversion first). */
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }
  T&& operator*() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  const char* message() const noexcept { return vesk_error_message(status_); }

 private:
  VeskStatus status_;
  std::optional<T> value_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  explicit Result(VeskStatus status) : status_(status) {}
  explicit operator bool() const noexcept { return status_ == VESK_OK; }
  bool ok() const noexcept { return status_ == VESK_OK; }
  VeskStatus status() const noexcept { return status_; }
  const char* message() const noexcept { return vesk_error_message(status_); }

 private:
  VeskStatus status_;
};

namespace detail {
template <class T, class Fill>
Result<T> make(T value, Fill fill) {
  const VeskStatus s = fill(value);
  if (s != VESK_OK) return Failure{s};
  return Result<T>(std::move(value));
}
template <class Call>
Result<Buffer> into_buffer(Call call) {
  return make(Buffer(), [&](Buffer& b) { return call(b.out()); });
}
}  // namespace detail

/* ---- frame ------------------------------------------------------------------------------- */

inline const char* error_message(VeskStatus status) noexcept { return vesk_error_message(status); }
inline const char* version() noexcept { return vesk_version(); }

/* ---- recipient keys and key files -------------------------------------------------------- */

struct KeyPair {
  SecretKey secret;
  Buffer public_key; /* VESK_PUBLIC_KEY_LEN bytes */
};

inline Result<KeyPair> keypair_generate() {
  KeyPair pair;
  VeskSecretKeyHandle* handle = nullptr;
  const VeskStatus s = vesk_keypair_generate(&handle, pair.public_key.out());
  if (s != VESK_OK) return Failure{s};
  pair.secret = SecretKey(handle);
  return Result<KeyPair>(std::move(pair));
}

inline Result<Buffer> secret_key_public(const SecretKey& key) {
  return detail::into_buffer([&](VeskBuffer* out) { return vesk_secret_key_public(key.get(), out); });
}

inline Result<Buffer> public_key_armor(ByteView public_key) {
  return detail::into_buffer(
      [&](VeskBuffer* out) { return vesk_public_key_armor(public_key.data(), public_key.size(), out); });
}

inline Result<Buffer> public_key_dearmor(Text text) {
  return detail::into_buffer([&](VeskBuffer* out) { return vesk_public_key_dearmor(text.c_str(), out); });
}

inline Result<bool> inspect_key(ByteView data) {
  std::int32_t is_key_file = 0;
  const VeskStatus s = vesk_inspect_key(data.data(), data.size(), &is_key_file);
  if (s != VESK_OK) return Failure{s};
  return Result<bool>(is_key_file == 1);
}

inline Result<Buffer> secret_key_protect(const SecretKey& key, Text passphrase) {
  return detail::into_buffer(
      [&](VeskBuffer* out) { return vesk_secret_key_protect(key.get(), passphrase.c_str(), out); });
}

inline Result<SecretKey> secret_key_open(ByteView data, OptionalText passphrase = std::nullopt) {
  VeskSecretKeyHandle* handle = nullptr;
  const VeskStatus s = vesk_secret_key_open(data.data(), data.size(), passphrase.c_str(), &handle);
  if (s != VESK_OK) return Failure{s};
  return Result<SecretKey>(SecretKey(handle));
}

/* ---- encrypted containers ---------------------------------------------------------------- */

/* recipients: `count` public keys of VESK_PUBLIC_KEY_LEN bytes, back to back. */
inline Result<Buffer> encrypt(ByteView plaintext, ByteView recipients, std::size_t count,
                              OptionalText file_name = std::nullopt, OptionalText content_type = std::nullopt) {
  return detail::into_buffer([&](VeskBuffer* out) {
    return vesk_encrypt(plaintext.data(), plaintext.size(), recipients.data(), count, file_name.c_str(),
                        content_type.c_str(), out);
  });
}

struct Decrypted {
  Buffer plaintext;
  Buffer file_name;    /* empty when none is stored */
  Buffer content_type; /* empty when none is stored */
};

inline Result<Decrypted> decrypt(ByteView container, const SecretKey& key) {
  return detail::make(Decrypted(), [&](Decrypted& d) {
    return vesk_decrypt(container.data(), container.size(), key.get(), d.plaintext.out(), d.file_name.out(),
                        d.content_type.out());
  });
}

/* ---- signing identities, signatures, challenges ------------------------------------------ */

inline Result<SigningIdentity> signing_identity_open(ByteView data, OptionalText passphrase = std::nullopt) {
  VeskSigningIdentityHandle* handle = nullptr;
  const VeskStatus s = vesk_signing_identity_open(data.data(), data.size(), passphrase.c_str(), &handle);
  if (s != VESK_OK) return Failure{s};
  return Result<SigningIdentity>(SigningIdentity(handle));
}

inline Result<Buffer> signing_identity_public(const SigningIdentity& identity) {
  return detail::into_buffer([&](VeskBuffer* out) { return vesk_signing_identity_public(identity.get(), out); });
}

inline Result<Buffer> sign_message(const SigningIdentity& identity, ByteView context, ByteView message) {
  return detail::into_buffer([&](VeskBuffer* out) {
    return vesk_sign_message(identity.get(), context.data(), context.size(), message.data(), message.size(), out);
  });
}

inline Result<void> verify_message(ByteView verifying_key, ByteView context, ByteView message, ByteView signature) {
  return Result<void>(vesk_verify_message(verifying_key.data(), verifying_key.size(), context.data(),
                                          context.size(), message.data(), message.size(), signature.data(),
                                          signature.size()));
}

inline Result<Buffer> challenge_new(Text purpose, std::uint64_t issued_at, std::uint64_t lifetime) {
  return detail::into_buffer(
      [&](VeskBuffer* out) { return vesk_challenge_new(purpose.c_str(), issued_at, lifetime, out); });
}

inline Result<Buffer> challenge_answer(const SigningIdentity& identity, ByteView challenge) {
  return detail::into_buffer([&](VeskBuffer* out) {
    return vesk_challenge_answer(identity.get(), challenge.data(), challenge.size(), out);
  });
}

/* Never fails: exhausted memory stops the process. */
inline SpentNonces spent_nonces_new() { return SpentNonces(vesk_spent_nonces_new()); }

/* A set must not be used by two threads at once. */
inline Result<void> challenge_accept(SpentNonces& set, ByteView challenge, ByteView signature, ByteView verifying_key,
                                     std::uint64_t now) {
  return Result<void>(vesk_challenge_accept(set.get(), challenge.data(), challenge.size(), signature.data(),
                                            signature.size(), verifying_key.data(), verifying_key.size(), now));
}

inline Result<Buffer> identity_generate(Text passphrase) {
  return detail::into_buffer([&](VeskBuffer* out) { return vesk_identity_generate(passphrase.c_str(), out); });
}

/* ---- identity logs and epoch keys -------------------------------------------------------- */

inline Result<Buffer> identity_head(ByteView log, ByteView recovery_key) {
  return detail::into_buffer([&](VeskBuffer* out) {
    return vesk_identity_head(log.data(), log.size(), recovery_key.data(), recovery_key.size(), out);
  });
}

inline Result<std::uint64_t> identity_verify(ByteView log, ByteView recovery_key) {
  std::uint64_t active = 0;
  const VeskStatus s = vesk_identity_verify(log.data(), log.size(), recovery_key.data(), recovery_key.size(), &active);
  if (s != VESK_OK) return Failure{s};
  return Result<std::uint64_t>(active);
}

inline Result<std::uint64_t> identity_verify_pinned(ByteView log, ByteView recovery_binding, ByteView pin) {
  std::uint64_t active = 0;
  const VeskStatus s = vesk_identity_verify_pinned(log.data(), log.size(), recovery_binding.data(),
                                                   recovery_binding.size(), pin.data(), pin.size(), &active);
  if (s != VESK_OK) return Failure{s};
  return Result<std::uint64_t>(active);
}

inline Result<bool> identity_trusts_device(ByteView log, ByteView recovery_key, ByteView device_key) {
  std::int32_t trusted = 0;
  const VeskStatus s = vesk_identity_trusts_device(log.data(), log.size(), recovery_key.data(), recovery_key.size(),
                                                   device_key.data(), device_key.size(), &trusted);
  if (s != VESK_OK) return Failure{s};
  return Result<bool>(trusted == 1);
}

inline Result<Buffer> epoch_public_key(ByteView chain, std::uint64_t epoch_index) {
  return detail::into_buffer(
      [&](VeskBuffer* out) { return vesk_epoch_public_key(chain.data(), chain.size(), epoch_index, out); });
}

inline Result<std::uint64_t> epoch_verify(ByteView chain) {
  std::uint64_t count = 0;
  const VeskStatus s = vesk_epoch_verify(chain.data(), chain.size(), &count);
  if (s != VESK_OK) return Failure{s};
  return Result<std::uint64_t>(count);
}

inline Result<std::uint64_t> epoch_verify_bound(ByteView log, ByteView recovery_binding, ByteView pin, ByteView chain,
                                                ByteView epoch_binding) {
  std::uint64_t count = 0;
  const VeskStatus s =
      vesk_epoch_verify_bound(log.data(), log.size(), recovery_binding.data(), recovery_binding.size(), pin.data(),
                              pin.size(), chain.data(), chain.size(), epoch_binding.data(), epoch_binding.size(),
                              &count);
  if (s != VESK_OK) return Failure{s};
  return Result<std::uint64_t>(count);
}

/* ---- transparency ------------------------------------------------------------------------ */

inline Result<void> transparency_verify_inclusion(ByteView leaf_hash, std::uint64_t leaf_index, std::uint64_t tree_size,
                                                  ByteView proof, ByteView root) {
  return Result<void>(vesk_transparency_verify_inclusion(leaf_hash.data(), leaf_hash.size(), leaf_index, tree_size,
                                                         proof.data(), proof.size(), root.data(), root.size()));
}

inline Result<void> transparency_verify_consistency(std::uint64_t old_size, std::uint64_t new_size, ByteView proof,
                                                    ByteView old_root, ByteView new_root) {
  return Result<void>(vesk_transparency_verify_consistency(old_size, new_size, proof.data(), proof.size(),
                                                           old_root.data(), old_root.size(), new_root.data(),
                                                           new_root.size()));
}

struct Checkpoint {
  std::uint64_t tree_size = 0;
  Buffer root; /* VESK_HASH_LEN bytes */
};

inline Result<Checkpoint> checkpoint_verify(ByteView checkpoint, Text origin, ByteView verifying_key) {
  return detail::make(Checkpoint(), [&](Checkpoint& c) {
    return vesk_checkpoint_verify(checkpoint.data(), checkpoint.size(), origin.c_str(), verifying_key.data(),
                                  verifying_key.size(), &c.tree_size, c.root.out());
  });
}

}  // namespace vesk

#endif
