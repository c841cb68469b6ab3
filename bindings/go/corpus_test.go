package vesk_test

// The interop corpus (vectors/*.json) through the package's own API: each export maps to the Go
// call that wraps it, each status to its sentinel. A file that breaks the corpus schema is
// refused as a whole, naming the file and the case, and fails the run; nothing is skipped.

import (
	"bytes"
	"crypto/sha256"
	"encoding/hex"
	"encoding/json"
	"errors"
	"fmt"
	"os"
	"path/filepath"
	"regexp"
	"sort"
	"strconv"
	"strings"
	"testing"

	"vesk"
)

func vectorsDir() string {
	if dir := os.Getenv("VESK_TEST_VECTORS"); dir != "" {
		return dir
	}
	return filepath.Join("..", "..", "vectors")
}

// Argument and output kinds, as the corpus writes them.
type kind int

const (
	inBytes kind = iota
	inText
	inU64
	inSecretKey
	inIdentity
	inNonces
	outBuffer
	outNumber
	outFlag
	outSecretKey
	outIdentity
)

func (k kind) output() bool { return k >= outBuffer }
func (k kind) handle() bool { return k == inSecretKey || k == inIdentity || k == inNonces }

type param struct {
	name string
	kind kind
}

// args holds inputs as the Go API takes them: []byte (nil for null), *string (nil for null),
// uint64 and handles. results holds what a call returned, whether it failed or not.
type (
	args    map[string]any
	results map[string]any
)

type export struct {
	params []param
	random bool // outputs drawn at random: a successful case need not list them
	call   func(a args) (results, error)
}

func (a args) bytes(name string) []byte { return a[name].([]byte) }
func (a args) u64(name string) uint64   { return a[name].(uint64) }

// passphrase: an absent text is nil, a present one its bytes.
func (a args) passphrase(name string) []byte {
	if s := a[name].(*string); s != nil {
		return []byte(*s)
	}
	return nil
}

// text: the Go API takes a string where the library cannot take NULL for a useful call.
func (a args) text(name string) (string, error) {
	if s := a[name].(*string); s != nil {
		return *s, nil
	}
	return "", fmt.Errorf("%s: the Go API has no absent form of this text", name)
}

// hashes splits a proof into HashLen-byte hashes; a short tail stays as it is, for the API to
// refuse.
func hashes(proof []byte) [][]byte {
	var out [][]byte
	for len(proof) > 0 {
		n := vesk.HashLen
		if len(proof) < n {
			n = len(proof)
		}
		out = append(out, proof[:n])
		proof = proof[n:]
	}
	return out
}

// recipients splits the keys the library takes back to back into the list Encrypt takes.
func recipients(keys []byte, count uint64) [][]byte {
	if count == 0 {
		return nil
	}
	size := uint64(vesk.PublicKeyLen)
	if uint64(len(keys))%count == 0 {
		size = uint64(len(keys)) / count
	}
	var out [][]byte
	for len(keys) > 0 {
		n := size
		if uint64(len(keys)) < n {
			n = uint64(len(keys))
		}
		out = append(out, keys[:n])
		keys = keys[n:]
	}
	return out
}

func flag(b bool) int64 {
	if b {
		return 1
	}
	return 0
}

