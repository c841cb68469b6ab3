"""Finding the library: installed beside the package, named by vesk.load(), or a clear error."""

from __future__ import annotations

import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import vesk
from conftest import LIBRARY

PACKAGE = Path(vesk.__file__).resolve().parent


def run_python(code: str, *, path: Path, cwd: Path) -> subprocess.CompletedProcess:
    environment = {k: v for k, v in os.environ.items() if k not in ("LD_LIBRARY_PATH", "PYTHONPATH")}
    environment["PYTHONPATH"] = str(path)
    return subprocess.run(
        [sys.executable, "-c", code], cwd=cwd, env=environment, capture_output=True, text=True, timeout=120
    )


@pytest.fixture(scope="module")
def prefix(tmp_path_factory: pytest.TempPathFactory) -> Path:
    prefix = tmp_path_factory.mktemp("install") / "prefix"
    subprocess.run(
        [os.environ["VESK_TEST_CMAKE"], "--install", os.environ["VESK_TEST_BUILD_DIR"],
         "--prefix", str(prefix)],
        check=True, capture_output=True, timeout=300,
    )
    return prefix


SMOKE = """
import vesk
from vesk import _lib
with vesk.SecretKey.generate() as key:
    with vesk.decrypt(vesk.encrypt(b"installed", [key.public_key]), key) as result:
        assert bytes(result.plaintext) == b"installed"
print(vesk.__version__, _lib.loaded_path())
"""


def test_the_installed_package_imports_from_any_folder(prefix: Path, tmp_path: Path) -> None:
    packages = prefix / "lib" / "python3" / "dist-packages"
    assert (packages / "vesk" / "py.typed").is_file()
    done = run_python(SMOKE, path=packages, cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    version, loaded = done.stdout.split()
    assert version == vesk.version()
    assert Path(loaded).is_relative_to(prefix.resolve())


def test_a_moved_prefix_still_finds_its_library(prefix: Path, tmp_path: Path) -> None:
    moved = tmp_path / "elsewhere"
    shutil.copytree(prefix, moved, symlinks=True)
    done = run_python(SMOKE, path=moved / "lib" / "python3" / "dist-packages", cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    assert Path(done.stdout.split()[1]).is_relative_to(moved.resolve())


def _system_loader_finds_one() -> bool:
    # Asked in a fresh process: this one has loaded the build tree's library under that name.
    done = run_python("import ctypes; ctypes.CDLL('libvesk.so.0')", path=PACKAGE.parent, cwd=PACKAGE)
    return done.returncode == 0


@pytest.fixture
def bare_package(tmp_path: Path) -> Path:
    """A copy of the package with no library beside it."""
    ignore = shutil.ignore_patterns("__pycache__", "_library_path")
    shutil.copytree(PACKAGE, tmp_path / "site" / "vesk", ignore=ignore)
    return tmp_path / "site"


@pytest.mark.skipif(_system_loader_finds_one(), reason="a libvesk.so.0 is installed on this system")
def test_no_library_is_a_clear_import_error(bare_package: Path, tmp_path: Path) -> None:
    code = """
import vesk
print(hasattr(vesk, "__version__"))  # help() and the like must still work
try:
    vesk.SecretKey.generate()
except ImportError as error:
    print(type(error).__name__, error)
"""
    done = run_python(code, path=bare_package, cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    missing, error = done.stdout.split("\n", 1)
    assert missing == "False"
    assert error.startswith("LibraryNotFoundError vesk: cannot find the library libvesk.so.0")
    assert "vesk.load(" in error


def test_load_names_the_library(bare_package: Path, tmp_path: Path) -> None:
    code = f"""
import vesk
from vesk import _lib
vesk.load({LIBRARY!r})
vesk.load({LIBRARY!r})  # the same file again: nothing happens
print(vesk.version(), _lib.loaded_path())
try:
    vesk.load({str(tmp_path / "other.so")!r})
except RuntimeError as error:
    print("refused:", error)
"""
    done = run_python(code, path=bare_package, cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert lines[0] == f"{vesk.version()} {os.path.realpath(LIBRARY)}"
    assert lines[1].startswith("refused: vesk: the library is already loaded from")


def test_load_refuses_a_file_that_is_not_the_library(bare_package: Path, tmp_path: Path) -> None:
    code = f"""
import ctypes.util, vesk
# A file that is not there, and a library that is not this one.
for path in ({str(tmp_path / "missing.so")!r}, ctypes.util.find_library("m")):
    try:
        vesk.load(path)
    except ImportError as error:
        print(type(error).__name__)
"""
    done = run_python(code, path=bare_package, cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == ["LibraryNotFoundError", "LibraryNotFoundError"]
