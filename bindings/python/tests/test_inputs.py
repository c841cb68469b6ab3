"""Inputs: every bytes-like kind goes to the library without a copy; wrong ones are refused by name."""

from __future__ import annotations

import array
import mmap
import tracemalloc
from pathlib import Path
from typing import Dict

import pytest

import vesk
from conftest import PASSPHRASE, Refusal, refused

SIZE = 16 << 20  # large enough that a copy would stand out of what tracemalloc sees
MESSAGE = bytes(range(256)) * (SIZE // 256)
CONTEXT = b"inputs test"


def _anonymous_map(data: bytes) -> mmap.mmap:
    mapped = mmap.mmap(-1, len(data))
    mapped.write(data)
    return mapped


def _read_only_map(data: bytes, folder: Path) -> mmap.mmap:
    path = folder / "message"
    path.write_bytes(data)
    with open(path, "rb") as file:
        return mmap.mmap(file.fileno(), 0, access=mmap.ACCESS_READ)


KINDS = {
    "bytes": lambda data, folder: data,
    "bytearray": lambda data, folder: bytearray(data),
    "memoryview": lambda data, folder: memoryview(bytearray(data)),
    "read-only memoryview": lambda data, folder: memoryview(bytearray(data)).toreadonly(),
    "memoryview of bytes": lambda data, folder: memoryview(data),
    "memoryview slice": lambda data, folder: memoryview(b"<<" + data + b">>")[2:-2],
    "array": lambda data, folder: array.array("B", data),
    "array of ints": lambda data, folder: array.array("I", data),
    "bytes subclass": lambda data, folder: type("Blob", (bytes,), {})(data),
    "mmap": lambda data, folder: _anonymous_map(data),
    "read-only mmap": _read_only_map,
}


@pytest.fixture(scope="module")
def expected_signature(identity) -> bytes:
    return identity.sign(MESSAGE, context=CONTEXT)


@pytest.mark.parametrize("kind", sorted(KINDS))
def test_each_kind_is_passed_without_a_copy(kind: str, identity, expected_signature, tmp_path: Path) -> None:
    message = KINDS[kind](MESSAGE, tmp_path)
    tracemalloc.start()
    try:
        signature = identity.sign(message, context=CONTEXT)
        vesk.verify(identity.verifying_key, message, signature, context=CONTEXT)
        _, peak = tracemalloc.get_traced_memory()
    finally:
        tracemalloc.stop()
    assert signature == expected_signature  # the library saw exactly these bytes
    assert peak < SIZE // 16, f"{kind}: {peak} bytes allocated for a {SIZE}-byte input"
    if isinstance(message, mmap.mmap):
        message.close()  # the buffer was given back: nothing holds the map any more


def test_a_copy_would_be_seen(identity) -> None:
    # The measure above can fail: a copy of the input shows in tracemalloc's peak.
    tracemalloc.start()
    try:
        identity.sign(bytes(memoryview(MESSAGE)), context=CONTEXT)
        _, peak = tracemalloc.get_traced_memory()
    finally:
        tracemalloc.stop()
    assert peak >= SIZE


def test_a_held_buffer_cannot_be_resized_during_a_call(identity, spy) -> None:
    message = bytearray(b"resize me")
    refused = []

    def resize() -> None:
        try:
            message.extend(b"!" * 4096)  # would move the storage the library is reading
        except BufferError:
            refused.append(True)

    spy("vesk_sign_message", before=resize)
    identity.sign(message, context=CONTEXT)
    assert refused == [True]
    message.extend(b"!")  # released after the call


PUBLIC_KEY = bytes(vesk.PUBLIC_KEY_LEN)
HASH = bytes(vesk.HASH_LEN)

BAD_ARGUMENTS: Dict[str, Refusal] = {
    "str as data": (lambda k, i: vesk.encrypt("text", [k.public_key]), TypeError, "data"),
    "int as data": (lambda k, i: vesk.is_key_file(5), TypeError, "data"),
    "non-contiguous message": (
        lambda k, i: i.sign(memoryview(b"ab" * 8)[::2], context=b""),
        TypeError,
        "message",
    ),
    "str as context": (lambda k, i: i.sign(b"m", context="text"), TypeError, "context"),
    "one key as recipients": (lambda k, i: vesk.encrypt(b"x", k.public_key), TypeError, "recipients"),
    "not a sequence of keys": (lambda k, i: vesk.encrypt(b"x", 5), TypeError, "recipients"),
    "short recipient key": (
        lambda k, i: vesk.encrypt(b"x", [k.public_key, k.public_key[:-1]]),
        vesk.InvalidArgument,
        "recipients[1]",
    ),
    "str recipient key": (lambda k, i: vesk.encrypt(b"x", ["key"]), TypeError, "recipients[0]"),
    "no recipients": (lambda k, i: vesk.encrypt(b"x", []), vesk.InvalidArgument, "recipients"),
    "65 recipients": (lambda k, i: vesk.encrypt(b"x", [PUBLIC_KEY] * 65), vesk.InvalidArgument, "recipients"),
    "short verifying key": (
        lambda k, i: vesk.verify(i.verifying_key[:-1], b"m", bytes(vesk.SIGNATURE_LEN), context=b""),
        vesk.InvalidArgument,
        "verifying_key",
    ),
    "long signature": (
        lambda k, i: vesk.verify(i.verifying_key, b"m", bytes(vesk.SIGNATURE_LEN + 1), context=b""),
        vesk.InvalidArgument,
        "signature",
    ),
    "context over its cap": (lambda k, i: i.sign(b"m", context=bytes(4097)), vesk.InvalidArgument, "context"),
    "key data over its cap": (lambda k, i: vesk.is_key_file(bytes(4097)), vesk.InvalidArgument, "data"),
    "bytes passphrase": (lambda k, i: k.protect(PASSPHRASE.encode()), TypeError, "passphrase"),
    "passphrase not UTF-8": (lambda k, i: k.protect("\udc80" * 9), vesk.InvalidArgument, "passphrase"),
    "NUL in a text": (lambda k, i: vesk.challenge_new("a\0b", 0, 1), vesk.InvalidArgument, "purpose"),
    "file name not str": (
        lambda k, i: vesk.encrypt(b"x", [k.public_key], file_name=b"a.txt"),
        TypeError,
        "file_name",
    ),
    "float time": (lambda k, i: vesk.challenge_new("p", 1.5, 1), TypeError, "issued_at"),
    "bytes as key": (lambda k, i: vesk.decrypt(b"container", bytes(32)), TypeError, "key"),
    "identity as key": (lambda k, i: vesk.decrypt(b"container", i), TypeError, "key"),
    "short proof hash": (
        lambda k, i: vesk.verify_inclusion(leaf_hash=HASH, leaf_index=0, tree_size=2, proof=[HASH[:-1]], root=HASH),
        vesk.InvalidArgument,
        "proof[0]",
    ),
    "short pin": (lambda k, i: vesk.identity_verify_pinned(b"", b"", HASH[:-1]), vesk.InvalidArgument, "pin"),
}


@pytest.mark.parametrize("case", sorted(BAD_ARGUMENTS))
def test_bad_arguments_are_refused_by_name(case: str, key, identity) -> None:
    error = refused(BAD_ARGUMENTS[case], key, identity)
    if isinstance(error, vesk.VeskError):
        assert error.status == vesk.Status.INVALID_ARGUMENT


@pytest.mark.parametrize(
    "file_name",
    ["résumé.txt", "報告.pdf", None],
)
def test_texts_travel_as_utf8(key, file_name) -> None:
    container = vesk.encrypt(b"data", [key.public_key], file_name=file_name, content_type="text/plain")
    with vesk.decrypt(container, key) as result:
        assert result.file_name == file_name
        assert result.content_type == "text/plain"


def test_empty_inputs_are_passed(identity) -> None:
    for empty in (b"", bytearray(), memoryview(b"")):
        signature = identity.sign(empty, context=empty)
        vesk.verify(identity.verifying_key, b"", signature, context=b"")


def test_a_passphrase_opens_what_it_protected(key) -> None:
    key_file = key.protect(PASSPHRASE)
    with vesk.SecretKey.open(bytearray(key_file), PASSPHRASE) as reopened:
        assert reopened.public_key == key.public_key
