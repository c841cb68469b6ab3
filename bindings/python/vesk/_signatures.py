"""Signing identities, message signatures, challenges and spent-nonce sets."""

from __future__ import annotations

import threading
from typing import Optional, Union

from . import _lib
from ._calls import BytesLike, Borrowed, Handle, take, text, u64, verifying_key_arg
from ._constants import (
    MAX_CHALLENGE,
    MAX_CONTEXT,
    MAX_PLAINTEXT,
    SIGNATURE_LEN,
    VERIFYING_KEY_LEN,
)
from ._errors import check
from ._explain import passphrase_length, reserved_context
from ._keys import _OpenedKey
from .text import SIGNATURE, decode, label_of


class SigningIdentity(_OpenedKey):
    """An opened hybrid signing identity (Ed25519 + ML-DSA-65).

    Open one with :meth:`open`; its secret keys stay in the library, which wipes them when the
    identity is closed (``close()``, the end of a ``with`` block, or collection). An identity
    may sign from several threads at once; it cannot be copied or pickled (TypeError).
    """

    __slots__ = ()
    _free_name = "vesk_signing_identity_free"
    _made_by = "SigningIdentity.open()"
    _open_name = "vesk_signing_identity_open"
    _public_name = "vesk_signing_identity_public"
    _public_detail = "verifying key"

    @classmethod
    def open(cls, data: BytesLike, passphrase: Optional[str] = None) -> "SigningIdentity":
        """Opens an identity key file (``passphrase`` required) or a bare 32-byte identity seed
        (``passphrase`` ignored).

        Raises :class:`PassphraseRequired` for a key file without passphrase,
        :class:`WrongPassphrase`, :class:`NotKeyFile` for data that is neither a key file nor a
        seed or a recipient key file, :class:`MalformedInput` for a malformed key file.
        """
        return cls._open(data, passphrase)

    @property
    def verifying_key(self) -> bytes:
        """The VERIFYING_KEY_LEN-byte key others verify this identity's signatures with."""
        return self._public_half()

    def sign(self, message: BytesLike, *, context: BytesLike) -> bytes:
        """The SIGNATURE_LEN-byte signature of ``message`` (at most 1 GiB) under ``context``.

        ``context`` (bytes-like, at most 4096 bytes) names what the signature is for, so that a
        signature for one purpose is not taken for another; contexts beginning with ``VESK/``
        are reserved. Signing is deterministic.
        """
        result = _lib.VeskBuffer()
        with Borrowed() as borrowed:
            context_pointer, context_length = borrowed.bytes(context, "context", cap=MAX_CONTEXT)
            pointer, length = borrowed.bytes(message, "message", cap=MAX_PLAINTEXT)
            with self._in_use() as handle:
                status = _lib.library().vesk_sign_message(
                    handle, context_pointer, context_length, pointer, length, result
                )
        check(status, "SigningIdentity.sign", reserved_context(bytes(memoryview(context)[:40])))
        return take(result)

    def answer(self, challenge: BytesLike) -> bytes:
        """Answers a challenge (made by :func:`challenge_new`) by signing it; the answer is a
        SIGNATURE_LEN-byte signature. Time is not looked at here; the verifier checks expiry.
        Raises :class:`MalformedInput` for a malformed challenge.
        """
        result = _lib.VeskBuffer()
        with Borrowed() as borrowed:
            pointer, length = borrowed.bytes(challenge, "challenge", cap=MAX_CHALLENGE)
            with self._in_use() as handle:
                status = _lib.library().vesk_challenge_answer(handle, pointer, length, result)
        check(status, "answer")
        return take(result)