var exports = map[string]export{
	"vesk_public_key_armor": {[]param{{"public_key", inBytes}, {"text_out", outBuffer}}, false,
		func(a args) (results, error) {
			text, err := vesk.ArmorPublicKey(a.bytes("public_key"))
			return results{"text_out": text}, err
		}},
	"vesk_public_key_dearmor": {[]param{{"text", inText}, {"public_key_out", outBuffer}}, false,
		func(a args) (results, error) {
			text, err := a.text("text")
			if err != nil {
				return nil, err
			}
			key, err := vesk.DearmorPublicKey(text)
			return results{"public_key_out": key}, err
		}},
	"vesk_inspect_key": {[]param{{"data", inBytes}, {"is_key_file_out", outFlag}}, false,
		func(a args) (results, error) {
			isKey, err := vesk.IsKeyFile(a.bytes("data"))
			return results{"is_key_file_out": flag(isKey)}, err
		}},
	"vesk_secret_key_public": {[]param{{"secret_key", inSecretKey}, {"public_key_out", outBuffer}}, false,
		func(a args) (results, error) {
			key, err := a["secret_key"].(*vesk.SecretKey).PublicKey()
			return results{"public_key_out": key}, err
		}},
	"vesk_secret_key_protect": {[]param{{"secret_key", inSecretKey}, {"passphrase", inText}, {"key_file_out", outBuffer}}, true,
		func(a args) (results, error) {
			file, err := a["secret_key"].(*vesk.SecretKey).Protect(a.passphrase("passphrase"))
			return results{"key_file_out": file}, err
		}},
	"vesk_secret_key_open": {[]param{{"data", inBytes}, {"passphrase", inText}, {"key_out", outSecretKey}}, false,
		func(a args) (results, error) {
			key, err := vesk.OpenSecretKey(a.bytes("data"), a.passphrase("passphrase"))
			return results{"key_out": key}, err
		}},
	"vesk_encrypt": {[]param{{"data", inBytes}, {"recipients", inBytes}, {"recipient_count", inU64}, {"file_name", inText},
		{"content_type", inText}, {"out", outBuffer}}, true,
		func(a args) (results, error) {
			var options []vesk.EncryptOption
			if name := a["file_name"].(*string); name != nil {
				options = append(options, vesk.WithFileName(*name))
			}
			if kind := a["content_type"].(*string); kind != nil {
				options = append(options, vesk.WithContentType(*kind))
			}
			keys := recipients(a.bytes("recipients"), a.u64("recipient_count"))
			container, err := vesk.Encrypt(a.bytes("data"), keys, options...)
			return results{"out": container}, err
		}},
	"vesk_decrypt": {[]param{{"data", inBytes}, {"secret_key", inSecretKey}, {"plaintext_out", outBuffer},
		{"file_name_out", outBuffer}, {"content_type_out", outBuffer}}, false,
		func(a args) (results, error) {
			p, err := vesk.Decrypt(a.bytes("data"), a["secret_key"].(*vesk.SecretKey))
			if err != nil {
				return results{"plaintext_out": p}, err
			}
			defer p.Close()
			// Compared while the view is open; the copy keeps it for the comparison.
			return results{
				"plaintext_out":    append([]byte{}, p.Bytes()...),
				"file_name_out":    p.FileName(),
				"content_type_out": p.ContentType(),
			}, nil
		}},
	"vesk_signing_identity_open": {[]param{{"data", inBytes}, {"passphrase", inText}, {"out", outIdentity}}, false,
		func(a args) (results, error) {
			id, err := vesk.OpenSigningIdentity(a.bytes("data"), a.passphrase("passphrase"))
			return results{"out": id}, err
		}},
	"vesk_signing_identity_public": {[]param{{"identity", inIdentity}, {"out", outBuffer}}, false,
		func(a args) (results, error) {
			key, err := a["identity"].(*vesk.SigningIdentity).VerifyingKey()
			return results{"out": key}, err
		}},
	"vesk_sign_message": {[]param{{"identity", inIdentity}, {"context", inBytes}, {"message", inBytes}, {"signature_out", outBuffer}}, false,
		func(a args) (results, error) {
			signature, err := a["identity"].(*vesk.SigningIdentity).Sign(a.bytes("context"), a.bytes("message"))
			return results{"signature_out": signature}, err
		}},
	"vesk_verify_message": {[]param{{"verifying_key", inBytes}, {"context", inBytes}, {"message", inBytes}, {"signature", inBytes}}, false,
		func(a args) (results, error) {
			return results{}, vesk.Verify(a.bytes("verifying_key"), a.bytes("context"), a.bytes("message"), a.bytes("signature"))
		}},
	"vesk_challenge_answer": {[]param{{"identity", inIdentity}, {"challenge", inBytes}, {"signature_out", outBuffer}}, false,
		func(a args) (results, error) {
			answer, err := a["identity"].(*vesk.SigningIdentity).Answer(a.bytes("challenge"))
			return results{"signature_out": answer}, err
		}},
	"vesk_challenge_accept": {[]param{{"set", inNonces}, {"challenge", inBytes}, {"signature", inBytes}, {"verifying_key", inBytes}, {"now", inU64}}, false,
		func(a args) (results, error) {
			set := a["set"].(*vesk.SpentNonces)
			return results{}, set.Accept(a.bytes("challenge"), a.bytes("signature"), a.bytes("verifying_key"), a.u64("now"))
		}},
	"vesk_identity_generate": {[]param{{"passphrase", inText}, {"key_file_out", outBuffer}}, true,
		func(a args) (results, error) {
			file, err := vesk.GenerateIdentity(a.passphrase("passphrase"))
			return results{"key_file_out": file}, err
		}},
	"vesk_identity_head": {[]param{{"log", inBytes}, {"recovery_key", inBytes}, {"head_out", outBuffer}}, false,
		func(a args) (results, error) {
			head, err := vesk.IdentityHead(a.bytes("log"), a.bytes("recovery_key"))
			return results{"head_out": head}, err
		}},
	"vesk_identity_verify": {[]param{{"log", inBytes}, {"recovery_key", inBytes}, {"active_devices_out", outNumber}}, false,
		func(a args) (results, error) {
			count, err := vesk.VerifyIdentity(a.bytes("log"), a.bytes("recovery_key"))
			return results{"active_devices_out": count}, err
		}},
	"vesk_identity_verify_pinned": {[]param{{"log", inBytes}, {"recovery_binding", inBytes}, {"pin", inBytes}, {"active_devices_out", outNumber}}, false,
		func(a args) (results, error) {
			count, err := vesk.VerifyIdentityPinned(a.bytes("log"), a.bytes("recovery_binding"), a.bytes("pin"))
			return results{"active_devices_out": count}, err
		}},
	"vesk_identity_trusts_device": {[]param{{"log", inBytes}, {"recovery_key", inBytes}, {"device_key", inBytes}, {"trusted_out", outFlag}}, false,
		func(a args) (results, error) {
			trusted, err := vesk.IdentityTrustsDevice(a.bytes("log"), a.bytes("recovery_key"), a.bytes("device_key"))
			return results{"trusted_out": flag(trusted)}, err
		}},
	"vesk_epoch_public_key": {[]param{{"chain", inBytes}, {"epoch_index", inU64}, {"out", outBuffer}}, false,
		func(a args) (results, error) {
			key, err := vesk.EpochPublicKey(a.bytes("chain"), a.u64("epoch_index"))
			return results{"out": key}, err
		}},
	"vesk_epoch_verify": {[]param{{"chain", inBytes}, {"epoch_count_out", outNumber}}, false,
		func(a args) (results, error) {
			count, err := vesk.VerifyEpochs(a.bytes("chain"))
			return results{"epoch_count_out": count}, err
		}},
	"vesk_epoch_verify_bound": {[]param{{"log", inBytes}, {"recovery_binding", inBytes}, {"pin", inBytes}, {"chain", inBytes},
		{"epoch_binding", inBytes}, {"epoch_count_out", outNumber}}, false,
		func(a args) (results, error) {
			count, err := vesk.VerifyEpochsBound(a.bytes("log"), a.bytes("recovery_binding"), a.bytes("pin"), a.bytes("chain"), a.bytes("epoch_binding"))
			return results{"epoch_count_out": count}, err
		}},
	"vesk_transparency_verify_inclusion": {[]param{{"leaf_hash", inBytes}, {"leaf_index", inU64}, {"tree_size", inU64}, {"proof", inBytes}, {"root", inBytes}}, false,
		func(a args) (results, error) {
			return results{}, vesk.VerifyInclusion(a.bytes("leaf_hash"), a.u64("leaf_index"), a.u64("tree_size"), hashes(a.bytes("proof")), a.bytes("root"))
		}},
	"vesk_transparency_verify_consistency": {[]param{{"old_size", inU64}, {"new_size", inU64}, {"proof", inBytes}, {"old_root", inBytes}, {"new_root", inBytes}}, false,
		func(a args) (results, error) {
			return results{}, vesk.VerifyConsistency(a.u64("old_size"), a.u64("new_size"), hashes(a.bytes("proof")), a.bytes("old_root"), a.bytes("new_root"))
		}},
	"vesk_checkpoint_verify": {[]param{{"checkpoint", inBytes}, {"origin", inText}, {"verifying_key", inBytes}, {"tree_size_out", outNumber}, {"root_out", outBuffer}}, false,
		func(a args) (results, error) {
			origin, err := a.text("origin")
			if err != nil {
				return nil, err
			}
			checkpoint, err := vesk.VerifyCheckpoint(a.bytes("checkpoint"), origin, a.bytes("verifying_key"))
			return results{"tree_size_out": checkpoint.TreeSize, "root_out": checkpoint.Root}, err
		}},
}

