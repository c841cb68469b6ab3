package vesk

import (
	"runtime"
	"sync"
	"testing"
	"unsafe"
)

var (
	passphrase   = []byte("correct horse battery staple")
	identitySeed = func() []byte {
		seed := make([]byte, SecretSeedLen)
		for i := range seed {
			seed[i] = byte(i)
		}
		return seed
	}()
)

// pattern is n bytes that no other result here has: a run of 0..250.
func pattern(n int) []byte {
	b := make([]byte, n)
	for i := range b {
		b[i] = byte(i % 251)
	}
	return b
}

// must is value, for calls a test cannot go on without; their failure ends the run.
func must[T any](value T, err error) T {
	if err != nil {
		panic(err)
	}
	return value
}

func openIdentity(t testing.TB) *SigningIdentity {
	t.Helper()
	id := must(OpenSigningIdentity(identitySeed, nil))
	t.Cleanup(func() { id.Close() })
	return id
}

func newKey(t testing.TB) *SecretKey {
	t.Helper()
	key := must(GenerateSecretKey())
	t.Cleanup(func() { key.Close() })
	return key
}

// releases counts the calls of one release hook while a test runs, and still releases.
type releases struct {
	mu       sync.Mutex
	pointers []unsafe.Pointer
}

func (r *releases) count() int {
	r.mu.Lock()
	defer r.mu.Unlock()
	return len(r.pointers)
}

func countReleases(t *testing.T, hook *func(unsafe.Pointer)) *releases {
	r := &releases{}
	real := *hook
	*hook = func(p unsafe.Pointer) {
		r.mu.Lock()
		r.pointers = append(r.pointers, p)
		r.mu.Unlock()
		real(p)
	}
	t.Cleanup(func() { *hook = real })
	return r
}

// collectUntil runs the collector until done holds, for finalizers to run; false if they never do.
func collectUntil(done func() bool) bool {
	return collectRounds(200, done)
}

// settle gives finalizers that are due a few collections to run.
func settle() { collectRounds(10, func() bool { return false }) }

func collectRounds(rounds int, done func() bool) bool {
	for i := 0; i < rounds; i++ {
		if done() {
			return true
		}
		runtime.GC()
		runtime.Gosched()
	}
	return done()
}
