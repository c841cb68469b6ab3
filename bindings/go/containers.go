package vesk

/*
#include <string.h>
#include <vesk.h>
*/
import "C"

import (
	"fmt"
	"runtime"
	"sync"
	"unsafe"
)

// EncryptOption sets metadata that Encrypt stores, encrypted, in the container.
type EncryptOption func(*encryptOptions)

type encryptOptions struct {
	fileName, contentType *string
}

// WithFileName stores a file name in the container: a plain portable file name (no folders, no
// names reserved by common systems, at most 255 bytes). Without it the container has none.
func WithFileName(name string) EncryptOption {
	return func(o *encryptOptions) { o.fileName = &name }
}

// WithContentType stores a content type in the container: 1 to 255 printable ASCII characters.
// Without it the container has none.
func WithContentType(contentType string) EncryptOption {
	return func(o *encryptOptions) { o.contentType = &contentType }
}

// optionalText is an optional text as the library takes it (NULL when absent).
func optionalText(op, name string, s *string) (*C.char, error) {
	if s == nil {
		return nil, nil
	}
	return cText(op, name, *s)
}

// Encrypt encrypts data (at most MaxPlaintext bytes) once and wraps its content key for every
// recipient: 1 to MaxRecipients public keys of PublicKeyLen bytes each. data is read where it is,
// without a copy. The container is returned in Go memory.
//
// Errors: ErrInvalidArgument for a recipient key that is not a usable public key (or not
// PublicKeyLen bytes); ErrMalformedInput for a file name or content type that breaks its rules.
func Encrypt(data []byte, recipients [][]byte, options ...EncryptOption) ([]byte, error) {
	const op = "Encrypt"
	var o encryptOptions
	for _, option := range options {
		if option != nil { // a nil option sets nothing
			option(&o)
		}
	}
	if len(recipients) < 1 || len(recipients) > MaxRecipients {
		return nil, invalid(op, fmt.Sprintf("recipients holds %d public keys, not 1 to %d", len(recipients), MaxRecipients))
	}
	for i, key := range recipients {
		if err := exactly(op, fmt.Sprintf("recipients[%d]", i), key, PublicKeyLen); err != nil {
			return nil, err
		}
	}
	if err := atMost(op, "data", data, MaxPlaintext); err != nil {
		return nil, err
	}
	// The library takes the keys back to back: one key goes as it is, several are joined.
	keys := recipients[0]
	if len(recipients) > 1 {
		keys = make([]byte, 0, len(recipients)*PublicKeyLen)
		for _, key := range recipients {
			keys = append(keys, key...)
		}
	}
	name, err := optionalText(op, "file name", o.fileName)
	if err != nil {
		return nil, err
	}
	defer freeText(name)
	kind, err := optionalText(op, "content type", o.contentType)
	if err != nil {
		return nil, err
	}
	defer freeText(kind)
	var out C.VeskBuffer
	p, n := bytesArg(data)
	k, _ := bytesArg(keys)
	return bytesResult(&out, check(op, C.vesk_encrypt(p, n, k, C.size_t(len(recipients)), name, kind, &out)))
}

// The library's release of a plaintext record. Tests count the calls through it.
var freePlaintext = func(record unsafe.Pointer) { C.vesk_buffer_free((*C.VeskBuffer)(record)) }

// Plaintext is a decrypted container: the plaintext, held in the library's own memory, and the
// file name and content type stored with it.
//
// Bytes views the library's buffer without a copy. The view is valid until Close, which wipes the
// plaintext and releases it; use the slice only before Close, and keep the Plaintext itself
// reachable while you do (defer p.Close() does both). Copy what must outlive it.
//
// A Plaintext dropped without Close is wiped by a finalizer but not released, since a slice from
// Bytes may still point into it and freed memory must never be read: only Close returns the
// memory. FileName and ContentType are ordinary Go strings, copied at Decrypt and not wiped.
//
// Bytes, Len, FileName and ContentType may be called from several goroutines; Close must come
// after every use of a slice Bytes returned.
type Plaintext struct{ r *plaintextRecord }

