"""The interop corpus (vectors/*.json) through the package's own API.

Each export maps to the package call that wraps it, each failure status to its exception class.
A file that breaks the corpus schema is refused, naming the file and the case, never skipped.
"""

from __future__ import annotations

import hashlib
import json
import os
import re
from pathlib import Path
from typing import Any, Callable, Dict, List, Optional, Tuple

import pytest

import vesk

VECTORS = Path(os.environ.get("VESK_TEST_VECTORS") or Path(__file__).resolve().parents[3] / "vectors")

STATUSES = {
    "VESK_OK": None,
    "VESK_INVALID_ARGUMENT": vesk.InvalidArgument,
    "VESK_WRONG_PASSPHRASE": vesk.WrongPassphrase,
    "VESK_NOT_KEY_FILE": vesk.NotKeyFile,
    "VESK_AUTHENTICATION_FAILED": vesk.AuthenticationFailed,
    "VESK_NO_MATCHING_RECIPIENT": vesk.NoMatchingRecipient,
    "VESK_MALFORMED_INPUT": vesk.MalformedInput,
    "VESK_INPUT_TOO_LARGE": vesk.InputTooLarge,
    "VESK_CHALLENGE_EXPIRED": vesk.ChallengeExpired,
    "VESK_CHALLENGE_REPLAYED": vesk.ChallengeReplayed,
    "VESK_INTERNAL_FAULT": vesk.InternalFault,
    "VESK_INTERNAL_ERROR": vesk.InternalError,
}

# Argument kinds, as the corpus writes them.
B, T, N, KEY, ID, SET = "bytes", "text", "u64", "secret_key", "identity", "set"
# Output kinds.
BUF, NUM, FLAG, KEY_OUT, ID_OUT = "buffer", "number", "flag", "key_out", "identity_out"

Call = Callable[[Dict[str, Any]], Dict[str, Any]]


def _decrypted(a: Dict[str, Any]) -> Dict[str, Any]:
    with vesk.decrypt(a["data"], a["secret_key"]) as d:
        return {
            "plaintext_out": bytes(d.plaintext),
            "file_name_out": d.file_name or "",
            "content_type_out": d.content_type or "",
        }


def _encrypted(a: Dict[str, Any]) -> Dict[str, Any]:
    keys, count = a["recipients"], a["recipient_count"]
    # The package takes a list of keys; the C interface takes them back to back.
    size = len(keys) // count if count and len(keys) % count == 0 else len(keys)
    recipients = [keys[i : i + size] for i in range(0, len(keys), size)] if size else [keys]
    return {"out": vesk.encrypt(a["data"], recipients, file_name=a["file_name"], content_type=a["content_type"])}


def _checkpoint(a: Dict[str, Any]) -> Dict[str, Any]:
    c = vesk.checkpoint_verify(a["checkpoint"], a["origin"], a["verifying_key"])
    return {"tree_size_out": c.tree_size, "root_out": c.root}


def _accept(a: Dict[str, Any]) -> Dict[str, Any]:
    a["set"].accept(a["challenge"], a["signature"], a["verifying_key"], now=a["now"])
    return {}


