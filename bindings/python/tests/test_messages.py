"""What a failure says: the call, the argument and the likely cause where the package can tell;
one exception for a key file opened without its passphrase; integers the C types cannot hold
refused before any call; the proof functions by keyword only."""

from __future__ import annotations

from typing import Any, Callable, Dict, Tuple

import pytest

import vesk

from conftest import PASSPHRASE, Refusal, refused

HASH = bytes(32)

# case: (the call, given a key and an identity; the exception; what its message says)
EXPLAINED: Dict[str, Refusal] = {
    "short new passphrase": (
        lambda k, i: k.protect("short"), vesk.InvalidArgument,
        "SecretKey.protect: passphrase: 5 characters, fewer than the 8 a key file needs (invalid argument)"),
    # Eight code points as given, seven once composed: the library counts the composed form.
    "short once composed": (
        lambda k, i: vesk.identity_generate("cafe\u0301xyz"), vesk.InvalidArgument,
        "identity_generate: passphrase: 7 characters, fewer than the 8"),
    "reserved context": (
        lambda k, i: i.sign(b"m", context=b"VESK/x"), vesk.InvalidArgument,
        "SigningIdentity.sign: context b'VESK/x' begins with VESK/, which the library reserves"),
    "epoch past the chain": (
        lambda k, i: vesk.epoch_public_key(RECORDS["chain"], 3), vesk.InvalidArgument,
        "epoch_public_key: index 3 is past the chain, which has 3 epochs (0..2)"),
}

# case: (the metadata encrypt is given; what its refusal, MalformedInput, says)
BAD_METADATA: Dict[str, Tuple[Dict[str, str], str]] = {
    "file name with a path": (
        {"file_name": "../x"}, "encrypt: file_name '../x' cannot be stored: '/', which no portable file name holds"),
    "device name as file name": ({"file_name": "con.txt"}, "a device name on some systems"),
    "file name ending in a dot": ({"file_name": "notes."}, "ends in a space or a dot"),
    "content type with a tab": (
        {"content_type": "text/\tplain"},
        "content_type 'text/\\tplain' cannot be stored: it must be 1 to 255 printable ASCII characters"),
}


def _encrypting(metadata: Dict[str, str]) -> Callable[[Any, Any], object]:
    """The call that encrypts to the key with ``metadata``."""
    return lambda k, i: vesk.encrypt(b"x", [k.public_key], **metadata)


EXPLAINED.update(
    (case, (_encrypting(metadata), vesk.MalformedInput, says)) for case, (metadata, says) in BAD_METADATA.items()
)

RECORDS: Dict[str, bytes] = {}


@pytest.fixture(autouse=True)
def demo_records(records) -> None:
    RECORDS["chain"] = (records / "epochs.chain").read_bytes()


@pytest.mark.parametrize("case", sorted(EXPLAINED))
def test_failures_name_their_cause(case: str, key, identity) -> None:
    refused(EXPLAINED[case], key, identity)


def test_a_key_file_without_its_passphrase_is_one_exception_from_both_opens(key, identity) -> None:
    """The library gives WrongPassphrase through one call and InvalidArgument through the other;
    the package raises PassphraseRequired from both, still an instance of what the library gave."""
    identity_file = vesk.identity_generate(PASSPHRASE)
    for open_, data, status, cls in (
        (vesk.SecretKey.open, key.protect(PASSPHRASE), vesk.Status.WRONG_PASSPHRASE, vesk.WrongPassphrase),
        (vesk.SecretKey.open, identity_file, vesk.Status.WRONG_PASSPHRASE, vesk.WrongPassphrase),
        (vesk.SigningIdentity.open, identity_file, vesk.Status.INVALID_ARGUMENT, vesk.InvalidArgument),
    ):
        with pytest.raises(vesk.PassphraseRequired) as caught:
            open_(data)
        assert isinstance(caught.value, cls) and caught.value.status == status
        assert "data is a key file, and no passphrase was given to open it" in str(caught.value)
    # A wrong passphrase is not that.
    with pytest.raises(vesk.WrongPassphrase) as caught:
        vesk.SecretKey.open(identity_file, "not the passphrase")
    assert not isinstance(caught.value, vesk.PassphraseRequired)


# (case, the call) for integers the C types cannot hold
OVERFLOWS: Dict[str, Callable[[], object]] = {
    "status past int32": lambda: vesk.error_message(2 ** 40),
    "status below int32": lambda: vesk.error_message(-(2 ** 31) - 1),
    "negative time": lambda: vesk.challenge_new("p", -1, 1),
    "time past 64 bits": lambda: vesk.challenge_new("p", 0, 1 << 64),
    "negative epoch": lambda: vesk.epoch_public_key(b"", -1),
    "tree size past 64 bits": lambda: vesk.verify_inclusion(leaf_hash=HASH, leaf_index=0, tree_size=1 << 64,
                                                            proof=b"", root=HASH),
    "negative old size": lambda: vesk.verify_consistency(old_size=-1, new_size=1, proof=b"", old_root=HASH,
                                                         new_root=HASH),
    "clock past 64 bits": lambda: vesk.SpentNonces().accept(b"", bytes(vesk.SIGNATURE_LEN),
                                                            bytes(vesk.VERIFYING_KEY_LEN), now=1 << 64),
}


@pytest.mark.parametrize("case", sorted(OVERFLOWS))
def test_integers_out_of_range_overflow_before_any_call(case: str, spy) -> None:
    calls = [spy(name) for name in ("vesk_error_message", "vesk_challenge_new", "vesk_epoch_public_key",
                                    "vesk_transparency_verify_inclusion", "vesk_transparency_verify_consistency",
                                    "vesk_challenge_accept")]
    with pytest.raises(OverflowError):
        OVERFLOWS[case]()
    assert not any(calls), "the library was called"
    assert vesk.error_message(2 ** 31 - 1) == "internal error"


def test_proofs_take_keywords_and_say_so_when_given_positions() -> None:
    for call, shown in (
        (lambda: vesk.verify_inclusion(HASH, 0, 1, b"", HASH),  # type: ignore[misc]
         "vesk.verify_inclusion(leaf_hash=..., leaf_index=..., tree_size=..., proof=..., root=...)"),
        (lambda: vesk.verify_consistency(1, 1, b"", HASH, HASH),  # type: ignore[misc]
         "vesk.verify_consistency(old_size=..., new_size=..., proof=..., old_root=..., new_root=...)"),
    ):
        with pytest.raises(TypeError) as caught:
            call()
        assert "takes keyword arguments only: " + shown in str(caught.value)
    # A tree of one leaf, whose root is the leaf: the empty proof proves it.
    assert vesk.verify_inclusion(leaf_hash=HASH, leaf_index=0, tree_size=1, proof=b"", root=HASH) is None
    with pytest.raises(vesk.AuthenticationFailed):
        vesk.verify_inclusion(leaf_hash=HASH, leaf_index=0, tree_size=2, proof=b"", root=HASH)
    assert vesk.verify_consistency(old_size=1, new_size=1, proof=[], old_root=HASH, new_root=HASH) is None
