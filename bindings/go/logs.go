package vesk

/*
#include <vesk.h>
*/
import "C"

// Identity logs and epoch chains are records a key directory publishes; these calls verify them
// and return what they state. Every input is read where it is, without a copy.

func logWithKey(op string, log, recoveryKey []byte) error {
	return firstError(atMost(op, "log", log, MaxLog), atMost(op, "recoveryKey", recoveryKey, MaxKeyData))
}

func pinnedLog(op string, log, recoveryBinding, pin []byte) error {
	return firstError(
		atMost(op, "log", log, MaxLog),
		atMost(op, "recoveryBinding", recoveryBinding, RecoveryBindingLen),
		exactly(op, "pin", pin, HashLen),
	)
}

// IdentityHead verifies an identity log (at most MaxLog bytes) against its recovery key (a
// verifying key) and returns its head, the link of the last entry.
//
// Errors: ErrNotKeyFile when the recovery key does not decode; ErrMalformedInput when the log does
// not decode; ErrAuthenticationFailed when it does not replay.
func IdentityHead(log, recoveryKey []byte) ([HashLen]byte, error) {
	const op = "IdentityHead"
	if err := logWithKey(op, log, recoveryKey); err != nil {
		return [HashLen]byte{}, err
	}
	var out C.VeskBuffer
	l, ln := bytesArg(log)
	k, kn := bytesArg(recoveryKey)
	if err := check(op, C.vesk_identity_head(l, ln, k, kn, &out)); err != nil {
		return [HashLen]byte{}, err
	}
	return takeHash(&out), nil
}

// VerifyIdentity verifies an identity log as IdentityHead does and returns the number of devices
// active after its last entry.
func VerifyIdentity(log, recoveryKey []byte) (activeDevices uint64, err error) {
	const op = "VerifyIdentity"
	if err := logWithKey(op, log, recoveryKey); err != nil {
		return 0, err
	}
	var count C.uint64_t
	l, ln := bytesArg(log)
	k, kn := bytesArg(recoveryKey)
	if err := check(op, C.vesk_identity_verify(l, ln, k, kn, &count)); err != nil {
		return 0, err
	}
	return uint64(count), nil
}

// VerifyIdentityPinned verifies an identity log against a pinned identity id (pin, HashLen
// bytes) and the identity's recovery binding (at most RecoveryBindingLen bytes), and returns the
// number of active devices.
//
// Errors: ErrMalformedInput when the binding or the log does not decode; ErrAuthenticationFailed
// for every later failure.
func VerifyIdentityPinned(log, recoveryBinding, pin []byte) (activeDevices uint64, err error) {
	const op = "VerifyIdentityPinned"
	if err := pinnedLog(op, log, recoveryBinding, pin); err != nil {
		return 0, err
	}
	var count C.uint64_t
	l, ln := bytesArg(log)
	b, bn := bytesArg(recoveryBinding)
	p, pn := bytesArg(pin)
	if err := check(op, C.vesk_identity_verify_pinned(l, ln, b, bn, p, pn, &count)); err != nil {
		return 0, err
	}
	return uint64(count), nil
}

// IdentityTrustsDevice tells whether deviceKey (a verifying key) is active at the end of the
// verified log.
//
// Errors: ErrNotKeyFile when either key does not decode; ErrMalformedInput;
// ErrAuthenticationFailed.
func IdentityTrustsDevice(log, recoveryKey, deviceKey []byte) (bool, error) {
	const op = "IdentityTrustsDevice"
	if err := firstError(logWithKey(op, log, recoveryKey), atMost(op, "deviceKey", deviceKey, MaxKeyData)); err != nil {
		return false, err
	}
	var trusted C.int32_t
	l, ln := bytesArg(log)
	k, kn := bytesArg(recoveryKey)
	d, dn := bytesArg(deviceKey)
	if err := check(op, C.vesk_identity_trusts_device(l, ln, k, kn, d, dn, &trusted)); err != nil {
		return false, err
	}
	return trusted == 1, nil
}

// EpochPublicKey checks an epoch chain (at most MaxLog bytes) and returns the PublicKeyLen-byte
// recipient public key of epoch index, ready for Encrypt.
//
// Errors: ErrInvalidArgument for an index past the chain; ErrMalformedInput;
// ErrAuthenticationFailed when the chain does not check.
func EpochPublicKey(chain []byte, index uint64) ([]byte, error) {
	const op = "EpochPublicKey"
	if err := atMost(op, "chain", chain, MaxLog); err != nil {
		return nil, err
	}
	var out C.VeskBuffer
	c, cn := bytesArg(chain)
	return bytesResult(&out, check(op, C.vesk_epoch_public_key(c, cn, C.uint64_t(index), &out)))
}

// VerifyEpochs checks an epoch chain by itself and returns its number of epochs.
//
// Errors: ErrMalformedInput; ErrAuthenticationFailed.
func VerifyEpochs(chain []byte) (epochs uint64, err error) {
	const op = "VerifyEpochs"
	if err := atMost(op, "chain", chain, MaxLog); err != nil {
		return 0, err
	}
	var count C.uint64_t
	c, cn := bytesArg(chain)
	if err := check(op, C.vesk_epoch_verify(c, cn, &count)); err != nil {
		return 0, err
	}
	return uint64(count), nil
}

// VerifyEpochsBound checks an epoch chain against a pinned identity: the log and recovery binding
// as VerifyIdentityPinned does, then the epoch binding (at most EpochBindingLen bytes), which a
// device active at the end of the log must have signed. It returns the number of epochs.
//
// Errors: ErrMalformedInput; ErrAuthenticationFailed.
func VerifyEpochsBound(log, recoveryBinding, pin, chain, epochBinding []byte) (epochs uint64, err error) {
	const op = "VerifyEpochsBound"
	if err := firstError(
		pinnedLog(op, log, recoveryBinding, pin),
		atMost(op, "chain", chain, MaxLog),
		atMost(op, "epochBinding", epochBinding, EpochBindingLen),
	); err != nil {
		return 0, err
	}
	var count C.uint64_t
	l, ln := bytesArg(log)
	b, bn := bytesArg(recoveryBinding)
	p, pn := bytesArg(pin)
	c, cn := bytesArg(chain)
	e, en := bytesArg(epochBinding)
	if err := check(op, C.vesk_epoch_verify_bound(l, ln, b, bn, p, pn, c, cn, e, en, &count)); err != nil {
		return 0, err
	}
	return uint64(count), nil
}
