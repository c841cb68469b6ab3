"""vesk for Python: hybrid post-quantum encryption, signatures, identity logs and transparency
proofs, over the libvesk C library.

Inputs are any bytes-like objects (bytes, bytearray, memoryview, mmap, ...), passed to the
library without a copy; texts are str. Failures raise one exception class per library status,
all under :class:`VeskError`. Handles (:class:`SecretKey`, :class:`SigningIdentity`,
:class:`SpentNonces`) and decrypted plaintexts (:class:`Decrypted`) are released by
``close()``, at the end of a ``with`` block, or when collected; each has one owner, so copying
or pickling one raises TypeError. Calls release the GIL.

The library is found on first use: beside the package when installed with it, else through
:func:`load`, else through the system's dynamic loader.
"""

from __future__ import annotations

from typing import Any

from . import _lib
from ._calls import BytesLike
from ._constants import (
    ARMOR_LEN,
    EPOCH_BINDING_LEN,
    HASH_LEN,
    KEY_FILE_LEN,
    MAX_CHALLENGE,
    MAX_CHECKPOINT,
    MAX_CONTAINER,
    MAX_CONTEXT,
    MAX_KEY_DATA,
    MAX_LOG,
    MAX_PLAINTEXT,
    MAX_PROOF,
    MAX_RECIPIENTS,
    PUBLIC_KEY_LEN,
    RECOVERY_BINDING_LEN,
    SECRET_SEED_LEN,
    SIGNATURE_LEN,
    VERIFYING_KEY_LEN,
    Status,
)
from ._containers import Decrypted, decrypt, encrypt
from ._errors import (
    AuthenticationFailed,
    ChallengeExpired,
    ChallengeReplayed,
    InputTooLarge,
    InternalError,
    InternalFault,
    InvalidArgument,
    MalformedInput,
    NoMatchingRecipient,
    NotKeyFile,
    PassphraseRequired,
    VeskError,
    WrongPassphrase,
    check as _check,
    error_message,
)
from ._keys import SecretKey, armor, dearmor, is_key_file
from ._lib import LibraryNotFoundError, load
from ._logs import (
    Checkpoint,
    checkpoint_verify,
    epoch_public_key,
    epoch_verify,
    epoch_verify_bound,
    identity_head,
    identity_trusts_device,
    identity_verify,
    identity_verify_pinned,
    verify_consistency,
    verify_inclusion,
)
from ._signatures import (
    SigningIdentity,
    SpentNonces,
    challenge_new,
    identity_generate,
    verify,
)
from . import text


def version() -> str:
    """The library's version text."""
    text: bytes = _lib.library().vesk_version()
    return text.decode("ascii")


def test_panic() -> None:
    """Raises a fault inside the library's guard, which raises :class:`InternalFault` here
    (with one report on standard error): a check that faults never cross into Python."""
    _check(_lib.library().vesk_test_panic(), "test panic")


test_panic.__test__ = False  # type: ignore[attr-defined]  # not a test for pytest to collect


def __getattr__(name: str) -> Any:
    # __version__ asks the library, which is loaded only on first use. Without a library it is
    # missing (tools such as help() look for it with hasattr) rather than an ImportError.
    if name == "__version__":
        try:
            return version()
        except LibraryNotFoundError as error:
            raise AttributeError(f"vesk.__version__: {error}") from None
    raise AttributeError(f"module 'vesk' has no attribute {name!r}")


__all__ = [
    "ARMOR_LEN", "EPOCH_BINDING_LEN", "HASH_LEN", "KEY_FILE_LEN", "MAX_CHALLENGE", "MAX_CHECKPOINT",
    "MAX_CONTAINER", "MAX_CONTEXT", "MAX_KEY_DATA", "MAX_LOG", "MAX_PLAINTEXT", "MAX_PROOF",
    "MAX_RECIPIENTS", "PUBLIC_KEY_LEN", "RECOVERY_BINDING_LEN", "SECRET_SEED_LEN", "SIGNATURE_LEN",
    "VERIFYING_KEY_LEN", "Status",
    "VeskError", "InvalidArgument", "WrongPassphrase", "PassphraseRequired", "NotKeyFile", "AuthenticationFailed",
    "NoMatchingRecipient", "MalformedInput", "InputTooLarge", "ChallengeExpired",
    "ChallengeReplayed", "InternalFault", "InternalError", "LibraryNotFoundError", "error_message",
    "load", "version", "test_panic", "BytesLike",
    "SecretKey", "armor", "dearmor", "is_key_file",
    "encrypt", "decrypt", "Decrypted",
    "SigningIdentity", "verify", "identity_generate", "challenge_new", "SpentNonces",
    "identity_head", "identity_verify", "identity_verify_pinned", "identity_trusts_device",
    "epoch_public_key", "epoch_verify", "epoch_verify_bound",
    "verify_inclusion", "verify_consistency", "checkpoint_verify", "Checkpoint", "text",
]
