"""Status numbers and sizes of the C interface, kept in this one module.

The values are the ones ``vesk.h`` names; the package's tests compare them with the header.
"""

from __future__ import annotations

import enum


class Status(enum.IntEnum):
    """The library's status numbers (``VeskStatus``)."""

    OK = 0
    INVALID_ARGUMENT = 1
    WRONG_PASSPHRASE = 2
    NOT_KEY_FILE = 3
    AUTHENTICATION_FAILED = 4
    NO_MATCHING_RECIPIENT = 5
    MALFORMED_INPUT = 6
    INPUT_TOO_LARGE = 7
    CHALLENGE_EXPIRED = 8
    CHALLENGE_REPLAYED = 9
    INTERNAL_FAULT = 98
    INTERNAL_ERROR = 99


PUBLIC_KEY_LEN = 1216
"""Recipient public key: an ML-KEM-768 key, then an X25519 key."""
SECRET_SEED_LEN = 32
"""Recipient secret seed, identity seed."""
ARMOR_LEN = 1667
"""Armored public key text, as written."""
KEY_FILE_LEN = 95
"""Protected key file, as written."""
VERIFYING_KEY_LEN = 1984
"""Verifying key: an Ed25519 key, then an ML-DSA-65 key."""
SIGNATURE_LEN = 3373
"""Hybrid signature: an Ed25519 signature, then an ML-DSA-65 signature."""
HASH_LEN = 32
"""Merkle hashes, identity ids, log heads."""
RECOVERY_BINDING_LEN = 5389
EPOCH_BINDING_LEN = 3509

MAX_KEY_DATA = 4096
"""Key files, seeds and verifying keys given as input."""
MAX_CONTEXT = 4096
"""Caller-chosen signature context."""
MAX_CHALLENGE = 4096
MAX_RECIPIENTS = 64
MAX_PLAINTEXT = 1 << 30
"""Largest plaintext or signed message (1 GiB)."""
MAX_CONTAINER = 1075134496
"""Largest container (the largest a MAX_PLAINTEXT plaintext gives)."""
MAX_LOG = 16 << 20
"""Identity logs and epoch chains (16 MiB)."""
MAX_PROOF = 2048
"""Merkle proofs: at most 64 hashes."""
MAX_CHECKPOINT = 192 << 10
"""Checkpoint text (192 KiB)."""

UINT64_MAX = (1 << 64) - 1
