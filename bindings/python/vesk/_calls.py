"""What every call needs: borrowing inputs without copies, texts, integers, results, handles."""

from __future__ import annotations

import array
import contextlib
import ctypes
import mmap
import operator
import threading
from typing import Any, Callable, Dict, Iterator, List, NoReturn, Optional, SupportsIndex, Tuple, Type, TypeVar, Union

from . import _lib
from ._constants import UINT64_MAX
from ._errors import InternalError, InvalidArgument, check


class _PyBuffer(ctypes.Structure):
    # CPython's Py_buffer, as PyObject_GetBuffer fills it (only for read-only buffers: see below).
    _fields_ = [
        ("buf", ctypes.c_void_p),
        ("obj", ctypes.c_void_p),
        ("len", ctypes.c_ssize_t),
        ("itemsize", ctypes.c_ssize_t),
        ("readonly", ctypes.c_int),
        ("ndim", ctypes.c_int),
        ("format", ctypes.c_char_p),
        ("shape", ctypes.c_void_p),
        ("strides", ctypes.c_void_p),
        ("suboffsets", ctypes.c_void_p),
        ("internal", ctypes.c_void_p),
    ]


# ctypes gives the address of a writable buffer (from_buffer) and passes a bytes object as itself,
# but has no way to the address of any other read-only buffer: from_buffer refuses them, and
# from_buffer_copy copies. Read-only memoryviews and mmaps opened for reading are common inputs
# (a mapped file to sign or decrypt), so for those alone the buffer is taken with the C API's
# PyObject_GetBuffer, the one call this package makes into the interpreter's buffer machinery.
_PyBUF_SIMPLE = 0  # read-only access to a C-contiguous buffer, which is all a call needs
_get_buffer = ctypes.pythonapi.PyObject_GetBuffer
_get_buffer.argtypes = [ctypes.py_object, ctypes.POINTER(_PyBuffer), ctypes.c_int]
_get_buffer.restype = ctypes.c_int
_release_buffer = ctypes.pythonapi.PyBuffer_Release
_release_buffer.argtypes = [ctypes.POINTER(_PyBuffer)]
_release_buffer.restype = None

_H = TypeVar("_H", bound="Handle")

BytesLike = Union[bytes, bytearray, memoryview, mmap.mmap, "array.array[int]"]
"""What byte arguments accept: any object with a contiguous buffer (these are the usual ones)."""

ByteArg = Tuple[Any, int]  # (a bytes object or an address, length), as a call takes them


class SingleOwner:
    """Base of the objects that own library memory (a handle, a result buffer) or hold buffers
    of Python objects: each has exactly one owner, which releases it once.

    A copy would be a second owner of the same memory, and whichever of the two went first would
    free (and wipe) it under the other, so copy.copy, copy.deepcopy and pickle raise TypeError.
    Share the object itself instead; handles may be used from several threads at once.
    """

    __slots__ = ()
    _instead = "share the object itself, which threads may use at once"

    def _not_copied(self) -> TypeError:
        return TypeError(
            f"vesk.{type(self).__name__} cannot be copied or pickled: it owns library memory that "
            f"must have exactly one owner ({self._instead})"
        )

    def __copy__(self) -> NoReturn:
        raise self._not_copied()

    def __deepcopy__(self, memo: Dict[int, Any]) -> NoReturn:
        raise self._not_copied()

    def __reduce_ex__(self, protocol: SupportsIndex) -> NoReturn:
        raise self._not_copied()

    def __reduce__(self) -> NoReturn:
        raise self._not_copied()