var statuses = map[string]error{
	"VESK_OK":                    nil,
	"VESK_INVALID_ARGUMENT":      vesk.ErrInvalidArgument,
	"VESK_WRONG_PASSPHRASE":      vesk.ErrWrongPassphrase,
	"VESK_NOT_KEY_FILE":          vesk.ErrNotKeyFile,
	"VESK_AUTHENTICATION_FAILED": vesk.ErrAuthenticationFailed,
	"VESK_NO_MATCHING_RECIPIENT": vesk.ErrNoMatchingRecipient,
	"VESK_MALFORMED_INPUT":       vesk.ErrMalformedInput,
	"VESK_INPUT_TOO_LARGE":       vesk.ErrInputTooLarge,
	"VESK_CHALLENGE_EXPIRED":     vesk.ErrChallengeExpired,
	"VESK_CHALLENGE_REPLAYED":    vesk.ErrChallengeReplayed,
	"VESK_INTERNAL_FAULT":        vesk.ErrInternalFault,
	"VESK_INTERNAL_ERROR":        vesk.ErrInternalError,
}

// ---- the schema ---------------------------------------------------------------------------------

type schemaError string

func (e schemaError) Error() string { return string(e) }

func refuse(format string, a ...any) { panic(schemaError(fmt.Sprintf(format, a...))) }

// object is v as a JSON object with exactly the given keys.
func object(v any, what string, keys ...string) map[string]any {
	m, ok := v.(map[string]any)
	ok = ok && len(m) == len(keys)
	for _, k := range keys {
		if _, present := m[k]; !present {
			ok = false
		}
	}
	if !ok {
		sorted := append([]string(nil), keys...)
		sort.Strings(sorted)
		refuse("%s must be an object with exactly the keys %s", what, strings.Join(sorted, ", "))
	}
	return m
}

