"""Encrypted containers: encrypt to 1..64 recipients, decrypt into a zero-copy result."""

from __future__ import annotations

import ctypes
import weakref
from pickle import PickleBuffer
from typing import Any, Optional, Sequence

from . import _lib
from ._calls import BytesLike, Borrowed, optional_text, take, take_text
from ._constants import MAX_CONTAINER, MAX_PLAINTEXT, MAX_RECIPIENTS, PUBLIC_KEY_LEN
from ._errors import InvalidArgument, check
from ._keys import SecretKey


def encrypt(
    data: BytesLike,
    recipients: Sequence[BytesLike],
    *,
    file_name: Optional[str] = None,
    content_type: Optional[str] = None,
) -> bytes:
    """Encrypts ``data`` (at most 1 GiB) once, for every public key in ``recipients``.

    ``recipients`` is a sequence of 1 to 64 PUBLIC_KEY_LEN-byte public keys. ``file_name`` (a
    plain portable file name) and ``content_type`` (1 to 255 printable ASCII characters) travel
    encrypted in the container. Raises :class:`InvalidArgument` for a recipient key that is not
    a usable public key, :class:`MalformedInput` for metadata that breaks its rules.
    """
    if isinstance(recipients, (str, bytes, bytearray, memoryview)):
        raise TypeError(
            f"recipients must be a sequence of public keys, not one {type(recipients).__name__}"
        )
    try:
        keys = list(recipients)
    except TypeError:
        raise TypeError(
            f"recipients must be a sequence of public keys, not {type(recipients).__name__}"
        ) from None
    if not 1 <= len(keys) <= MAX_RECIPIENTS:
        raise InvalidArgument.argument(
            f"recipients must hold 1 to {MAX_RECIPIENTS} public keys, not {len(keys)}"
        )
    name = optional_text(file_name, "file_name")
    kind = optional_text(content_type, "content_type")
    lib = _lib.library()
    result = _lib.VeskBuffer()
    with Borrowed() as borrowed:
        for index, key in enumerate(keys):
            borrowed.bytes(key, f"recipients[{index}]", exact=PUBLIC_KEY_LEN)
        # The library takes the keys back to back: one key goes as it is, several are joined.
        packed = keys[0] if len(keys) == 1 else b"".join(keys)
        keys_pointer, _ = borrowed.bytes(packed, "recipients")
        pointer, length = borrowed.bytes(data, "data", cap=MAX_PLAINTEXT)
        check(
            lib.vesk_encrypt(pointer, length, keys_pointer, len(keys), name, kind, result),
            "encrypt",
        )
    return take(result)


class Decrypted:
    """A decrypted container: the plaintext, and the file name and content type stored with it.

    ``plaintext`` is a read-only memoryview over the library's own result, not a copy:
    ``memoryview(d.plaintext)`` and slices share it, ``bytes(d.plaintext)`` copies it. The
    plaintext is wiped and released by ``close()``, at the end of a ``with`` block, or when the
    object is collected. Views taken before ``close()`` keep the memory valid (reading zeros
    once it is wiped); it is released with the last of them. ``plaintext`` after ``close()``
    raises ValueError.
    """

    __slots__ = ("_memory", "_address", "_length", "_release", "file_name", "content_type", "__weakref__")

    file_name: Optional[str]
    """The stored file name, or None."""
    content_type: Optional[str]
    """The stored content type, or None."""

    def __init__(self, record: _lib.VeskBuffer, file_name: Optional[str], content_type: Optional[str]):
        # Made by decrypt(), which hands over the plaintext record.
        self.file_name = file_name
        self.content_type = content_type
        self._address = record.data
        self._length = record.len
        release = _lib.library().vesk_buffer_free
        if not self._length:
            release(record)
            self._memory: Any = b""
            self._release: Optional[weakref.finalize] = None
            return
        # A ctypes array over the library's allocation exports it through the buffer protocol;
        # the record is freed (and wiped by the library) when the array dies, that is once this
        # object and every view of the plaintext are gone.
        memory_type = type(
            "PlaintextMemory",
            (ctypes.Array,),
            {"_type_": ctypes.c_ubyte, "_length_": self._length, "__slots__": ("__weakref__",)},
        )
        self._memory = memory_type.from_address(self._address)
        self._release = weakref.finalize(self._memory, release, record)

    @property
    def plaintext(self) -> memoryview:
        """The plaintext, a read-only view of the library's buffer (no copy)."""
        memory = self._memory
        if memory is None:
            raise ValueError("Decrypted is closed")
        # PickleBuffer.raw() gives unsigned bytes (format "B"), as users of memoryview expect.
        return PickleBuffer(memory).raw().toreadonly()

    @property
    def closed(self) -> bool:
        """True once close() was called."""
        return self._memory is None

    def close(self) -> None:
        """Wipes the plaintext and releases it (at once, or with the last view still open)."""
        if self._memory is None:
            return
        self._memory = None  # with no view left, this frees the record, wiped by the library
        release = self._release
        if release is not None and release.alive:
            # Views still hold the memory: wipe it now; it is released with the last of them.
            ctypes.memset(self._address, 0, self._length)

    def __enter__(self) -> "Decrypted":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __len__(self) -> int:
        """The plaintext's length in bytes."""
        return self._length

    def __repr__(self) -> str:
        state = "closed" if self._memory is None else f"{self._length} bytes"
        return f"<vesk.Decrypted {state}, file_name={self.file_name!r}, content_type={self.content_type!r}>"


def decrypt(container: BytesLike, key: SecretKey) -> Decrypted:
    """Decrypts ``container`` with one recipient's secret key; nothing is returned before all of
    it (header, metadata, every chunk) was authenticated.

    Raises :class:`NoMatchingRecipient` when the container was not encrypted to ``key`` (or its
    header was altered), :class:`AuthenticationFailed` for altered metadata or chunks,
    :class:`MalformedInput` for a damaged, truncated or extended container.
    """
    if not isinstance(key, SecretKey):
        raise TypeError(f"key must be a vesk.SecretKey, not {type(key).__name__}")
    lib = _lib.library()
    plaintext, file_name, content_type = _lib.VeskBuffer(), _lib.VeskBuffer(), _lib.VeskBuffer()
    with Borrowed() as borrowed:
        pointer, length = borrowed.bytes(container, "container", cap=MAX_CONTAINER)
        handle = key._acquire()
        try:
            status = lib.vesk_decrypt(pointer, length, handle, plaintext, file_name, content_type)
        finally:
            key._release()
    check(status, "decrypt")
    try:
        name = take_text(file_name)
        kind = take_text(content_type)
    except BaseException:
        lib.vesk_buffer_free(plaintext)
        lib.vesk_buffer_free(content_type)
        raise
    return Decrypted(plaintext, name, kind)
