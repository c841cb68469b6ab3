package vesk

/*
#include <stdlib.h>
#include <string.h>
#include <vesk.h>
*/
import "C"

import (
	"fmt"
	"strings"
	"unsafe"
)

// bytesArg passes a byte slice to a call as it is: the library only reads it during the call and
// keeps no pointer to it, and a []byte holds no Go pointers, so cgo allows Go memory here. An
// empty slice goes as NULL with length 0.
func bytesArg(b []byte) (*C.uint8_t, C.size_t) {
	if len(b) == 0 {
		return nil, 0
	}
	return (*C.uint8_t)(unsafe.Pointer(&b[0])), C.size_t(len(b))
}

// exactly refuses a byte argument that is not n bytes long (nil included).
func exactly(op, name string, b []byte, n int) error {
	if len(b) != n {
		return invalid(op, fmt.Sprintf("%s is %d bytes, not %d", name, len(b), n))
	}
	return nil
}

// atMost refuses a byte argument longer than its cap.
func atMost(op, name string, b []byte, limit int) error {
	if len(b) > limit {
		return invalid(op, fmt.Sprintf("%s is %d bytes, more than the %d allowed", name, len(b), limit))
	}
	return nil
}

// firstError is the first of the argument checks that failed, or nil.
func firstError(checks ...error) error {
	for _, err := range checks {
		if err != nil {
			return err
		}
	}
	return nil
}

// cText is a Go string as the NUL-terminated text the library takes, in C memory; release it
// with freeText. A string holding NUL cannot be passed whole, so it is refused.
func cText(op, name, s string) (*C.char, error) {
	if strings.IndexByte(s, 0) >= 0 {
		return nil, invalid(op, name+" contains a NUL byte")
	}
	return C.CString(s), nil
}

func freeText(p *C.char) { C.free(unsafe.Pointer(p)) }

// withText makes a call that takes one text argument, passed as cText passes it and released when
// the call returns, and gives the error for the call's status.
func withText(op, name, s string, call func(text *C.char) C.VeskStatus) error {
	text, err := cText(op, name, s)
	if err != nil {
		return err
	}
	defer freeText(text)
	return check(op, call(text))
}

// secretText is a passphrase as the NUL-terminated text the library takes: a copy in C memory
// that wipeText overwrites with zeros and releases right after the call, so no copy outlives it.
// nil means absent (NULL); an empty, non-nil slice is the empty text. The caller's slice is
// neither kept nor changed: the caller may wipe it in turn.
func secretText(op, name string, b []byte) (*C.char, error) {
	if b == nil {
		return nil, nil
	}
	for _, c := range b {
		if c == 0 {
			return nil, invalid(op, name+" contains a NUL byte")
		}
	}
	p := (*C.char)(C.malloc(C.size_t(len(b) + 1))) // cgo's malloc never returns NULL
	copy(unsafe.Slice((*byte)(unsafe.Pointer(p)), len(b)), b)
	*(*C.char)(unsafe.Add(unsafe.Pointer(p), len(b))) = 0
	return p, nil
}

func wipeText(p *C.char, length int) {
	if p == nil {
		return
	}
	C.explicit_bzero(unsafe.Pointer(p), C.size_t(length+1))
	C.free(unsafe.Pointer(p))
}

// withPassphrase makes a call that takes a passphrase, passed as secretText passes it and wiped as
// soon as the call returns, and gives the error for the call's status.
func withPassphrase(op string, passphrase []byte, call func(secret *C.char) C.VeskStatus) error {
	secret, err := secretText(op, "passphrase", passphrase)
	if err != nil {
		return err
	}
	status := call(secret)
	wipeText(secret, len(passphrase))
	return check(op, status)
}

// takeBytes copies a result into Go memory and wipes and releases the library's record.
func takeBytes(buf *C.VeskBuffer) []byte {
	defer C.vesk_buffer_free(buf)
	if buf.len == 0 {
		return []byte{}
	}
	return C.GoBytes(unsafe.Pointer(buf.data), C.int(buf.len))
}

// bytesResult is the result of a call that writes one buffer: the buffer, copied by takeBytes, or
// err when the call failed.
func bytesResult(out *C.VeskBuffer, err error) ([]byte, error) {
	if err != nil {
		return nil, err
	}
	return takeBytes(out), nil
}

// takeText is a result text as a string; the record is wiped and released.
func takeText(buf *C.VeskBuffer) string {
	defer C.vesk_buffer_free(buf)
	if buf.len == 0 {
		return ""
	}
	return C.GoStringN((*C.char)(unsafe.Pointer(buf.data)), C.int(buf.len))
}

// takeHash is a HashLen-byte result; the record is wiped and released.
func takeHash(buf *C.VeskBuffer) (out [HashLen]byte) {
	defer C.vesk_buffer_free(buf)
	if int(buf.len) == HashLen {
		copy(out[:], unsafe.Slice((*byte)(unsafe.Pointer(buf.data)), HashLen))
	}
	return out
}