type plaintextRecord struct {
	mu          sync.Mutex
	buf         *C.VeskBuffer // the library's record, an allocation of its own for cgo's pointer rules
	length      int
	closed      bool
	fileName    string
	contentType string
}

// Decrypt decrypts a container (at most MaxContainer bytes) with one recipient's secret key.
// Everything is authenticated before anything is returned. container is read where it is,
// without a copy, and the plaintext is not copied either: see Plaintext.
//
// Errors: ErrNoMatchingRecipient when no recipient entry opens with key (an altered header ends
// here too); ErrAuthenticationFailed when the metadata or a chunk was altered; ErrMalformedInput
// for anything malformed, truncated or extended; ErrInputTooLarge when the chunk count overflows.
func Decrypt(container []byte, key *SecretKey) (*Plaintext, error) {
	const op = "Decrypt"
	r := &plaintextRecord{buf: new(C.VeskBuffer)}
	var name, kind C.VeskBuffer
	err := key.handle().use(op, func(ptr unsafe.Pointer) error {
		if err := atMost(op, "container", container, MaxContainer); err != nil {
			return err
		}
		p, n := bytesArg(container)
		return check(op, C.vesk_decrypt(p, n, (*C.VeskSecretKeyHandle)(ptr), r.buf, &name, &kind))
	})
	if err != nil {
		return nil, err
	}
	r.length = int(r.buf.len)
	r.fileName = takeText(&name)
	r.contentType = takeText(&kind)
	runtime.SetFinalizer(r, (*plaintextRecord).wipeOnly)
	return &Plaintext{r}, nil
}

func (p *Plaintext) record() *plaintextRecord {
	if p == nil || p.r == nil {
		return &plaintextRecord{closed: true}
	}
	return p.r
}

// Bytes is the plaintext: a view of the library's buffer, valid until Close (nil after it).
// Its capacity is its length, so an append copies rather than writes past it. Its contents must
// not be changed.
func (p *Plaintext) Bytes() []byte {
	r := p.record()
	r.mu.Lock()
	defer r.mu.Unlock()
	if r.closed {
		return nil
	}
	if r.length == 0 {
		return []byte{}
	}
	return unsafe.Slice((*byte)(unsafe.Pointer(r.buf.data)), r.length)
}

// Len is the plaintext's length in bytes (0 after Close).
func (p *Plaintext) Len() int {
	r := p.record()
	r.mu.Lock()
	defer r.mu.Unlock()
	if r.closed {
		return 0
	}
	return r.length
}

// FileName is the file name stored in the container, or "" when it has none.
func (p *Plaintext) FileName() string { return p.record().fileName }

// ContentType is the content type stored in the container, or "" when it has none.
func (p *Plaintext) ContentType() string { return p.record().contentType }

// Close wipes the plaintext and releases it to the library. Slices from Bytes must not be used
// after it. Closing again does nothing; Close always returns nil.
func (p *Plaintext) Close() error {
	r := p.record()
	r.mu.Lock()
	defer r.mu.Unlock()
	if r.closed {
		return nil
	}
	r.closed = true
	// vesk_buffer_free wipes what it releases.
	freePlaintext(unsafe.Pointer(r.buf))
	runtime.SetFinalizer(r, nil)
	return nil
}

// wipeOnly is the finalizer of a plaintext that was never closed: the secret is wiped, and the
// memory kept, as a slice from Bytes may still point into it.
func (r *plaintextRecord) wipeOnly() {
	r.mu.Lock()
	defer r.mu.Unlock()
	if !r.closed && r.length > 0 {
		C.explicit_bzero(unsafe.Pointer(r.buf.data), C.size_t(r.length))
	}
	r.closed = true
}
