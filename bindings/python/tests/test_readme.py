"""The README's Python blocks run as written, in order, in a folder holding the demo records."""

from __future__ import annotations

import os
import re
import shutil
from pathlib import Path

import pytest

README = Path(os.environ.get("VESK_TEST_README", Path(__file__).resolve().parents[3] / "README.md"))


def python_blocks() -> list:
    return re.findall(r"^```python\n(.*?)^```$", README.read_text(encoding="utf-8"), re.M | re.S)


def test_the_readme_python_blocks_run(records: Path, tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> None:
    blocks = python_blocks()
    assert len(blocks) >= 8, "the README's Python section lost its examples"
    shutil.copytree(records, tmp_path, dirs_exist_ok=True)
    monkeypatch.chdir(tmp_path)
    namespace: dict = {"__name__": "readme"}
    for number, block in enumerate(blocks, 1):
        code = compile(block, f"README.md python block {number}", "exec")
        exec(code, namespace)
    assert (tmp_path / "report.txt").read_bytes() == b"quarterly figures"
