"""Encrypted containers: encrypt to 1..64 recipients, decrypt into a zero-copy result."""

from __future__ import annotations

import atexit
import ctypes
import sys
import threading
import weakref
from typing import Dict, Optional, Sequence, Union

from . import _lib
from ._calls import BytesLike, Borrowed, SingleOwner, optional_text, take, take_text
from ._constants import MAX_CONTAINER, MAX_PLAINTEXT, MAX_RECIPIENTS, PUBLIC_KEY_LEN
from ._errors import InvalidArgument, check
from ._explain import metadata_rules
from ._keys import SecretKey
from .text import ENCRYPTED_FILE, decode, label_of

# What a result's plaintext is held in: the library's memory, or b"" for an empty plaintext.
BufferType = Union[bytes, "ctypes.Array[ctypes.c_ubyte]"]


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
        status = lib.vesk_encrypt(pointer, length, keys_pointer, len(keys), name, kind, result)
    check(status, "encrypt", metadata_rules(file_name, content_type))
    return take(result)


# One array type for every plaintext result: it spans the largest plaintext the library returns,
# and a result only ever hands out views of its first len(result) bytes, so no type is made per
# result. The record is freed when its array goes, and the array is what every view holds.
_PlaintextMemory = ctypes.c_ubyte * MAX_PLAINTEXT

# The plaintext records that a result or its views still hold, by address. A record is freed
# (and wiped by the library) only once the result and every view of it are gone. At exit a
# daemon thread may still be reading one, so exit wipes them all and frees none.
_records: Dict[int, _lib.VeskBuffer] = {}
_records_lock = threading.RLock()  # a collection inside the lock may run _free_record again
_exiting = False


def _free_record(address: int) -> None:
    # Called when the last reference to a plaintext's memory (the result's, or a view's) is gone.
    with _records_lock:
        record = _records.pop(address, None)
        if record is not None and not _exiting:
            _lib.library().vesk_buffer_free(record)


@atexit.register
def _wipe_at_exit() -> None:
    global _exiting
    with _records_lock:
        _exiting = True
        for address, record in list(_records.items()):
            ctypes.memset(address, 0, record.len)


class Decrypted(SingleOwner):
    """A decrypted container: the plaintext, and the file name and content type stored with it.

    ``plaintext`` is a read-only memoryview over the library's own result, not a copy:
    ``memoryview(d.plaintext)`` and slices share it, ``bytes(d.plaintext)`` copies it. The
    plaintext is wiped and released by ``close()``, at the end of a ``with`` block, or when the
    object is collected. Views taken before ``close()`` keep the memory valid (reading zeros
    once it is wiped); it is released with the last of them. ``plaintext`` after ``close()``
    raises ValueError. At interpreter exit every plaintext still held is wiped but not
    released, so a thread still reading a view reads zeros.

    Results come from :func:`decrypt` only, and cannot be copied or pickled (TypeError):
    ``bytes(d.plaintext)`` is the copy to make.
    """

    __slots__ = ("_memory", "_address", "_length", "file_name", "content_type", "__weakref__")
    _instead = "bytes(result.plaintext) copies the plaintext"

    file_name: Optional[str]
    """The stored file name, or None."""
    content_type: Optional[str]
    """The stored content type, or None."""
    _memory: Optional[BufferType]
    _address: int
    _length: int

    def __init__(self, *args: object, **kwargs: object) -> None:
        raise TypeError("vesk.Decrypted cannot be made directly; it is what vesk.decrypt() returns")

    @classmethod
    def _adopt(cls, record: _lib.VeskBuffer, file_name: Optional[str], content_type: Optional[str]) -> "Decrypted":
        """The one owner of a plaintext record that vesk_decrypt has just filled."""
        result = cls.__new__(cls)
        result.file_name = file_name
        result.content_type = content_type
        address: int = record.data or 0
        length: int = record.len
        result._address = address
        result._length = length
        if not length:
            _lib.library().vesk_buffer_free(record)
            result._memory = b""
            return result
        # A ctypes array over the library's allocation exports it through the buffer protocol;
        # the record is freed when the array dies, that is once this object and every view of
        # the plaintext are gone.
        memory = _PlaintextMemory.from_address(address)
        with _records_lock:
            _records[address] = record
        # Never at exit: _wipe_at_exit stands for it then.
        weakref.finalize(memory, _free_record, address).atexit = False
        result._memory = memory
        return result

    @property
    def plaintext(self) -> memoryview:
        """The plaintext, a read-only view of the library's buffer (no copy)."""
        memory = self._memory
        if memory is None:
            raise ValueError("Decrypted is closed")
        # As unsigned bytes (format "B", where ctypes says "<B"), as users of memoryview expect.
        return memoryview(memory).cast("B")[: self._length].toreadonly()

    @property
    def closed(self) -> bool:
        """True once close() was called."""
        return self._memory is None

    def close(self) -> None:
        """Wipes the plaintext and releases it (at once, or with the last view still open)."""
        memory, self._memory = self._memory, None
        # With no view left, `memory` is the last reference to it (besides getrefcount's own),
        # and dropping it frees the record, wiped by the library. Views or a call still reading
        # it keep it alive: wipe it now, while `memory` holds it.
        if self._length and memory is not None and sys.getrefcount(memory) > 2:
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


def decrypt(container: Union[BytesLike, str], key: SecretKey) -> Decrypted:
    """Decrypts ``container`` with one recipient's secret key; nothing is returned before all of
    it (header, metadata, every chunk) was authenticated.

    ``container`` is the bytes ``encrypt`` returned, or its text form (as ``vesk encrypt -a`` and
    :func:`vesk.text.encode` write it), as str or bytes.

    Raises :class:`NoMatchingRecipient` when the container was not encrypted to ``key`` (or its
    header was altered), :class:`AuthenticationFailed` for altered metadata or chunks,
    :class:`MalformedInput` for a damaged, truncated or extended container.
    """
    if not isinstance(key, SecretKey):
        raise TypeError(f"key must be a vesk.SecretKey, not {type(key).__name__}")
    if isinstance(container, str) or label_of(container) == ENCRYPTED_FILE:
        container = decode(container, ENCRYPTED_FILE)
    lib = _lib.library()
    plaintext, file_name, content_type = _lib.VeskBuffer(), _lib.VeskBuffer(), _lib.VeskBuffer()
    with Borrowed() as borrowed:
        pointer, length = borrowed.bytes(container, "container", cap=MAX_CONTAINER)
        with key._in_use() as handle:
            status = lib.vesk_decrypt(pointer, length, handle, plaintext, file_name, content_type)
    check(status, "decrypt")
    try:
        name = take_text(file_name)
        kind = take_text(content_type)
    except BaseException:
        lib.vesk_buffer_free(plaintext)
        lib.vesk_buffer_free(content_type)
        raise
    return Decrypted._adopt(plaintext, name, kind)
