package vesk

/*
#include <vesk.h>
*/
import "C"

import (
	"sync"
	"unsafe"
)

// NewChallenge makes a challenge: a fresh 32-byte nonce, purpose, and the issue time and
// lifetime in the caller's own unit of time. The holder of an identity answers it with
// SigningIdentity.Answer; the verifier accepts the answer once with SpentNonces.Accept.
func NewChallenge(purpose string, issuedAt, lifetime uint64) ([]byte, error) {
	const op = "NewChallenge"
	var out C.VeskBuffer
	err := withText(op, "purpose", purpose, func(s *C.char) C.VeskStatus {
		return C.vesk_challenge_new(s, C.uint64_t(issuedAt), C.uint64_t(lifetime), &out)
	})
	return bytesResult(&out, err)
}

// SpentNonces is the set of nonces of accepted challenges that a verifier keeps between calls,
// so that each answer is accepted once.
//
// The library lets one thread at a time use a set; the set serialises its own calls, so it may
// be shared between goroutines. Close waits for no one: a call already running finishes, and the
// set is released after it; later calls return an error matching ErrClosed. Copying a
// SpentNonces value copies a reference to the same set.
type SpentNonces struct {
	h      *handle
	serial *sync.Mutex // one Accept at a time
}

func (s *SpentNonces) handle() *handle {
	if s == nil {
		return nil
	}
	return s.h
}

// NewSpentNonces makes an empty set.
func NewSpentNonces() *SpentNonces {
	ptr := C.vesk_spent_nonces_new() // never NULL; a handle made of NULL would start closed
	return &SpentNonces{newHandle("SpentNonces", unsafe.Pointer(ptr), freeNonces), new(sync.Mutex)}
}

// Accept accepts an answer to a challenge once, at time now (in the challenge's unit). It checks,
// in this order, the challenge's form, the verifying key (VerifyingKeyLen bytes), the expiry (now
// past issue time plus lifetime), the signature (SignatureLen bytes) and replay, and records the
// nonce.
//
// Errors: ErrMalformedInput; ErrNotKeyFile; ErrChallengeExpired; ErrAuthenticationFailed;
// ErrChallengeReplayed. The set changes only on success and on ErrChallengeReplayed (expired
// entries are purged).
func (s *SpentNonces) Accept(challenge, signature, verifyingKey []byte, now uint64) error {
	const op = "SpentNonces.Accept"
	return s.handle().use(op, func(ptr unsafe.Pointer) error {
		if err := firstError(
			atMost(op, "challenge", challenge, MaxChallenge),
			exactly(op, "signature", signature, SignatureLen),
			exactly(op, "verifyingKey", verifyingKey, VerifyingKeyLen),
		); err != nil {
			return err
		}
		c, cn := bytesArg(challenge)
		g, gn := bytesArg(signature)
		k, kn := bytesArg(verifyingKey)
		s.serial.Lock()
		defer s.serial.Unlock()
		return check(op, C.vesk_challenge_accept((*C.VeskSpentNonceSet)(ptr), c, cn, g, gn, k, kn, C.uint64_t(now)))
	})
}

// Close releases the set: now, or when a call still using it returns. Later calls return an
// error matching ErrClosed. Closing again does nothing; Close always returns nil.
func (s *SpentNonces) Close() error {
	s.handle().close()
	return nil
}
