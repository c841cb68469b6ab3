#!/usr/bin/env python3
"""Times the package against the bare library call in the same process.

    python3 bench.py [--library PATH] [--rounds N] [--mib M]

For each operation the bare call is the library function called through ctypes plus the
release of its results (vesk_buffer_free); the package's call is what a user writes. Rounds
alternate between the two, and the figures are medians. Goals: encrypting and decrypting 64 MiB
within 1.25x of the bare call, signing 1 KiB within 1.1x.
"""

from __future__ import annotations

import argparse
import ctypes
import os
import statistics
import sys
import time
from pathlib import Path
from typing import Callable, List

sys.path.insert(0, str(Path(__file__).resolve().parent))
import vesk  # noqa: E402
from vesk import _lib  # noqa: E402


def timed(function: Callable[[], object]) -> float:
    start = time.perf_counter()
    function()
    return time.perf_counter() - start


def compare(
    name: str, goal: float, bare: Callable[[], object], package: Callable[[], object], rounds: int
) -> bool:
    bare()
    package()  # warm up both paths (page cache, lazy setup)
    bare_times: List[float] = []
    package_times: List[float] = []
    for _ in range(rounds):
        bare_times.append(timed(bare))
        package_times.append(timed(package))
    bare_median = statistics.median(bare_times)
    package_median = statistics.median(package_times)
    ratio = package_median / bare_median
    verdict = "ok" if ratio <= goal else "over the goal"
    print(f"{name:<22} bare {bare_median * 1e3:9.3f} ms   package {package_median * 1e3:9.3f} ms   "
          f"ratio {ratio:5.3f} (goal {goal}, {verdict})")
    return ratio <= goal


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--library", help="path of libvesk.so (default: found as the package finds it)")
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("--mib", type=int, default=64, help="size of the encrypted data in MiB")
    args = parser.parse_args()
    if args.library:
        vesk.load(args.library)
    lib = _lib.library()
    print(f"libvesk {vesk.version()} from {_lib.loaded_path()}, Python {sys.version.split()[0]}, "
          f"{args.rounds} rounds")

    data = os.urandom(args.mib << 20)
    key = vesk.SecretKey.generate()
    recipient = key.public_key
    container = vesk.encrypt(data, [recipient])
    handle = key._acquire()  # the bare calls use the same key; given back at the end

    def bare_encrypt() -> None:
        out = _lib.VeskBuffer()
        assert lib.vesk_encrypt(data, len(data), recipient, 1, None, None, ctypes.byref(out)) == 0
        lib.vesk_buffer_free(ctypes.byref(out))

    def package_encrypt() -> None:
        vesk.encrypt(data, [recipient])

    def bare_decrypt() -> None:
        plain, name, kind = _lib.VeskBuffer(), _lib.VeskBuffer(), _lib.VeskBuffer()
        status = lib.vesk_decrypt(container, len(container), handle, ctypes.byref(plain),
                                  ctypes.byref(name), ctypes.byref(kind))
        assert status == 0
        for buffer in (plain, name, kind):
            lib.vesk_buffer_free(ctypes.byref(buffer))

    def package_decrypt() -> None:
        with vesk.decrypt(container, key):
            pass

    seed = bytes(range(32))
    identity = vesk.SigningIdentity.open(seed)
    identity_handle = identity._acquire()
    message = os.urandom(1024)
    context = b"bench context"

    def bare_sign() -> None:
        out = _lib.VeskBuffer()
        status = lib.vesk_sign_message(identity_handle, context, len(context), message, len(message),
                                       ctypes.byref(out))
        assert status == 0
        lib.vesk_buffer_free(ctypes.byref(out))

    def package_sign() -> None:
        identity.sign(message, context=context)

    ok = compare(f"encrypt {args.mib} MiB", 1.25, bare_encrypt, package_encrypt, args.rounds)
    ok &= compare(f"decrypt {args.mib} MiB", 1.25, bare_decrypt, package_decrypt, args.rounds)
    ok &= compare("sign 1 KiB", 1.1, bare_sign, package_sign, args.rounds * 20)
    identity._release()
    key._release()
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
