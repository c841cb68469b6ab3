"""Runs the package against the library of the build tree (ctest sets the environment)."""

from __future__ import annotations

import os
from pathlib import Path
from typing import Any, Callable, List, Tuple, Type

import pytest

import vesk
from vesk import _lib


def _environment(name: str) -> str:
    value = os.environ.get(name)
    if not value:
        pytest.exit(f"{name} is not set: these tests run through ctest in a build tree", returncode=4)
    return value


LIBRARY = _environment("VESK_TEST_LIBRARY")
vesk.load(LIBRARY)

PASSPHRASE = "correct horse battery staple"
IDENTITY_SEED = bytes(range(32))


# A call that fails, given a key and an identity; the exception it raises; what its message says.
Refusal = Tuple[Callable[[Any, Any], object], Type[BaseException], str]


def refused(case: Refusal, key: vesk.SecretKey, identity: vesk.SigningIdentity) -> BaseException:
    """The exception of a case's call, once its class and its message are as the case says."""
    call, cls, says = case
    with pytest.raises(cls) as caught:
        call(key, identity)
    assert says in str(caught.value)
    return caught.value


@pytest.fixture(scope="session")
def records() -> Path:
    """Folder of demo records: identity log, epoch chain, checkpoint and proofs."""
    return Path(_environment("VESK_TEST_RECORDS"))


@pytest.fixture(scope="session")
def key() -> vesk.SecretKey:
    return vesk.SecretKey.generate()


@pytest.fixture(scope="session")
def identity() -> vesk.SigningIdentity:
    return vesk.SigningIdentity.open(IDENTITY_SEED)


@pytest.fixture
def spy(monkeypatch: pytest.MonkeyPatch) -> Callable[..., List[Tuple]]:
    """spy(name, returns=None, before=None) replaces one library function for the test: every
    call's arguments are recorded in the returned list (a result record as (data, len)),
    ``before`` runs first, and the real function is called unless ``returns`` gives the result."""
    library = _lib.library()

    def install(name: str, returns: object = None, before: Callable[[], None] = None) -> List[Tuple]:
        real = getattr(library, name)
        calls: List[Tuple] = []

        def fake(*args: object) -> object:
            # A result record is emptied by the real call: keep what it held.
            calls.append(tuple((a.data, a.len) if isinstance(a, _lib.VeskBuffer) else a for a in args))
            if before is not None:
                before()
            return returns if returns is not None else real(*args)

        monkeypatch.setattr(library, name, fake)
        return calls

    return install
