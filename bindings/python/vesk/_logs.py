"""Identity logs, epoch keys and transparency proofs: verification only, results as values."""

from __future__ import annotations

import ctypes
from typing import Any, NamedTuple, Sequence, Union

from . import _lib
from ._calls import Borrowed, take, text, u64
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


def identity_head(log: Any, recovery_key: Any) -> bytes:
    """Verifies an identity log against its recovery (verifying) key; returns its HASH_LEN-byte
    head, the link of the last entry.

    Raises :class:`NotKeyFile` when the key does not decode, :class:`MalformedInput` when the
    log does not decode, :class:`AuthenticationFailed` when it does not replay.
    """
    result = _lib.VeskBuffer()
    with Borrowed() as borrowed:
        log_pointer, log_length = borrowed.bytes(log, "log", cap=MAX_LOG)
        key_pointer, key_length = borrowed.bytes(recovery_key, "recovery_key", cap=MAX_KEY_DATA)
        status = _lib.library().vesk_identity_head(log_pointer, log_length, key_pointer, key_length, result)
    check(status, "identity head")
    return take(result)


def identity_verify(log: Any, recovery_key: Any) -> int:
    """Verifies an identity log as :func:`identity_head` does; returns the number of devices
    active after its last entry."""
    count = ctypes.c_uint64()
    with Borrowed() as borrowed:
        log_pointer, log_length = borrowed.bytes(log, "log", cap=MAX_LOG)
        key_pointer, key_length = borrowed.bytes(recovery_key, "recovery_key", cap=MAX_KEY_DATA)
        status = _lib.library().vesk_identity_verify(
            log_pointer, log_length, key_pointer, key_length, ctypes.byref(count)
        )
    check(status, "identity verify")
    return count.value


def identity_verify_pinned(log: Any, recovery_binding: Any, pin: Any) -> int:
    """Verifies an identity log against a pinned HASH_LEN-byte identity id and the identity's
    recovery binding; returns the number of active devices.

    Raises :class:`MalformedInput` when the binding or the log does not decode,
    :class:`AuthenticationFailed` for every later failure.
    """
    count = ctypes.c_uint64()
    with Borrowed() as borrowed:
        log_pointer, log_length = borrowed.bytes(log, "log", cap=MAX_LOG)
        binding_pointer, binding_length = borrowed.bytes(
            recovery_binding, "recovery_binding", cap=RECOVERY_BINDING_LEN
        )
        pin_pointer, pin_length = borrowed.bytes(pin, "pin", exact=HASH_LEN)
        status = _lib.library().vesk_identity_verify_pinned(
            log_pointer, log_length, binding_pointer, binding_length, pin_pointer, pin_length,
            ctypes.byref(count),
        )
    check(status, "identity verify pinned")
    return count.value


def identity_trusts_device(log: Any, recovery_key: Any, device_key: Any) -> bool:
    """Whether ``device_key`` (a verifying key) is active at the end of the verified log."""
    trusted = ctypes.c_int32()
    with Borrowed() as borrowed:
        log_pointer, log_length = borrowed.bytes(log, "log", cap=MAX_LOG)
        key_pointer, key_length = borrowed.bytes(recovery_key, "recovery_key", cap=MAX_KEY_DATA)
        device_pointer, device_length = borrowed.bytes(device_key, "device_key", cap=MAX_KEY_DATA)
        status = _lib.library().vesk_identity_trusts_device(
            log_pointer, log_length, key_pointer, key_length, device_pointer, device_length,
            ctypes.byref(trusted),
        )
    check(status, "identity trusts device")
    return trusted.value == 1


def epoch_public_key(chain: Any, index: int) -> bytes:
    """Checks an epoch chain and returns the PUBLIC_KEY_LEN-byte recipient public key of epoch
    ``index``, ready for :func:`encrypt`. An index past the chain is :class:`InvalidArgument`."""
    epoch = u64(index, "index")
    result = _lib.VeskBuffer()
    with Borrowed() as borrowed:
        pointer, length = borrowed.bytes(chain, "chain", cap=MAX_LOG)
        status = _lib.library().vesk_epoch_public_key(pointer, length, epoch, result)
    check(status, "epoch public key")
    return take(result)


