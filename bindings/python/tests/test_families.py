"""Each family through the package once: arguments reach the right parameters, results come back
as Python values (bytes, ints, bools, str or None, named tuples). What each export gives for data
is checked case by case in test_corpus.py."""

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


def test_proofs_as_bytes_or_as_sequences_of_hashes(records: Path) -> None:
    checkpoint = vesk.checkpoint_verify(
        (records / "checkpoint").read_bytes(), "example.com/test-log", (records / "log.pub").read_bytes()
    )
    assert isinstance(checkpoint, vesk.Checkpoint) and checkpoint.tree_size == 11
    size, root = checkpoint
    leaf = bytes.fromhex((records / "leaf.hash").read_text())
    proof = hashes(records / "inclusion.proof")
    assert vesk.verify_inclusion(leaf_hash=leaf, leaf_index=6, tree_size=size, proof=proof, root=root) is None
    assert vesk.verify_inclusion(leaf_hash=leaf, leaf_index=6, tree_size=size, proof=b"".join(proof), root=root) is None
    old_root = bytes.fromhex((records / "old.root").read_text())
    consistency = hashes(records / "consistency.proof")
    assert vesk.verify_consistency(old_size=7, new_size=size, proof=tuple(consistency), old_root=old_root,
                                   new_root=root) is None
    with pytest.raises(vesk.InvalidArgument):
        vesk.verify_consistency(old_size=7, new_size=size, proof=consistency + [b"short"], old_root=old_root,
                                new_root=root)


def test_version_comes_from_the_library() -> None:
    from vesk import _lib

    assert vesk.version() == vesk.__version__ == _lib.library().vesk_version().decode()
