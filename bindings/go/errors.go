package vesk

/*
#include <vesk.h>
*/
import "C"

import "errors"

// Status is a status the library returns: StatusOK for success, any other value a failure.
type Status int32

// The library's statuses, with the values of vesk.h.
const (
	StatusOK                   Status = 0
	StatusInvalidArgument      Status = 1
	StatusWrongPassphrase      Status = 2
	StatusNotKeyFile           Status = 3
	StatusAuthenticationFailed Status = 4
	StatusNoMatchingRecipient  Status = 5
	StatusMalformedInput       Status = 6
	StatusInputTooLarge        Status = 7
	StatusChallengeExpired     Status = 8
	StatusChallengeReplayed    Status = 9
	StatusInternalFault        Status = 98
	StatusInternalError        Status = 99
)

// Each value above is the header's: a difference is an index out of range, which does not compile.
var (
	_ = [1]struct{}{}[StatusOK-C.VESK_OK]
	_ = [1]struct{}{}[StatusInvalidArgument-C.VESK_INVALID_ARGUMENT]
	_ = [1]struct{}{}[StatusWrongPassphrase-C.VESK_WRONG_PASSPHRASE]
	_ = [1]struct{}{}[StatusNotKeyFile-C.VESK_NOT_KEY_FILE]
	_ = [1]struct{}{}[StatusAuthenticationFailed-C.VESK_AUTHENTICATION_FAILED]
	_ = [1]struct{}{}[StatusNoMatchingRecipient-C.VESK_NO_MATCHING_RECIPIENT]
	_ = [1]struct{}{}[StatusMalformedInput-C.VESK_MALFORMED_INPUT]
	_ = [1]struct{}{}[StatusInputTooLarge-C.VESK_INPUT_TOO_LARGE]
	_ = [1]struct{}{}[StatusChallengeExpired-C.VESK_CHALLENGE_EXPIRED]
	_ = [1]struct{}{}[StatusChallengeReplayed-C.VESK_CHALLENGE_REPLAYED]
	_ = [1]struct{}{}[StatusInternalFault-C.VESK_INTERNAL_FAULT]
	_ = [1]struct{}{}[StatusInternalError-C.VESK_INTERNAL_ERROR]
)

// String is the library's text for the status (vesk_error_message): "invalid argument",
// "authentication failed; the data was altered", ...; "internal error" for a value it does not
// list.
func (s Status) String() string {
	// A static text of the library: copied, never freed.
	return C.GoString(C.vesk_error_message(C.int32_t(s)))
}

// One sentinel per failure status, for errors.Is. Every error a call returns for a status is an
// *Error that matches its sentinel.
var (
	ErrInvalidArgument      error = sentinel(StatusInvalidArgument)      // an argument broke the interface's rules
	ErrWrongPassphrase      error = sentinel(StatusWrongPassphrase)      // no form of the passphrase opens the key file, or it was modified
	ErrNotKeyFile           error = sentinel(StatusNotKeyFile)           // not a supported key file, or a verifying key that does not decode
	ErrAuthenticationFailed error = sentinel(StatusAuthenticationFailed) // a signature, proof, log or container did not verify
	ErrNoMatchingRecipient  error = sentinel(StatusNoMatchingRecipient)  // the container was not encrypted to this key (or its header was altered)
	ErrMalformedInput       error = sentinel(StatusMalformedInput)       // malformed, truncated or corrupt input
	ErrInputTooLarge        error = sentinel(StatusInputTooLarge)        // the input is too large
	ErrChallengeExpired     error = sentinel(StatusChallengeExpired)     // the challenge expired before it was answered
	ErrChallengeReplayed    error = sentinel(StatusChallengeReplayed)    // the challenge was already answered
	ErrInternalFault        error = sentinel(StatusInternalFault)        // a fault inside the library, caught by its guard
	ErrInternalError        error = sentinel(StatusInternalError)        // an internal error, such as a failing randomness source
)

// ErrClosed is matched (besides ErrInvalidArgument) by the error of a call on a handle that was
// closed, or that no constructor of this package made.
var ErrClosed = errors.New("vesk: use of a closed handle")

var sentinels = map[Status]error{
	StatusInvalidArgument:      ErrInvalidArgument,
	StatusWrongPassphrase:      ErrWrongPassphrase,
	StatusNotKeyFile:           ErrNotKeyFile,
	StatusAuthenticationFailed: ErrAuthenticationFailed,
	StatusNoMatchingRecipient:  ErrNoMatchingRecipient,
	StatusMalformedInput:       ErrMalformedInput,
	StatusInputTooLarge:        ErrInputTooLarge,
	StatusChallengeExpired:     ErrChallengeExpired,
	StatusChallengeReplayed:    ErrChallengeReplayed,
	StatusInternalFault:        ErrInternalFault,
	StatusInternalError:        ErrInternalError,
}

// sentinel is the value behind each Err... variable: comparable, and spelled by the library.
type sentinel Status

func (s sentinel) Error() string { return "vesk: " + Status(s).String() }

// Error is what every call returns for a failure: the library's status, the call, the library's
// text for the status, and what this package adds about the cause (the argument at fault), if
// anything. errors.Is(err, ErrMalformedInput) and the like tell statuses apart; errors.As gives
// the *Error.
type Error struct {
	Status  Status // the library's status
	Op      string // the call that failed, as this package names it: "Decrypt", "SigningIdentity.Sign"
	Message string // the library's text for Status (vesk_error_message)
	Detail  string // the argument at fault and what is wrong with it, or ""

	closed bool // a call on a closed handle, which also matches ErrClosed
}

func (e *Error) Error() string {
	text := "vesk: " + e.Op + ": " + e.Message
	if e.Detail != "" {
		text += ": " + e.Detail
	}
	return text
}

// Unwrap gives the sentinel of the status (nil for a value the library does not list).
func (e *Error) Unwrap() error { return sentinels[e.Status] }

// Is matches ErrClosed for a call on a closed handle; the status's sentinel matches through
// Unwrap.
func (e *Error) Is(target error) bool { return e.closed && target == ErrClosed }

// check is the error for a status the library returned, or nil for success.
func check(op string, status C.VeskStatus) error { return failure(op, Status(status)) }

func failure(op string, status Status) error {
	if status == StatusOK {
		return nil
	}
	return newError(op, status, "")
}

func newError(op string, status Status, detail string) *Error {
	return &Error{Status: status, Op: op, Message: status.String(), Detail: detail}
}

// invalid is an argument this package refuses before any call, with the status the library gives
// for it.
func invalid(op, detail string) error {
	return newError(op, StatusInvalidArgument, detail)
}

func closedHandle(op, kind string) error {
	e := newError(op, StatusInvalidArgument, kind+" is closed")
	e.closed = true
	return e
}

// Version is the version text of the library actually loaded (vesk_version).
func Version() string { return C.GoString(C.vesk_version()) }

// TestPanic raises a fault inside the library's guard, which returns it as ErrInternalFault
// (after writing one report to standard error): a host's check that faults never cross the
// interface.
func TestPanic() error { return check("TestPanic", C.vesk_test_panic()) }
