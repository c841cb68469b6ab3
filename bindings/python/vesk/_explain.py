"""What the package can tell about a failure beyond the library's status: the likely cause, named
with the call and the argument. The library stays the judge; these only read its verdict."""

from __future__ import annotations

import unicodedata
from typing import Any, Callable, Optional

from ._constants import Status

Explain = Callable[[int], Optional[str]]

_RESERVED_NAMES = {"CON", "PRN", "AUX", "NUL"} | {f"{p}{d}" for p in ("COM", "LPT") for d in "123456789"}
_FORBIDDEN = set('<>:"/\\|?*')


def passphrase_length(passphrase: str) -> Explain:
    """A new passphrase the library refused: it counts characters once normalised (NFC)."""

    def why(status: int) -> Optional[str]:
        if status != Status.INVALID_ARGUMENT:
            return None
        n = len(unicodedata.normalize("NFC", passphrase))
        return f"passphrase: {n} character{'' if n == 1 else 's'}, fewer than the 8 a key file needs"

    return why


def file_name_rule(name: str) -> Optional[str]:
    """The rule a stored file name breaks, or None."""
    encoded = name.encode("utf-8")
    if not 1 <= len(encoded) <= 255:
        return f"{len(encoded)} bytes, where a stored name has 1 to 255"
    if name in (".", ".."):
        return "the name of a folder, not of a file"
    for c in name:
        if ord(c) < 0x20 or 0x7F <= ord(c) <= 0x9F:
            return f"control character U+{ord(c):04X}"
        if c in _FORBIDDEN:
            return f"{c!r}, which no portable file name holds (none of < > : \" / \\ | ? *)"
    if name[-1] in " .":
        return "ends in a space or a dot"
    if name.split(".", 1)[0].upper() in _RESERVED_NAMES:
        return "a device name on some systems (CON, PRN, AUX, NUL, COM1..9, LPT1..9)"
    return None


def metadata_rules(file_name: Optional[str], content_type: Optional[str]) -> Explain:
    """encrypt refused its metadata: which text breaks which rule."""

    def why(status: int) -> Optional[str]:
        if status != Status.MALFORMED_INPUT:
            return None
        if file_name is not None:
            rule = file_name_rule(file_name)
            if rule is not None:
                return f"file_name {file_name!r} cannot be stored: {rule}"
        if content_type is not None and not (
            1 <= len(content_type) <= 255 and all(0x20 <= ord(c) <= 0x7E for c in content_type)
        ):
            return f"content_type {content_type!r} cannot be stored: it must be 1 to 255 printable ASCII characters"
        return None

    return why


def reserved_context(context: bytes) -> Explain:
    def why(status: int) -> Optional[str]:
        if status == Status.INVALID_ARGUMENT and context.startswith(b"VESK/"):
            return (f"context {context[:40]!r} begins with VESK/, which the library reserves for its own "
                    "signatures (containers, challenges, identity logs)")
        return None

    return why


def epoch_index(index: int, count: Callable[[], Any]) -> Explain:
    """epoch_public_key refused an index: says how many epochs the chain has."""

    def why(status: int) -> Optional[str]:
        if status != Status.INVALID_ARGUMENT:
            return None
        epochs = count()
        last = f" (0..{epochs - 1})" if epochs else ""
        return f"index {index} is past the chain, which has {epochs} epoch{'' if epochs == 1 else 's'}{last}"

    return why
