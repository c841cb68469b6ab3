"""Lifetimes: decrypted plaintexts and handles are wiped and released exactly once, never early."""

from __future__ import annotations

import gc
import threading
import tracemalloc

import pytest

import vesk
from conftest import IDENTITY_SEED, PASSPHRASE

SIZE = 16 << 20
PLAINTEXT = bytes(range(251)) * (SIZE // 251)  # a length no other result here has


@pytest.fixture(scope="module")
def container(key) -> bytes:
    return vesk.encrypt(PLAINTEXT, [key.public_key], file_name="data.bin")


def plaintext_frees(calls) -> list:
    return [call for call in calls if call[0][1] == len(PLAINTEXT)]


def _close(resource) -> None:
    resource.close()


def _with(resource) -> None:
    with resource as entered:
        assert entered is resource


ENDINGS = {"close": _close, "with": _with, "collection": lambda resource: None}


@pytest.mark.parametrize("ending", sorted(ENDINGS))
def test_a_plaintext_is_released_once(ending: str, container, key, spy) -> None:
    frees = spy("vesk_buffer_free")

    def use_and_end() -> None:
        result = vesk.decrypt(container, key)
        assert result.plaintext == PLAINTEXT and result.file_name == "data.bin"
        ENDINGS[ending](result)
        if ending != "collection":
            assert result.closed
            with pytest.raises(ValueError, match="closed"):
                result.plaintext
            result.close()  # twice is harmless

    use_and_end()
    gc.collect()
    assert len(plaintext_frees(frees)) == 1


def test_a_view_keeps_the_plaintext_valid_and_close_wipes_it(container, key, spy) -> None:
    frees = spy("vesk_buffer_free")
    result = vesk.decrypt(container, key)
    view = memoryview(result.plaintext)
    part = result.plaintext[1000:2000]
    result.close()
    assert plaintext_frees(frees) == []  # still viewed: not released
    assert view.tobytes() == bytes(SIZE - SIZE % 251)  # but wiped at close
    assert part.tobytes() == bytes(1000)
    del view
    assert plaintext_frees(frees) == []
    del part
    gc.collect()
    assert len(plaintext_frees(frees)) == 1


def test_a_view_outlives_the_collected_result(container, key, spy) -> None:
    frees = spy("vesk_buffer_free")
    view = vesk.decrypt(container, key).plaintext
    gc.collect()
    assert view == PLAINTEXT
    assert plaintext_frees(frees) == []
    del view
    gc.collect()
    assert len(plaintext_frees(frees)) == 1


def test_the_plaintext_is_not_copied(container, key) -> None:
    tracemalloc.start()
    try:
        with vesk.decrypt(container, key) as result:
            view = memoryview(result.plaintext)
            assert view.readonly and view.format == "B" and len(view) == len(result) == len(PLAINTEXT)
            assert view[:3].tobytes() == PLAINTEXT[:3] and view[-1] == PLAINTEXT[-1]
            _, without_copy = tracemalloc.get_traced_memory()
            copy = bytes(result.plaintext)
            _, with_copy = tracemalloc.get_traced_memory()
            del view
    finally:
        tracemalloc.stop()
    assert copy == PLAINTEXT
    assert without_copy < SIZE // 16
    assert with_copy >= SIZE


def test_an_empty_plaintext(key) -> None:
    with vesk.decrypt(vesk.encrypt(b"", [key.public_key]), key) as result:
        assert bytes(result.plaintext) == b"" and len(result) == 0


HANDLES = {
    "SecretKey": (vesk.SecretKey.generate, "vesk_secret_key_free"),
    "SigningIdentity": (lambda: vesk.SigningIdentity.open(IDENTITY_SEED), "vesk_signing_identity_free"),
    "SpentNonces": (vesk.SpentNonces, "vesk_spent_nonces_free"),
}


@pytest.mark.parametrize("ending", sorted(ENDINGS))
@pytest.mark.parametrize("kind", sorted(HANDLES))
def test_a_handle_is_released_once(kind: str, ending: str, spy) -> None:
    make, free = HANDLES[kind]
    frees = spy(free)

    def use_and_end() -> int:
        handle = make()
        pointer = handle._pointer
        ENDINGS[ending](handle)
        if ending != "collection":
            assert handle.closed
            handle.close()
        return pointer

    pointer = use_and_end()
    gc.collect()
    assert frees == [(pointer,)]


USES = {
    "public key": (vesk.SecretKey.generate, lambda key: key.public_key),
    "protect": (vesk.SecretKey.generate, lambda key: key.protect(PASSPHRASE)),
    "decrypt": (vesk.SecretKey.generate, lambda key: vesk.decrypt(b"container", key)),
    "verifying key": (lambda: vesk.SigningIdentity.open(IDENTITY_SEED), lambda i: i.verifying_key),
    "sign": (lambda: vesk.SigningIdentity.open(IDENTITY_SEED), lambda i: i.sign(b"m", context=b"c")),
    "answer": (
        lambda: vesk.SigningIdentity.open(IDENTITY_SEED),
        lambda i: i.answer(vesk.challenge_new("p", 0, 1)),
    ),
    "accept": (
        vesk.SpentNonces,
        lambda s: s.accept(b"c", bytes(vesk.SIGNATURE_LEN), bytes(vesk.VERIFYING_KEY_LEN), now=0),
    ),
}


@pytest.mark.parametrize("use", sorted(USES))
def test_use_after_close_raises(use: str) -> None:
    make, call = USES[use]
    handle = make()
    handle.close()
    with pytest.raises(ValueError, match=f"{type(handle).__name__} is closed"):
        call(handle)


def test_closing_during_a_call_releases_after_it(spy) -> None:
    identity = vesk.SigningIdentity.open(IDENTITY_SEED)
    verifying_key = identity.verifying_key
    frees = spy("vesk_signing_identity_free")
    seen_during_call = []

    def close_meanwhile() -> None:  # as another thread would
        identity.close()
        seen_during_call.append(len(frees))

    spy("vesk_sign_message", before=close_meanwhile)
    signature = identity.sign(b"message", context=b"c")
    assert seen_during_call == [0]
    assert len(frees) == 1
    vesk.verify(verifying_key, b"message", signature, context=b"c")
    with pytest.raises(ValueError):
        identity.sign(b"message", context=b"c")


def test_threads_share_an_identity(identity) -> None:
    expected = identity.sign(PLAINTEXT[:1 << 20], context=b"threads")
    results = []

    def sign() -> None:
        for _ in range(3):
            results.append(identity.sign(PLAINTEXT[:1 << 20], context=b"threads"))

    threads = [threading.Thread(target=sign) for _ in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == [expected] * 12
