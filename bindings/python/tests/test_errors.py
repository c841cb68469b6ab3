"""Statuses become exceptions: one class per status, with the library's number and text."""

from __future__ import annotations

import os
import pickle
import re

import pytest

import vesk
from conftest import PASSPHRASE
from vesk import _constants, _lib

CLASSES = [
    (1, vesk.InvalidArgument),
    (2, vesk.WrongPassphrase),
    (3, vesk.NotKeyFile),
    (4, vesk.AuthenticationFailed),
    (5, vesk.NoMatchingRecipient),
    (6, vesk.MalformedInput),
    (7, vesk.InputTooLarge),
    (8, vesk.ChallengeExpired),
    (9, vesk.ChallengeReplayed),
    (98, vesk.InternalFault),
    (99, vesk.InternalError),
]

VERIFYING_KEY = bytes(vesk.VERIFYING_KEY_LEN)
SIGNATURE = bytes(vesk.SIGNATURE_LEN)


def library_text(status: int) -> str:
    return _lib.library().vesk_error_message(status).decode()


def test_the_table_covers_every_failure_status() -> None:
    assert sorted(status for status, _ in CLASSES) == sorted(int(s) for s in vesk.Status if s)
    assert len({cls for _, cls in CLASSES}) == len(CLASSES)


@pytest.mark.parametrize("status, cls", CLASSES + [(42, vesk.VeskError), (-1, vesk.VeskError)])
def test_a_returned_status_raises_its_class(spy, status: int, cls: type) -> None:
    spy("vesk_verify_message", returns=status)
    with pytest.raises(vesk.VeskError) as caught:
        vesk.verify(VERIFYING_KEY, b"message", SIGNATURE, context=b"context")
    error = caught.value
    assert type(error) is cls
    assert error.status == status
    assert error.message == library_text(status)
    assert str(error) == f"verify: {library_text(status)}"
    copy = pickle.loads(pickle.dumps(error))
    assert type(copy) is cls and copy.status == status and str(copy) == str(error)


def test_success_raises_nothing(spy) -> None:
    calls = spy("vesk_verify_message", returns=0)
    assert vesk.verify(VERIFYING_KEY, b"message", SIGNATURE, context=b"context") is None
    assert len(calls) == 1


def test_invalid_argument_is_also_a_value_error() -> None:
    with pytest.raises(ValueError):
        vesk.armor(b"too short")


@pytest.fixture(scope="module")
def fresh_key_file(key) -> bytes:
    return key.protect(PASSPHRASE)


# Statuses the library really returns, through the package, one per reachable status.
def _answered_twice(identity) -> None:
    challenge = vesk.challenge_new("sign in", 100, 10)
    answer = identity.answer(challenge)
    with vesk.SpentNonces() as spent:
        spent.accept(challenge, answer, identity.verifying_key, now=105)
        spent.accept(challenge, answer, identity.verifying_key, now=106)


def _answered_late(identity) -> None:
    challenge = vesk.challenge_new("sign in", 100, 10)
    with vesk.SpentNonces() as spent:
        spent.accept(challenge, identity.answer(challenge), identity.verifying_key, now=111)


REAL = {
    "short passphrase": (lambda key, identity, key_file: key.protect("short"), vesk.InvalidArgument),
    "wrong passphrase": (
        lambda key, identity, key_file: vesk.SecretKey.open(key_file, PASSPHRASE + "!"),
        vesk.WrongPassphrase,
    ),
    "neither key file nor seed": (
        lambda key, identity, key_file: vesk.SigningIdentity.open(bytes(33)),
        vesk.NotKeyFile,
    ),
    "altered message": (
        lambda key, identity, key_file: vesk.verify(
            identity.verifying_key, b"noom", identity.sign(b"noon", context=b"c"), context=b"c"
        ),
        vesk.AuthenticationFailed,
    ),
    "foreign key": (
        lambda key, identity, key_file: vesk.decrypt(
            vesk.encrypt(b"x", [vesk.SecretKey.generate().public_key]), key
        ),
        vesk.NoMatchingRecipient,
    ),
    "not a container": (lambda key, identity, key_file: vesk.decrypt(b"garbage", key), vesk.MalformedInput),
    "expired": (lambda key, identity, key_file: _answered_late(identity), vesk.ChallengeExpired),
    "replayed": (lambda key, identity, key_file: _answered_twice(identity), vesk.ChallengeReplayed),
    "panic": (lambda key, identity, key_file: vesk.test_panic(), vesk.InternalFault),
}


@pytest.mark.parametrize("case", sorted(REAL))
def test_library_statuses_arrive_as_their_class(case: str, key, identity, fresh_key_file) -> None:
    call, cls = REAL[case]
    with pytest.raises(cls) as caught:
        call(key, identity, fresh_key_file)
    assert caught.value.status == cls.status


def _header_values():
    text = open(os.environ["VESK_TEST_HEADER"], encoding="utf-8").read()
    sizes = {name: int(value) for name, value in re.findall(r"#define VESK_(\w+) (\d+)u", text)}
    statuses = {name: int(value) for name, value in re.findall(r"\bVESK_(\w+) = (\d+)", text)}
    return sizes, statuses


SIZES, STATUSES = _header_values()


@pytest.mark.parametrize("name", sorted(SIZES))
def test_sizes_match_the_header(name: str) -> None:
    assert getattr(_constants, name) == SIZES[name]
    assert getattr(vesk, name) == SIZES[name]


def test_statuses_match_the_header() -> None:
    assert {s.name: int(s) for s in vesk.Status} == STATUSES