var (
	caseName = regexp.MustCompile(`^[a-z0-9.-]+$`)
	lowerHex = regexp.MustCompile(`^(?:[0-9a-f]{2})*$`)
	decimal  = regexp.MustCompile(`^(?:0|[1-9][0-9]*)$`)
)

func hexBytes(v any, what string) []byte {
	s, ok := v.(string)
	if !ok || !lowerHex.MatchString(s) {
		refuse("%s: not lower-case hex of whole bytes", what)
	}
	b, _ := hex.DecodeString(s)
	return b
}

// byteValue is {"hex": ...}, or null for a NULL pointer of length 0.
func byteValue(v any, what string) []byte {
	if v == nil {
		return nil
	}
	b := hexBytes(object(v, what, "hex")["hex"], what)
	if b == nil {
		b = []byte{}
	}
	return b
}

// textValue is {"text": ...}, or null for an absent text.
func textValue(v any, what string) *string {
	if v == nil {
		return nil
	}
	s, ok := object(v, what, "text")["text"].(string)
	if !ok || strings.IndexByte(s, 0) >= 0 {
		refuse("%s: not a text without NUL", what)
	}
	return &s
}

// u64Value is a JSON number below 2^53 or {"u64": "decimal"} from 2^53 to 2^64 - 1.
func u64Value(v any, what string) uint64 {
	if n, ok := v.(json.Number); ok {
		value, err := strconv.ParseUint(n.String(), 10, 64)
		if err != nil || value >= 1<<53 {
			refuse("%s: numbers of 2^53 and above are written {\"u64\": ...}", what)
		}
		return value
	}
	s, ok := object(v, what, "u64")["u64"].(string)
	value, err := strconv.ParseUint(s, 10, 64)
	if !ok || !decimal.MatchString(s) || err != nil || value < 1<<53 {
		refuse("%s: u64 is not a decimal number from 2^53 to 2^64 - 1", what)
	}
	return value
}

func handleKind(spec any, what string) kind {
	if m, ok := spec.(map[string]any); ok && len(m) == 1 {
		for name, opener := range m {
			switch name {
			case "spent_nonces_new":
				if o, ok := opener.(map[string]any); !ok || len(o) != 0 {
					refuse("%s: spent_nonces_new takes no arguments", what)
				}
				return inNonces
			case "secret_key_open", "signing_identity_open":
				a := object(opener, what, "data", "passphrase")
				byteValue(a["data"], what+" data")
				textValue(a["passphrase"], what+" passphrase")
				if name == "secret_key_open" {
					return inSecretKey
				}
				return inIdentity
			}
		}
	}
	refuse("%s: not a handle", what)
	return 0
}

func outputValue(v any, k kind, what string) {
	switch k {
	case outBuffer:
		m, _ := v.(map[string]any)
		if _, ok := m["sha256"]; ok {
			o := object(v, what, "sha256", "len")
			if s, ok := o["sha256"].(string); !ok || len(s) != 64 {
				refuse("%s: sha256 is not 64 hex digits", what)
			}
			hexBytes(o["sha256"], what)
			u64Value(o["len"], what+" len")
		} else if _, ok := m["text"]; ok {
			textValue(v, what)
		} else if v == nil {
			refuse("%s: null is not an output", what)
		} else {
			byteValue(v, what)
		}
	case outNumber:
		u64Value(v, what)
	case outFlag:
		n, ok := v.(json.Number)
		if _, err := strconv.ParseInt(n.String(), 10, 32); !ok || err != nil {
			refuse("%s: not a 32-bit integer", what)
		}
	default:
		name := "secret_key_public"
		if k == outIdentity {
			name = "signing_identity_public"
		}
		outputValue(object(v, what, name)[name], outBuffer, what)
	}
}

type call struct {
	inputs  map[string]any
	status  string
	outputs map[string]any
}

type corpusCase struct {
	name    string
	handles map[string]any // name -> spec, for a case of steps
	calls   []call
}

