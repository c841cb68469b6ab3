package vesk

import (
	"errors"
	"os"
	"path/filepath"
	"regexp"
	"strconv"
	"strings"
	"testing"
)

// The header the package is built against, or the source it is made from.
func headerText(t *testing.T) string {
	path := os.Getenv("VESK_TEST_HEADER")
	if path == "" {
		path = filepath.Join("..", "..", "include", "vesk.h.in")
	}
	text, err := os.ReadFile(path)
	if err != nil {
		t.Fatal(err)
	}
	return string(text)
}

var sentinelTable = []struct {
	status   Status
	sentinel error
}{
	{StatusInvalidArgument, ErrInvalidArgument},
	{StatusWrongPassphrase, ErrWrongPassphrase},
	{StatusNotKeyFile, ErrNotKeyFile},
	{StatusAuthenticationFailed, ErrAuthenticationFailed},
	{StatusNoMatchingRecipient, ErrNoMatchingRecipient},
	{StatusMalformedInput, ErrMalformedInput},
	{StatusInputTooLarge, ErrInputTooLarge},
	{StatusChallengeExpired, ErrChallengeExpired},
	{StatusChallengeReplayed, ErrChallengeReplayed},
	{StatusInternalFault, ErrInternalFault},
	{StatusInternalError, ErrInternalError},
}

// Each status the header lists, with the text its comment gives.
func headerStatuses(t *testing.T) map[Status]string {
	found := regexp.MustCompile(`VESK_[A-Z_]+ = (\d+),?\s*/\* "([^"]*)"`).FindAllStringSubmatch(headerText(t), -1)
	statuses := map[Status]string{}
	for _, m := range found {
		n, _ := strconv.Atoi(m[1])
		statuses[Status(n)] = m[2]
	}
	if len(statuses) != len(sentinelTable)+1 {
		t.Fatalf("the header lists %d statuses, the table %d failures and success", len(statuses), len(sentinelTable))
	}
	return statuses
}

func TestEachFailureStatusIsItsSentinel(t *testing.T) {
	texts := headerStatuses(t)
	for _, row := range sentinelTable {
		t.Run(row.sentinel.Error(), func(t *testing.T) {
			err := failure("Op", (row.status))
			var e *Error
			if !errors.As(err, &e) || e.Status != row.status || e.Op != "Op" || e.Message != texts[row.status] {
				t.Fatalf("%#v for status %d (%q)", err, row.status, texts[row.status])
			}
			if err.Error() != "vesk: Op: "+texts[row.status] || row.sentinel.Error() != "vesk: "+texts[row.status] {
				t.Fatalf("texts %q and %q", err.Error(), row.sentinel.Error())
			}
			for _, other := range sentinelTable {
				if errors.Is(err, other.sentinel) != (other.status == row.status) {
					t.Errorf("errors.Is(status %d, sentinel of %d) = %v", row.status, other.status, !(other.status == row.status))
				}
			}
			if errors.Is(err, ErrClosed) {
				t.Error("a library status matches ErrClosed")
			}
		})
	}
}

func TestSuccessAndUnlistedStatuses(t *testing.T) {
	if err := failure("Op", (StatusOK)); err != nil {
		t.Fatalf("success is %v", err)
	}
	if StatusOK.String() != headerStatuses(t)[StatusOK] {
		t.Fatalf("success reads %q", StatusOK.String())
	}
	for _, status := range []Status{42, -1, 97, 100} {
		err := failure("Op", (status)).(*Error)
		if err.Unwrap() != nil || err.Status != status || err.Message != "internal error" {
			t.Errorf("status %d: %#v", status, err)
		}
		for _, row := range sentinelTable {
			if errors.Is(err, row.sentinel) {
				t.Errorf("status %d matches the sentinel of %d", status, row.status)
			}
		}
	}
}

func TestAFaultInTheLibraryIsErrInternalFault(t *testing.T) {
	// Every status the library gives for data reaches its sentinel in the corpus run; a fault is
	// no property of data.
	err := TestPanic()
	if !errors.Is(err, ErrInternalFault) || err.(*Error).Op != "TestPanic" {
		t.Fatalf("%v", err)
	}
}

func TestVersionIsTheBuilds(t *testing.T) {
	want := regexp.MustCompile(`#define VESK_VERSION "([^"]*)"`).FindStringSubmatch(headerText(t))
	if want != nil && want[1] == "@PROJECT_VERSION@" {
		// The header's source: the version is the project's.
		project, err := os.ReadFile(filepath.Join("..", "..", "CMakeLists.txt"))
		if err != nil {
			t.Fatal(err)
		}
		want = regexp.MustCompile(`project\(vesk VERSION ([0-9.]+)`).FindStringSubmatch(string(project))
	}
	if want == nil || Version() != want[1] {
		t.Fatalf("the library says %q, the build %q", Version(), want)
	}
}

// Every export of the library is called by the package, except vesk_buffer_empty: a zeroed
// C.VeskBuffer is the empty record it returns, so no call is needed.
func TestEveryExportIsWrapped(t *testing.T) {
	list, err := os.ReadFile(filepath.Join("..", "..", "tests", "abi", "exports.txt"))
	if err != nil {
		t.Fatal(err)
	}
	sources, _ := filepath.Glob("*.go")
	var code strings.Builder
	for _, name := range sources {
		if !strings.HasSuffix(name, "_test.go") {
			text, _ := os.ReadFile(name)
			code.Write(text)
		}
	}
	exports := 0
	for _, line := range strings.Split(string(list), "\n") {
		name := strings.TrimSpace(line)
		if name == "" || strings.HasPrefix(name, "#") {
			continue
		}
		exports++
		if name != "vesk_buffer_empty" && !strings.Contains(code.String(), "C."+name+"(") {
			t.Errorf("%s is not called by the package", name)
		}
	}
	if exports != 36 {
		t.Errorf("%d exports listed, the package wraps 36", exports)
	}
}
