package vesk

import (
	"errors"
	"strings"
	"sync"
	"testing"
	"unsafe"
)

// handleKinds makes one handle of each kind, with the hook its release goes through.
var handleKinds = []struct {
	name string
	hook *func(unsafe.Pointer)
	make func(t *testing.T) (h *handle, closer func() error)
}{
	{"SecretKey", &freeSecretKey, func(t *testing.T) (*handle, func() error) {
		key := must(GenerateSecretKey())
		return key.h, key.Close
	}},
	{"SigningIdentity", &freeIdentity, func(t *testing.T) (*handle, func() error) {
		id := must(OpenSigningIdentity(identitySeed, nil))
		return id.h, id.Close
	}},
	{"SpentNonces", &freeNonces, func(t *testing.T) (*handle, func() error) {
		set := NewSpentNonces()
		return set.h, set.Close
	}},
}

func TestHandlesAreReleasedExactlyOnce(t *testing.T) {
	endings := []struct {
		name string
		end  func(closer func() error)
	}{
		{"Close", func(closer func() error) { closer() }},
		{"Close twice", func(closer func() error) { closer(); closer() }},
		{"dropped, then collected", func(closer func() error) {}},
	}
	for _, kind := range handleKinds {
		for _, ending := range endings {
			t.Run(kind.name+"/"+ending.name, func(t *testing.T) {
				released := countReleases(t, kind.hook)
				pointer := func() unsafe.Pointer {
					h, closer := kind.make(t)
					p := h.ptr
					ending.end(closer)
					return p
				}()
				if !collectUntil(func() bool { return released.count() > 0 }) {
					t.Fatal("never released")
				}
				settle() // a second release would happen here
				if released.count() != 1 || released.pointers[0] != pointer {
					t.Fatalf("released %v, expected exactly %v", released.pointers, pointer)
				}
			})
		}
	}
}

// uses calls each method that needs a handle once.
var uses = []struct {
	name string
	use  func(key *SecretKey, id *SigningIdentity, set *SpentNonces) error
}{
	{"SecretKey.PublicKey", func(k *SecretKey, _ *SigningIdentity, _ *SpentNonces) error { _, err := k.PublicKey(); return err }},
	{"SecretKey.Protect", func(k *SecretKey, _ *SigningIdentity, _ *SpentNonces) error {
		_, err := k.Protect(passphrase)
		return err
	}},
	{"Decrypt", func(k *SecretKey, _ *SigningIdentity, _ *SpentNonces) error {
		_, err := Decrypt([]byte("container"), k)
		return err
	}},
	{"SigningIdentity.VerifyingKey", func(_ *SecretKey, id *SigningIdentity, _ *SpentNonces) error { _, err := id.VerifyingKey(); return err }},
	{"SigningIdentity.Sign", func(_ *SecretKey, id *SigningIdentity, _ *SpentNonces) error {
		_, err := id.Sign([]byte("c"), []byte("m"))
		return err
	}},
	{"SigningIdentity.Answer", func(_ *SecretKey, id *SigningIdentity, _ *SpentNonces) error {
		_, err := id.Answer([]byte("challenge"))
		return err
	}},
	{"SpentNonces.Accept", func(_ *SecretKey, _ *SigningIdentity, s *SpentNonces) error {
		return s.Accept([]byte("c"), make([]byte, SignatureLen), make([]byte, VerifyingKeyLen), 0)
	}},
}

func TestCallsOnAClosedHandleAreErrors(t *testing.T) {
	for _, u := range uses {
		t.Run(u.name, func(t *testing.T) {
			key, id, set := must(GenerateSecretKey()), must(OpenSigningIdentity(identitySeed, nil)), NewSpentNonces()
			key.Close()
			id.Close()
			set.Close()
			err := u.use(key, id, set)
			if !errors.Is(err, ErrClosed) || !errors.Is(err, ErrInvalidArgument) {
				t.Fatalf("%v, expected an error matching ErrClosed and ErrInvalidArgument", err)
			}
			if e := err.(*Error); e.Op != u.name || !strings.HasSuffix(e.Error(), " is closed") {
				t.Fatalf("%q from %q: should name the call and say the handle is closed", e.Error(), e.Op)
			}
		})
	}
}

