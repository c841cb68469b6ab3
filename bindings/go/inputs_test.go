package vesk

import (
	"bytes"
	"errors"
	"os"
	"path/filepath"
	"runtime"
	"strings"
	"syscall"
	"testing"
)

func TestArgumentsAreRefusedByName(t *testing.T) {
	key := newKey(t)
	public := must(key.PublicKey())
	verifyingKey := make([]byte, VerifyingKeyLen)
	signature := make([]byte, SignatureLen)
	hash := make([]byte, HashLen)
	many := make([][]byte, MaxRecipients+1)
	for i := range many {
		many[i] = public
	}
	tooManyHashes := make([][]byte, MaxProof/HashLen+1)
	for i := range tooManyHashes {
		tooManyHashes[i] = hash
	}
	keyFile := must(key.Protect(passphrase))
	tests := []struct {
		op, detail string // detail "" where the library refuses the argument itself
		call       func() error
	}{
		{"ArmorPublicKey", "publicKey is 0 bytes, not 1216", func() error { _, err := ArmorPublicKey(nil); return err }},
		{"ArmorPublicKey", "publicKey is 1215 bytes, not 1216", func() error { _, err := ArmorPublicKey(public[1:]); return err }},
		{"DearmorPublicKey", "text contains a NUL byte", func() error { _, err := DearmorPublicKey("vesk-public-key:\x00"); return err }},
		{"IsKeyFile", "data is 4097 bytes, more than the 4096 allowed", func() error { _, err := IsKeyFile(make([]byte, MaxKeyData+1)); return err }},
		{"OpenSecretKey", "data is 4097 bytes, more than the 4096 allowed", func() error {
			_, err := OpenSecretKey(make([]byte, MaxKeyData+1), nil)
			return err
		}},
		{"OpenSecretKey", "passphrase contains a NUL byte", func() error { _, err := OpenSecretKey(keyFile, []byte("pass\x00word")); return err }},
		{"SecretKey.Protect", "", func() error { _, err := key.Protect(nil); return err }},
		{"SecretKey.Protect", "", func() error { _, err := key.Protect([]byte("short")); return err }},
		{"Encrypt", "recipients holds 0 public keys, not 1 to 64", func() error { _, err := Encrypt([]byte("x"), nil); return err }},
		{"Encrypt", "recipients holds 65 public keys, not 1 to 64", func() error { _, err := Encrypt([]byte("x"), many); return err }},
		{"Encrypt", "recipients[1] is 0 bytes, not 1216", func() error { _, err := Encrypt([]byte("x"), [][]byte{public, nil}); return err }},
		{"Encrypt", "file name contains a NUL byte", func() error {
			_, err := Encrypt([]byte("x"), [][]byte{public}, WithFileName("a\x00b"))
			return err
		}},
		{"Encrypt", "content type contains a NUL byte", func() error {
			_, err := Encrypt([]byte("x"), [][]byte{public}, WithContentType("text/\x00"))
			return err
		}},
		{"Decrypt", "the handle is nil", func() error { _, err := Decrypt([]byte("x"), nil); return err }},
		{"OpenSigningIdentity", "passphrase contains a NUL byte", func() error {
			_, err := OpenSigningIdentity(identitySeed, []byte{0})
			return err
		}},
		{"SigningIdentity.Sign", "context is 4097 bytes, more than the 4096 allowed", func() error {
			_, err := openIdentity(t).Sign(make([]byte, MaxContext+1), nil)
			return err
		}},
		{"Verify", "verifyingKey is 0 bytes, not 1984", func() error { return Verify(nil, nil, nil, signature) }},
		{"Verify", "signature is 3372 bytes, not 3373", func() error { return Verify(verifyingKey, nil, nil, signature[1:]) }},
		{"GenerateIdentity", "", func() error { _, err := GenerateIdentity(nil); return err }},
		{"NewChallenge", "purpose contains a NUL byte", func() error { _, err := NewChallenge("log in\x00", 0, 1); return err }},
		{"SpentNonces.Accept", "signature is 0 bytes, not 3373", func() error {
			return NewSpentNonces().Accept([]byte("c"), nil, verifyingKey, 0)
		}},
		{"SpentNonces.Accept", "verifyingKey is 1983 bytes, not 1984", func() error {
			return NewSpentNonces().Accept([]byte("c"), signature, verifyingKey[1:], 0)
		}},
		{"VerifyIdentityPinned", "pin is 31 bytes, not 32", func() error { _, err := VerifyIdentityPinned(nil, nil, hash[1:]); return err }},
		{"VerifyEpochsBound", "pin is 0 bytes, not 32", func() error { _, err := VerifyEpochsBound(nil, nil, nil, nil, nil); return err }},
		{"VerifyInclusion", "leafHash is 0 bytes, not 32", func() error { return VerifyInclusion(nil, 0, 1, nil, hash) }},
		{"VerifyInclusion", "proof[1] is 31 bytes, not 32", func() error {
			return VerifyInclusion(hash, 0, 4, [][]byte{hash, hash[1:]}, hash)
		}},
		{"VerifyInclusion", "proof holds 65 hashes, more than the 64 allowed", func() error {
			return VerifyInclusion(hash, 0, 1, tooManyHashes, hash)
		}},
		{"VerifyConsistency", "newRoot is 33 bytes, not 32", func() error { return VerifyConsistency(1, 2, nil, hash, append(hash, 0)) }},
		{"VerifyCheckpoint", "origin contains a NUL byte", func() error { _, err := VerifyCheckpoint(nil, "log\x00", nil); return err }},
	}
	for _, test := range tests {
		t.Run(test.op+"/"+test.detail, func(t *testing.T) {
			err := test.call()
			var e *Error
			if !errors.Is(err, ErrInvalidArgument) || !errors.As(err, &e) || e.Op != test.op {
				t.Fatalf("%v, expected ErrInvalidArgument from %s", err, test.op)
			}
			if !strings.HasPrefix(e.Detail, test.detail) || (test.detail == "") != (e.Detail == "") {
				t.Fatalf("detail %q, expected %q", e.Detail, test.detail)
			}
		})
	}
}