def verify(
    verifying_key: Union[BytesLike, str], message: BytesLike, signature: Union[BytesLike, str], *,
    context: BytesLike
) -> None:
    """Verifies a hybrid signature of ``message`` under ``context``; both halves must verify.

    ``verifying_key`` is the key's bytes or its Base64 text as the tool prints it; ``signature``
    its bytes or its text form (as ``vesk sign -a`` and :func:`vesk.text.encode` write it).
    Returns None for a valid signature. Raises :class:`AuthenticationFailed` for a signature
    that does not verify, :class:`NotKeyFile` for a verifying key that does not decode.
    """
    verifying_key = verifying_key_arg(verifying_key)
    if isinstance(signature, str) or label_of(signature) == SIGNATURE:
        signature = decode(signature, SIGNATURE)
    with Borrowed() as borrowed:
        key_pointer, key_length = borrowed.bytes(verifying_key, "verifying_key", exact=VERIFYING_KEY_LEN)
        context_pointer, context_length = borrowed.bytes(context, "context", cap=MAX_CONTEXT)
        pointer, length = borrowed.bytes(message, "message", cap=MAX_PLAINTEXT)
        signature_pointer, signature_length = borrowed.bytes(signature, "signature", exact=SIGNATURE_LEN)
        status = _lib.library().vesk_verify_message(
            key_pointer, key_length, context_pointer, context_length, pointer, length,
            signature_pointer, signature_length,
        )
    check(status, "verify")


def identity_generate(passphrase: str) -> bytes:
    """A new signing identity, returned only inside a key file protected by ``passphrase`` (at
    least 8 characters). Open it with :meth:`SigningIdentity.open` to sign, or with
    :meth:`SecretKey.open` for the identity's recipient key.
    """
    secret = text(passphrase, "passphrase")
    result = _lib.VeskBuffer()
    check(_lib.library().vesk_identity_generate(secret, result), "identity_generate", passphrase_length(passphrase))
    return take(result)


def challenge_new(purpose: str, issued_at: int, lifetime: int) -> bytes:
    """A challenge: a fresh 32-byte nonce, ``purpose``, and the issue time and lifetime (in the
    caller's own time unit). The holder answers it with :meth:`SigningIdentity.answer`; the
    verifier accepts the answer once with :meth:`SpentNonces.accept`.
    """
    encoded = text(purpose, "purpose")
    issued = u64(issued_at, "issued_at")
    life = u64(lifetime, "lifetime")
    result = _lib.VeskBuffer()
    check(_lib.library().vesk_challenge_new(encoded, issued, life, result), "new challenge")
    return take(result)


class SpentNonces(Handle):
    """The nonces of accepted challenges, kept by a verifier between calls.

    Calls on one set are serialised by the set itself, so it may be shared between threads.
    Released by ``close()``, the end of a ``with`` block, or collection.
    """

    __slots__ = ("_serial",)
    _free_name = "vesk_spent_nonces_free"

    def __init__(self) -> None:
        self._own(_lib.library().vesk_spent_nonces_new())  # never NULL
        # The library allows one thread at a time on a set.
        self._serial = threading.Lock()

    def accept(
        self, challenge: BytesLike, answer: BytesLike, verifying_key: Union[BytesLike, str], *, now: int
    ) -> None:
        """Accepts an answer to a challenge once, at time ``now``.

        Checks the challenge's form, the key, the expiry (``now`` after issue time plus
        lifetime), the signature and replay, in that order, and records the nonce. Raises
        :class:`MalformedInput`, :class:`NotKeyFile`, :class:`ChallengeExpired`,
        :class:`AuthenticationFailed` or :class:`ChallengeReplayed`.
        """
        when = u64(now, "now")
        verifying_key = verifying_key_arg(verifying_key)
        with Borrowed() as borrowed:
            challenge_pointer, challenge_length = borrowed.bytes(challenge, "challenge", cap=MAX_CHALLENGE)
            answer_pointer, answer_length = borrowed.bytes(answer, "answer", exact=SIGNATURE_LEN)
            key_pointer, key_length = borrowed.bytes(verifying_key, "verifying_key", exact=VERIFYING_KEY_LEN)
            with self._serial, self._in_use() as handle:
                status = _lib.library().vesk_challenge_accept(
                    handle, challenge_pointer, challenge_length, answer_pointer, answer_length,
                    key_pointer, key_length, when,
                )
        check(status, "accept")
