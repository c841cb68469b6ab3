// Package cbench calls libvesk's C interface directly, with nothing of package vesk around it: the
// baseline the benchmarks compare the package with. Each function makes the one call it names
// and releases what it returns, as a C host would.
package cbench

/*
#cgo !vesk_no_pkgconfig pkg-config: vesk
#cgo vesk_no_pkgconfig LDFLAGS: -lvesk
#include <vesk.h>
*/
import "C"

import (
	"fmt"
	"unsafe"
)

func bytesArg(b []byte) (*C.uint8_t, C.size_t) {
	if len(b) == 0 {
		return nil, 0
	}
	return (*C.uint8_t)(unsafe.Pointer(&b[0])), C.size_t(len(b))
}

// openSeed makes the open call named by call on a bare seed and returns the handle it filled in,
// or the call's status as an error.
func openSeed[H any](call string, seed []byte, open func(*C.uint8_t, C.size_t, *H) C.VeskStatus) (*H, error) {
	var handle H
	p, n := bytesArg(seed)
	if status := open(p, n, &handle); status != C.VESK_OK {
		return nil, fmt.Errorf("%s: status %d", call, status)
	}
	return &handle, nil
}

// released is a call's result as the benchmarks compare it: the length of the record it wrote,
// which is released as a C host would, and its status.
func released(out *C.VeskBuffer, status C.VeskStatus) (int, int) {
	length := int(out.len)
	C.vesk_buffer_free(out)
	return length, int(status)
}

// Key is a recipient secret key handle.
type Key struct{ p *C.VeskSecretKeyHandle }

// OpenKey opens a key from a bare 32-byte identity seed.
func OpenKey(seed []byte) (*Key, error) {
	return openSeed("vesk_secret_key_open", seed, func(p *C.uint8_t, n C.size_t, k *Key) C.VeskStatus {
		return C.vesk_secret_key_open(p, n, nil, &k.p)
	})
}

// Close releases the key.
func (k *Key) Close() { C.vesk_secret_key_free(k.p) }

// Decrypt decrypts container with vesk_decrypt and releases the plaintext with vesk_buffer_free;
// it returns the plaintext's length and the status.
func (k *Key) Decrypt(container []byte) (int, int) {
	var plaintext C.VeskBuffer
	p, n := bytesArg(container)
	status := C.vesk_decrypt(p, n, k.p, &plaintext, nil, nil)
	return released(&plaintext, status)
}

// Identity is a signing identity handle.
type Identity struct{ p *C.VeskSigningIdentityHandle }

// OpenIdentity opens an identity from a bare 32-byte identity seed.
func OpenIdentity(seed []byte) (*Identity, error) {
	return openSeed("vesk_signing_identity_open", seed, func(p *C.uint8_t, n C.size_t, id *Identity) C.VeskStatus {
		return C.vesk_signing_identity_open(p, n, nil, &id.p)
	})
}

// Close releases the identity.
func (id *Identity) Close() { C.vesk_signing_identity_free(id.p) }

// Sign signs message under context with vesk_sign_message and releases the signature; it returns
// the signature's length and the status.
func (id *Identity) Sign(context, message []byte) (int, int) {
	var signature C.VeskBuffer
	c, cn := bytesArg(context)
	m, mn := bytesArg(message)
	status := C.vesk_sign_message(id.p, c, cn, m, mn, &signature)
	return released(&signature, status)
}