func TestCallsOnANilOrZeroHandleAreErrors(t *testing.T) {
	for _, u := range uses {
		t.Run(u.name, func(t *testing.T) {
			for _, handles := range []struct {
				key *SecretKey
				id  *SigningIdentity
				set *SpentNonces
			}{{nil, nil, nil}, {&SecretKey{}, &SigningIdentity{}, &SpentNonces{}}} {
				err := u.use(handles.key, handles.id, handles.set)
				if !errors.Is(err, ErrInvalidArgument) || errors.Is(err, ErrClosed) {
					t.Fatalf("%v, expected ErrInvalidArgument for a handle that was never opened", err)
				}
			}
			// Closing what was never opened is harmless too.
			var key *SecretKey
			var id *SigningIdentity
			var set *SpentNonces
			if key.Close() != nil || id.Close() != nil || set.Close() != nil || (&SpentNonces{}).Close() != nil {
				t.Fatal("Close of a nil handle failed")
			}
		})
	}
}

func TestCloseDuringACallReleasesAfterIt(t *testing.T) {
	for _, kind := range handleKinds {
		t.Run(kind.name, func(t *testing.T) {
			released := countReleases(t, kind.hook)
			h, closer := kind.make(t)
			first := must(h.acquire("first call"))
			second := must(h.acquire("second call"))
			if first != second {
				t.Fatal("two calls got different pointers")
			}
			closer()
			if _, err := h.acquire("after Close"); !errors.Is(err, ErrClosed) {
				t.Fatalf("a call after Close got %v", err)
			}
			h.done()
			if released.count() != 0 {
				t.Fatal("released while a call was still running")
			}
			h.done()
			if released.count() != 1 || released.pointers[0] != first {
				t.Fatalf("released %v after the last call, expected %v once", released.pointers, first)
			}
			closer()
			if released.count() != 1 {
				t.Fatal("released again by a second Close")
			}
		})
	}
}

// Goroutines sign while another closes the identity: each call either signs with the identity
// or is refused as closed, and the identity is released once, after the last call.
func TestCloseWhileGoroutinesSign(t *testing.T) {
	released := countReleases(t, &freeIdentity)
	id := must(OpenSigningIdentity(identitySeed, nil))
	verifyingKey := must(id.VerifyingKey())
	context, message := []byte("close test"), pattern(1<<10)
	const signers = 4
	var wg, started sync.WaitGroup
	var mu sync.Mutex
	var signatures [][]byte
	var refusals []error
	wg.Add(signers)
	started.Add(signers)
	for g := 0; g < signers; g++ {
		go func() {
			defer wg.Done()
			first := true
			for {
				signature, err := id.Sign(context, message)
				mu.Lock()
				if err != nil {
					refusals = append(refusals, err)
				} else {
					signatures = append(signatures, signature)
				}
				mu.Unlock()
				if first {
					started.Done()
					first = false
				}
				if err != nil {
					return // every call after Close is refused, so each signer ends
				}
			}
		}()
	}
	started.Wait() // every signer is in its loop
	id.Close()
	wg.Wait()
	if len(refusals) != signers || len(signatures) < signers {
		t.Fatalf("%d signatures and %d refusals from %d signers", len(signatures), len(refusals), signers)
	}
	for _, err := range refusals {
		if !errors.Is(err, ErrClosed) {
			t.Errorf("a call during Close failed with %v", err)
		}
	}
	for _, signature := range signatures {
		if err := Verify(verifyingKey, context, message, signature); err != nil {
			t.Errorf("a signature made during Close does not verify: %v", err)
		}
	}
	if released.count() != 1 {
		t.Fatalf("released %d times", released.count())
	}
}
