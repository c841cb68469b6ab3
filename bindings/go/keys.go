package vesk

/*
#include <vesk.h>
*/
import "C"

import "unsafe"

// SecretKey is a recipient secret key, for decrypting containers. Its 32-byte seed stays inside
// the library from GenerateSecretKey or OpenSecretKey until Close wipes it; it never enters Go
// memory.
//
// A SecretKey may be used by any number of goroutines at once. Close waits for no one: calls
// already running finish with the key, which is released after the last of them; later calls
// return an error matching ErrClosed. A key dropped without Close is closed by a finalizer, but
// only Close says when the seed is wiped. Copying a SecretKey value copies a reference to the
// same key.
type SecretKey struct{ h *handle }

func (k *SecretKey) handle() *handle {
	if k == nil {
		return nil
	}
	return k.h
}

func adoptSecretKey(ptr *C.VeskSecretKeyHandle) *SecretKey {
	return &SecretKey{newHandle("SecretKey", unsafe.Pointer(ptr), freeSecretKey)}
}

// GenerateSecretKey makes a new recipient keypair from fresh randomness. The public key is read
// with PublicKey.
func GenerateSecretKey() (*SecretKey, error) {
	var ptr *C.VeskSecretKeyHandle
	var public C.VeskBuffer
	if err := check("GenerateSecretKey", C.vesk_keypair_generate(&ptr, &public)); err != nil {
		return nil, err
	}
	key := adoptSecretKey(ptr)
	key.h.public = takeBytes(&public)
	return key, nil
}

// OpenSecretKey opens a recipient secret key from a key file (a recipient or an identity key
// file) or from a bare 32-byte identity seed, whose derived recipient key it becomes.
//
// passphrase is required for key files (nil means none) and is tried in its NFC form, as given
// and in its NFD form. It is copied into library memory that is wiped right after the call; the
// caller's slice is neither kept nor changed, so the caller may wipe it.
//
// Errors: ErrWrongPassphrase when no form of the passphrase opens the file, the file was
// modified, or a key file came without passphrase; ErrNotKeyFile for an unsupported key-file
// version; ErrMalformedInput for data that is neither a well-formed key file nor 32 bytes;
// ErrInvalidArgument for data over MaxKeyData bytes.
func OpenSecretKey(data, passphrase []byte) (*SecretKey, error) {
	var ptr *C.VeskSecretKeyHandle
	err := openKeyData("OpenSecretKey", data, passphrase, func(p *C.uint8_t, n C.size_t, secret *C.char) C.VeskStatus {
		return C.vesk_secret_key_open(p, n, secret, &ptr)
	})
	if err != nil {
		return nil, err
	}
	return adoptSecretKey(ptr), nil
}

// openKeyData makes a call that opens key data (a key file or a bare seed, at most MaxKeyData
// bytes) with its passphrase, and names the likely cause when a key file came without one.
func openKeyData(op string, data, passphrase []byte, open func(p *C.uint8_t, n C.size_t, secret *C.char) C.VeskStatus) error {
	if err := atMost(op, "data", data, MaxKeyData); err != nil {
		return err
	}
	p, n := bytesArg(data)
	err := withPassphrase(op, passphrase, func(secret *C.char) C.VeskStatus { return open(p, n, secret) })
	return passphraseMissing(err, data, passphrase)
}

// passphraseMissing names the likely cause when a key file was opened without passphrase.
func passphraseMissing(err error, data, passphrase []byte) error {
	if e, ok := err.(*Error); ok && passphrase == nil {
		if isKey, _ := IsKeyFile(data); isKey {
			e.Detail = "data is a key file, and no passphrase was given to open it"
		}
	}
	return err
}

// PublicKey is the PublicKeyLen-byte public key that containers for this key are encrypted to.
// Each call returns a fresh copy.
func (k *SecretKey) PublicKey() ([]byte, error) {
	return k.handle().publicHalf("SecretKey.PublicKey", func(p unsafe.Pointer, out *C.VeskBuffer) C.VeskStatus {
		return C.vesk_secret_key_public((*C.VeskSecretKeyHandle)(p), out)
	})
}

// Protect writes a KeyFileLen-byte key file holding this key, encrypted under passphrase (at
// least 8 Unicode characters after NFC normalisation; Argon2id and ChaCha20-Poly1305). The
// passphrase is copied into library memory that is wiped right after the call.
//
// Errors: ErrInvalidArgument for a passphrase that is too short or not UTF-8.
func (k *SecretKey) Protect(passphrase []byte) ([]byte, error) {
	const op = "SecretKey.Protect"
	var out C.VeskBuffer
	err := k.handle().use(op, func(ptr unsafe.Pointer) error {
		return withPassphrase(op, passphrase, func(secret *C.char) C.VeskStatus {
			return C.vesk_secret_key_protect((*C.VeskSecretKeyHandle)(ptr), secret, &out)
		})
	})
	return bytesResult(&out, err)
}

// Close wipes and releases the key: now, or when the last call still using it returns. Later
// calls return an error matching ErrClosed. Closing again does nothing; Close always returns nil.
func (k *SecretKey) Close() error {
	k.handle().close()
	return nil
}

// ArmorPublicKey is the text form of a PublicKeyLen-byte public key: the label
// "vesk-public-key:", then its Base64 in lines of at most 64 characters (ArmorLen bytes in all).
// Any PublicKeyLen bytes are armored; the key is not checked otherwise.
func ArmorPublicKey(publicKey []byte) (string, error) {
	const op = "ArmorPublicKey"
	if err := exactly(op, "publicKey", publicKey, PublicKeyLen); err != nil {
		return "", err
	}
	var out C.VeskBuffer
	p, n := bytesArg(publicKey)
	if err := check(op, C.vesk_public_key_armor(p, n, &out)); err != nil {
		return "", err
	}
	return takeText(&out), nil
}

// DearmorPublicKey reads an armored public key. Line feeds or CR LF, blank lines and lines that
// start with the label are tolerated; the Base64 must be strict and canonical.
//
// Errors: ErrMalformedInput for Base64 that is not strict; ErrInvalidArgument for a text that is
// not UTF-8 or does not hold PublicKeyLen bytes.
func DearmorPublicKey(text string) ([]byte, error) {
	const op = "DearmorPublicKey"
	var out C.VeskBuffer
	err := withText(op, "text", text, func(s *C.char) C.VeskStatus { return C.vesk_public_key_dearmor(s, &out) })
	return bytesResult(&out, err)
}

// IsKeyFile tells a protected key file from anything else by its magic alone; no passphrase is
// needed. data is at most MaxKeyData bytes.
func IsKeyFile(data []byte) (bool, error) {
	const op = "IsKeyFile"
	if err := atMost(op, "data", data, MaxKeyData); err != nil {
		return false, err
	}
	var answer C.int32_t
	p, n := bytesArg(data)
	if err := check(op, C.vesk_inspect_key(p, n, &answer)); err != nil {
		return false, err
	}
	return answer == 1, nil
}