# export -> (inputs, outputs, random outputs, call)
EXPORTS: Dict[str, Tuple[Dict[str, str], Dict[str, str], bool, Call]] = {
    "vesk_public_key_armor": ({"public_key": B}, {"text_out": BUF}, False, lambda a: {"text_out": vesk.armor(a["public_key"])}),
    "vesk_public_key_dearmor": ({"text": T}, {"public_key_out": BUF}, False, lambda a: {"public_key_out": vesk.dearmor(a["text"])}),
    "vesk_inspect_key": ({"data": B}, {"is_key_file_out": FLAG}, False, lambda a: {"is_key_file_out": int(vesk.is_key_file(a["data"]))}),
    "vesk_secret_key_public": ({"secret_key": KEY}, {"public_key_out": BUF}, False, lambda a: {"public_key_out": a["secret_key"].public_key}),
    "vesk_secret_key_protect": (
        {"secret_key": KEY, "passphrase": T}, {"key_file_out": BUF}, True,
        lambda a: {"key_file_out": a["secret_key"].protect(a["passphrase"])},
    ),
    "vesk_secret_key_open": ({"data": B, "passphrase": T}, {"key_out": KEY_OUT}, False, lambda a: {"key_out": vesk.SecretKey.open(a["data"], a["passphrase"])}),
    "vesk_encrypt": (
        {"data": B, "recipients": B, "recipient_count": N, "file_name": T, "content_type": T}, {"out": BUF}, True, _encrypted,
    ),
    "vesk_decrypt": (
        {"data": B, "secret_key": KEY}, {"plaintext_out": BUF, "file_name_out": BUF, "content_type_out": BUF}, False, _decrypted,
    ),
    "vesk_signing_identity_open": (
        {"data": B, "passphrase": T}, {"out": ID_OUT}, False, lambda a: {"out": vesk.SigningIdentity.open(a["data"], a["passphrase"])},
    ),
    "vesk_signing_identity_public": ({"identity": ID}, {"out": BUF}, False, lambda a: {"out": a["identity"].verifying_key}),
    "vesk_sign_message": (
        {"identity": ID, "context": B, "message": B}, {"signature_out": BUF}, False,
        lambda a: {"signature_out": a["identity"].sign(a["message"], context=a["context"])},
    ),
    "vesk_verify_message": (
        {"verifying_key": B, "context": B, "message": B, "signature": B}, {}, False,
        lambda a: vesk.verify(a["verifying_key"], a["message"], a["signature"], context=a["context"]) or {},
    ),
    "vesk_challenge_answer": (
        {"identity": ID, "challenge": B}, {"signature_out": BUF}, False,
        lambda a: {"signature_out": a["identity"].answer(a["challenge"])},
    ),
    "vesk_challenge_accept": (
        {"set": SET, "challenge": B, "signature": B, "verifying_key": B, "now": N}, {}, False, _accept,
    ),
    "vesk_identity_generate": ({"passphrase": T}, {"key_file_out": BUF}, True, lambda a: {"key_file_out": vesk.identity_generate(a["passphrase"])}),
    "vesk_identity_head": (
        {"log": B, "recovery_key": B}, {"head_out": BUF}, False, lambda a: {"head_out": vesk.identity_head(a["log"], a["recovery_key"])},
    ),
    "vesk_identity_verify": (
        {"log": B, "recovery_key": B}, {"active_devices_out": NUM}, False,
        lambda a: {"active_devices_out": vesk.identity_verify(a["log"], a["recovery_key"])},
    ),
    "vesk_identity_verify_pinned": (
        {"log": B, "recovery_binding": B, "pin": B}, {"active_devices_out": NUM}, False,
        lambda a: {"active_devices_out": vesk.identity_verify_pinned(a["log"], a["recovery_binding"], a["pin"])},
    ),
    "vesk_identity_trusts_device": (
        {"log": B, "recovery_key": B, "device_key": B}, {"trusted_out": FLAG}, False,
        lambda a: {"trusted_out": int(vesk.identity_trusts_device(a["log"], a["recovery_key"], a["device_key"]))},
    ),
    "vesk_epoch_public_key": (
        {"chain": B, "epoch_index": N}, {"out": BUF}, False, lambda a: {"out": vesk.epoch_public_key(a["chain"], a["epoch_index"])},
    ),
    "vesk_epoch_verify": ({"chain": B}, {"epoch_count_out": NUM}, False, lambda a: {"epoch_count_out": vesk.epoch_verify(a["chain"])}),
    "vesk_epoch_verify_bound": (
        {"log": B, "recovery_binding": B, "pin": B, "chain": B, "epoch_binding": B}, {"epoch_count_out": NUM}, False,
        lambda a: {"epoch_count_out": vesk.epoch_verify_bound(a["log"], a["recovery_binding"], a["pin"], a["chain"], a["epoch_binding"])},
    ),
    "vesk_transparency_verify_inclusion": (
        {"leaf_hash": B, "leaf_index": N, "tree_size": N, "proof": B, "root": B}, {}, False,
        lambda a: vesk.verify_inclusion(leaf_hash=a["leaf_hash"], leaf_index=a["leaf_index"],
                                        tree_size=a["tree_size"], proof=a["proof"], root=a["root"]) or {},
    ),
    "vesk_transparency_verify_consistency": (
        {"old_size": N, "new_size": N, "proof": B, "old_root": B, "new_root": B}, {}, False,
        lambda a: vesk.verify_consistency(old_size=a["old_size"], new_size=a["new_size"], proof=a["proof"],
                                          old_root=a["old_root"], new_root=a["new_root"]) or {},
    ),
    "vesk_checkpoint_verify": (
        {"checkpoint": B, "origin": T, "verifying_key": B}, {"tree_size_out": NUM, "root_out": BUF}, False, _checkpoint,
    ),
}


