"""The text forms the ``vesk`` tool reads and writes, so that Python and the tool exchange files.

An encrypted file or a signature in its text form is a BEGIN line naming what it holds, the
padded standard Base64 of its bytes in lines of 64 characters, and an END line::

    -----BEGIN VESK ENCRYPTED FILE-----
    VkVTSw0KGgoAAQEAAAAFB4JZBOGlAQECWCBFvORRNc7nqW/7HrHG3W1BIKtxj6JM
    ...
    -----END VESK ENCRYPTED FILE-----

(``VESK SIGNATURE`` for signatures). Reading is as strict as the tool's: lines may end in LF or
CR LF, and blank lines and spaces around the form are left out, but between the BEGIN and END
lines only canonical Base64 in full lines is accepted. A verifying key's text is its padded
Base64 on one line, as ``vesk identity new`` and ``vesk identity key`` print it.

:func:`vesk.decrypt` and :func:`vesk.verify` take the text forms directly, and every function
that takes a verifying key takes its Base64 text as well.
"""

from __future__ import annotations

import base64
import binascii
from typing import Optional, Union

from ._calls import BytesLike
from ._constants import VERIFYING_KEY_LEN
from ._errors import MalformedInput

ENCRYPTED_FILE = "VESK ENCRYPTED FILE"
"""The label of an encrypted file's text form."""
SIGNATURE = "VESK SIGNATURE"
"""The label of a signature's text form."""

_LABELS = (ENCRYPTED_FILE, SIGNATURE)
_LINE = 64  # Base64 characters per line
_SPACE = " \t\r\n"
_NOUN = {ENCRYPTED_FILE: "an encrypted file", SIGNATURE: "a signature"}

Text = Union[str, BytesLike]


def _begin(label: str) -> str:
    return f"-----BEGIN {label}-----"


def _end(label: str) -> str:
    return f"-----END {label}-----"


def _as_str(data: Text) -> Optional[str]:
    """A text form as str; None for bytes that are not ASCII (binary data)."""
    if isinstance(data, str):
        return data
    try:
        return bytes(memoryview(data)).decode("ascii")
    except UnicodeDecodeError:
        return None


def encode(data: BytesLike, label: str) -> str:
    """The text form of ``data`` under ``label`` (:data:`ENCRYPTED_FILE` or :data:`SIGNATURE`),
    as ``vesk encrypt -a`` and ``vesk sign -a`` write it: every line ends in LF."""
    if label not in _LABELS:
        raise ValueError(f"label must be vesk.text.ENCRYPTED_FILE or vesk.text.SIGNATURE, not {label!r}")
    body = base64.b64encode(bytes(memoryview(data))).decode("ascii")
    lines = [body[i:i + _LINE] for i in range(0, len(body), _LINE)]
    return "\n".join([_begin(label), *lines, _end(label)]) + "\n"


def label_of(data: Text) -> Optional[str]:
    """The label of the text form ``data`` begins with (after blank lines and spaces), or None
    when it does not begin like one (the bytes themselves, say)."""
    text = _as_str(data) if isinstance(data, str) else _as_str(bytes(memoryview(data)[:4096]))
    if text is None:
        return None
    first = text.lstrip(_SPACE).split("\n", 1)[0].rstrip("\r")
    for label in _LABELS:
        if first == _begin(label):
            return label
    return None


def _damaged(why: str) -> MalformedInput:
    return MalformedInput.argument(f"a damaged text form: {why}")


def decode(data: Text, label: str) -> bytes:
    """The bytes of a text form of ``label``, read as strictly as the tool reads it.

    Raises :class:`MalformedInput` (saying what and where) for a form that is damaged, quoted,
    of the other label, or surrounded by other text.
    """
    if label not in _LABELS:
        raise ValueError(f"label must be vesk.text.ENCRYPTED_FILE or vesk.text.SIGNATURE, not {label!r}")
    text = _as_str(data)
    if text is None:
        raise _damaged("it is not ASCII text")
    start = text.lstrip(_SPACE)
    skipped = text[: len(text) - len(start)].count("\n")
    lines = start.split("\n")
    if lines and lines[-1] == "":
        lines.pop()  # the line end after the last line
    lines = [line[:-1] if line.endswith("\r") else line for line in lines]
    if not lines or lines[0] != _begin(label):
        first = lines[0] if lines else ""
        for other in _LABELS:
            if first == _begin(other):
                raise _damaged(f"it holds {_NOUN[other]}, not {_NOUN[label]}")
        if first.startswith(">"):
            raise _damaged("it is quoted (\"> \" before its lines, as mail quotes them)")
        if "-----BEGIN VESK " in text:
            raise _damaged("text stands before its BEGIN line")
        raise _damaged(f"it does not begin with {_begin(label)!r}")
    try:
        end = lines.index(_end(label), 1)
    except ValueError:
        raise _damaged("it has a BEGIN line but no END line") from None
    if any(line.strip(_SPACE) for line in lines[end + 1:]):
        raise _damaged("text after the END line")
    body = lines[1:end]
    for number, line in enumerate(body, start=skipped + 2):
        where = f"line {number}"
        if line.startswith(">"):
            raise _damaged(f"{where} begins with > (quoted mail?)")
        if len(line) > _LINE:
            raise _damaged(f"{where} is longer than {_LINE} characters")
        if line.startswith("-----"):
            raise _damaged(f"{where} is a BEGIN or END line of another kind")
        if len(line) != _LINE and number != skipped + 1 + len(body):
            raise _damaged(f"{where} is shorter than {_LINE} characters but not the last")
    joined = "".join(body)
    try:
        decoded = base64.b64decode(joined, validate=True)
    except (binascii.Error, ValueError):
        raise _damaged("its Base64 is not canonical") from None
    if base64.b64encode(decoded).decode("ascii") != joined or not joined:
        raise _damaged("its Base64 is not canonical")
    return decoded


def verifying_key_to_text(verifying_key: BytesLike) -> str:
    """A verifying key's text: its padded Base64 on one line, as the tool prints it."""
    key = bytes(memoryview(verifying_key))
    if len(key) != VERIFYING_KEY_LEN:
        raise ValueError(f"a verifying key is {VERIFYING_KEY_LEN} bytes, not {len(key)}")
    return base64.b64encode(key).decode("ascii")


def verifying_key_from_text(text: str) -> bytes:
    """The verifying key whose Base64 text (as the tool prints it, surrounding space allowed)
    ``text`` is. Raises :class:`MalformedInput` for anything that is not canonical Base64 of a
    verifying key."""
    stripped = text.strip(_SPACE)
    try:
        key = base64.b64decode(stripped, validate=True)
    except (binascii.Error, ValueError):
        raise MalformedInput.argument("a verifying key's text must be its canonical Base64") from None
    if base64.b64encode(key).decode("ascii") != stripped:
        raise MalformedInput.argument("a verifying key's text must be its canonical Base64")
    if len(key) != VERIFYING_KEY_LEN:
        raise MalformedInput.argument(f"the Base64 holds {len(key)} bytes, not a {VERIFYING_KEY_LEN}-byte verifying key")
    return key
