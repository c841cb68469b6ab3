"""What the packaging tests share: the checkout, the release build, and running commands."""

import os
import subprocess
from pathlib import Path
from typing import Dict, List, Optional

import pytest

SOURCE = Path(os.environ["VESK_SOURCE_DIR"])
BUILD = Path(os.environ["VESK_BUILD_DIR"])
TOOL = Path(os.environ["VESK_BIN"])


def run(command: List[str], cwd: Optional[Path] = None, env: Optional[Dict[str, str]] = None,
        input: Optional[bytes] = None) -> str:
    """Runs a command that must succeed; its standard output as text."""
    done = subprocess.run([str(c) for c in command], cwd=cwd, env=env, input=input,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if done.returncode != 0:
        raise AssertionError(f"{' '.join(map(str, command))} exited {done.returncode}:\n"
                             f"{done.stdout.decode(errors='replace')}\n{done.stderr.decode(errors='replace')}")
    return done.stdout.decode()


def clean_env(**extra: str) -> Dict[str, str]:
    """The environment without anything that would find the build tree's library or package."""
    env = {k: v for k, v in os.environ.items() if k not in ("LD_LIBRARY_PATH", "PYTHONPATH", "VESK_LIBRARY")}
    env.update(extra)
    return env


@pytest.fixture
def encrypted(tmp_path: Path) -> Dict[str, Path]:
    """A key file and a file the build's tool encrypted to it, in a folder outside the checkout."""
    folder = tmp_path / "elsewhere"
    folder.mkdir()
    passphrase = folder / "passphrase"
    passphrase.write_text("packaging test passphrase\n")
    run([TOOL, "keygen", "-o", folder / "alice.key", "--passphrase-file", passphrase, "--public-out",
         folder / "alice.pub"], cwd=folder)
    (folder / "note.txt").write_bytes(b"a note sealed by the tool\n" * 100)
    run([TOOL, "encrypt", "-r", folder / "alice.pub", "-o", folder / "note.vesk", folder / "note.txt"], cwd=folder)
    return {"folder": folder, "key": folder / "alice.key", "passphrase": passphrase,
            "plain": folder / "note.txt", "sealed": folder / "note.vesk"}


# Decrypts the sealed file with the Python package and prints where the library came from.
DECRYPT_WITH_PYTHON = """
import sys, vesk, vesk._lib
key = vesk.SecretKey.open(open(sys.argv[1], "rb").read(), open(sys.argv[2]).read().rstrip("\\n"))
with vesk.decrypt(open(sys.argv[3], "rb").read(), key) as result:
    assert bytes(result.plaintext) == open(sys.argv[4], "rb").read()
    assert result.file_name == "note.txt", result.file_name
print(vesk._lib.loaded_path())
"""
