#!/usr/bin/env python3
"""The vesk Python package in one script: keys, encryption, signatures.

    python3 vesk_demo.py [--library PATH/TO/libvesk.so.0]

Run it with the installed package (PYTHONPATH=$P/lib/python3/dist-packages), or from a checkout,
where it falls back to bindings/python and the release build's library. It makes two recipient
keys, protects one in a key file, encrypts to both and decrypts, shows a foreign key and an
altered container refused, then signs and verifies with a new identity.
"""

from __future__ import annotations

import argparse
import sys
from pathlib import Path

CHECKOUT = Path(__file__).resolve().parents[2]
try:
    import vesk
except ImportError:  # not installed: the package of this checkout
    sys.path.insert(0, str(CHECKOUT / "bindings" / "python"))
    import vesk

PASSPHRASE = "correct horse battery staple"  # a demo passphrase; a real program asks for it


def main() -> int:
    parser = argparse.ArgumentParser(description="vesk from Python")
    parser.add_argument("--library", help="path of libvesk.so.0, when the package does not find it")
    args = parser.parse_args()
    default = CHECKOUT / "build" / "release" / "src" / "libvesk.so.0"
    if args.library:
        vesk.load(args.library)
    elif default.exists():
        vesk.load(default)
    print("libvesk", vesk.version())

    # Two recipients; Alice keeps her key in a key file.
    with vesk.SecretKey.generate() as alice, vesk.SecretKey.generate() as bob:
        key_file = alice.protect(PASSPHRASE)
        print(vesk.armor(alice.public_key), end="")
        recipients = [alice.public_key, bob.public_key]

    message = b"The figures for the third quarter are attached."
    container = vesk.encrypt(message, recipients, file_name="q3.txt", content_type="text/plain")
    print(f"encrypted {len(message)} bytes to {len(recipients)} recipients: {len(container)} bytes")

    with vesk.SecretKey.open(key_file, PASSPHRASE) as alice:
        with vesk.decrypt(container, alice) as result:
            assert result.plaintext == message
            print(f"decrypted {result.file_name} ({result.content_type}): {bytes(result.plaintext).decode()}")

        altered = bytearray(container)
        altered[-1] ^= 1
        for what, data, key in (("a foreign key", container, vesk.SecretKey.generate()),
                                ("an altered container", altered, alice)):
            try:
                vesk.decrypt(data, key).close()
            except vesk.VeskError as error:
                print(f"{what} refused: {error.message} (status {error.status})")
            else:
                raise SystemExit(f"vesk_demo: {what} was accepted")

    # A signing identity, created inside a key file.
    identity_file = vesk.identity_generate(PASSPHRASE)
    context, note = b"example.org notes v1", b"We meet at noon."
    with vesk.SigningIdentity.open(identity_file, PASSPHRASE) as me:
        verifying_key = me.verifying_key
        signature = me.sign(note, context=context)
    vesk.verify(verifying_key, note, signature, context=context)
    print(f"signature of {len(signature)} bytes verified")
    try:
        vesk.verify(verifying_key, b"We meet at noom.", signature, context=context)
    except vesk.AuthenticationFailed as error:
        print("altered message refused:", error.message)
    else:
        raise SystemExit("vesk_demo: an altered message verified")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (ImportError, vesk.VeskError) as error:
        print("vesk_demo:", error, file=sys.stderr)
        sys.exit(1)
