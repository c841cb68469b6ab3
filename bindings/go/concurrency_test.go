package vesk

import (
	"bytes"
	"errors"
	"fmt"
	"sync"
	"testing"
)

// run calls f from n goroutines at once and collects what each returned.
func run[T any](n int, f func(i int) (T, error)) ([]T, []error) {
	var wg sync.WaitGroup
	start := make(chan struct{})
	values, errs := make([]T, n), make([]error, n)
	for i := 0; i < n; i++ {
		wg.Add(1)
		go func(i int) {
			defer wg.Done()
			<-start
			values[i], errs[i] = f(i)
		}(i)
	}
	close(start)
	wg.Wait()
	return values, errs
}

func TestGoroutinesShareAnIdentity(t *testing.T) {
	id := openIdentity(t)
	message := pattern(1 << 20)
	expected := must(id.Sign([]byte("threads"), message))
	signatures, errs := run(8, func(int) ([]byte, error) { return id.Sign([]byte("threads"), message) })
	for i := range signatures {
		if errs[i] != nil || !bytes.Equal(signatures[i], expected) {
			t.Fatalf("goroutine %d: %v", i, errs[i])
		}
	}
}

func TestGoroutinesShareASecretKey(t *testing.T) {
	key := newKey(t)
	containers := make([][]byte, 8)
	for i := range containers {
		containers[i] = encryptFor(t, key, pattern(1<<16+i))
	}
	lengths, errs := run(len(containers), func(i int) (int, error) {
		p, err := Decrypt(containers[i], key)
		if err != nil {
			return 0, err
		}
		defer p.Close()
		if !bytes.Equal(p.Bytes(), pattern(1<<16+i)) {
			return 0, fmt.Errorf("plaintext %d differs", i)
		}
		return p.Len(), nil
	})
	for i := range lengths {
		if errs[i] != nil || lengths[i] != 1<<16+i {
			t.Fatalf("goroutine %d: %d bytes, %v", i, lengths[i], errs[i])
		}
	}
}

// The set serialises its calls: of many goroutines answering the same challenge at once, exactly
// one is accepted and every other one is a replay; different challenges are all accepted.
func TestSpentNoncesAcceptOnceAcrossGoroutines(t *testing.T) {
	id := openIdentity(t)
	verifyingKey := must(id.VerifyingKey())
	const goroutines = 16
	challenges := make([][]byte, goroutines)
	answers := make([][]byte, goroutines)
	for i := range challenges {
		challenges[i] = must(NewChallenge("log in", 1000, 60))
		answers[i] = must(id.Answer(challenges[i]))
	}

	set := NewSpentNonces()
	defer set.Close()
	_, errs := run(goroutines, func(int) (struct{}, error) {
		return struct{}{}, set.Accept(challenges[0], answers[0], verifyingKey, 1010)
	})
	accepted := 0
	for _, err := range errs {
		switch {
		case err == nil:
			accepted++
		case !errors.Is(err, ErrChallengeReplayed):
			t.Fatalf("the same answer at once: %v", err)
		}
	}
	if accepted != 1 {
		t.Fatalf("the same answer was accepted %d times", accepted)
	}

	_, errs = run(goroutines-1, func(i int) (struct{}, error) {
		return struct{}{}, set.Accept(challenges[i+1], answers[i+1], verifyingKey, 1010)
	})
	for i, err := range errs {
		if err != nil {
			t.Fatalf("challenge %d: %v", i+1, err)
		}
	}
}

// Accept calls racing a Close either complete on the set or are refused as closed.
func TestSpentNoncesClosedDuringAccepts(t *testing.T) {
	id := openIdentity(t)
	verifyingKey := must(id.VerifyingKey())
	challenge := must(NewChallenge("log in", 0, 60))
	answer := must(id.Answer(challenge))
	set := NewSpentNonces()
	_, errs := run(8, func(i int) (struct{}, error) {
		if i == 4 {
			return struct{}{}, set.Close()
		}
		return struct{}{}, set.Accept(challenge, answer, verifyingKey, 1)
	})
	for i, err := range errs {
		if err != nil && !errors.Is(err, ErrChallengeReplayed) && !errors.Is(err, ErrClosed) {
			t.Fatalf("goroutine %d: %v", i, err)
		}
	}
	if err := set.Accept(challenge, answer, verifyingKey, 1); !errors.Is(err, ErrClosed) {
		t.Fatalf("after Close: %v", err)
	}
}
