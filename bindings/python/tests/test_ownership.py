"""Ownership: what holds library memory has one owner. No copy, pickle or raw pointer makes a
second one, and interpreter exit never frees memory that a view can still read."""

from __future__ import annotations

import copy
import gc
import os
import pickle
import subprocess
import sys
import textwrap
from typing import Any, Callable, Dict, Tuple

import pytest

import vesk
from vesk import _lib
from conftest import IDENTITY_SEED, LIBRARY

PLAINTEXT = b"one owner only " * 1000


def _decrypted() -> vesk.Decrypted:
    key = vesk.SecretKey.generate()
    return vesk.decrypt(vesk.encrypt(PLAINTEXT, [key.public_key]), key)


# kind -> (make one, the library function that releases it, what its release is called with)
OWNERS: Dict[str, Tuple[Callable[[], Any], str, Callable[[Any], Any]]] = {
    "SecretKey": (vesk.SecretKey.generate, "vesk_secret_key_free", lambda key: key._pointer),
    "SigningIdentity": (
        lambda: vesk.SigningIdentity.open(IDENTITY_SEED), "vesk_signing_identity_free", lambda i: i._pointer,
    ),
    "SpentNonces": (vesk.SpentNonces, "vesk_spent_nonces_free", lambda s: s._pointer),
    "Decrypted": (_decrypted, "vesk_buffer_free", lambda result: result._address),
}

COPIES: Dict[str, Callable[[Any], Any]] = {
    "copy": copy.copy,
    "deepcopy": copy.deepcopy,
    "deepcopy inside a list": lambda owner: copy.deepcopy([owner]),
    **{f"pickle protocol {p}": (lambda owner, p=p: pickle.dumps(owner, protocol=p))
       for p in range(pickle.HIGHEST_PROTOCOL + 1)},
}


def _released(call: Tuple[Any, ...]) -> Any:
    # A result record is recorded as (data, len); a handle as itself.
    return call[0][0] if isinstance(call[0], tuple) else call[0]


@pytest.mark.parametrize("how", sorted(COPIES))
@pytest.mark.parametrize("kind", sorted(OWNERS))
def test_an_owner_cannot_be_copied(kind: str, how: str, spy) -> None:
    make, free, released_as = OWNERS[kind]
    owner = make()
    frees = spy(free)
    with pytest.raises(TypeError, match=f"vesk.{kind} cannot be copied or pickled"):
        COPIES[how](owner)
    gc.collect()
    assert frees == []  # no half-made copy released anything
    # The original is untouched, and released once, by its one owner.
    expected = released_as(owner)
    if kind == "Decrypted":
        assert owner.plaintext == PLAINTEXT
    elif kind == "SigningIdentity":
        owner.sign(b"still mine", context=b"c")
    owner.close()
    gc.collect()
    assert [_released(call) for call in frees] == [expected]


# case -> a public constructor given an address
POINTERS: Dict[str, Callable[[], Any]] = {
    "SecretKey": lambda: vesk.SecretKey(0x12345),
    "SecretKey with a public key": lambda: vesk.SecretKey(0x12345, bytes(vesk.PUBLIC_KEY_LEN)),
    "SigningIdentity": lambda: vesk.SigningIdentity(0x12345),
    "SpentNonces": lambda: vesk.SpentNonces(0x12345),
    "Decrypted": lambda: vesk.Decrypted(_lib.VeskBuffer(0x12345, 64, 64), None, None),
}
FREES = ["vesk_secret_key_free", "vesk_signing_identity_free", "vesk_spent_nonces_free", "vesk_buffer_free"]


@pytest.mark.parametrize("case", sorted(POINTERS))
def test_no_public_constructor_takes_a_pointer(case: str, spy) -> None:
    # The fakes do not call the library: an address adopted by mistake is recorded, not freed.
    frees = [spy(name, returns=0) for name in FREES]
    with pytest.raises(TypeError):
        POINTERS[case]()
    gc.collect()
    assert frees == [[]] * len(FREES)


def test_spent_nonces_are_still_made_by_their_constructor(identity) -> None:
    challenge = vesk.challenge_new("sign in", 0, 10)
    with vesk.SpentNonces() as spent:
        spent.accept(challenge, identity.answer(challenge), identity.verifying_key, now=1)
        with pytest.raises(vesk.ChallengeReplayed):
            spent.accept(challenge, identity.answer(challenge), identity.verifying_key, now=1)


# What a program does with a plaintext view while the interpreter exits. Each script prints
# "done" as its last act, from the last code that runs before the interpreter goes.
EXITS = {
    # A daemon thread still hashing the plaintext of a result left open.
    "daemon thread, result open": """
        view = result.plaintext
        reading_in_a_daemon_thread(view)
        print("done")
    """,
    # The same with a result closed (and so wiped) before exit, the view still held.
    "daemon thread, result closed": """
        view = result.plaintext
        result.close()
        reading_in_a_daemon_thread(view)
        print("done")
    """,
    # An exit handler that runs after the package's own finds the memory still there, wiped.
    "read by a later exit handler": """
        view = result.plaintext
        assert view == bytes(range(256)) * (SIZE // 256)
        at_the_very_end.append(lambda: print("done" if not any(view) else "not wiped"))
    """,
}

PRELUDE = """
    import atexit, hashlib, sys, threading
    # Registered before the package's own exit handler, so it runs after it.
    at_the_very_end = []
    atexit.register(lambda: [then() for then in at_the_very_end])
    import vesk
    vesk.load(sys.argv[1])
    SIZE = 16 << 20
    key = vesk.SecretKey.generate()
    result = vesk.decrypt(vesk.encrypt(bytes(range(256)) * (SIZE // 256), [key.public_key]), key)

    def reading_in_a_daemon_thread(view):
        reading = threading.Event()
        def read():
            while True:
                hashlib.sha256(view).digest()  # runs without the GIL, as exit goes on
                reading.set()
        threading.Thread(target=read, daemon=True).start()
        reading.wait()
"""


@pytest.mark.parametrize("case", sorted(EXITS))
def test_exit_never_frees_a_viewed_plaintext(case: str) -> None:
    script = textwrap.dedent(PRELUDE) + textwrap.dedent(EXITS[case])
    # Whether the reader is caught in the middle depends on timing: a few runs make it likely.
    for _ in range(3):
        run = subprocess.run([sys.executable, "-c", script, LIBRARY], capture_output=True, text=True,
                             env=os.environ, timeout=120)
        assert (run.returncode, run.stdout, run.stderr) == (0, "done\n", "")
