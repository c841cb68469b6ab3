"""Statuses become exceptions: one class per status, with the library's number and text."""

from __future__ import annotations

import os
import pickle
import re

import pytest

import vesk
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


def test_a_fault_in_the_library_arrives_as_internal_fault() -> None:
    # Every status the library gives for data arrives as its class in the corpus run
    # (test_corpus.py); a fault is no property of data.
    with pytest.raises(vesk.InternalFault) as caught:
        vesk.test_panic()
    assert caught.value.status == vesk.InternalFault.status


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
