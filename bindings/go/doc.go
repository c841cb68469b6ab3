// Package vesk is the Go interface to libvesk: hybrid (classical and post-quantum) encryption to
// several recipients, hybrid signatures and challenges, identity logs and epoch keys, and
// transparency proofs and checkpoints. It calls the library's C interface through cgo and adds
// Go's conventions, nothing else: every check and every byte format is the library's.
//
// # Inputs and results
//
// Byte inputs are []byte and go to the library as they are, without a copy (the library reads
// them during the call only, and keeps no pointer to them). Mapped files work the same way. A nil
// or empty slice is an empty input. Texts (file names, content types, purposes, origins, armored
// keys) are strings; a string holding a NUL byte is refused with ErrInvalidArgument.
//
// Results are ordinary Go values: []byte for keys, key files, containers, signatures and
// challenges, [HashLen]byte for hashes, small structs and numbers. The library's result record is
// copied out and then wiped and released at once. The one exception is a decrypted plaintext:
// Decrypt returns a *Plaintext whose Bytes views the library's own buffer, with no copy, until
// Close wipes and releases it.
//
// # Secrets
//
// Secret keys never enter Go memory. A SecretKey or SigningIdentity holds a library handle; its
// keys are wiped by Close. Passphrases are []byte (nil means none): each call copies one into
// library memory, adds the terminating NUL, and wipes and frees that copy right after the call.
// The caller's slice is neither kept nor changed, so the caller can wipe it too. A decrypted
// plaintext stays in library memory until Plaintext.Close wipes it; the stored file name and
// content type are copied into Go strings, which cannot be wiped.
//
// # Handles
//
// SecretKey, SigningIdentity and SpentNonces are handles with Close. Keys and identities may be
// used by any number of goroutines at once, as the library allows; a SpentNonces set serialises
// its own calls, since the library allows one thread at a time on a set. A handle is never
// released while a call uses it: Close marks it closed at once and the last running call
// releases it. Calls on a closed handle, a nil handle or a zero value return an error matching
// ErrInvalidArgument (and ErrClosed when closed); nothing panics. A finalizer closes a handle
// that was dropped without Close, as a safety net only.
//
// Handles come only from this package's constructors (GenerateSecretKey, OpenSecretKey,
// OpenSigningIdentity, NewSpentNonces). Copying a handle value copies a reference to the one
// owner, so a handle is released exactly once.
//
// # Errors
//
// Every failure is an *Error carrying the library's Status, the operation, the library's message
// for the status and, when this package refused an argument itself, what is wrong with it. Each
// failure status has its sentinel for errors.Is: ErrInvalidArgument, ErrWrongPassphrase,
// ErrNotKeyFile, ErrAuthenticationFailed, ErrNoMatchingRecipient, ErrMalformedInput,
// ErrInputTooLarge, ErrChallengeExpired, ErrChallengeReplayed, ErrInternalFault and
// ErrInternalError.
//
// # Finding the library
//
// The package links libvesk.so. By default it asks pkg-config for the vesk package, which
// cmake --install writes to <prefix>/lib/pkgconfig/vesk.pc:
//
//	PKG_CONFIG_PATH=$P/lib/pkgconfig CGO_LDFLAGS="-Wl,-rpath,$P/lib" go build
//
// (the rpath is for a prefix the system's loader does not search). To use a build tree instead,
// build with the tag vesk_no_pkgconfig and name the header folder and the library's folder:
//
//	CGO_CFLAGS="-I$B/include" CGO_LDFLAGS="-L$B/src -Wl,-rpath,$B/src" go build -tags vesk_no_pkgconfig
//
// where $B is the build folder (build/release).
package vesk
