"""vesk inspect names every kind of vesk file, in either form, without a key; anything else is not
a vesk file."""

import base64

import pytest

from conftest import run_vesk

PASS = ["--passphrase-file", "pass.txt"]


def make_files(w):
    run_vesk(w, "encrypt", "-r", "alice.pub", "-o", "x.vesk", "msg.txt")
    run_vesk(w, "encrypt", "-a", "-r", "alice.pub", "-o", "x.asc", "msg.txt")
    run_vesk(w, "sign", "-i", "me.id", *PASS, "--context", "c", "msg.txt")
    run_vesk(w, "sign", "-a", "-i", "me.id", *PASS, "--context", "c", "-o", "msg.asc", "msg.txt")
    raw = base64.b64decode((w / "me.pub").read_text())
    (w / "me.raw").write_bytes(raw)
    # An Ed25519 half that is no curve point: the key cannot decode.
    (w / "broken.raw").write_bytes(b"\xff" * 31 + b"\x7f" + raw[32:])
    (w / "seed").write_bytes(bytes(range(32)))
    (w / "prelude.vesk").write_bytes((w / "x.vesk").read_bytes()[:12] + b"\xff\xff\xff\xff")
    (w / "v9.key").write_bytes((w / "alice.key").read_bytes()[:8] + b"\x09" + (w / "alice.key").read_bytes()[9:])


# (file, exit code, what inspect says)
FILES = [
    ("x.vesk", 0, "x.vesk: an encrypted file, format 1.0, "),
    ("x.asc", 0, "x.asc: an encrypted file in the text form, format 1.0, "),
    ("msg.txt.sig", 0, "msg.txt.sig: a signature (told by its size alone)"),
    ("msg.asc", 0, "msg.asc: a signature in the text form"),
    ("me.pub", 0, "me.pub: a verifying key (Base64)"),
    ("me.raw", 0, "me.raw: a verifying key (raw bytes)"),
    ("alice.key", 0, "alice.key: a vesk key file, version 2, holding a recipient secret key (Argon2id 19456 KiB, "
                     "2 passes, 1 lane)"),
    ("me.id", 0, "me.id: a vesk key file, version 2, holding an identity"),
    ("alice.pub", 0, "alice.pub: an armored recipient public key"),
    ("seed", 0, "seed: 32 bytes: opens as a bare, unprotected identity seed"),
    ("broken.raw", 3, "broken.raw: a verifying key that does not decode"),
    ("prelude.vesk", 3, "prelude.vesk: an encrypted file, but its prelude is damaged"),
    ("v9.key", 0, "v9.key: a vesk key file of a version or layout this vesk does not read (version byte 9"),
    ("msg.txt", 3, "msg.txt: not a vesk file"),
]


@pytest.mark.parametrize("name,code,says", FILES, ids=[f[0] for f in FILES])
def test_inspect(work, name, code, says):
    make_files(work)
    r = run_vesk(work, "inspect", name)
    assert r.code == code, r.err
    assert says in (r.text if code == 0 else r.err)
    # Standard input is told apart the same way.
    r = run_vesk(work, "inspect", "-", stdin=(work / name).read_bytes())
    assert r.code == code
    assert says.replace(name, "standard input", 1) in (r.text if code == 0 else r.err)


def test_inspect_reports_the_prelude(work):
    make_files(work)
    size = (work / "x.vesk").stat().st_size
    header = int.from_bytes((work / "x.vesk").read_bytes()[12:16], "big")
    r = run_vesk(work, "inspect", "x.vesk")
    assert f"{size} bytes with a header block of {header} bytes, not signed" in r.text
