#!/usr/bin/env python3
"""Calling libvesk from Python with ctypes (standard library only).

    python3 vesk_demo.py [PATH/TO/libvesk.so]

Without an argument the library is looked for in build/release/src/ of this checkout. The script
generates a recipient keypair and armors its public key, creates a signing identity, signs and
verifies a message, and releases every buffer and handle it was given.
"""

import ctypes
import pathlib
import sys


class VeskBuffer(ctypes.Structure):
    """A result the library fills; released (and wiped) only by vesk_buffer_free."""

    _fields_ = [
        ("data", ctypes.POINTER(ctypes.c_uint8)),
        ("len", ctypes.c_size_t),
        ("capacity", ctypes.c_size_t),
    ]

    def bytes(self):
        """A copy of the result; the buffer itself still has to be freed."""
        return ctypes.string_at(self.data, self.len) if self.len else b""


VESK_OK = 0
VESK_AUTHENTICATION_FAILED = 4

# Handles are opaque: pointers the library creates and frees.
HANDLE = ctypes.c_void_p
STATUS = ctypes.c_int32
BYTES = ctypes.c_char_p  # a Python bytes object (or None for NULL) passed as const uint8_t *
SIZE = ctypes.c_size_t
BUFFER = ctypes.POINTER(VeskBuffer)


def load(path):
    lib = ctypes.CDLL(str(path))
    signatures = {
        "vesk_version": (ctypes.c_char_p, []),
        "vesk_error_message": (ctypes.c_char_p, [ctypes.c_int32]),
        "vesk_buffer_free": (None, [BUFFER]),
        "vesk_keypair_generate": (STATUS, [ctypes.POINTER(HANDLE), BUFFER]),
        "vesk_public_key_armor": (STATUS, [BYTES, SIZE, BUFFER]),
        "vesk_secret_key_free": (None, [HANDLE]),
        "vesk_identity_generate": (STATUS, [ctypes.c_char_p, BUFFER]),
        "vesk_signing_identity_open": (STATUS, [BYTES, SIZE, ctypes.c_char_p, ctypes.POINTER(HANDLE)]),
        "vesk_signing_identity_public": (STATUS, [HANDLE, BUFFER]),
        "vesk_signing_identity_free": (None, [HANDLE]),
        "vesk_sign_message": (STATUS, [HANDLE, BYTES, SIZE, BYTES, SIZE, BUFFER]),
        "vesk_verify_message": (STATUS, [BYTES, SIZE, BYTES, SIZE, BYTES, SIZE, BYTES, SIZE]),
    }
    for name, (restype, argtypes) in signatures.items():
        function = getattr(lib, name)
        function.restype = restype
        function.argtypes = argtypes
    return lib


class VeskError(Exception):
    def __init__(self, lib, what, status):
        super().__init__(f"{what}: {lib.vesk_error_message(status).decode()} (status {status})")
        self.status = status


def check(lib, what, status):
    if status != VESK_OK:
        raise VeskError(lib, what, status)


def main(argv):
    default = pathlib.Path(__file__).resolve().parents[2] / "build" / "release" / "src" / "libvesk.so"
    lib = load(argv[1] if len(argv) > 1 else default)
    print("libvesk", lib.vesk_version().decode())

    public_key, armor = VeskBuffer(), VeskBuffer()
    key_file, verifying_key, signature = VeskBuffer(), VeskBuffer(), VeskBuffer()
    secret_key, identity = HANDLE(), HANDLE()
    try:
        # A recipient keypair; the secret stays inside the handle.
        check(lib, "keypair", lib.vesk_keypair_generate(ctypes.byref(secret_key), ctypes.byref(public_key)))
        key = public_key.bytes()
        check(lib, "armor", lib.vesk_public_key_armor(key, len(key), ctypes.byref(armor)))
        print(armor.bytes().decode(), end="")

        # A signing identity: created inside a protected key file, then opened.
        # (Demo passphrase; a real program asks for it.)
        passphrase = b"correct horse battery staple"
        check(lib, "new identity", lib.vesk_identity_generate(passphrase, ctypes.byref(key_file)))
        data = key_file.bytes()
        check(lib, "open identity",
              lib.vesk_signing_identity_open(data, len(data), passphrase, ctypes.byref(identity)))
        check(lib, "verifying key", lib.vesk_signing_identity_public(identity, ctypes.byref(verifying_key)))

        context, message = b"example.org notes v1", b"We meet at noon."
        check(lib, "sign", lib.vesk_sign_message(identity, context, len(context), message, len(message),
                                                 ctypes.byref(signature)))
        vk, sig = verifying_key.bytes(), signature.bytes()
        check(lib, "verify", lib.vesk_verify_message(vk, len(vk), context, len(context), message, len(message),
                                                     sig, len(sig)))
        print(f"signature of {len(sig)} bytes verified")

        altered = b"We meet at noom."
        status = lib.vesk_verify_message(vk, len(vk), context, len(context), altered, len(altered), sig, len(sig))
        if status != VESK_AUTHENTICATION_FAILED:
            raise VeskError(lib, "verifying an altered message", status)
        print("altered message refused:", lib.vesk_error_message(status).decode())
    finally:
        # Free functions accept NULL handles, and vesk_buffer_free empty buffers, so this runs
        # whatever step failed.
        for buffer in (public_key, armor, key_file, verifying_key, signature):
            lib.vesk_buffer_free(ctypes.byref(buffer))
        lib.vesk_secret_key_free(secret_key)
        lib.vesk_signing_identity_free(identity)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except (OSError, VeskError) as error:
        print("vesk_demo:", error, file=sys.stderr)
        sys.exit(1)