func checkCall(ex export, inputs, expect any, handles map[string]kind) call {
	var inNames, outNames []string
	kinds := map[string]kind{}
	for _, p := range ex.params {
		kinds[p.name] = p.kind
		if p.kind.output() {
			outNames = append(outNames, p.name)
		} else {
			inNames = append(inNames, p.name)
		}
	}
	in := object(inputs, "inputs", inNames...)
	for _, name := range inNames {
		what, v := "input "+name, in[name]
		switch k := kinds[name]; {
		case k.handle():
			if m, ok := v.(map[string]any); ok && m["handle"] != nil {
				ref, _ := object(v, what, "handle")["handle"].(string)
				if got, ok := handles[ref]; !ok || got != k {
					refuse("%s: names no handle of this kind in the case", what)
				}
			} else if handleKind(v, what) != k {
				refuse("%s: a handle of the wrong kind", what)
			}
		case k == inBytes:
			byteValue(v, what)
		case k == inText:
			textValue(v, what)
		default:
			u64Value(v, what)
		}
	}
	e := object(expect, "expect", "status", "outputs")
	status, _ := e["status"].(string)
	if _, ok := statuses[status]; !ok {
		refuse("expect: unknown status %q", e["status"])
	}
	outputs, ok := e["outputs"].(map[string]any)
	if !ok {
		refuse("expect: outputs is not an object")
	}
	for name, v := range outputs {
		k, ok := kinds[name]
		if !ok || !k.output() {
			refuse("expect: %s is not an out-parameter of the export", name)
		}
		if status != "VESK_OK" && k != outBuffer {
			refuse("expect: a failure names only what a result buffer released")
		}
		outputValue(v, k, "output "+name)
	}
	if status == "VESK_OK" && !ex.random {
		for _, name := range outNames {
			if _, ok := outputs[name]; !ok {
				refuse("expect: the successful case does not give %s", name)
			}
		}
	}
	return call{in, status, outputs}
}

// loadCorpusFile checks a whole file against the schema and returns its export and cases, or an
// error that names the file and the case.
func loadCorpusFile(path string) (ex export, cases []corpusCase, err error) {
	file := filepath.Base(path)
	label := ""
	defer func() {
		if r := recover(); r != nil {
			refusal, ok := r.(schemaError)
			if !ok {
				panic(r)
			}
			err = fmt.Errorf("%s: %s%s", file, label, refusal)
		}
	}()
	text, err := os.ReadFile(path)
	if err != nil {
		return ex, nil, err
	}
	decoder := json.NewDecoder(bytes.NewReader(text))
	decoder.UseNumber()
	var data any
	if err := decoder.Decode(&data); err != nil || decoder.More() {
		refuse("not JSON: %v", err)
	}
	top := object(data, "the file", "export", "version", "cases")
	name, _ := top["export"].(string)
	ex, ok := exports[name]
	if !ok {
		refuse("unknown export %q", top["export"])
	}
	if want := strings.TrimPrefix(name, "vesk_") + ".json"; file != want {
		refuse("the file of %s must be named %s", name, want)
	}
	if version, ok := top["version"].(string); !ok || version == "" {
		refuse("version is not a text")
	}
	list, ok := top["cases"].([]any)
	if !ok || len(list) == 0 {
		refuse("cases is not a non-empty array")
	}
	seen := map[string]bool{}
	for index, c := range list {
		label = fmt.Sprintf("case %d: ", index)
		m, _ := c.(map[string]any)
		title, ok := m["name"].(string)
		if !ok {
			refuse("a case without a name")
		}
		label = fmt.Sprintf("case '%s': ", title)
		if !caseName.MatchString(title) {
			refuse("a case name is lower-case letters, digits, '-' and '.'")
		}
		if seen[title] {
			refuse("the name is used twice")
		}
		seen[title] = true
		kase := corpusCase{name: title}
		if _, ok := m["steps"]; ok {
			object(c, "the case", "name", "description", "handles", "steps")
			specs, ok := m["handles"].(map[string]any)
			if !ok || len(specs) == 0 {
				refuse("handles is not a non-empty object")
			}
			kinds := map[string]kind{}
			for handleName, spec := range specs {
				kinds[handleName] = handleKind(spec, "handle "+handleName)
			}
			steps, ok := m["steps"].([]any)
			if !ok || len(steps) == 0 {
				refuse("steps is not a non-empty array")
			}
			for _, s := range steps {
				step := object(s, "a step", "inputs", "expect")
				kase.calls = append(kase.calls, checkCall(ex, step["inputs"], step["expect"], kinds))
			}
			kase.handles = specs
		} else {
			object(c, "the case", "name", "description", "inputs", "expect")
			kase.calls = append(kase.calls, checkCall(ex, m["inputs"], m["expect"], nil))
		}
		if _, ok := m["description"].(string); !ok {
			refuse("description is not a text")
		}
		cases = append(cases, kase)
	}
	return ex, cases, nil
}

// ---- running ------------------------------------------------------------------------------------

// opened holds the keys and identities the run has opened, by their spec: they are only read by
// calls, so one opening serves every case that names the same arguments.
type opened struct {
	handles map[string]any
	sets    []*vesk.SpentNonces
}

