"""Finding and loading libvesk, and the prototypes of its exports.

The library is looked for, on first use, in this order: the one named by :func:`load`; the one
``cmake --install`` recorded beside the package; a ``libvesk.so.0`` copied into the package
folder; whatever the system's dynamic loader finds under that name.
"""

from __future__ import annotations

import ctypes
import os
import threading
from pathlib import Path
from typing import List, Optional, Union

SONAME = "libvesk.so.0"
# Written by `cmake --install`: the path of the installed library, relative to this folder.
LOCATION_FILE = "_library_path"


class LibraryNotFoundError(ImportError):
    """libvesk could not be found or is not the vesk library."""


class VeskBuffer(ctypes.Structure):
    """A result record the library fills; released (and wiped) only by vesk_buffer_free."""

    _fields_ = [
        ("data", ctypes.c_void_p),
        ("len", ctypes.c_size_t),
        ("capacity", ctypes.c_size_t),
    ]


_STATUS = ctypes.c_int32
_BYTES = ctypes.c_void_p  # a bytes object or an address; never a str (the callers check)
_SIZE = ctypes.c_size_t
_TEXT = ctypes.c_char_p  # NUL-terminated UTF-8, or None
_HANDLE = ctypes.c_void_p
_HANDLE_OUT = ctypes.POINTER(ctypes.c_void_p)
_BUFFER = ctypes.POINTER(VeskBuffer)
_U64 = ctypes.c_uint64
_U64_OUT = ctypes.POINTER(ctypes.c_uint64)
_I32_OUT = ctypes.POINTER(ctypes.c_int32)

PROTOTYPES = {
    "vesk_buffer_free": (None, [_BUFFER]),
    "vesk_error_message": (ctypes.c_char_p, [ctypes.c_int32]),
    "vesk_version": (ctypes.c_char_p, []),
    "vesk_test_panic": (_STATUS, []),
    "vesk_keypair_generate": (_STATUS, [_HANDLE_OUT, _BUFFER]),
    "vesk_secret_key_public": (_STATUS, [_HANDLE, _BUFFER]),
    "vesk_public_key_armor": (_STATUS, [_BYTES, _SIZE, _BUFFER]),
    "vesk_public_key_dearmor": (_STATUS, [_TEXT, _BUFFER]),
    "vesk_inspect_key": (_STATUS, [_BYTES, _SIZE, _I32_OUT]),
    "vesk_secret_key_free": (None, [_HANDLE]),
    "vesk_secret_key_protect": (_STATUS, [_HANDLE, _TEXT, _BUFFER]),
    "vesk_secret_key_open": (_STATUS, [_BYTES, _SIZE, _TEXT, _HANDLE_OUT]),
    "vesk_encrypt": (_STATUS, [_BYTES, _SIZE, _BYTES, _SIZE, _TEXT, _TEXT, _BUFFER]),
    "vesk_decrypt": (_STATUS, [_BYTES, _SIZE, _HANDLE, _BUFFER, _BUFFER, _BUFFER]),
    "vesk_signing_identity_open": (_STATUS, [_BYTES, _SIZE, _TEXT, _HANDLE_OUT]),
    "vesk_signing_identity_public": (_STATUS, [_HANDLE, _BUFFER]),
    "vesk_signing_identity_free": (None, [_HANDLE]),
    "vesk_sign_message": (_STATUS, [_HANDLE, _BYTES, _SIZE, _BYTES, _SIZE, _BUFFER]),
    "vesk_verify_message": (_STATUS, [_BYTES, _SIZE, _BYTES, _SIZE, _BYTES, _SIZE, _BYTES, _SIZE]),
    "vesk_challenge_new": (_STATUS, [_TEXT, _U64, _U64, _BUFFER]),
    "vesk_challenge_answer": (_STATUS, [_HANDLE, _BYTES, _SIZE, _BUFFER]),
    "vesk_challenge_accept": (_STATUS, [_HANDLE, _BYTES, _SIZE, _BYTES, _SIZE, _BYTES, _SIZE, _U64]),
    "vesk_spent_nonces_new": (_HANDLE, []),
    "vesk_spent_nonces_free": (None, [_HANDLE]),
    "vesk_identity_generate": (_STATUS, [_TEXT, _BUFFER]),
    "vesk_identity_head": (_STATUS, [_BYTES, _SIZE, _BYTES, _SIZE, _BUFFER]),
    "vesk_identity_verify": (_STATUS, [_BYTES, _SIZE, _BYTES, _SIZE, _U64_OUT]),
    "vesk_identity_verify_pinned": (_STATUS, [_BYTES, _SIZE, _BYTES, _SIZE, _BYTES, _SIZE, _U64_OUT]),
    "vesk_identity_trusts_device": (_STATUS, [_BYTES, _SIZE, _BYTES, _SIZE, _BYTES, _SIZE, _I32_OUT]),
    "vesk_epoch_public_key": (_STATUS, [_BYTES, _SIZE, _U64, _BUFFER]),
    "vesk_epoch_verify": (_STATUS, [_BYTES, _SIZE, _U64_OUT]),
    "vesk_epoch_verify_bound": (
        _STATUS,
        [_BYTES, _SIZE, _BYTES, _SIZE, _BYTES, _SIZE, _BYTES, _SIZE, _BYTES, _SIZE, _U64_OUT],
    ),
    "vesk_transparency_verify_inclusion": (
        _STATUS,
        [_BYTES, _SIZE, _U64, _U64, _BYTES, _SIZE, _BYTES, _SIZE],
    ),
    "vesk_transparency_verify_consistency": (
        _STATUS,
        [_U64, _U64, _BYTES, _SIZE, _BYTES, _SIZE, _BYTES, _SIZE],
    ),
    "vesk_checkpoint_verify": (
        _STATUS,
        [_BYTES, _SIZE, _TEXT, _BYTES, _SIZE, _U64_OUT, _BUFFER],
    ),
}
# vesk_buffer_empty is the zeroed record a new VeskBuffer() already is, so it is not called.

