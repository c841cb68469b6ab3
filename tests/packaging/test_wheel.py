"""The wheel: built from the release build, installed into a fresh virtual environment, used from
a folder outside the checkout with nothing else on the machine, and uninstalled without a trace."""

import re
import subprocess
import sys
import zipfile
from pathlib import Path
from typing import Dict

from conftest import BUILD, DECRYPT_WITH_PYTHON, SOURCE, clean_env, run

PYTHON = "/usr/bin/python3" if Path("/usr/bin/python3").exists() else sys.executable


def newest_glibc(library: bytes) -> int:
    return max(int(m) for m in re.findall(rb"GLIBC_2\.([0-9]+)", library))


def test_wheel_installs_works_anywhere_and_uninstalls_cleanly(tmp_path: Path, encrypted: Dict[str, Path]) -> None:
    dist = tmp_path / "dist"
    wheel = Path(run([SOURCE / "scripts" / "wheel", "--build-dir", BUILD, "--out", dist]).strip().splitlines()[-1])
    assert [p.name for p in dist.iterdir()] == [wheel.name], "only the wheel is left in the output folder"

    # Named for any Python 3, no ABI, and the C library the packed libvesk.so needs.
    with zipfile.ZipFile(wheel) as archive:
        names = set(archive.namelist())
        packed = archive.read("vesk/libvesk.so.0")
    version = re.search(r'#define VESK_VERSION "([^"]+)"', (BUILD / "include" / "vesk.h").read_text()).group(1)
    assert wheel.name == f"vesk-{version}-py3-none-manylinux_2_{newest_glibc(packed)}_x86_64.whl"
    assert {"vesk/__init__.py", "vesk/py.typed", "vesk/libvesk.so.0"} <= names
    assert not any(n.endswith("_library_path") or "__pycache__" in n for n in names)

    venv = tmp_path / "venv"
    run([PYTHON, "-m", "venv", venv])
    pip = [venv / "bin" / "python", "-m", "pip", "--disable-pip-version-check"]
    run(pip + ["install", "--no-index", "-q", wheel], env=clean_env())
    site = Path(run([venv / "bin" / "python", "-c", "import sysconfig; print(sysconfig.get_paths()['platlib'])"],
                    env=clean_env()).strip())

    loaded = run([venv / "bin" / "python", "-c", DECRYPT_WITH_PYTHON, encrypted["key"], encrypted["passphrase"],
                  encrypted["sealed"], encrypted["plain"]], cwd=encrypted["folder"], env=clean_env()).strip()
    assert Path(loaded) == site / "vesk" / "libvesk.so.0", "the library inside the wheel was loaded"

    run(pip + ["uninstall", "-y", "-q", "vesk"], env=clean_env())
    assert not [p for p in site.iterdir() if p.name.lower().startswith("vesk")], "uninstall leaves nothing"


def test_building_from_the_checkout_without_its_dependencies_names_the_command(tmp_path: Path) -> None:
    """Without a library given and without the build's dependencies, pip says what to run."""
    fake_bin = tmp_path / "bin"
    fake_bin.mkdir()
    # A setup-deps that finds everything missing, in a copy of the package beside a copy of it.
    checkout = tmp_path / "checkout"
    (checkout / "scripts").mkdir(parents=True)
    (checkout / "bindings").mkdir()
    subprocess.run(["cp", "-R", SOURCE / "bindings" / "python", checkout / "bindings" / "python"], check=True)
    subprocess.run(["rm", "-rf", checkout / "bindings" / "python" / "tests"], check=True)
    (checkout / "CMakeLists.txt").write_text((SOURCE / "CMakeLists.txt").read_text())
    setup_deps = checkout / "scripts" / "setup-deps"
    setup_deps.write_text("#!/bin/sh\necho 'setup-deps: error: missing Debian packages: ninja-build' >&2\nexit 1\n")
    setup_deps.chmod(0o755)
    done = subprocess.run([PYTHON, "-m", "pip", "wheel", "--no-build-isolation", "--no-deps", "--no-index",
                           "--disable-pip-version-check", "-w", tmp_path / "out", checkout / "bindings" / "python"],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=clean_env())
    said = done.stdout.decode(errors="replace")
    assert done.returncode != 0
    assert "missing Debian packages: ninja-build" in said
    assert "scripts/setup-deps" in said and "scripts/wheel" in said
    assert not (tmp_path / "out").exists() or not any((tmp_path / "out").iterdir())
