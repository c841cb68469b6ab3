package vesk_test

import (
	"bytes"
	"encoding/hex"
	"errors"
	"fmt"
	"log"
	"os"
	"path/filepath"
	"strings"

	"vesk"
)

// Keys: a recipient keypair whose secret seed stays in the library, its public key as text, and
// a key file to store it in.
func ExampleGenerateSecretKey() {
	key, err := vesk.GenerateSecretKey()
	if err != nil {
		log.Fatal(err)
	}
	defer key.Close() // wipes the seed

	publicKey, err := key.PublicKey()
	if err != nil {
		log.Fatal(err)
	}
	armored, err := vesk.ArmorPublicKey(publicKey) // text to publish
	if err != nil {
		log.Fatal(err)
	}
	keyFile, err := key.Protect([]byte("correct horse battery staple")) // bytes to store
	if err != nil {
		log.Fatal(err)
	}

	back, _ := vesk.DearmorPublicKey(armored)
	isKeyFile, _ := vesk.IsKeyFile(keyFile)
	fmt.Println(len(publicKey), strings.SplitN(armored, "\n", 2)[0], len(keyFile))
	fmt.Println(bytes.Equal(back, publicKey), isKeyFile)
	// Output:
	// 1216 vesk-public-key: 95
	// true true
}

// Keys: opening a key file needs its passphrase; a wrong one is ErrWrongPassphrase.
func ExampleOpenSecretKey() {
	key, _ := vesk.GenerateSecretKey()
	keyFile, _ := key.Protect([]byte("correct horse battery staple"))
	key.Close()

	_, err := vesk.OpenSecretKey(keyFile, []byte("not the passphrase"))
	var e *vesk.Error
	if errors.As(err, &e) && errors.Is(err, vesk.ErrWrongPassphrase) {
		fmt.Println(int32(e.Status), e.Op, e.Message)
	}

	opened, err := vesk.OpenSecretKey(keyFile, []byte("correct horse battery staple"))
	if err != nil {
		log.Fatal(err)
	}
	defer opened.Close()
	fmt.Println("opened")
	// Output:
	// 2 OpenSecretKey incorrect passphrase, or the key file was modified
	// opened
}

// Containers: encrypted once for several recipients; decrypting authenticates everything before
// the plaintext is handed out, as a view of the library's buffer until Close.
func ExampleDecrypt() {
	bob, _ := vesk.GenerateSecretKey()
	defer bob.Close()
	carol, _ := vesk.GenerateSecretKey()
	defer carol.Close()
	bobPublic, _ := bob.PublicKey()
	carolPublic, _ := carol.PublicKey()

	container, err := vesk.Encrypt([]byte("quarterly figures"), [][]byte{bobPublic, carolPublic},
		vesk.WithFileName("report.txt"), vesk.WithContentType("text/plain"))
	if err != nil {
		log.Fatal(err)
	}

	plaintext, err := vesk.Decrypt(container, bob)
	if err != nil {
		log.Fatal(err)
	}
	defer plaintext.Close() // wipes and releases the plaintext
	fmt.Printf("%s (%s): %s\n", plaintext.FileName(), plaintext.ContentType(), plaintext.Bytes())

	stranger, _ := vesk.GenerateSecretKey()
	defer stranger.Close()
	_, err = vesk.Decrypt(container, stranger)
	fmt.Println(errors.Is(err, vesk.ErrNoMatchingRecipient), err)
	// Output:
	// report.txt (text/plain): quarterly figures
	// true vesk: Decrypt: no matching recipient for this key
}

// Signatures: an identity comes inside a key file; its signatures are bound to a context.
func ExampleSigningIdentity_Sign() {
	passphrase := []byte("correct horse battery staple")
	identityFile, err := vesk.GenerateIdentity(passphrase)
	if err != nil {
		log.Fatal(err)
	}
	me, err := vesk.OpenSigningIdentity(identityFile, passphrase)
	if err != nil {
		log.Fatal(err)
	}
	defer me.Close() // wipes the identity's keys

	verifyingKey, _ := me.VerifyingKey() // for others
	context := []byte("example.org notes v1")
	signature, err := me.Sign(context, []byte("We meet at noon."))
	if err != nil {
		log.Fatal(err)
	}

	fmt.Println(len(signature), vesk.Verify(verifyingKey, context, []byte("We meet at noon."), signature))
	err = vesk.Verify(verifyingKey, context, []byte("We meet at noom."), signature)
	fmt.Println(errors.Is(err, vesk.ErrAuthenticationFailed))
	// Output:
	// 3373 <nil>
	// true
}