// With several faults in one call, the first refusal is the one named: the handle before any
// argument, then the arguments in their order, the hashes of a proof check before the proof.
func TestTheFirstFaultIsTheOneNamed(t *testing.T) {
	key, id, set := newKey(t), openIdentity(t), NewSpentNonces()
	key.Close()
	id.Close()
	set.Close()
	hash := make([]byte, HashLen)
	tooManyHashes := make([][]byte, MaxProof/HashLen+1)
	for i := range tooManyHashes {
		tooManyHashes[i] = hash[1:]
	}
	tests := []struct {
		op, detail string
		call       func() error
	}{
		{"SecretKey.Protect", "SecretKey is closed", func() error { _, err := key.Protect([]byte("pass\x00word")); return err }},
		{"SigningIdentity.Sign", "SigningIdentity is closed", func() error {
			_, err := id.Sign(make([]byte, MaxContext+1), nil)
			return err
		}},
		{"SigningIdentity.Answer", "SigningIdentity is closed", func() error {
			_, err := id.Answer(make([]byte, MaxChallenge+1))
			return err
		}},
		{"SpentNonces.Accept", "SpentNonces is closed", func() error { return set.Accept(nil, nil, nil, 0) }},
		{"OpenSecretKey", "data is 4097 bytes", func() error {
			_, err := OpenSecretKey(make([]byte, MaxKeyData+1), []byte{0})
			return err
		}},
		{"OpenSigningIdentity", "data is 4097 bytes", func() error {
			_, err := OpenSigningIdentity(make([]byte, MaxKeyData+1), []byte{0})
			return err
		}},
		{"VerifyInclusion", "leafHash is 31 bytes", func() error { return VerifyInclusion(hash[1:], 0, 1, tooManyHashes, nil) }},
		{"VerifyInclusion", "root is 0 bytes", func() error { return VerifyInclusion(hash, 0, 1, tooManyHashes, nil) }},
		{"VerifyConsistency", "oldRoot is 0 bytes", func() error { return VerifyConsistency(1, 2, tooManyHashes, nil, nil) }},
		{"VerifyConsistency", "newRoot is 0 bytes", func() error { return VerifyConsistency(1, 2, tooManyHashes, hash, nil) }},
		{"VerifyConsistency", "proof holds 65 hashes", func() error { return VerifyConsistency(1, 2, tooManyHashes, hash, hash) }},
		{"VerifyCheckpoint", "checkpoint is 196609 bytes", func() error {
			_, err := VerifyCheckpoint(make([]byte, MaxCheckpoint+1), "log\x00", nil)
			return err
		}},
	}
	for _, test := range tests {
		t.Run(test.op+"/"+test.detail, func(t *testing.T) {
			var e *Error
			if err := test.call(); !errors.As(err, &e) || e.Op != test.op || !strings.HasPrefix(e.Detail, test.detail) {
				t.Fatalf("%v, expected %s to refuse first: %s", err, test.op, test.detail)
			}
		})
	}
}

func TestANilOptionSetsNothing(t *testing.T) {
	key := newKey(t)
	container := must(Encrypt([]byte("x"), [][]byte{must(key.PublicKey())}, nil, WithContentType("text/plain"), nil))
	p := must(Decrypt(container, key))
	defer p.Close()
	if p.FileName() != "" || p.ContentType() != "text/plain" {
		t.Fatalf("metadata %q %q", p.FileName(), p.ContentType())
	}
}

func TestPassphrasesAreCopiedNotKept(t *testing.T) {
	key := newKey(t)
	mine := append([]byte(nil), passphrase...)
	keyFile := must(key.Protect(mine))
	opened := must(OpenSecretKey(keyFile, mine))
	defer opened.Close()
	if !bytes.Equal(mine, passphrase) {
		t.Fatal("the caller's passphrase was changed")
	}
	for i := range mine {
		mine[i] = 0 // the caller wipes its copy: the key must not have depended on it
	}
	container := encryptFor(t, key, []byte("after the wipe"))
	p := must(Decrypt(container, opened))
	defer p.Close()
	if string(p.Bytes()) != "after the wipe" {
		t.Fatal("the key opened with the passphrase does not decrypt")
	}
}

