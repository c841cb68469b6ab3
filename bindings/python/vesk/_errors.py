"""One exception class per library status, under VeskError."""

from __future__ import annotations

import operator
from typing import Any, Callable, Dict, Optional, Tuple, Type, TypeVar

from . import _lib
from ._constants import Status


def error_message(status: int) -> str:
    """The library's text for a status (``vesk_error_message``); a number outside the C type's
    range (int32_t) raises OverflowError."""
    number = operator.index(status)
    if not -(1 << 31) <= number < (1 << 31):
        raise OverflowError(f"status must be in -2**31..2**31-1 (an int32_t), not {number}")
    try:
        text: bytes = _lib.library().vesk_error_message(number)
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
    # "decrypt: <message>"; argument checks read "<message>: <what is wrong>"; an explained
    # failure reads "<call>: <its cause> (<message>)".
    _detail_first = True
    _explained = False

    def __init__(self, status: int, detail: Optional[str] = None) -> None:
        super().__init__(status, detail)
        self.status = int(status)
        self.message = error_message(self.status)
        self.detail = detail

    def __str__(self) -> str:
        if not self.detail:
            return self.message
        if self._explained:
            return f"{self.detail} ({self.message})"
        return f"{self.detail}: {self.message}" if self._detail_first else f"{self.message}: {self.detail}"


_E = TypeVar("_E", bound="_StatusError")

# The class of each status that has one, filled as the classes below are made.
_BY_STATUS: Dict[int, Type["_StatusError"]] = {}


class _StatusError(VeskError):
    """Base of the classes that stand for exactly one status: each names it in its class line
    (``class NotKeyFile(_StatusError, status=Status.NOT_KEY_FILE)``) and so enters the table
    that error_for reads. A subclass that names none keeps its parent's status and entry."""

    status: int = -1

    def __init_subclass__(cls, status: Optional[Status] = None, **kwargs: Any) -> None:
        super().__init_subclass__(**kwargs)
        if status is not None:
            cls.status = status
            _BY_STATUS[int(status)] = cls

    def __init__(self, detail: Optional[str] = None) -> None:
        super().__init__(type(self).status, detail)
        self.args = (detail,)

    def __reduce__(self) -> Tuple[Type["_StatusError"], Tuple[Optional[str]], Dict[str, Any]]:
        return (type(self), (self.detail,), self.__dict__)

    @classmethod
    def argument(cls: Type[_E], what: str) -> _E:
        """An argument refused before the call; ``what`` names it and says what is wrong."""
        error = cls(what)
        error._detail_first = False
        return error

    @classmethod
    def explained(cls: Type[_E], what: str) -> _E:
        """A failure whose likely cause the package can tell: ``what`` names the call, the
        argument and the cause."""
        error = cls(what)
        error._explained = True
        return error


class InvalidArgument(_StatusError, ValueError, status=Status.INVALID_ARGUMENT):
    """An argument broke the interface's rules (a length off its size or cap, a bad text)."""


class WrongPassphrase(_StatusError, status=Status.WRONG_PASSPHRASE):
    """No form of the passphrase opens the key file, or the file was modified."""


class NotKeyFile(_StatusError, status=Status.NOT_KEY_FILE):
    """Not a key file of a supported kind or version, or a verifying key that does not decode."""


class AuthenticationFailed(_StatusError, status=Status.AUTHENTICATION_FAILED):
    """A signature, proof, log or container did not verify: the data was altered."""


class NoMatchingRecipient(_StatusError, status=Status.NO_MATCHING_RECIPIENT):
    """The container was not encrypted to this key (or its header was altered)."""


class MalformedInput(_StatusError, status=Status.MALFORMED_INPUT):
    """Malformed, truncated or corrupt input."""


class InputTooLarge(_StatusError, status=Status.INPUT_TOO_LARGE):
    """The input is too large."""


class ChallengeExpired(_StatusError, status=Status.CHALLENGE_EXPIRED):
    """The challenge expired before it was answered."""


class ChallengeReplayed(_StatusError, status=Status.CHALLENGE_REPLAYED):
    """This challenge was already answered."""


class InternalFault(_StatusError, status=Status.INTERNAL_FAULT):
    """A fault inside the library, caught by its guard (it wrote a report to standard error)."""


class InternalError(_StatusError, status=Status.INTERNAL_ERROR):
    """An internal error such as a failure of the system's randomness source."""


class PassphraseRequired(WrongPassphrase, InvalidArgument):
    """A key file was given without its passphrase.

    :meth:`SecretKey.open` and :meth:`SigningIdentity.open` both raise it; it is an instance of
    :class:`WrongPassphrase` and of :class:`InvalidArgument` alike (the two statuses the library
    gives for this case through its two calls), and ``status`` is the one it gave.
    """

    def __init__(self, detail: Optional[str] = None, status: int = Status.WRONG_PASSPHRASE) -> None:
        super().__init__(detail)
        self.status = Status(status)
        self.message = error_message(self.status)


def error_for(status: int, detail: Optional[str] = None) -> VeskError:
    """The exception for a failure status: its class, or VeskError for a number not listed."""
    cls = _BY_STATUS.get(status)
    return cls(detail) if cls is not None else VeskError(status, detail)


def check(status: int, detail: str, explain: Optional[Callable[[int], Optional[str]]] = None) -> None:
    """Raises the exception for status unless it is success. ``explain``, given the status, may
    say what the likely cause is where the caller can tell; its text replaces the library's."""
    if not status:
        return
    why = explain(status) if explain is not None else None
    if why is None:
        raise error_for(status, detail)
    cls = _BY_STATUS.get(status)
    raise cls.explained(f"{detail}: {why}") if cls is not None else VeskError(status, detail)