class CorpusError(Exception):
    """A corpus file that does not follow the schema."""


# ---- the schema ----------------------------------------------------------------------------------

NAME = re.compile(r"[a-z0-9.-]+\Z")
HEX = re.compile(r"(?:[0-9a-f]{2})*\Z")


def _keys(value: Any, keys: set, what: str) -> None:
    if not isinstance(value, dict) or set(value) != keys:
        raise CorpusError(f"{what} must be an object with exactly the keys {', '.join(sorted(keys))}")


def _bytes(value: Any, what: str) -> bytes:
    if value is None:
        return b""  # a NULL pointer of length 0
    _keys(value, {"hex"}, what)
    if not isinstance(value["hex"], str) or not HEX.match(value["hex"]):
        raise CorpusError(f"{what}: not lower-case hex of whole bytes")
    return bytes.fromhex(value["hex"])


def _text(value: Any, what: str) -> Optional[str]:
    if value is None:
        return None
    _keys(value, {"text"}, what)
    if not isinstance(value["text"], str) or "\0" in value["text"]:
        raise CorpusError(f"{what}: not a text without NUL")
    return value["text"]


def _u64(value: Any, what: str) -> int:
    if isinstance(value, int) and not isinstance(value, bool):
        if not 0 <= value < 2**53:
            raise CorpusError(f"{what}: numbers of 2^53 and above are written {{\"u64\": ...}}")
        return value
    _keys(value, {"u64"}, what)
    text = value["u64"]
    if not isinstance(text, str) or not re.fullmatch(r"0|[1-9][0-9]*", text) or not 2**53 <= int(text) < 2**64:
        raise CorpusError(f"{what}: u64 is not a decimal number from 2^53 to 2^64 - 1")
    return int(text)


def _handle_kind(spec: Any, what: str) -> str:
    if isinstance(spec, dict) and len(spec) == 1:
        name = next(iter(spec))
        kinds = {"secret_key_open": KEY, "signing_identity_open": ID, "spent_nonces_new": SET}
        if name in kinds:
            args = spec[name]
            if kinds[name] == SET:
                if args != {}:
                    raise CorpusError(f"{what}: spent_nonces_new takes no arguments")
            else:
                _keys(args, {"data", "passphrase"}, what)
                _bytes(args["data"], what)
                _text(args["passphrase"], what)
            return kinds[name]
    raise CorpusError(f"{what}: not a handle")


def _output(value: Any, kind: str, what: str) -> None:
    if kind == BUF:
        if isinstance(value, dict) and "sha256" in value:
            _keys(value, {"sha256", "len"}, what)
            if not isinstance(value["sha256"], str) or not re.fullmatch(r"[0-9a-f]{64}", value["sha256"]):
                raise CorpusError(f"{what}: sha256 is not 64 hex digits")
            _u64(value["len"], what)
        elif isinstance(value, dict) and "text" in value:
            _text(value, what)
        else:
            _bytes(value, what)
    elif kind in (NUM,):
        _u64(value, what)
    elif kind == FLAG:
        if not isinstance(value, int) or isinstance(value, bool):
            raise CorpusError(f"{what}: not an integer")
    else:
        name = "secret_key_public" if kind == KEY_OUT else "signing_identity_public"
        _keys(value, {name}, what)
        _output(value[name], BUF, what)


def _call(export: str, inputs: Any, expect: Any, handles: Dict[str, str]) -> None:
    ins, outs, random_outputs, _ = EXPORTS[export]
    _keys(inputs, set(ins), "inputs")
    for name, kind in ins.items():
        value, what = inputs[name], f"input {name}"
        if kind in (KEY, ID, SET):
            if isinstance(value, dict) and "handle" in value:
                if not handles or value != {"handle": value["handle"]} or handles.get(value["handle"]) != kind:
                    raise CorpusError(f"{what}: names no handle of this kind in the case")
            elif _handle_kind(value, what) != kind:
                raise CorpusError(f"{what}: a handle of the wrong kind")
        elif kind == B:
            _bytes(value, what)
        elif kind == T:
            _text(value, what)
        else:
            _u64(value, what)
    _keys(expect, {"status", "outputs"}, "expect")
    if expect["status"] not in STATUSES:
        raise CorpusError(f"expect: unknown status {expect['status']!r}")
    outputs = expect["outputs"]
    if not isinstance(outputs, dict):
        raise CorpusError("expect: outputs is not an object")
    for name, value in outputs.items():
        if name not in outs:
            raise CorpusError(f"expect: {name} is not an out-parameter of the export")
        if expect["status"] != "VESK_OK" and outs[name] != BUF:
            raise CorpusError("expect: a failure names only what a result buffer released")
        _output(value, outs[name], f"output {name}")
    if expect["status"] == "VESK_OK" and not random_outputs:
        missing = set(outs) - set(outputs)
        if missing:
            raise CorpusError(f"expect: the successful case does not give {', '.join(sorted(missing))}")