class Borrowed(SingleOwner):
    """Byte ranges of Python objects, held for one call and released when the block ends.

    While held, the objects cannot be resized or closed (a bytearray, an mmap), so the library
    never reads freed memory even though the call runs without the GIL.
    """

    __slots__ = ("_views", "_read_only")

    def __init__(self) -> None:
        self._views: List[memoryview] = []
        self._read_only: List[_PyBuffer] = []

    def __enter__(self) -> "Borrowed":
        return self

    def __exit__(self, *exc: object) -> None:
        read_only, self._read_only = self._read_only, []
        for buffer in read_only:
            _release_buffer(buffer)
        views, self._views = self._views, []
        for view in views:
            view.release()

    def bytes(
        self, value: Any, name: str, *, exact: Optional[int] = None, cap: Optional[int] = None
    ) -> ByteArg:
        """The pointer and length of a bytes-like value, without copying it."""
        if type(value) is bytes:
            # A bytes object goes to the call as itself: ctypes passes its own storage.
            pointer: Any = value
            length = len(value)
        else:
            if isinstance(value, str):
                raise TypeError(f"{name} must be a bytes-like object, not str")
            view = self._hold(value, name)
            length = view.nbytes
            pointer = self._address(view) if length else None
        if exact is not None and length != exact:
            raise InvalidArgument.argument(f"{name} must be {exact} bytes, not {length}")
        if cap is not None and length > cap:
            raise InvalidArgument.argument(f"{name} is {length} bytes, more than the {cap} allowed")
        return pointer, length

    def _hold(self, value: Any, name: str) -> memoryview:
        # A memoryview holds the object's buffer (it cannot be resized or closed meanwhile) until
        # the block ends.
        refusal = f"{name} must be a contiguous bytes-like object, not {type(value).__name__}"
        try:
            view = memoryview(value)
        except (TypeError, BufferError):
            raise TypeError(refusal) from None
        self._views.append(view)
        if not view.c_contiguous:
            raise TypeError(refusal)
        return view

    def _address(self, view: memoryview) -> int:
        if not view.readonly:
            # The array only serves to learn the address; the view keeps the buffer held.
            return ctypes.addressof(ctypes.c_char.from_buffer(view))
        buffer = _PyBuffer()
        _get_buffer(view, buffer, _PyBUF_SIMPLE)
        self._read_only.append(buffer)
        return buffer.buf or 0


def call_on_bytes(
    function: str, value: Any, name: str, *rest: Any, exact: Optional[int] = None, cap: Optional[int] = None
) -> int:
    """The status of the library's ``function`` called with one byte argument (the pointer and
    length of ``value``, borrowed for the call and checked as Borrowed.bytes checks it) and then
    ``rest``."""
    lib = _lib.library()
    with Borrowed() as borrowed:
        pointer, length = borrowed.bytes(value, name, exact=exact, cap=cap)
        status: int = getattr(lib, function)(pointer, length, *rest)
    return status


def text(value: Any, name: str) -> bytes:
    """A str as the NUL-terminated UTF-8 the library takes."""
    if not isinstance(value, str):
        raise TypeError(f"{name} must be str, not {type(value).__name__}")
    try:
        encoded = value.encode("utf-8")
    except UnicodeEncodeError:
        raise InvalidArgument.argument(f"{name} cannot be encoded as UTF-8") from None
    if b"\0" in encoded:
        raise InvalidArgument.argument(f"{name} contains a NUL character")
    return encoded


def optional_text(value: Any, name: str) -> Optional[bytes]:
    return None if value is None else text(value, name)


def u64(value: Any, name: str) -> int:
    """An integer argument of the library's uint64_t type; out of its range, OverflowError
    before any call."""
    try:
        number = operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an int, not {type(value).__name__}") from None
    if not 0 <= number <= UINT64_MAX:
        raise OverflowError(f"{name} must be in 0..2**64-1 (a uint64_t), not {number}")
    return number


def i32(value: Any, name: str) -> int:
    """An integer argument of the library's int32_t type; out of its range, OverflowError."""
    try:
        number = operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an int, not {type(value).__name__}") from None
    if not -(1 << 31) <= number < (1 << 31):
        raise OverflowError(f"{name} must be in -2**31..2**31-1 (an int32_t), not {number}")
    return number


def verifying_key_arg(value: Any) -> Any:
    """A verifying key as bytes-like, or its Base64 text as the tool prints it."""
    if isinstance(value, str):
        from .text import verifying_key_from_text

        return verifying_key_from_text(value)
    return value


_new_bytes = ctypes.pythonapi.PyBytes_FromStringAndSize
_new_bytes.argtypes = [ctypes.c_void_p, ctypes.c_ssize_t]
_new_bytes.restype = ctypes.py_object
_bytes_storage = ctypes.pythonapi.PyBytes_AsString
_bytes_storage.argtypes = [ctypes.py_object]
_bytes_storage.restype = ctypes.c_void_p


def _libc_madvise() -> Optional[Callable[[int, int, int], int]]:
    try:
        function = ctypes.CDLL(None).madvise
    except AttributeError:  # pragma: no cover - every Linux libc has it
        return None
    function.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int]
    function.restype = ctypes.c_int
    return function


# Python names the advice where the platform has it; without it, large copies go unadvised.
_MADV_HUGEPAGE: Optional[int] = getattr(mmap, "MADV_HUGEPAGE", None)
_madvise = _libc_madvise() if _MADV_HUGEPAGE is not None else None
_PAGE = 4096
# From this size on a copy goes into storage advised for huge pages, as the library does for its
# own results: first-touch page faults cost several times the copy itself otherwise.
_LARGE = 4 << 20


