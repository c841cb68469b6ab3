"""Identity logs, epoch keys and transparency proofs: verification only, results as values."""

from __future__ import annotations

import ctypes
import functools
from typing import Any, Callable, List, NamedTuple, Sequence, TypeVar, Union, cast

from . import _lib
from ._calls import BytesLike, Borrowed, call_on_bytes, take, text, u64, verifying_key_arg
from ._constants import (
    EPOCH_BINDING_LEN,
    HASH_LEN,
    MAX_CHECKPOINT,
    MAX_KEY_DATA,
    MAX_LOG,
    MAX_PROOF,
    RECOVERY_BINDING_LEN,
)
from ._errors import check
from ._explain import epoch_index


Key = Union[BytesLike, str]
"""A verifying key: its bytes, or its Base64 text as the tool prints it."""


def _log_with_key(borrowed: Borrowed, log: BytesLike, recovery_key: Key) -> List[Any]:
    # The log and its recovery key, as pointer and length pairs.
    return [
        *borrowed.bytes(log, "log", cap=MAX_LOG),
        *borrowed.bytes(verifying_key_arg(recovery_key), "recovery_key", cap=MAX_KEY_DATA),
    ]


def _pinned_log(borrowed: Borrowed, log: BytesLike, recovery_binding: BytesLike, pin: BytesLike) -> List[Any]:
    # The log, the recovery binding and the pinned identity id, as pointer and length pairs.
    return [
        *borrowed.bytes(log, "log", cap=MAX_LOG),
        *borrowed.bytes(recovery_binding, "recovery_binding", cap=RECOVERY_BINDING_LEN),
        *borrowed.bytes(pin, "pin", exact=HASH_LEN),
    ]


def identity_head(log: BytesLike, recovery_key: Key) -> bytes:
    """Verifies an identity log against its recovery (verifying) key; returns its HASH_LEN-byte
    head, the link of the last entry.

    Raises :class:`NotKeyFile` when the key does not decode, :class:`MalformedInput` when the
    log does not decode, :class:`AuthenticationFailed` when it does not replay.
    """
    result = _lib.VeskBuffer()
    with Borrowed() as borrowed:
        status = _lib.library().vesk_identity_head(*_log_with_key(borrowed, log, recovery_key), result)
    check(status, "identity head")
    return take(result)


def identity_verify(log: BytesLike, recovery_key: Key) -> int:
    """Verifies an identity log as :func:`identity_head` does; returns the number of devices
    active after its last entry."""
    count = ctypes.c_uint64()
    with Borrowed() as borrowed:
        log_and_key = _log_with_key(borrowed, log, recovery_key)
        status = _lib.library().vesk_identity_verify(*log_and_key, ctypes.byref(count))
    check(status, "identity verify")
    return count.value


def identity_verify_pinned(log: BytesLike, recovery_binding: BytesLike, pin: BytesLike) -> int:
    """Verifies an identity log against a pinned HASH_LEN-byte identity id and the identity's
    recovery binding; returns the number of active devices.

    Raises :class:`MalformedInput` when the binding or the log does not decode,
    :class:`AuthenticationFailed` for every later failure.
    """
    count = ctypes.c_uint64()
    with Borrowed() as borrowed:
        pinned = _pinned_log(borrowed, log, recovery_binding, pin)
        status = _lib.library().vesk_identity_verify_pinned(*pinned, ctypes.byref(count))
    check(status, "identity verify pinned")
    return count.value


def identity_trusts_device(
    log: BytesLike, recovery_key: Key, device_key: Key
) -> bool:
    """Whether ``device_key`` (a verifying key) is active at the end of the verified log."""
    trusted = ctypes.c_int32()
    with Borrowed() as borrowed:
        log_and_key = _log_with_key(borrowed, log, recovery_key)
        device_pointer, device_length = borrowed.bytes(verifying_key_arg(device_key), "device_key", cap=MAX_KEY_DATA)
        status = _lib.library().vesk_identity_trusts_device(
            *log_and_key, device_pointer, device_length, ctypes.byref(trusted)
        )
    check(status, "identity trusts device")
    return trusted.value == 1


def epoch_public_key(chain: BytesLike, index: int) -> bytes:
    """Checks an epoch chain and returns the PUBLIC_KEY_LEN-byte recipient public key of epoch
    ``index``, ready for :func:`encrypt`. An index past the chain is :class:`InvalidArgument`."""
    epoch = u64(index, "index")
    result = _lib.VeskBuffer()
    status = call_on_bytes("vesk_epoch_public_key", chain, "chain", epoch, result, cap=MAX_LOG)
    check(status, "epoch_public_key", epoch_index(epoch, lambda: epoch_verify(chain)))
    return take(result)


def epoch_verify(chain: BytesLike) -> int:
    """Checks an epoch chain by itself; returns its number of epochs."""
    count = ctypes.c_uint64()
    status = call_on_bytes("vesk_epoch_verify", chain, "chain", ctypes.byref(count), cap=MAX_LOG)
    check(status, "epoch verify")
    return count.value


