"""Each family through the package once: arguments reach the right parameters, results come back
as Python values (bytes, ints, bools, str or None, named tuples)."""

from __future__ import annotations

from pathlib import Path

import pytest

import vesk
from conftest import IDENTITY_SEED, PASSPHRASE


def hashes(path: Path) -> list:
    return [bytes.fromhex(line) for line in path.read_text().split()]


def test_keys_and_armor(key) -> None:
    text = vesk.armor(key.public_key)
    assert isinstance(text, str) and len(text) == vesk.ARMOR_LEN
    assert vesk.dearmor(text) == key.public_key
    with pytest.raises(vesk.MalformedInput):
        vesk.dearmor(text.replace("A", "!", 1) if "A" in text else text[:-2] + "!\n")
    assert vesk.is_key_file(key.protect(PASSPHRASE)) is True
    assert vesk.is_key_file(key.public_key) is False


def test_an_identity_signs_and_decrypts() -> None:
    key_file = vesk.identity_generate(PASSPHRASE)
    assert len(key_file) == vesk.KEY_FILE_LEN
    with vesk.SigningIdentity.open(key_file, PASSPHRASE) as identity, vesk.SecretKey.open(
        key_file, PASSPHRASE
    ) as key:
        signature = identity.sign(b"message", context=b"notes v1")
        assert len(signature) == vesk.SIGNATURE_LEN
        vesk.verify(identity.verifying_key, b"message", signature, context=b"notes v1")
        with pytest.raises(vesk.AuthenticationFailed):
            vesk.verify(identity.verifying_key, b"message", signature, context=b"notes v2")
        with vesk.decrypt(vesk.encrypt(b"to me", [key.public_key]), key) as result:
            assert bytes(result.plaintext) == b"to me"
            assert result.file_name is None and result.content_type is None
    # A bare identity seed opens both ways too, without passphrase.
    with vesk.SecretKey.open(IDENTITY_SEED) as key:
        assert len(key.public_key) == vesk.PUBLIC_KEY_LEN


def test_several_recipients(key) -> None:
    others = [vesk.SecretKey.generate() for _ in range(3)]
    keys = [other.public_key for other in others]
    container = vesk.encrypt(bytearray(b"for all"), (keys[0], memoryview(keys[1]), key.public_key, keys[2]))
    for recipient in others + [key]:
        with vesk.decrypt(memoryview(container), recipient) as result:
            assert result.plaintext == b"for all"


def test_challenge_times_reach_the_library(identity) -> None:
    challenge = vesk.challenge_new("sign in to example.org", 1 << 40, 120)
    assert len(challenge) == 56 + len("sign in to example.org")
    answer = identity.answer(challenge)
    with vesk.SpentNonces() as spent:
        with pytest.raises(vesk.ChallengeExpired):
            spent.accept(challenge, answer, identity.verifying_key, now=(1 << 40) + 121)
        spent.accept(challenge, answer, identity.verifying_key, now=(1 << 40) + 120)


def test_identity_logs(records: Path) -> None:
    log = (records / "identity.log").read_bytes()
    recovery_key = (records / "recovery.key").read_bytes()
    binding = (records / "recovery.binding").read_bytes()
    pin = bytes.fromhex((records / "identity.pin").read_text())
    head = vesk.identity_head(log, recovery_key)
    assert isinstance(head, bytes) and len(head) == vesk.HASH_LEN
    assert vesk.identity_verify(log, recovery_key) == 2  # laptop and phone; the tablet was revoked
    assert vesk.identity_verify_pinned(log, binding, pin) == 2
    assert vesk.identity_trusts_device(log, recovery_key, (records / "laptop.key").read_bytes()) is True
    assert vesk.identity_trusts_device(log, recovery_key, (records / "tablet.key").read_bytes()) is False
    with pytest.raises(vesk.AuthenticationFailed):
        vesk.identity_verify_pinned(log, binding, bytes(vesk.HASH_LEN))


def test_epoch_keys(records: Path) -> None:
    log = (records / "identity.log").read_bytes()
    binding = (records / "recovery.binding").read_bytes()
    pin = bytes.fromhex((records / "identity.pin").read_text())
    chain = (records / "epochs.chain").read_bytes()
    epoch_binding = (records / "epochs.binding").read_bytes()
    assert vesk.epoch_verify(chain) == 3
    assert vesk.epoch_verify_bound(log, binding, pin, chain, epoch_binding) == 3
    keys = [vesk.epoch_public_key(chain, index) for index in range(3)]
    assert len(set(keys)) == 3 and all(len(k) == vesk.PUBLIC_KEY_LEN for k in keys)
    vesk.encrypt(b"to the latest epoch", [keys[-1]])
    with pytest.raises(vesk.InvalidArgument):
        vesk.epoch_public_key(chain, 3)


def test_transparency(records: Path) -> None:
    checkpoint = vesk.checkpoint_verify(
        (records / "checkpoint").read_bytes(), "example.com/test-log", (records / "log.pub").read_bytes()
    )
    assert isinstance(checkpoint, vesk.Checkpoint) and checkpoint.tree_size == 11
    size, root = checkpoint
    assert len(root) == vesk.HASH_LEN
    with pytest.raises(vesk.AuthenticationFailed):
        vesk.checkpoint_verify(
            (records / "checkpoint").read_bytes(), "example.com/other", (records / "log.pub").read_bytes()
        )

    leaf = bytes.fromhex((records / "leaf.hash").read_text())
    proof = hashes(records / "inclusion.proof")
    assert vesk.verify_inclusion(leaf, 6, size, proof, root) is None
    assert vesk.verify_inclusion(leaf, 6, size, b"".join(proof), root) is None
    with pytest.raises(vesk.AuthenticationFailed):
        vesk.verify_inclusion(leaf, 5, size, proof, root)

    old_root = bytes.fromhex((records / "old.root").read_text())
    consistency = hashes(records / "consistency.proof")
    assert vesk.verify_consistency(7, size, tuple(consistency), old_root, root) is None
    with pytest.raises(vesk.AuthenticationFailed):
        vesk.verify_consistency(7, size, consistency, root, old_root)


def test_version_comes_from_the_library() -> None:
    from vesk import _lib

    assert vesk.version() == vesk.__version__ == _lib.library().vesk_version().decode()