def epoch_verify(chain: Any) -> int:
    """Checks an epoch chain by itself; returns its number of epochs."""
    count = ctypes.c_uint64()
    with Borrowed() as borrowed:
        pointer, length = borrowed.bytes(chain, "chain", cap=MAX_LOG)
        status = _lib.library().vesk_epoch_verify(pointer, length, ctypes.byref(count))
    check(status, "epoch verify")
    return count.value


def epoch_verify_bound(log: Any, recovery_binding: Any, pin: Any, chain: Any, epoch_binding: Any) -> int:
    """Checks an epoch chain against a pinned identity: the log and recovery binding as
    :func:`identity_verify_pinned` does, then the epoch binding, which a device active at the
    end of the log must have signed. Returns the number of epochs."""
    count = ctypes.c_uint64()
    with Borrowed() as borrowed:
        log_pointer, log_length = borrowed.bytes(log, "log", cap=MAX_LOG)
        binding_pointer, binding_length = borrowed.bytes(
            recovery_binding, "recovery_binding", cap=RECOVERY_BINDING_LEN
        )
        pin_pointer, pin_length = borrowed.bytes(pin, "pin", exact=HASH_LEN)
        chain_pointer, chain_length = borrowed.bytes(chain, "chain", cap=MAX_LOG)
        epoch_pointer, epoch_length = borrowed.bytes(epoch_binding, "epoch_binding", cap=EPOCH_BINDING_LEN)
        status = _lib.library().vesk_epoch_verify_bound(
            log_pointer, log_length, binding_pointer, binding_length, pin_pointer, pin_length,
            chain_pointer, chain_length, epoch_pointer, epoch_length, ctypes.byref(count),
        )
    check(status, "epoch verify bound")
    return count.value


Proof = Union[Any, Sequence[Any]]


def _proof(borrowed: Borrowed, proof: Proof) -> "tuple[Any, int]":
    # A proof is its hashes back to back; a sequence of hashes is joined first.
    if isinstance(proof, (list, tuple)):
        for index, node in enumerate(proof):
            borrowed.bytes(node, f"proof[{index}]", exact=HASH_LEN)
        proof = b"".join(proof)
    return borrowed.bytes(proof, "proof", cap=MAX_PROOF)


def verify_inclusion(leaf_hash: Any, leaf_index: int, tree_size: int, proof: Proof, root: Any) -> None:
    """Verifies a Merkle inclusion proof (RFC 6962 hashing) that ``leaf_hash`` sits at
    ``leaf_index`` in the tree of ``tree_size`` leaves whose root is ``root``.

    ``proof`` is its hashes back to back (bytes-like), or a list of HASH_LEN-byte hashes.
    Returns None when it verifies; raises :class:`AuthenticationFailed` for every refusal.
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
    check(status, "verify inclusion")


def verify_consistency(old_size: int, new_size: int, proof: Proof, old_root: Any, new_root: Any) -> None:
    """Verifies a Merkle consistency proof that the tree of ``old_size`` leaves (root
    ``old_root``) is a prefix of the tree of ``new_size`` leaves (root ``new_root``).

    Returns None when it verifies; raises :class:`AuthenticationFailed` for every refusal.
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
    check(status, "verify consistency")


class Checkpoint(NamedTuple):
    """What a verified checkpoint states about its log."""

    tree_size: int
    root: bytes


def checkpoint_verify(checkpoint: Any, origin: str, verifying_key: Any) -> Checkpoint:
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
        key_pointer, key_length = borrowed.bytes(verifying_key, "verifying_key", cap=MAX_KEY_DATA)
        status = _lib.library().vesk_checkpoint_verify(
            pointer, length, name, key_pointer, key_length, ctypes.byref(size), root
        )
    check(status, "checkpoint verify")
    return Checkpoint(size.value, take(root))