def epoch_verify_bound(
    log: BytesLike,
    recovery_binding: BytesLike,
    pin: BytesLike,
    chain: BytesLike,
    epoch_binding: BytesLike,
) -> int:
    """Checks an epoch chain against a pinned identity: the log and recovery binding as
    :func:`identity_verify_pinned` does, then the epoch binding, which a device active at the
    end of the log must have signed. Returns the number of epochs."""
    count = ctypes.c_uint64()
    with Borrowed() as borrowed:
        pinned = _pinned_log(borrowed, log, recovery_binding, pin)
        chain_pointer, chain_length = borrowed.bytes(chain, "chain", cap=MAX_LOG)
        epoch_pointer, epoch_length = borrowed.bytes(epoch_binding, "epoch_binding", cap=EPOCH_BINDING_LEN)
        status = _lib.library().vesk_epoch_verify_bound(
            *pinned, chain_pointer, chain_length, epoch_pointer, epoch_length, ctypes.byref(count)
        )
    check(status, "epoch verify bound")
    return count.value


Proof = Union[BytesLike, Sequence[BytesLike]]


def _proof(borrowed: Borrowed, proof: Proof) -> "tuple[Any, int]":
    # A proof is its hashes back to back; a sequence of hashes is joined first.
    if isinstance(proof, (list, tuple)):
        for index, node in enumerate(proof):
            borrowed.bytes(node, f"proof[{index}]", exact=HASH_LEN)
        proof = b"".join(proof)
    return borrowed.bytes(proof, "proof", cap=MAX_PROOF)


_F = TypeVar("_F", bound=Callable[..., None])


def _keywords_only(call: str) -> Callable[[_F], _F]:
    """Refuses a positional call with a TypeError that shows the call with its keywords: the
    proof functions take several hashes and sizes alike, which positions would mix up."""

    def wrap(function: _F) -> _F:
        @functools.wraps(function)
        def checked(*args: object, **kwargs: Any) -> None:
            if args:
                raise TypeError(f"vesk.{function.__name__} takes keyword arguments only: vesk.{call}")
            function(**kwargs)

        return cast(_F, checked)

    return wrap


@_keywords_only("verify_inclusion(leaf_hash=..., leaf_index=..., tree_size=..., proof=..., root=...)")
def verify_inclusion(*, leaf_hash: BytesLike, leaf_index: int, tree_size: int, proof: Proof, root: BytesLike) -> None:
    """Verifies a Merkle inclusion proof (RFC 6962 hashing) that ``leaf_hash`` sits at
    ``leaf_index`` in the tree of ``tree_size`` leaves whose root is ``root``.

    Keyword arguments only. ``proof`` is its hashes back to back (bytes-like), or a list of
    HASH_LEN-byte hashes. Returns None when it verifies; raises :class:`AuthenticationFailed`
    for every refusal.
    """
    index = u64(leaf_index, "leaf_index")
    size = u64(tree_size, "tree_size")
    with Borrowed() as borrowed:
        leaf_pointer, leaf_length = borrowed.bytes(leaf_hash, "leaf_hash", exact=HASH_LEN)
        proof_pointer, proof_length = _proof(borrowed, proof)
        root_pointer, root_length = borrowed.bytes(root, "root", exact=HASH_LEN)
        status = _lib.library().vesk_transparency_verify_inclusion(
            leaf_pointer, leaf_length, index, size, proof_pointer, proof_length, root_pointer, root_length
        )
    check(status, "verify_inclusion")


@_keywords_only("verify_consistency(old_size=..., new_size=..., proof=..., old_root=..., new_root=...)")
def verify_consistency(*, old_size: int, new_size: int, proof: Proof, old_root: BytesLike, new_root: BytesLike) -> None:
    """Verifies a Merkle consistency proof that the tree of ``old_size`` leaves (root
    ``old_root``) is a prefix of the tree of ``new_size`` leaves (root ``new_root``).

    Keyword arguments only. Returns None when it verifies; raises
    :class:`AuthenticationFailed` for every refusal.
    """
    old = u64(old_size, "old_size")
    new = u64(new_size, "new_size")
    with Borrowed() as borrowed:
        proof_pointer, proof_length = _proof(borrowed, proof)
        old_pointer, old_length = borrowed.bytes(old_root, "old_root", exact=HASH_LEN)
        new_pointer, new_length = borrowed.bytes(new_root, "new_root", exact=HASH_LEN)
        status = _lib.library().vesk_transparency_verify_consistency(
            old, new, proof_pointer, proof_length, old_pointer, old_length, new_pointer, new_length
        )
    check(status, "verify_consistency")


class Checkpoint(NamedTuple):
    """What a verified checkpoint states about its log."""

    tree_size: int
    root: bytes


def checkpoint_verify(checkpoint: BytesLike, origin: str, verifying_key: Key) -> Checkpoint:
    """Verifies a signed checkpoint text of the log named ``origin`` under the log's verifying
    key; returns its tree size and HASH_LEN-byte root.

    Raises :class:`NotKeyFile` when the key does not decode, :class:`MalformedInput` for a
    malformed or non-canonical text, :class:`AuthenticationFailed` for another origin or no
    valid signature by the log's key.
    """
    name = text(origin, "origin")
    size = ctypes.c_uint64()
    root = _lib.VeskBuffer()
    with Borrowed() as borrowed:
        pointer, length = borrowed.bytes(checkpoint, "checkpoint", cap=MAX_CHECKPOINT)
        key_pointer, key_length = borrowed.bytes(verifying_key_arg(verifying_key), "verifying_key", cap=MAX_KEY_DATA)
        status = _lib.library().vesk_checkpoint_verify(
            pointer, length, name, key_pointer, key_length, ctypes.byref(size), root
        )
    check(status, "checkpoint verify")
    return Checkpoint(size.value, take(root))
