package vesk

import (
	"testing"

	"vesk/internal/cbench"
)

// The package against the bare C calls, in the same run: decrypting 64 MiB and signing 1 KiB.
// Run by hand:
//
//	go test -run '^$' -bench . -count 5
//
// Each "api" result should stay within 1.1 times its "c" result.

func BenchmarkDecrypt64MiB(b *testing.B) {
	const size = 64 << 20
	key := must(OpenSecretKey(identitySeed, nil))
	defer key.Close()
	raw := must(cbench.OpenKey(identitySeed))
	defer raw.Close()
	container := must(Encrypt(pattern(size), [][]byte{must(key.PublicKey())}))

	b.Run("api", func(b *testing.B) {
		b.SetBytes(size)
		for i := 0; i < b.N; i++ {
			p, err := Decrypt(container, key)
			if err != nil || p.Len() != size {
				b.Fatal(err)
			}
			p.Close()
		}
	})
	b.Run("c", func(b *testing.B) {
		b.SetBytes(size)
		for i := 0; i < b.N; i++ {
			if n, status := raw.Decrypt(container); status != 0 || n != size {
				b.Fatalf("status %d", status)
			}
		}
	})
}

func BenchmarkSign1KiB(b *testing.B) {
	id := must(OpenSigningIdentity(identitySeed, nil))
	defer id.Close()
	raw := must(cbench.OpenIdentity(identitySeed))
	defer raw.Close()
	context, message := []byte("benchmark"), pattern(1<<10)

	b.Run("api", func(b *testing.B) {
		for i := 0; i < b.N; i++ {
			if _, err := id.Sign(context, message); err != nil {
				b.Fatal(err)
			}
		}
	})
	b.Run("c", func(b *testing.B) {
		for i := 0; i < b.N; i++ {
			if n, status := raw.Sign(context, message); status != 0 || n != SignatureLen {
				b.Fatalf("status %d", status)
			}
		}
	})
}
