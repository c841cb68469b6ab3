package vesk

/*
#include <vesk.h>
*/
import "C"

import "unsafe"

// SigningIdentity is an opened hybrid signing identity (Ed25519 and ML-DSA-65). Its secret keys
// stay inside the library from OpenSigningIdentity until Close wipes them; they never enter Go
// memory.
//
// An identity may sign from any number of goroutines at once. Close waits for no one: calls
// already running finish, and the identity is released after the last of them; later calls
// return an error matching ErrClosed. An identity dropped without Close is closed by a finalizer,
// but only Close says when its keys are wiped. Copying a SigningIdentity value copies a reference
// to the same identity.
type SigningIdentity struct{ h *handle }

func (id *SigningIdentity) handle() *handle {
	if id == nil {
		return nil
	}
	return id.h
}

// OpenSigningIdentity opens a signing identity from an identity key file (passphrase required)
// or a bare 32-byte identity seed (passphrase ignored; nil means none). The passphrase is copied
// into library memory that is wiped right after the call.
//
// Errors: ErrWrongPassphrase; ErrInvalidArgument for a key file without passphrase or data over
// MaxKeyData bytes; ErrNotKeyFile for data that is neither a key file nor 32 bytes, an
// unsupported version, or a key file holding a recipient key; ErrMalformedInput for a malformed
// key file.
func OpenSigningIdentity(data, passphrase []byte) (*SigningIdentity, error) {
	var ptr *C.VeskSigningIdentityHandle
	err := openKeyData("OpenSigningIdentity", data, passphrase, func(p *C.uint8_t, n C.size_t, secret *C.char) C.VeskStatus {
		return C.vesk_signing_identity_open(p, n, secret, &ptr)
	})
	if err != nil {
		return nil, err
	}
	return &SigningIdentity{newHandle("SigningIdentity", unsafe.Pointer(ptr), freeIdentity)}, nil
}

// VerifyingKey is the VerifyingKeyLen-byte key that others verify this identity's signatures
// with. Each call returns a fresh copy.
func (id *SigningIdentity) VerifyingKey() ([]byte, error) {
	return id.handle().publicHalf("SigningIdentity.VerifyingKey", func(p unsafe.Pointer, out *C.VeskBuffer) C.VeskStatus {
		return C.vesk_signing_identity_public((*C.VeskSigningIdentityHandle)(p), out)
	})
}

// Sign is the SignatureLen-byte signature of message (at most MaxPlaintext bytes) under context
// (at most MaxContext bytes), which names what the signature is for so that one made for one
// purpose is not taken for another; contexts beginning with "VESK/" are reserved. Signing is
// deterministic. message is read where it is, without a copy.
//
// Errors: ErrInvalidArgument for a reserved context or an argument over its cap.
func (id *SigningIdentity) Sign(context, message []byte) ([]byte, error) {
	const op = "SigningIdentity.Sign"
	var out C.VeskBuffer
	err := id.handle().use(op, func(ptr unsafe.Pointer) error {
		if err := firstError(atMost(op, "context", context, MaxContext), atMost(op, "message", message, MaxPlaintext)); err != nil {
			return err
		}
		c, cn := bytesArg(context)
		m, mn := bytesArg(message)
		return check(op, C.vesk_sign_message((*C.VeskSigningIdentityHandle)(ptr), c, cn, m, mn, &out))
	})
	return bytesResult(&out, err)
}

// Answer answers a challenge (at most MaxChallenge bytes, made by NewChallenge) by signing it;
// the answer is SignatureLen bytes. Time is not looked at: the verifier checks expiry.
//
// Errors: ErrMalformedInput for a malformed challenge.
func (id *SigningIdentity) Answer(challenge []byte) ([]byte, error) {
	const op = "SigningIdentity.Answer"
	var out C.VeskBuffer
	err := id.handle().use(op, func(ptr unsafe.Pointer) error {
		if err := atMost(op, "challenge", challenge, MaxChallenge); err != nil {
			return err
		}
		c, cn := bytesArg(challenge)
		return check(op, C.vesk_challenge_answer((*C.VeskSigningIdentityHandle)(ptr), c, cn, &out))
	})
	return bytesResult(&out, err)
}

// Close wipes and releases the identity: now, or when the last call still using it returns.
// Later calls return an error matching ErrClosed. Closing again does nothing; Close always
// returns nil.
func (id *SigningIdentity) Close() error {
	id.handle().close()
	return nil
}

// Verify checks a hybrid signature of message under context; both halves must verify. It
// returns nil for a valid signature. verifyingKey is VerifyingKeyLen bytes, signature
// SignatureLen bytes.
//
// Errors: ErrAuthenticationFailed for a signature that does not verify; ErrNotKeyFile for a
// verifying key that does not decode.
func Verify(verifyingKey, context, message, signature []byte) error {
	const op = "Verify"
	if err := firstError(
		exactly(op, "verifyingKey", verifyingKey, VerifyingKeyLen),
		atMost(op, "context", context, MaxContext),
		atMost(op, "message", message, MaxPlaintext),
		exactly(op, "signature", signature, SignatureLen),
	); err != nil {
		return err
	}
	k, kn := bytesArg(verifyingKey)
	c, cn := bytesArg(context)
	m, mn := bytesArg(message)
	s, sn := bytesArg(signature)
	return check(op, C.vesk_verify_message(k, kn, c, cn, m, mn, s, sn))
}

// GenerateIdentity creates a new signing identity and returns it only inside a KeyFileLen-byte
// key file protected by passphrase (at least 8 Unicode characters after NFC normalisation).
// Open it with OpenSigningIdentity to sign, or with OpenSecretKey for the identity's recipient
// key. The passphrase is copied into library memory that is wiped right after the call.
//
// Errors: ErrInvalidArgument for a passphrase that is too short or not UTF-8.
func GenerateIdentity(passphrase []byte) ([]byte, error) {
	const op = "GenerateIdentity"
	var out C.VeskBuffer
	err := withPassphrase(op, passphrase, func(secret *C.char) C.VeskStatus { return C.vesk_identity_generate(secret, &out) })
	return bytesResult(&out, err)
}
