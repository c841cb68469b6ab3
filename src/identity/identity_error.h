// The typed failures of the identity family. A kind, where it was raised (decoding the input or
// checking it: the same kind maps to different statuses), and the values some kinds carry. The
// texts stay inside the library.
#pragma once

#include <cstdint>

namespace vesk::identity {

// Malformed, TooManyEntries and LabelTooLong are raised both by the decoders and by replay; the
// exported functions report the first as malformed input and the second as failed authentication.
enum class ErrorStage { Decoding, Checking };

enum class IdentityErrorKind {
  UndecodableKey,        // a recovery or device key given by the caller that does not decode
  Malformed,             // decoding fails; in replay, a key that is not 1984 bytes
  TooManyEntries,        // more than 100000 entries; carries the count
  LabelTooLong,          // a label over 256 bytes
  EmptyLog,              // no entries
  SequenceMismatch,      // seq differs from the position; carries both
  LinkMismatch,          // stored link differs from the computed link hash
  BadSignature,          // signature of the wrong length, key that does not decode, invalid signature
  UnknownSigner,         // signer is not the key allowed to sign the entry
  UnexpectedEvent,       // carries "another event" or "a later Create"
  DeviceAlreadyActive,   // Add of an active device; carries the entry's seq
  UnknownDevice,         // Revoke of a device that is not active
  LastDevice,            // Revoke of the only active device
  PinMismatch,           // pin, binding identity and entry 0's link disagree
  BindingInvalid,        // entry 0's key does not decode, or the recovery binding signature fails
  EpochBindingMismatch,  // an epoch binding does not fit the log or the chain
};

struct IdentityError {
  IdentityErrorKind kind;
  ErrorStage stage = ErrorStage::Checking;
  std::uint64_t count = 0;     // TooManyEntries
  std::uint64_t position = 0;  // SequenceMismatch
  std::uint64_t seq = 0;       // SequenceMismatch (the stored seq), DeviceAlreadyActive
  const char* event = "";      // UnexpectedEvent
};

inline IdentityError decoding_error(IdentityErrorKind kind) { return {kind, ErrorStage::Decoding}; }
inline IdentityError checking_error(IdentityErrorKind kind) { return {kind, ErrorStage::Checking}; }

inline constexpr const char* kAnotherEvent = "another event";
inline constexpr const char* kLaterCreate = "a later Create";

}  // namespace vesk::identity