func (o *opened) open(spec any) (any, error) {
	m := spec.(map[string]any)
	if _, ok := m["spent_nonces_new"]; ok {
		set := vesk.NewSpentNonces()
		o.sets = append(o.sets, set) // one per case
		return set, nil
	}
	key, _ := json.Marshal(spec)
	if h, ok := o.handles[string(key)]; ok {
		return h, nil
	}
	for name, opener := range m {
		a := opener.(map[string]any)
		data := byteValue(a["data"], "data")
		var passphrase []byte
		if text := textValue(a["passphrase"], "passphrase"); text != nil {
			passphrase = []byte(*text)
		}
		var h any
		var err error
		if name == "secret_key_open" {
			h, err = vesk.OpenSecretKey(data, passphrase)
		} else {
			h, err = vesk.OpenSigningIdentity(data, passphrase)
		}
		if err != nil {
			return nil, fmt.Errorf("opening the case's handle: %w", err)
		}
		o.handles[string(key)] = h
		return h, nil
	}
	return nil, errors.New("not a handle")
}

func (o *opened) closeSets() {
	for _, set := range o.sets {
		set.Close()
	}
	o.sets = nil
}

func (o *opened) closeAll() {
	o.closeSets()
	for _, h := range o.handles {
		h.(interface{ Close() error }).Close()
	}
}

// released is a result as the bytes it hands out; nothing (nil) when a call handed out nothing.
func released(v any) []byte {
	switch r := v.(type) {
	case nil:
		return nil
	case []byte:
		return r
	case string:
		return []byte(r)
	case [vesk.HashLen]byte:
		return r[:]
	case *vesk.Plaintext:
		if r == nil {
			return nil
		}
		return r.Bytes()
	}
	panic(fmt.Sprintf("no bytes for %T", v))
}

// handedOut tells whether a failed call still returned something for an output.
func handedOut(v any) bool {
	switch r := v.(type) {
	case uint64:
		return r != 0
	case int64:
		return r != 0
	case *vesk.SecretKey:
		return r != nil
	case *vesk.SigningIdentity:
		return r != nil
	case [vesk.HashLen]byte:
		return r != [vesk.HashLen]byte{}
	}
	return len(released(v)) != 0
}

// sameBytes compares a buffer with its expectation; "" when they match.
func sameBytes(want any, got []byte) string {
	m := want.(map[string]any)
	sum := sha256.Sum256(got)
	if digest, ok := m["sha256"]; ok {
		length := u64Value(m["len"], "len")
		if hex.EncodeToString(sum[:]) != digest || uint64(len(got)) != length {
			return fmt.Sprintf("SHA-256 %x and length %d, expected %s and %d", sum, len(got), digest, length)
		}
		return ""
	}
	var expected []byte
	if text, ok := m["text"]; ok {
		expected = []byte(text.(string))
	} else {
		expected = byteValue(want, "output")
	}
	if !bytes.Equal(expected, got) {
		return fmt.Sprintf("%d bytes (SHA-256 %x) where %d were expected", len(got), sum, len(expected))
	}
	return ""
}

func runCall(ex export, c call, o *opened, named map[string]any) (failures []string) {
	a := args{}
	for _, p := range ex.params {
		v := c.inputs[p.name]
		switch {
		case p.kind.output():
		case p.kind.handle():
			if m := v.(map[string]any); m["handle"] != nil {
				a[p.name] = named[m["handle"].(string)]
			} else {
				h, err := o.open(v)
				if err != nil {
					return []string{err.Error()}
				}
				a[p.name] = h
			}
		case p.kind == inBytes:
			a[p.name] = byteValue(v, p.name)
		case p.kind == inText:
			a[p.name] = textValue(v, p.name)
		default:
			a[p.name] = u64Value(v, p.name)
		}
	}
	got, err := ex.call(a)
	want := statuses[c.status]
	var e *vesk.Error
	switch {
	case want == nil && err != nil:
		return []string{fmt.Sprintf("failed with %v, expected success", err)}
	case want != nil && err == nil:
		return []string{fmt.Sprintf("succeeded, expected %s", c.status)}
	case want != nil && !errors.Is(err, want):
		return []string{fmt.Sprintf("failed with %v, expected %s", err, c.status)}
	case want != nil && (!errors.As(err, &e) || e.Unwrap() != want):
		return []string{fmt.Sprintf("%v is not the *vesk.Error of %s", err, c.status)}
	}
	for _, p := range ex.params {
		if !p.kind.output() {
			continue
		}
		expected, listed := c.outputs[p.name]
		value := got[p.name]
		if err != nil {
			// Nothing is handed out by a failed call; a listed buffer must match nothing.
			if handedOut(value) {
				failures = append(failures, p.name+" was handed out by a call that failed")
			} else if listed {
				if d := sameBytes(expected, nil); d != "" {
					failures = append(failures, p.name+" released nothing, the case expects "+d)
				}
			}
			continue
		}
		if !listed {
			continue
		}
		switch p.kind {
		case outBuffer:
			if d := sameBytes(expected, released(value)); d != "" {
				failures = append(failures, p.name+": "+d)
			}
		case outNumber:
			if n := u64Value(expected, p.name); value.(uint64) != n {
				failures = append(failures, fmt.Sprintf("%s = %d, expected %d", p.name, value, n))
			}
		case outFlag:
			if n, _ := strconv.ParseInt(expected.(json.Number).String(), 10, 64); value.(int64) != n {
				failures = append(failures, fmt.Sprintf("%s = %d, expected %d", p.name, value, n))
			}
		case outSecretKey, outIdentity:
			var public []byte
			var readErr error
			name := "secret_key_public"
			if key, ok := value.(*vesk.SecretKey); ok {
				public, readErr = key.PublicKey()
				key.Close()
			} else {
				name = "signing_identity_public"
				id := value.(*vesk.SigningIdentity)
				public, readErr = id.VerifyingKey()
				id.Close()
			}
			if readErr != nil {
				failures = append(failures, fmt.Sprintf("%s: reading its public key: %v", p.name, readErr))
			} else if d := sameBytes(expected.(map[string]any)[name], public); d != "" {
				failures = append(failures, p.name+"'s public key: "+d)
			}
		}
	}
	return failures
}