func TestAMissingPassphraseIsNamed(t *testing.T) {
	key := newKey(t)
	recipientFile := must(key.Protect(passphrase))
	identityFile := must(GenerateIdentity(passphrase))
	tests := []struct {
		name       string
		open       func(data, passphrase []byte) error
		file       []byte
		passphrase []byte
		sentinel   error
		named      bool
	}{
		{"key, none", func(d, p []byte) error { _, err := OpenSecretKey(d, p); return err }, recipientFile, nil, ErrWrongPassphrase, true},
		{"key, empty", func(d, p []byte) error { _, err := OpenSecretKey(d, p); return err }, recipientFile, []byte{}, ErrWrongPassphrase, false},
		{"identity, none", func(d, p []byte) error { _, err := OpenSigningIdentity(d, p); return err }, identityFile, nil, ErrInvalidArgument, true},
		{"identity, wrong", func(d, p []byte) error { _, err := OpenSigningIdentity(d, p); return err }, identityFile, []byte("not it at all"), ErrWrongPassphrase, false},
	}
	for _, test := range tests {
		t.Run(test.name, func(t *testing.T) {
			err := test.open(test.file, test.passphrase)
			if !errors.Is(err, test.sentinel) {
				t.Fatalf("%v, expected %v", err, test.sentinel)
			}
			if named := strings.Contains(err.Error(), "no passphrase was given"); named != test.named {
				t.Fatalf("%q: names the missing passphrase: %v", err, named)
			}
		})
	}
}

// mapped is data in memory the Go heap does not own: an anonymous mapping, or a read-only
// mapping of a file.
func mapped(t *testing.T, data []byte, file bool) []byte {
	var m []byte
	var err error
	if file {
		path := filepath.Join(t.TempDir(), "input")
		if err := os.WriteFile(path, data, 0o600); err != nil {
			t.Fatal(err)
		}
		f, err := os.Open(path)
		if err != nil {
			t.Fatal(err)
		}
		defer f.Close()
		m, err = syscall.Mmap(int(f.Fd()), 0, len(data), syscall.PROT_READ, syscall.MAP_SHARED)
		if err != nil {
			t.Fatal(err)
		}
	} else {
		m, err = syscall.Mmap(-1, 0, len(data), syscall.PROT_READ|syscall.PROT_WRITE, syscall.MAP_ANON|syscall.MAP_PRIVATE)
		if err != nil {
			t.Fatal(err)
		}
		copy(m, data)
	}
	t.Cleanup(func() { syscall.Munmap(m) })
	return m
}

func TestInputsAreReadWhereTheyAre(t *testing.T) {
	const size = 16 << 20
	id := openIdentity(t)
	verifyingKey := must(id.VerifyingKey())
	context := []byte("inputs test")
	message := pattern(size)
	expected := must(id.Sign(context, message))
	kinds := []struct {
		name string
		make func() []byte
	}{
		{"heap", func() []byte { return message }},
		{"sub-slice at an odd offset", func() []byte { return append([]byte{1, 2, 3}, message...)[3:] }},
		{"anonymous mapping", func() []byte { return mapped(t, message, false) }},
		{"read-only file mapping", func() []byte { return mapped(t, message, true) }},
	}
	for _, kind := range kinds {
		t.Run(kind.name, func(t *testing.T) {
			input := kind.make()
			var before, after runtime.MemStats
			runtime.ReadMemStats(&before)
			signature := must(id.Sign(context, input))
			err := Verify(verifyingKey, context, input, signature)
			runtime.ReadMemStats(&after)
			if err != nil || !bytes.Equal(signature, expected) {
				t.Fatalf("the library did not see the message: %v", err)
			}
			if allocated := after.TotalAlloc - before.TotalAlloc; allocated > size/16 {
				t.Fatalf("%d bytes of Go memory allocated for a %d-byte message", allocated, size)
			}
		})
	}
}

func TestEncryptReadsItsInputWhereItIs(t *testing.T) {
	const size = 16 << 20
	key := newKey(t)
	public := must(key.PublicKey())
	data := mapped(t, pattern(size), true)
	var before, after runtime.MemStats
	runtime.ReadMemStats(&before)
	container := must(Encrypt(data, [][]byte{public, public}))
	runtime.ReadMemStats(&after)
	// The container is copied out of the library into Go memory; nothing else of that size is.
	if allocated := after.TotalAlloc - before.TotalAlloc; allocated > uint64(len(container))+size/16 {
		t.Fatalf("%d bytes allocated for a %d-byte container", allocated, len(container))
	}
	p := must(Decrypt(container, key))
	defer p.Close()
	if !bytes.Equal(p.Bytes(), data) {
		t.Fatal("the container does not hold the mapped data")
	}
}
