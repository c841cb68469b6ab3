"""Builds the vesk wheel: the package, with the library it loads inside it.

The library is the one VESK_LIBRARY names (scripts/wheel builds it and sets that), or else it is
built here from the checkout this folder belongs to, when everything that build needs is present.
The wheel is tagged for the oldest C library the built libvesk.so accepts (it needs nothing else).
"""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path
from typing import List, Optional

from setuptools import setup
from setuptools.command.build_py import build_py
from setuptools.dist import Distribution

try:
    from wheel.bdist_wheel import bdist_wheel
except ImportError:
    raise SystemExit(
        "vesk: the wheel package is missing from this environment (install python3-wheel, or make the "
        "virtual environment with --system-site-packages), or run scripts/wheel from the checkout"
    ) from None

HERE = Path(__file__).resolve().parent
CHECKOUT = HERE.parent.parent
SONAME = "libvesk.so.0"

_built_library: Optional[Path] = None


def fail(message: str) -> "SystemExit":
    return SystemExit("vesk: " + message)


def project_version() -> str:
    given = os.environ.get("VESK_VERSION")
    if given:
        return given
    cmake_lists = CHECKOUT / "CMakeLists.txt"
    if cmake_lists.is_file():
        match = re.search(r"project\(\s*vesk\s+VERSION\s+([0-9]+\.[0-9]+\.[0-9]+)", cmake_lists.read_text())
        if match:
            return match.group(1)
    raise fail("cannot tell the version: build from a checkout of vesk, or with scripts/wheel")


def run(command: List[str]) -> None:
    print("vesk:", " ".join(command), flush=True)
    subprocess.run(command, check=True)


def build_library() -> Path:
    """libvesk.so built from the checkout, in build/wheel, when its build dependencies are here."""
    setup_deps = CHECKOUT / "scripts" / "setup-deps"
    if not setup_deps.is_file():
        raise fail("no library given (VESK_LIBRARY) and no vesk checkout around this folder to build one")
    check = subprocess.run([str(setup_deps), "--check"], capture_output=True, text=True)
    if check.returncode != 0:
        raise fail(
            "the library's build dependencies are missing:\n"
            + check.stderr.strip()
            + "\nrun scripts/setup-deps (as root) and install again, or run scripts/wheel, which does "
            "both and writes the wheel to dist/"
        )
    openssl_root = ""
    for line in check.stdout.splitlines():
        if line.startswith("OPENSSL_ROOT_DIR="):
            openssl_root = line.split("=", 1)[1]
    build = CHECKOUT / "build" / "wheel"
    configure = ["cmake", "-S", str(CHECKOUT), "-B", str(build), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                 "-DVESK_BUILD_TESTS=OFF", "-DVESK_BUILD_BENCH=OFF"]
    if openssl_root:
        configure.append("-DOPENSSL_ROOT_DIR=" + openssl_root)
    run(configure)
    run(["cmake", "--build", str(build), "--target", "vesk"])
    return build / "src" / SONAME


def library_to_ship() -> Path:
    given = os.environ.get("VESK_LIBRARY")
    library = Path(given) if given else build_library()
    if not library.is_file():
        raise fail(f"{library}: no such library")
    return library.resolve()


def glibc_minor(library: Path) -> int:
    """The newest GLIBC_2.N symbol version the library asks for."""
    versions = [int(m) for m in re.findall(rb"GLIBC_2\.([0-9]+)", library.read_bytes())]
    if not versions:
        raise fail(f"{library}: asks for no C library version; is it libvesk.so?")
    return max(versions)


class BuildWithLibrary(build_py):
    """The package's files, and the library copied in beside them (stripped when strip is here)."""

    def run(self) -> None:
        global _built_library
        super().run()
        target = Path(self.build_lib) / "vesk" / SONAME
        shutil.copyfile(library_to_ship(), target)
        os.chmod(target, 0o755)
        if shutil.which("strip"):
            run(["strip", "--strip-unneeded", "--remove-section=.comment", str(target)])
        _built_library = target


class WithLibrary(Distribution):
    """Not a pure distribution: it carries a compiled library, so it installs as platform code."""

    def has_ext_modules(self) -> bool:
        return True


class PlatformWheel(bdist_wheel):
    """Any Python 3, no Python ABI (the library is loaded with ctypes), Linux on x86-64 with the C
    library the library needs."""

    def get_tag(self):  # type: ignore[no-untyped-def]
        if _built_library is None:
            raise fail("the wheel's tag is asked for before the library was copied in")
        return "py3", "none", f"manylinux_2_{glibc_minor(_built_library)}_x86_64"


if sys.platform != "linux":
    raise fail("the library is built for Linux on x86-64 only")

setup(version=project_version(), distclass=WithLibrary, cmdclass={"build_py": BuildWithLibrary, "bdist_wheel": PlatformWheel})
