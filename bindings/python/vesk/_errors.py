"""One exception class per library status, under VeskError."""

from __future__ import annotations

from typing import Any, Dict, Optional, Tuple, Type

from . import _lib
from ._constants import Status


def error_message(status: int) -> str:
    """The library's text for a status (``vesk_error_message``)."""
    try:
        text: bytes = _lib.library().vesk_error_message(int(status))
    except ImportError:
        return f"status {int(status)}"
    return text.decode("utf-8", "replace")


class VeskError(Exception):
    """A status other than success from the library, or an argument refused before the call.

    ``status`` is the library's number, ``message`` its text for it, ``detail`` what this package
    adds (the operation, or the argument at fault), or None.
    """

    status: int
    message: str
    detail: Optional[str]
    _detail_first = True  # "decrypt: <message>"; argument checks read "<message>: <what is wrong>"

    def __init__(self, status: int, detail: Optional[str] = None) -> None:
        super().__init__(status, detail)
        self.status = int(status)
        self.message = error_message(self.status)
        self.detail = detail

    def __str__(self) -> str:
        if not self.detail:
            return self.message
        return f"{self.detail}: {self.message}" if self._detail_first else f"{self.message}: {self.detail}"


class _StatusError(VeskError):
    """Base of the classes that stand for exactly one status."""

    status: int = -1

    def __init__(self, detail: Optional[str] = None) -> None:
        super().__init__(type(self).status, detail)
        self.args = (detail,)

    def __reduce__(self) -> Tuple[Type["_StatusError"], Tuple[Optional[str]], Dict[str, Any]]:
        return (type(self), (self.detail,), self.__dict__)


class InvalidArgument(_StatusError, ValueError):
    """An argument broke the interface's rules (a length off its size or cap, a bad text)."""

    status = Status.INVALID_ARGUMENT

    @classmethod
    def argument(cls, what: str) -> "InvalidArgument":
        """An argument refused before the call; ``what`` names it and says what is wrong."""
        error = cls(what)
        error._detail_first = False
        return error


class WrongPassphrase(_StatusError):
    """No form of the passphrase opens the key file, or the file was modified."""

    status = Status.WRONG_PASSPHRASE


class NotKeyFile(_StatusError):
    """Not a key file of a supported kind or version, or a verifying key that does not decode."""

    status = Status.NOT_KEY_FILE


class AuthenticationFailed(_StatusError):
    """A signature, proof, log or container did not verify: the data was altered."""

    status = Status.AUTHENTICATION_FAILED


class NoMatchingRecipient(_StatusError):
    """The container was not encrypted to this key (or its header was altered)."""

    status = Status.NO_MATCHING_RECIPIENT


class MalformedInput(_StatusError):
    """Malformed, truncated or corrupt input."""

    status = Status.MALFORMED_INPUT


class InputTooLarge(_StatusError):
    """The input is too large."""

    status = Status.INPUT_TOO_LARGE


class ChallengeExpired(_StatusError):
    """The challenge expired before it was answered."""

    status = Status.CHALLENGE_EXPIRED


class ChallengeReplayed(_StatusError):
    """This challenge was already answered."""

    status = Status.CHALLENGE_REPLAYED


class InternalFault(_StatusError):
    """A fault inside the library, caught by its guard (it wrote a report to standard error)."""

    status = Status.INTERNAL_FAULT


class InternalError(_StatusError):
    """An internal error such as a failure of the system's randomness source."""

    status = Status.INTERNAL_ERROR


_BY_STATUS: Dict[int, Type[_StatusError]] = {
    int(cls.status): cls
    for cls in (
        InvalidArgument,
        WrongPassphrase,
        NotKeyFile,
        AuthenticationFailed,
        NoMatchingRecipient,
        MalformedInput,
        InputTooLarge,
        ChallengeExpired,
        ChallengeReplayed,
        InternalFault,
        InternalError,
    )
}


def error_for(status: int, detail: Optional[str] = None) -> VeskError:
    """The exception for a failure status: its class, or VeskError for a number not listed."""
    cls = _BY_STATUS.get(status)
    return cls(detail) if cls is not None else VeskError(status, detail)


def check(status: int, detail: str) -> None:
    """Raises the exception for status unless it is success."""
    if status:
        raise error_for(status, detail)