def load(path: Path) -> Tuple[str, List[dict]]:
    """The export and the cases of one file, after checking all of it against the schema."""
    file = path.name
    try:
        data = json.loads(path.read_text(encoding="utf-8"))
    except (OSError, ValueError) as error:
        raise CorpusError(f"{file}: not JSON: {error}") from None
    try:
        _keys(data, {"export", "version", "cases"}, "the file")
        export = data["export"]
        if export not in EXPORTS:
            raise CorpusError(f"unknown export {export!r}")
        if file != export[len("vesk_"):] + ".json":
            raise CorpusError(f"the file of {export} must be named {export[len('vesk_'):]}.json")
        if not isinstance(data["version"], str) or not data["version"]:
            raise CorpusError("version is not a text")
        if not isinstance(data["cases"], list) or not data["cases"]:
            raise CorpusError("cases is not a non-empty array")
    except CorpusError as error:
        raise CorpusError(f"{file}: {error}") from None
    names: set = set()
    for index, case in enumerate(data["cases"]):
        label = f"case {index}"
        try:
            if not isinstance(case, dict) or not isinstance(case.get("name"), str):
                raise CorpusError("a case without a name")
            label = f"case '{case['name']}'"
            if not NAME.match(case["name"]):
                raise CorpusError("a case name is lower-case letters, digits, '-' and '.'")
            if case["name"] in names:
                raise CorpusError("the name is used twice")
            names.add(case["name"])
            if "steps" in case:
                _keys(case, {"name", "description", "handles", "steps"}, "the case")
                if not isinstance(case["handles"], dict) or not case["handles"]:
                    raise CorpusError("handles is not a non-empty object")
                kinds = {n: _handle_kind(s, f"handle {n}") for n, s in case["handles"].items()}
                if not isinstance(case["steps"], list) or not case["steps"]:
                    raise CorpusError("steps is not a non-empty array")
                for step in case["steps"]:
                    _keys(step, {"inputs", "expect"}, "a step")
                    _call(export, step["inputs"], step["expect"], kinds)
            else:
                _keys(case, {"name", "description", "inputs", "expect"}, "the case")
                _call(export, case["inputs"], case["expect"], {})
            if not isinstance(case["description"], str):
                raise CorpusError("description is not a text")
        except CorpusError as error:
            raise CorpusError(f"{file}: {label}: {error}") from None
    return export, data["cases"]


# ---- running -------------------------------------------------------------------------------------

_opened: Dict[str, Any] = {}


def _handle(spec: dict) -> Any:
    kind = _handle_kind(spec, "handle")
    if kind == SET:
        return vesk.SpentNonces()
    key = json.dumps(spec, sort_keys=True)
    if key not in _opened:
        args = spec[next(iter(spec))]
        data, passphrase = _bytes(args["data"], "data"), _text(args["passphrase"], "passphrase")
        opener = vesk.SecretKey.open if kind == KEY else vesk.SigningIdentity.open
        _opened[key] = opener(data, passphrase)
    return _opened[key]


def _released(value: Any) -> bytes:
    return value.encode("utf-8") if isinstance(value, str) else bytes(value)


def _matches(want: dict, got: bytes) -> bool:
    if "sha256" in want:
        return hashlib.sha256(got).hexdigest() == want["sha256"] and len(got) == int(_u64(want["len"], "len"))
    if "text" in want:
        return got == want["text"].encode("utf-8")
    return got == bytes.fromhex(want["hex"])