// Challenges: the verifier issues one, the holder of the identity answers it, and the verifier
// accepts each answer once and only in time (times in the caller's own unit, here seconds).
func ExampleSpentNonces_Accept() {
	me, err := vesk.OpenSigningIdentity(bytes.Repeat([]byte{7}, vesk.SecretSeedLen), nil) // a bare seed, for the example
	if err != nil {
		log.Fatal(err)
	}
	defer me.Close()
	verifyingKey, _ := me.VerifyingKey()

	spent := vesk.NewSpentNonces() // kept by the verifier
	defer spent.Close()
	challenge, _ := vesk.NewChallenge("sign in to example.org", 1000, 120)
	answer, _ := me.Answer(challenge) // by the holder

	fmt.Println(spent.Accept(challenge, answer, verifyingKey, 1010))
	fmt.Println(errors.Is(spent.Accept(challenge, answer, verifyingKey, 1011), vesk.ErrChallengeReplayed))

	late, _ := vesk.NewChallenge("sign in to example.org", 1000, 120)
	lateAnswer, _ := me.Answer(late)
	fmt.Println(errors.Is(spent.Accept(late, lateAnswer, verifyingKey, 1121), vesk.ErrChallengeExpired))
	// Output:
	// <nil>
	// true
	// true
}

// records reads a demo record that a key directory or a log would publish.
func records(name string) []byte {
	data, err := os.ReadFile(filepath.Join("testdata", "records", name))
	if err != nil {
		log.Fatal(err)
	}
	return data
}

func hexLines(name string) [][]byte {
	var hashes [][]byte
	for _, line := range strings.Fields(string(records(name))) {
		hash, err := hex.DecodeString(line)
		if err != nil {
			log.Fatal(err)
		}
		hashes = append(hashes, hash)
	}
	return hashes
}

// Identity logs and epoch keys: a log checked against the identity id a host pinned, a device
// key looked up in it, and the newest epoch's recipient key, ready for Encrypt.
func ExampleVerifyIdentityPinned() {
	identityLog, binding, recoveryKey := records("identity.log"), records("recovery.binding"), records("recovery.key")
	pin := hexLines("identity.pin")[0]

	active, err := vesk.VerifyIdentityPinned(identityLog, binding, pin)
	if err != nil {
		log.Fatal(err)
	}
	laptop, _ := vesk.IdentityTrustsDevice(identityLog, recoveryKey, records("laptop.key"))
	tablet, _ := vesk.IdentityTrustsDevice(identityLog, recoveryKey, records("tablet.key")) // revoked
	fmt.Println(active, laptop, tablet)

	chain := records("epochs.chain")
	epochs, err := vesk.VerifyEpochsBound(identityLog, binding, pin, chain, records("epochs.binding"))
	if err != nil {
		log.Fatal(err)
	}
	latest, _ := vesk.EpochPublicKey(chain, epochs-1)
	_, err = vesk.Encrypt([]byte("for this epoch"), [][]byte{latest})
	fmt.Println(epochs, err)

	_, err = vesk.VerifyIdentityPinned(records("other.log"), binding, pin) // a log the pin does not name
	fmt.Println(errors.Is(err, vesk.ErrAuthenticationFailed))
	// Output:
	// 2 true false
	// 3 <nil>
	// true
}

// Transparency: a checkpoint verified under the log's key, then an inclusion proof and a
// consistency proof against its root.
func ExampleVerifyCheckpoint() {
	checkpoint, err := vesk.VerifyCheckpoint(records("checkpoint"), "example.com/test-log", records("log.pub"))
	if err != nil {
		log.Fatal(err)
	}
	fmt.Println(checkpoint.TreeSize, hex.EncodeToString(checkpoint.Root[:8]))

	leaf := hexLines("leaf.hash")[0]
	fmt.Println(vesk.VerifyInclusion(leaf, 6, checkpoint.TreeSize, hexLines("inclusion.proof"), checkpoint.Root[:]))
	err = vesk.VerifyInclusion(leaf, 5, checkpoint.TreeSize, hexLines("inclusion.proof"), checkpoint.Root[:])
	fmt.Println(errors.Is(err, vesk.ErrAuthenticationFailed))

	oldRoot := hexLines("old.root")[0]
	fmt.Println(vesk.VerifyConsistency(7, checkpoint.TreeSize, hexLines("consistency.proof"), oldRoot, checkpoint.Root[:]))
	// Output:
	// 11 b6e6c01dc35ef32a
	// <nil>
	// true
	// <nil>
}
