"""Type-checks the package with mypy --strict, for the package's users who type-check theirs.

Usage: typecheck.py PACKAGE_DIR CACHE_DIR. Exits 77 (which ctest counts as skipped) when this
interpreter has no mypy; scripts/setup-deps installs it (Debian's python3-mypy).
"""

import importlib.util
import subprocess
import sys

SKIPPED = 77

if len(sys.argv) != 3:
    sys.exit(__doc__)
package, cache = sys.argv[1:]
if importlib.util.find_spec("mypy") is None:
    print(f"skipped: mypy is not installed for {sys.executable} (Debian's python3-mypy, which "
          "scripts/setup-deps installs)")
    sys.exit(SKIPPED)
# Checked as the package would be under 3.8, the oldest Python it supports, and under this one.
for version in ("3.8", f"{sys.version_info.major}.{sys.version_info.minor}"):
    command = [sys.executable, "-m", "mypy", "--strict", "--python-version", version, "--cache-dir", cache, package]
    print("$", " ".join(command), flush=True)
    if subprocess.call(command) != 0:
        sys.exit(1)
