package vesk

/*
#include <vesk.h>
*/
import "C"

import (
	"runtime"
	"sync"
	"unsafe"
)

// The library's release functions for each kind of handle. Tests count the calls through them.
var (
	freeSecretKey = func(p unsafe.Pointer) { C.vesk_secret_key_free((*C.VeskSecretKeyHandle)(p)) }
	freeIdentity  = func(p unsafe.Pointer) { C.vesk_signing_identity_free((*C.VeskSigningIdentityHandle)(p)) }
	freeNonces    = func(p unsafe.Pointer) { C.vesk_spent_nonces_free((*C.VeskSpentNonceSet)(p)) }
)

// handle is the one owner of a library handle. The exported types hold a pointer to it, so a copy
// of a SecretKey value is the same key, never a second owner.
//
// Every call takes the pointer with acquire and gives it back with done. close marks the handle
// closed at once: later calls are refused, and the release happens when the last call still
// running ends, so no call ever runs on a released handle. A finalizer closes a handle that was
// dropped without close; nothing can be using it then, since each call holds the handle.
type handle struct {
	kind   string // the exported type, for messages
	free   func(unsafe.Pointer)
	mu     sync.Mutex
	ptr    unsafe.Pointer
	users  int
	closed bool
	public []byte // the public half, once read: it never changes
}

// newHandle adopts a pointer the library has just returned; it is the only way one enters.
func newHandle(kind string, ptr unsafe.Pointer, free func(unsafe.Pointer)) *handle {
	h := &handle{kind: kind, free: free, ptr: ptr, closed: ptr == nil}
	runtime.SetFinalizer(h, (*handle).close)
	return h
}

// acquire gives the pointer for one call; done must follow when the call returns.
func (h *handle) acquire(op string) (unsafe.Pointer, error) {
	if h == nil {
		return nil, invalid(op, "the handle is nil or was not made by this package")
	}
	h.mu.Lock()
	defer h.mu.Unlock()
	if h.closed {
		return nil, closedHandle(op, h.kind)
	}
	h.users++
	return h.ptr, nil
}

// use makes a call with the handle's pointer and holds the handle until the call returns, so
// that a Close meanwhile releases it only afterwards. It is the way every call reaches a handle.
func (h *handle) use(op string, call func(ptr unsafe.Pointer) error) error {
	ptr, err := h.acquire(op)
	if err != nil {
		return err
	}
	defer h.done()
	return call(ptr)
}

func (h *handle) done() {
	h.mu.Lock()
	h.users--
	ptr := h.take()
	h.mu.Unlock()
	h.releasePointer(ptr)
}

// take hands over the pointer once the handle is closed and unused; h.mu is held.
func (h *handle) take() unsafe.Pointer {
	if !h.closed || h.users > 0 || h.ptr == nil {
		return nil
	}
	ptr := h.ptr
	h.ptr = nil
	return ptr
}

func (h *handle) releasePointer(ptr unsafe.Pointer) {
	if ptr != nil {
		h.free(ptr)
		runtime.SetFinalizer(h, nil)
	}
}

// close wipes and releases the handle now, or when the last call using it ends. Closing twice is
// harmless.
func (h *handle) close() {
	if h == nil {
		return
	}
	h.mu.Lock()
	h.closed = true
	ptr := h.take()
	h.mu.Unlock()
	h.releasePointer(ptr)
}

func (h *handle) isClosed() bool {
	if h == nil {
		return true
	}
	h.mu.Lock()
	defer h.mu.Unlock()
	return h.closed
}

// publicHalf is the handle's public key, read once through read and copied for every caller.
func (h *handle) publicHalf(op string, read func(unsafe.Pointer, *C.VeskBuffer) C.VeskStatus) ([]byte, error) {
	var public []byte
	err := h.use(op, func(ptr unsafe.Pointer) error {
		h.mu.Lock()
		cached := h.public
		h.mu.Unlock()
		if cached == nil {
			var buf C.VeskBuffer
			if err := check(op, read(ptr, &buf)); err != nil {
				return err
			}
			cached = takeBytes(&buf)
			h.mu.Lock()
			h.public = cached
			h.mu.Unlock()
		}
		public = append([]byte(nil), cached...)
		return nil
	})
	return public, err
}