func corpusFiles(t *testing.T) []string {
	files, err := filepath.Glob(filepath.Join(vectorsDir(), "*.json"))
	if err != nil || len(files) == 0 {
		t.Fatalf("no corpus files in %s (set VESK_TEST_VECTORS): %v", vectorsDir(), err)
	}
	sort.Strings(files)
	return files
}

func TestCorpusHasAFilePerExport(t *testing.T) {
	have := map[string]bool{}
	for _, path := range corpusFiles(t) {
		have["vesk_"+strings.TrimSuffix(filepath.Base(path), ".json")] = true
	}
	for name := range exports {
		if !have[name] {
			t.Errorf("no corpus file for %s", name)
		}
	}
	if len(have) != len(exports) {
		t.Errorf("%d corpus files for %d exports the runner maps", len(have), len(exports))
	}
}

func TestCorpus(t *testing.T) {
	o := &opened{handles: map[string]any{}}
	defer o.closeAll()
	calls := map[string]int{}
	for _, path := range corpusFiles(t) {
		file := filepath.Base(path)
		t.Run(file, func(t *testing.T) {
			ex, cases, err := loadCorpusFile(path)
			if err != nil {
				t.Fatalf("REFUSED %v; none of its cases was run", err)
			}
			for _, kase := range cases {
				t.Run(kase.name, func(t *testing.T) {
					defer o.closeSets()
					named := map[string]any{}
					for name, spec := range kase.handles {
						h, err := o.open(spec)
						if err != nil {
							t.Fatal(err)
						}
						named[name] = h
					}
					for i, c := range kase.calls {
						calls[c.status]++
						for _, failure := range runCall(ex, c, o, named) {
							if len(kase.calls) > 1 {
								failure = fmt.Sprintf("step %d: %s", i+1, failure)
							}
							t.Errorf("%s: case '%s': %s", file, kase.name, failure)
						}
					}
				})
			}
		})
	}
	for status, n := range calls {
		t.Logf("%-28s %5d calls", status, n)
	}
}

// The runner fails a case whose expectation the package does not meet: a wrong output, a wrong
// status, or a failure where success is expected.
func TestCorpusRunnerCatchesAWrongExpectation(t *testing.T) {
	ex := exports["vesk_epoch_verify"]
	good := goodCase(t)
	check := func(c map[string]any) []string {
		return runCall(ex, checkCall(ex, c["inputs"], c["expect"], nil), &opened{handles: map[string]any{}}, nil)
	}
	if failures := check(good); len(failures) != 0 {
		t.Fatalf("the good case fails: %v", failures)
	}
	changes := map[string]func(c map[string]any){
		"another count": func(c map[string]any) {
			outputs := c["expect"].(map[string]any)["outputs"].(map[string]any)
			n, _ := strconv.Atoi(outputs["epoch_count_out"].(json.Number).String())
			outputs["epoch_count_out"] = json.Number(strconv.Itoa(n + 1))
		},
		"another status": func(c map[string]any) {
			c["expect"] = map[string]any{"status": "VESK_MALFORMED_INPUT", "outputs": map[string]any{}}
		},
		"success for a broken chain": func(c map[string]any) {
			chain := c["inputs"].(map[string]any)["chain"].(map[string]any)
			chain["hex"] = chain["hex"].(string)[:len(chain["hex"].(string))-2]
		},
	}
	for name, change := range changes {
		t.Run(name, func(t *testing.T) {
			c := goodCase(t)
			change(c)
			if failures := check(c); len(failures) == 0 {
				t.Fatal("the runner passed a case the package does not meet")
			}
		})
	}
}

// ---- refusals -----------------------------------------------------------------------------------

func goodCase(t *testing.T) map[string]any {
	text, err := os.ReadFile(filepath.Join(vectorsDir(), "epoch_verify.json"))
	if err != nil {
		t.Fatal(err)
	}
	var file struct{ Cases []map[string]any }
	decoder := json.NewDecoder(bytes.NewReader(text))
	decoder.UseNumber()
	if err := decoder.Decode(&file); err != nil {
		t.Fatal(err)
	}
	return file.Cases[0]
}

