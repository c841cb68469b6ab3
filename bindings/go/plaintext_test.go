package vesk

import (
	"bytes"
	"runtime"
	"testing"
	"unsafe"
)

const plaintextSize = 16 << 20

func encryptFor(t *testing.T, key *SecretKey, data []byte, options ...EncryptOption) []byte {
	t.Helper()
	public := must(key.PublicKey())
	return must(Encrypt(data, [][]byte{public}, options...))
}

func TestPlaintextViewsTheLibrarysBuffer(t *testing.T) {
	key := newKey(t)
	data := pattern(plaintextSize)
	p := must(Decrypt(encryptFor(t, key, data, WithFileName("data.bin"), WithContentType("application/octet-stream")), key))
	defer p.Close()
	view := p.Bytes()
	if !bytes.Equal(view, data) || p.Len() != len(data) {
		t.Fatal("the plaintext differs from what was encrypted")
	}
	if p.FileName() != "data.bin" || p.ContentType() != "application/octet-stream" {
		t.Fatalf("metadata %q %q", p.FileName(), p.ContentType())
	}
	if again := p.Bytes(); &again[0] != &view[0] {
		t.Fatal("each Bytes should view the same buffer")
	}
	if unsafe.Pointer(&view[0]) != unsafe.Pointer(p.r.buf.data) {
		t.Fatal("Bytes is not the library's buffer")
	}
	if cap(view) != len(view) {
		t.Fatalf("capacity %d past the plaintext's %d bytes: an append would write into the library's memory", cap(view), len(view))
	}
	grown := append(view, 1)
	if &grown[0] == &view[0] {
		t.Fatal("append wrote past the plaintext")
	}
}

func TestDecryptDoesNotCopyThePlaintext(t *testing.T) {
	key := newKey(t)
	container := encryptFor(t, key, pattern(plaintextSize))
	allocated := func(f func()) uint64 {
		var before, after runtime.MemStats
		runtime.ReadMemStats(&before)
		f()
		runtime.ReadMemStats(&after)
		return after.TotalAlloc - before.TotalAlloc
	}
	var p *Plaintext
	without := allocated(func() { p = must(Decrypt(container, key)) })
	defer p.Close()
	// The measure can fail: a copy of the plaintext shows in it.
	with := allocated(func() { _ = append([]byte(nil), p.Bytes()...) })
	if without > plaintextSize/16 || with < plaintextSize {
		t.Fatalf("Decrypt allocated %d bytes of Go memory, a copy %d, for a %d-byte plaintext", without, with, plaintextSize)
	}
}

func TestPlaintextIsReleasedOnceByClose(t *testing.T) {
	released := countReleases(t, &freePlaintext)
	key := newKey(t)
	p := must(Decrypt(encryptFor(t, key, pattern(1000), WithFileName("kept.txt")), key))
	p.Close()
	p.Close()
	if released.count() != 1 {
		t.Fatalf("released %d times", released.count())
	}
	if p.Bytes() != nil || p.Len() != 0 {
		t.Fatal("the plaintext is still handed out after Close")
	}
	if p.FileName() != "kept.txt" {
		t.Fatalf("file name %q after Close", p.FileName())
	}
	settle()
	if released.count() != 1 {
		t.Fatal("released again after Close")
	}
}

// A Plaintext dropped without Close is wiped by its finalizer but its memory is kept, as a view
// may still point into it: the view reads zeros, never freed memory.
func TestDroppedPlaintextIsWipedNotReleased(t *testing.T) {
	released := countReleases(t, &freePlaintext)
	key := newKey(t)
	expected := pattern(1 << 20)
	container := encryptFor(t, key, expected)
	view := func() []byte {
		p := must(Decrypt(container, key))
		if !bytes.Equal(p.Bytes(), expected) {
			t.Fatal("the view differs from the plaintext")
		}
		runtime.KeepAlive(p) // reachable until here; dropped from here on
		return p.Bytes()
	}()
	if !collectUntil(func() bool { return bytes.Count(view, []byte{0}) == len(view) }) {
		t.Fatal("a dropped plaintext was never wiped")
	}
	if released.count() != 0 {
		t.Fatal("a dropped plaintext was released under a live view")
	}
}

func TestEmptyAndMissingPlaintexts(t *testing.T) {
	key := newKey(t)
	p := must(Decrypt(encryptFor(t, key, nil), key))
	if b := p.Bytes(); b == nil || len(b) != 0 || p.Len() != 0 || p.FileName() != "" || p.ContentType() != "" {
		t.Fatalf("empty plaintext: %v, %d, %q, %q", b, p.Len(), p.FileName(), p.ContentType())
	}
	p.Close()
	p, err := Decrypt(encryptFor(t, newKey(t), []byte("for someone else")), key)
	if p != nil || err == nil {
		t.Fatal("a failed Decrypt handed out a plaintext")
	}
	// What a failed call returns can be used without a panic.
	if p.Bytes() != nil || p.Len() != 0 || p.FileName() != "" || p.Close() != nil {
		t.Fatal("a nil Plaintext is not empty")
	}
	var zero Plaintext
	if zero.Bytes() != nil || zero.Close() != nil {
		t.Fatal("a zero Plaintext is not empty")
	}
}