_lock = threading.Lock()
_library: Optional[ctypes.CDLL] = None
_library_path: Optional[str] = None


def _open(path: str) -> ctypes.CDLL:
    """Opens path (a file, or a bare name for the system loader) and declares every export."""
    library = ctypes.CDLL(path)  # ctypes.CDLL releases the GIL around every call
    for name, (restype, argtypes) in PROTOTYPES.items():
        try:
            function = getattr(library, name)
        except AttributeError:
            raise LibraryNotFoundError(f"{path} is not the vesk library: it has no {name}") from None
        function.restype = restype
        function.argtypes = argtypes
    return library


def _beside_package() -> List[Path]:
    here = Path(__file__).resolve().parent
    found: List[Path] = []
    location = here / LOCATION_FILE
    if location.is_file():
        found.append(here / location.read_text(encoding="utf-8").strip())
    found.append(here / SONAME)
    return found


def load(path: Union[str, "os.PathLike[str]"]) -> None:
    """Uses the libvesk shared library at ``path`` (for layouts where it is not found by itself).

    Call it before anything else of the package is used. Loading the same file again does
    nothing; once a library is in use, another one cannot replace it (handles of one library
    must never reach another), which raises :class:`RuntimeError`.

    A bare file name (no folder) is looked up by the system's dynamic loader. Raises
    :class:`LibraryNotFoundError` (an :class:`ImportError`) when the file cannot be loaded or is
    not the vesk library.
    """
    global _library, _library_path
    name = os.fspath(path)
    # A bare name goes to the system loader as it is; a path is compared as the file it names.
    resolved = os.path.realpath(name) if os.sep in name else name
    with _lock:
        if _library is not None:
            if _library_path == resolved:
                return
            raise RuntimeError(f"vesk: the library is already loaded from {_library_path}")
        try:
            _library = _open(resolved)
        except OSError as error:
            raise LibraryNotFoundError(f"vesk: cannot load the library {resolved}: {error}") from None
        _library_path = resolved


def library() -> ctypes.CDLL:
    """The loaded library, found on first use."""
    if _library is not None:
        return _library
    return _find()


def _find() -> ctypes.CDLL:
    global _library, _library_path
    with _lock:
        if _library is not None:
            return _library
        tried = []
        for candidate in _beside_package():
            if not candidate.exists():
                tried.append(f"{candidate}: not there")
                continue
            try:
                _library = _open(str(candidate))
            except OSError as error:
                tried.append(f"{candidate}: {error}")
                continue
            _library_path = os.path.realpath(candidate)
            return _library
        try:
            _library = _open(SONAME)
        except OSError as error:
            tried.append(f"the system loader: {error}")
        else:
            _library_path = SONAME
            return _library
        raise LibraryNotFoundError(
            "vesk: cannot find the library " + SONAME + " (tried " + "; ".join(tried) + "). "
            "Install it with the package (cmake --install BUILD --prefix P puts both under P), "
            "or call vesk.load('/path/to/libvesk.so.0') before using vesk."
        )


def loaded_path() -> Optional[str]:
    """Where the library in use was loaded from (None before first use)."""
    return _library_path