def run(export: str, case: dict) -> List[str]:
    """Runs one case; returns what went wrong."""
    ins, outs, _, call = EXPORTS[export]
    named = {n: _handle(s) for n, s in case.get("handles", {}).items()}
    steps = case["steps"] if "steps" in case else [case]
    failures: List[str] = []
    for number, step in enumerate(steps, 1):
        where = f"step {number}: " if len(steps) > 1 else ""
        args: Dict[str, Any] = {}
        for name, kind in ins.items():
            value = step["inputs"][name]
            if kind in (KEY, ID, SET):
                args[name] = named[value["handle"]] if "handle" in value else _handle(value)
            elif kind == B:
                args[name] = _bytes(value, name)
            elif kind == T:
                args[name] = _text(value, name)
            else:
                args[name] = _u64(value, name)
        expect = step["expect"]
        want_error = STATUSES[expect["status"]]
        try:
            got = call(args)
        except vesk.VeskError as error:
            # The status's class, or a subclass standing for it (PassphraseRequired).
            if want_error is None or not isinstance(error, want_error) or error.status != want_error.status:
                failures.append(f"{where}raised {type(error).__name__} ({error}), expected {expect['status']}")
                continue
            for name, want in expect["outputs"].items():
                if not _matches(want, b""):
                    failures.append(f"{where}{name}: nothing was released, the case expects more")
            continue
        if want_error is not None:
            failures.append(f"{where}succeeded, expected {want_error.__name__}")
            continue
        for name, want in expect["outputs"].items():
            kind = outs[name]
            value = got[name]
            if kind == BUF:
                ok = _matches(want, _released(value))
            elif kind in (NUM, FLAG):
                ok = value == (_u64(want, name) if kind == NUM else want)
            else:
                public = value.public_key if kind == KEY_OUT else value.verifying_key
                ok = _matches(want["secret_key_public" if kind == KEY_OUT else "signing_identity_public"], public)
                value.close()
            if not ok:
                failures.append(f"{where}{name} differs from the case")
    return failures


def _cases() -> List[Any]:
    params = []
    for path in sorted(VECTORS.glob("*.json")):
        export, cases = load(path)
        params += [pytest.param(export, case, id=f"{path.name}#{case['name']}") for case in cases]
    return params


def test_the_corpus_is_there() -> None:
    assert len(sorted(VECTORS.glob("*.json"))) == len(EXPORTS)


@pytest.mark.parametrize("export,case", _cases())
def test_case(export: str, case: dict) -> None:
    failures = run(export, case)
    assert not failures, "\n".join(failures)


# ---- refusals ------------------------------------------------------------------------------------

def _good_case() -> dict:
    return json.loads((VECTORS / "epoch_verify.json").read_text())["cases"][0]


@pytest.mark.parametrize(
    "change,message",
    [
        (lambda c: c["expect"].update(status="VESK_FINE"), "case 'broken': expect: unknown status"),
        (lambda c: c["inputs"].pop("chain"), "case 'broken': inputs must be an object"),
        (lambda c: c["inputs"].update(chain={"hex": "8"}), "case 'broken': input chain: not lower-case hex"),
        (lambda c: c["expect"].update(outputs={}), "case 'broken': expect: the successful case does not give epoch_count_out"),
        (lambda c: c["expect"]["outputs"].update(epoch_count_out=2**53 + 1), "case 'broken': output epoch_count_out: numbers of 2^53"),
        (lambda c: c.update(comment="edited by hand"), "case 'broken': the case must be an object"),
        (lambda c: c.update(name="Broken"), "case 'Broken': a case name is"),
    ],
)
def test_a_file_that_breaks_the_schema_is_refused_naming_the_case(tmp_path: Path, change: Callable[[dict], None], message: str) -> None:
    good, bad = _good_case(), _good_case()
    bad["name"] = "broken"
    change(bad)
    path = tmp_path / "epoch_verify.json"
    path.write_text(json.dumps({"export": "vesk_epoch_verify", "version": "1", "cases": [good, bad]}))
    with pytest.raises(CorpusError) as refused:
        load(path)
    assert str(refused.value).startswith("epoch_verify.json: " + message)


def test_a_misnamed_or_broken_file_is_refused(tmp_path: Path) -> None:
    good = _good_case()
    (tmp_path / "verify_epochs.json").write_text(json.dumps({"export": "vesk_epoch_verify", "version": "1", "cases": [good]}))
    with pytest.raises(CorpusError, match="verify_epochs.json: the file of vesk_epoch_verify must be named"):
        load(tmp_path / "verify_epochs.json")
    (tmp_path / "epoch_verify.json").write_text('{"export": ')
    with pytest.raises(CorpusError, match="epoch_verify.json: not JSON"):
        load(tmp_path / "epoch_verify.json")
    (tmp_path / "epoch_verify.json").write_text(json.dumps({"export": "vesk_epoch_verify", "version": "1", "cases": [good, good]}))
    with pytest.raises(CorpusError, match=f"epoch_verify.json: case '{good['name']}': the name is used twice"):
        load(tmp_path / "epoch_verify.json")
