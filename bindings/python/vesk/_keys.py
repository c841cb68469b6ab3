"""Recipient keys, their armor, and passphrase-protected key files."""

from __future__ import annotations

import ctypes
from typing import Optional, Type, TypeVar

from . import _lib
from ._calls import BytesLike, Handle, call_on_bytes, handle_value, optional_text, take, text
from ._constants import MAX_KEY_DATA, PUBLIC_KEY_LEN, Status
from ._errors import PassphraseRequired, check
from ._explain import passphrase_length


_Opened = TypeVar("_Opened", bound="_OpenedKey")


def passphrase_required(call: str, data: BytesLike, passphrase: Optional[str], status: int) -> None:
    """Raises PassphraseRequired when ``status`` refused a key file given without a passphrase."""
    if passphrase is None and status in (Status.WRONG_PASSPHRASE, Status.INVALID_ARGUMENT) and is_key_file(data):
        error = PassphraseRequired(f"{call}: data is a key file, and no passphrase was given to open it", status)
        error._explained = True
        raise error


class _OpenedKey(Handle):
    """Base of the handles opened from key data (a key file, or a bare seed): SecretKey and
    SigningIdentity. The secret half stays in the library; the public half it gives on demand is
    kept once read."""

    __slots__ = ("_public",)
    _open_name = ""  # the library function that opens key data
    _public_name = ""  # the library function that writes the public half
    _public_detail = ""  # the public half's name in a failure

    def _own(self, pointer: int) -> None:
        super()._own(pointer)
        self._public: Optional[bytes] = None

    @classmethod
    def _open(cls: Type[_Opened], data: BytesLike, passphrase: Optional[str]) -> _Opened:
        """The one owner of the handle the library opens from key data and an optional passphrase."""
        call = f"{cls.__name__}.open"
        handle = ctypes.c_void_p()
        secret = optional_text(passphrase, "passphrase")
        status = call_on_bytes(cls._open_name, data, "data", secret, ctypes.byref(handle), cap=MAX_KEY_DATA)
        passphrase_required(call, data, passphrase, status)
        check(status, call)
        return cls._adopt(handle_value(handle, call))

    def _public_half(self) -> bytes:
        self._check_open()
        if self._public is None:
            self._public = self._result_of(self._public_name, self._public_detail)
        return self._public


class SecretKey(_OpenedKey):
    """A recipient secret key (a 32-byte seed the library holds), for decrypting containers.

    Make one with :meth:`generate` or :meth:`open`. The seed never enters Python: it stays in
    the library, which wipes it when the key is closed (``close()``, the end of a ``with``
    block, or collection). A key may be used from several threads at once; it cannot be copied
    or pickled (TypeError), since a copy would be a second owner of the library's handle.
    """

    __slots__ = ()
    _free_name = "vesk_secret_key_free"
    _made_by = "SecretKey.generate() or SecretKey.open()"
    _open_name = "vesk_secret_key_open"
    _public_name = "vesk_secret_key_public"
    _public_detail = "public key"

    @classmethod
    def generate(cls) -> "SecretKey":
        """A new keypair from fresh randomness."""
        lib = _lib.library()
        handle = ctypes.c_void_p()
        public_key = _lib.VeskBuffer()
        check(lib.vesk_keypair_generate(ctypes.byref(handle), public_key), "generate")
        key = cls._adopt(handle_value(handle, "generate"))
        key._public = take(public_key)
        return key

    @classmethod
    def open(cls, data: BytesLike, passphrase: Optional[str] = None) -> "SecretKey":
        """Opens a key file (recipient or identity key file) or a bare 32-byte identity seed.

        ``passphrase`` is required for key files; it is tried in its NFC form, as given and in
        its NFD form. Raises :class:`PassphraseRequired` for a key file without one,
        :class:`WrongPassphrase` when no form opens the file (or the file was modified),
        :class:`NotKeyFile` for an unsupported version, :class:`MalformedInput` for data that is
        neither a key file nor a seed.
        """
        return cls._open(data, passphrase)

    @property
    def public_key(self) -> bytes:
        """The PUBLIC_KEY_LEN-byte public key that containers are encrypted to."""
        return self._public_half()

    def protect(self, passphrase: str) -> bytes:
        """A key file holding this key, encrypted under ``passphrase`` (at least 8 characters).

        Python strings cannot be wiped: the passphrase stays in memory as long as the str does.
        """
        secret = text(passphrase, "passphrase")
        result = _lib.VeskBuffer()
        with self._in_use() as pointer:
            status = _lib.library().vesk_secret_key_protect(pointer, secret, result)
        check(status, "SecretKey.protect", passphrase_length(passphrase))
        return take(result)


def armor(public_key: BytesLike) -> str:
    """The armored text form of a PUBLIC_KEY_LEN-byte public key."""
    result = _lib.VeskBuffer()
    check(call_on_bytes("vesk_public_key_armor", public_key, "public_key", result, exact=PUBLIC_KEY_LEN), "armor")
    return take(result).decode("ascii")


def dearmor(text_form: str) -> bytes:
    """The public key in an armored text; raises :class:`MalformedInput` for Base64 that is not strict."""
    encoded = text(text_form, "text")
    result = _lib.VeskBuffer()
    check(_lib.library().vesk_public_key_dearmor(encoded, result), "dearmor")
    return take(result)


def is_key_file(data: BytesLike) -> bool:
    """Whether ``data`` is a protected key file, told by its magic alone (no passphrase needed)."""
    answer = ctypes.c_int32()
    check(call_on_bytes("vesk_inspect_key", data, "data", ctypes.byref(answer), cap=MAX_KEY_DATA), "inspect key")
    return answer.value == 1