func writeCorpusFile(t *testing.T, name string, data any) string {
	path := filepath.Join(t.TempDir(), name)
	text, err := json.Marshal(data)
	if err != nil {
		t.Fatal(err)
	}
	if err := os.WriteFile(path, text, 0o644); err != nil {
		t.Fatal(err)
	}
	return path
}

func TestCorpusRefusesACaseThatBreaksTheSchema(t *testing.T) {
	tests := []struct {
		name    string
		change  func(c map[string]any)
		refusal string
	}{
		{"unknown status", func(c map[string]any) { c["expect"].(map[string]any)["status"] = "VESK_FINE" },
			"case 'broken': expect: unknown status"},
		{"missing input", func(c map[string]any) { delete(c["inputs"].(map[string]any), "chain") },
			"case 'broken': inputs must be an object"},
		{"odd hex", func(c map[string]any) { c["inputs"].(map[string]any)["chain"] = map[string]any{"hex": "8"} },
			"case 'broken': input chain: not lower-case hex"},
		{"upper-case hex", func(c map[string]any) { c["inputs"].(map[string]any)["chain"] = map[string]any{"hex": "AB"} },
			"case 'broken': input chain: not lower-case hex"},
		{"missing output", func(c map[string]any) { c["expect"].(map[string]any)["outputs"] = map[string]any{} },
			"case 'broken': expect: the successful case does not give epoch_count_out"},
		{"number past 2^53", func(c map[string]any) {
			c["expect"].(map[string]any)["outputs"].(map[string]any)["epoch_count_out"] = json.Number("9007199254740993")
		}, "case 'broken': output epoch_count_out: numbers of 2^53"},
		{"small number as u64", func(c map[string]any) {
			c["expect"].(map[string]any)["outputs"].(map[string]any)["epoch_count_out"] = map[string]any{"u64": "3"}
		}, "case 'broken': output epoch_count_out: u64 is not a decimal number"},
		{"extra key", func(c map[string]any) { c["comment"] = "edited by hand" },
			"case 'broken': the case must be an object"},
		{"upper-case name", func(c map[string]any) { c["name"] = "Broken" },
			"case 'Broken': a case name is"},
		{"unknown output", func(c map[string]any) {
			c["expect"].(map[string]any)["outputs"].(map[string]any)["count"] = json.Number("1")
		}, "case 'broken': expect: count is not an out-parameter"},
	}
	for _, test := range tests {
		t.Run(test.name, func(t *testing.T) {
			good, bad := goodCase(t), goodCase(t)
			bad["name"] = "broken"
			test.change(bad)
			path := writeCorpusFile(t, "epoch_verify.json",
				map[string]any{"export": "vesk_epoch_verify", "version": "1", "cases": []any{good, bad}})
			_, _, err := loadCorpusFile(path)
			if err == nil || !strings.HasPrefix(err.Error(), "epoch_verify.json: "+test.refusal) {
				t.Fatalf("refusal %v, expected one starting %q", err, "epoch_verify.json: "+test.refusal)
			}
		})
	}
}

func TestCorpusRefusesABrokenFile(t *testing.T) {
	good := goodCase(t)
	write := func(name, text string) string {
		path := filepath.Join(t.TempDir(), name)
		if err := os.WriteFile(path, []byte(text), 0o644); err != nil {
			t.Fatal(err)
		}
		return path
	}
	goodText, _ := json.Marshal(good)
	head := `{"export": "vesk_epoch_verify", "version": "1", "cases": [`
	tests := []struct {
		name, file, text, refusal string
	}{
		{"misnamed", "verify_epochs.json", head + string(goodText) + "]}",
			"verify_epochs.json: the file of vesk_epoch_verify must be named epoch_verify.json"},
		{"not JSON", "epoch_verify.json", head + string(goodText), "epoch_verify.json: not JSON"},
		{"unknown export", "epoch_verify.json", `{"export": "vesk_epoch_check", "version": "1", "cases": [` + string(goodText) + "]}",
			"epoch_verify.json: unknown export"},
		{"name used twice", "epoch_verify.json", head + string(goodText) + "," + string(goodText) + "]}",
			fmt.Sprintf("epoch_verify.json: case '%s': the name is used twice", good["name"])},
		{"no cases", "epoch_verify.json", head + "]}", "epoch_verify.json: cases is not a non-empty array"},
	}
	for _, test := range tests {
		t.Run(test.name, func(t *testing.T) {
			_, _, err := loadCorpusFile(write(test.file, test.text))
			if err == nil || !strings.HasPrefix(err.Error(), test.refusal) {
				t.Fatalf("refusal %v, expected one starting %q", err, test.refusal)
			}
		})
	}
}