def _copy_large(address: int, length: int) -> bytes:
    # A bytes object made without contents may be filled before anyone else sees it.
    result = _new_bytes(None, length)
    storage = _bytes_storage(result)
    if _madvise is not None and _MADV_HUGEPAGE is not None:
        start = (storage + _PAGE - 1) & ~(_PAGE - 1)
        end = (storage + length) & ~(_PAGE - 1)
        _madvise(start, end - start, _MADV_HUGEPAGE)  # advice only: a refusal changes nothing
    ctypes.memmove(storage, address, length)
    return result  # type: ignore[no-any-return]


def take(buffer: _lib.VeskBuffer) -> bytes:
    """A copy of a result as bytes; the record is wiped and released."""
    try:
        length = buffer.len
        if length >= _LARGE:
            return _copy_large(buffer.data, length)
        return ctypes.string_at(buffer.data, length) if length else b""
    finally:
        _lib.library().vesk_buffer_free(buffer)


def take_text(buffer: _lib.VeskBuffer) -> Optional[str]:
    """A result text (no NUL) as str, or None when the library left it empty (absent)."""
    data = take(buffer)
    return data.decode("utf-8") if data else None


def handle_value(out: ctypes.c_void_p, detail: str) -> int:
    """The handle a successful call wrote to its out-parameter."""
    if not out.value:
        raise InternalError(f"{detail}: the library returned no handle")
    return out.value


class Handle(SingleOwner):
    """An opaque library handle, released exactly once: by close(), ``with`` or collection.

    Calls hold the handle for their length with ``with self._in_use() as pointer:``, which takes
    it with _acquire() and gives it back with _release(). close() while other threads are inside
    a call marks the handle closed at once and leaves the release to the last of those calls, so
    no call ever runs on a released handle.

    A pointer enters only through _adopt(), right after the library call that made it: the
    public constructors take no pointer, so no address can become a second owner of a handle.
    """

    __slots__ = ("_pointer", "_lock", "_users", "_closing", "__weakref__")
    _free_name = ""  # the library's free function for this kind of handle
    _made_by = ""  # how users get one, for the constructor's refusal

    def __init__(self, *args: object, **kwargs: object) -> None:
        raise TypeError(f"vesk.{type(self).__name__} cannot be made directly; use {self._made_by}")

    @classmethod
    def _adopt(cls: Type[_H], pointer: int) -> _H:
        """The one owner of a handle the library has just returned."""
        handle = cls.__new__(cls)
        handle._own(pointer)
        return handle

    def _own(self, pointer: int) -> None:
        self._pointer: Optional[int] = pointer
        self._lock = threading.Lock()
        self._users = 0
        self._closing = False

    def _acquire(self) -> int:
        with self._lock:
            pointer = self._pointer
            if self._closing or pointer is None:
                raise ValueError(f"{type(self).__name__} is closed")
            self._users += 1
            return pointer

    @contextlib.contextmanager
    def _in_use(self) -> Iterator[int]:
        """The handle's pointer, held for one call: a close() meanwhile marks the handle closed at once
        and leaves its release to the block's end."""
        pointer = self._acquire()
        try:
            yield pointer
        finally:
            self._release()

    def _check_open(self) -> None:
        if self._closing or self._pointer is None:
            raise ValueError(f"{type(self).__name__} is closed")

    def _release(self) -> None:
        with self._lock:
            self._users -= 1
            if not (self._closing and self._users == 0):
                return
            pointer, self._pointer = self._pointer, None
        self._free(pointer)

    def _free(self, pointer: Optional[int]) -> None:
        if pointer is not None:
            getattr(_lib.library(), self._free_name)(pointer)

    def _result_of(self, function: str, detail: str) -> bytes:
        """The record a library function fills from this handle alone."""
        result = _lib.VeskBuffer()
        with self._in_use() as pointer:
            status = getattr(_lib.library(), function)(pointer, result)
        check(status, detail)
        return take(result)

    @property
    def closed(self) -> bool:
        """True once close() was called."""
        return self._closing

    def close(self) -> None:
        """Wipes and releases the handle; later uses raise ValueError. Closing twice is harmless."""
        with self._lock:
            if self._closing:
                return
            self._closing = True
            if self._users:
                return  # the last call still running releases it
            pointer, self._pointer = self._pointer, None
        self._free(pointer)

    def __enter__(self: _H) -> _H:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __del__(self) -> None:
        # Collected without close(): nothing can be using it any more.
        pointer = getattr(self, "_pointer", None)
        if pointer is not None:
            self._pointer = None
            try:
                self._free(pointer)
            except Exception:  # interpreter shutdown: the library may already be gone
                pass
