"""The tool's text forms in Python: what `vesk encrypt -a` writes decrypts here, a signature made
here in the text form verifies with `vesk verify`, verifying keys as the tool prints them are
taken, and damaged forms are refused as strictly as the tool refuses them."""

from __future__ import annotations

import base64
import os
import subprocess
from pathlib import Path
from typing import Callable, Dict

import pytest

import vesk
from vesk import text

from conftest import PASSPHRASE

TOOL = Path(os.environ.get("VESK_TEST_BUILD_DIR", "")) / "tools" / "vesk" / "vesk"


@pytest.fixture
def tool(tmp_path: Path) -> Callable[..., subprocess.CompletedProcess]:
    if not TOOL.exists():
        pytest.fail(f"the vesk tool is missing at {TOOL} (VESK_TEST_BUILD_DIR names the build folder)")
    (tmp_path / "pass.txt").write_text(PASSPHRASE + "\n")

    def run(*args: object) -> subprocess.CompletedProcess:
        return subprocess.run([str(TOOL), *map(str, args)], cwd=tmp_path, capture_output=True)

    return run


def test_what_the_tool_writes_python_reads_and_back(tmp_path: Path, tool, key) -> None:
    # The tool encrypts to a key made here; the text form decrypts here, as str and as bytes.
    (tmp_path / "k.pub").write_text(vesk.armor(key.public_key))
    (tmp_path / "note.txt").write_bytes(b"a note for Python\n" * 50)
    assert tool("encrypt", "-a", "-r", "k.pub", "-o", "note.asc", "note.txt").returncode == 0
    written = (tmp_path / "note.asc").read_bytes()
    for given in (written, written.decode("ascii"), text.decode(written, text.ENCRYPTED_FILE)):
        with vesk.decrypt(given, key) as result:
            assert bytes(result.plaintext) == (tmp_path / "note.txt").read_bytes()
            assert result.file_name == "note.txt"
    # An identity made by the tool: its printed verifying key (Base64) is taken as it is, and a
    # signature made here in the text form verifies with the tool.
    made = tool("identity", "new", "-o", "me.id", "--passphrase-file", "pass.txt")
    assert made.returncode == 0, made.stderr
    printed = made.stdout.decode()
    with vesk.SigningIdentity.open((tmp_path / "me.id").read_bytes(), PASSPHRASE) as me:
        assert text.verifying_key_to_text(me.verifying_key) == printed.strip()
        signature = me.sign((tmp_path / "note.txt").read_bytes(), context=b"notes v1")
    (tmp_path / "note.sig").write_text(text.encode(signature, text.SIGNATURE))
    checked = tool("verify", "-k", printed.strip(), "--context", "notes v1", "note.txt", "note.sig")
    assert checked.returncode == 0, checked.stderr
    vesk.verify(printed, (tmp_path / "note.txt").read_bytes(), (tmp_path / "note.sig").read_text(),
                context=b"notes v1")
    # And the tool's own text-form signature verifies here.
    assert tool("sign", "-a", "-i", "me.id", "--passphrase-file", "pass.txt", "--context", "c", "-o", "t.sig",
                "note.txt").returncode == 0
    vesk.verify(printed, (tmp_path / "note.txt").read_bytes(), (tmp_path / "t.sig").read_bytes(), context=b"c")


def test_encode_writes_what_the_tool_writes(tmp_path: Path, tool, key) -> None:
    (tmp_path / "k.pub").write_text(vesk.armor(key.public_key))
    (tmp_path / "m").write_bytes(os.urandom(1000))
    assert tool("encrypt", "-a", "-r", "k.pub", "-o", "m.asc", "m").returncode == 0
    written = (tmp_path / "m.asc").read_text()
    # Python writes the same text for the same bytes, and the tool takes it.
    assert text.encode(text.decode(written, text.ENCRYPTED_FILE), text.ENCRYPTED_FILE) == written
    (tmp_path / "py.asc").write_text(text.encode(text.decode(written, text.ENCRYPTED_FILE), text.ENCRYPTED_FILE))
    seen = tool("inspect", "py.asc")
    assert seen.returncode == 0 and b"an encrypted file in the text form" in seen.stdout


SIGNATURE = base64.b64encode(bytes(range(256)) * 13 + bytes(45)).decode()
GOOD = "-----BEGIN VESK SIGNATURE-----\n" + "\n".join(SIGNATURE[i:i + 64] for i in range(0, len(SIGNATURE), 64)) + \
       "\n-----END VESK SIGNATURE-----\n"

# (case, the text, what the refusal says, or None when it is read)
FORMS: Dict[str, tuple] = {
    "as written": (GOOD, None),
    "CR LF and blank lines around": ("\r\n \r\n" + GOOD.replace("\n", "\r\n") + "\r\n\r\n", None),
    "quoted mail": ("".join("> " + l + "\n" for l in GOOD.splitlines()), "it is quoted"),
    "text before": ("Here:\n" + GOOD, "text stands before its BEGIN line"),
    "text after": (GOOD + "regards\n", "text after the END line"),
    "other label": (GOOD.replace("SIGNATURE", "ENCRYPTED FILE"), "it holds an encrypted file, not a signature"),
    "no END": (GOOD.rsplit("-----END", 1)[0], "no END line"),
    "long line": (GOOD.replace("\n", "", 2).replace("-----BEGIN VESK SIGNATURE-----", "-----BEGIN VESK SIGNATURE-----\n"),
                  "is longer than 64 characters"),
    "short line inside": (GOOD.replace(SIGNATURE[:64], SIGNATURE[:60], 1), "line 2 is shorter than 64 characters"),
    "a space inside": (GOOD.replace(SIGNATURE[64:68], SIGNATURE[64:66] + " " + SIGNATURE[67:68], 1),
                       "not canonical"),
}


@pytest.mark.parametrize("case", sorted(FORMS))
def test_text_forms_are_read_strictly(case: str) -> None:
    form, refused = FORMS[case]
    if refused is None:
        assert text.decode(form, text.SIGNATURE) == base64.b64decode(SIGNATURE)
        assert text.label_of(form) == text.SIGNATURE
        return
    with pytest.raises(vesk.MalformedInput) as caught:
        text.decode(form, text.SIGNATURE)
    assert "a damaged text form: " in str(caught.value) and refused in str(caught.value)


def test_verifying_key_texts(identity) -> None:
    printed = text.verifying_key_to_text(identity.verifying_key)
    assert text.verifying_key_from_text(" " + printed + "\n") == identity.verifying_key
    signature = identity.sign(b"m", context=b"c")
    vesk.verify(printed, b"m", signature, context=b"c")
    for bad, says in ((printed[:-4], "holds"), (printed + "=", "canonical"), ("not base64!", "canonical")):
        with pytest.raises(vesk.MalformedInput) as caught:
            text.verifying_key_from_text(bad)
        assert says in str(caught.value)
