"""The Debian packages: built from the release build, checked by lintian, unpacked into a scratch
root and used from there: the tool, a C host found through the packaged pkg-config file, and the
Python package on the packaged library."""

import re
import shutil
import subprocess
from pathlib import Path
from typing import Dict

from conftest import BUILD, DECRYPT_WITH_PYTHON, SOURCE, clean_env, run

PACKAGES = ("libvesk0", "libvesk-dev", "vesk", "python3-vesk")

C_HOST = r"""
#include <stdio.h>
#include <string.h>
#include <vesk.h>
int main(void) {
  VeskSecretKeyHandle *key = NULL;
  VeskBuffer pub = vesk_buffer_empty(), sealed = vesk_buffer_empty(), plain = vesk_buffer_empty();
  const char message[] = "through the packaged header and library";
  int ok = vesk_keypair_generate(&key, &pub) == VESK_OK &&
           vesk_encrypt((const uint8_t *)message, sizeof message, pub.data, 1, NULL, NULL, &sealed) == VESK_OK &&
           vesk_decrypt(sealed.data, sealed.len, key, &plain, NULL, NULL) == VESK_OK &&
           plain.len == sizeof message && memcmp(plain.data, message, sizeof message) == 0;
  vesk_buffer_free(&pub); vesk_buffer_free(&sealed); vesk_buffer_free(&plain); vesk_secret_key_free(key);
  printf("%s %s\n", ok ? "ok" : "failed", vesk_version());
  return ok ? 0 : 1;
}
"""


def test_packages_pass_lintian_unpack_and_work(tmp_path: Path, encrypted: Dict[str, Path]) -> None:
    dist = tmp_path / "dist"
    made = [Path(p) for p in run([SOURCE / "scripts" / "deb", "--build-dir", BUILD, "--out", dist]).split()]
    version = re.search(r'#define VESK_VERSION "([^"]+)"', (BUILD / "include" / "vesk.h").read_text()).group(1)
    debs = {p.name.split("_")[0]: p for p in made}
    assert sorted(debs) == sorted(PACKAGES)
    assert sorted(p.name for p in dist.iterdir()) == sorted(p.name for p in made)
    for name, deb in debs.items():
        assert deb.name == f"{name}_{version}-1_{'all' if name == 'python3-vesk' else 'amd64'}.deb"

    # lintian: errors fail; the warnings that stay are listed (and explained) in the docs.
    lintian = shutil.which("lintian")
    assert lintian, "lintian is missing (scripts/setup-deps installs it)"
    report = subprocess.run([lintian, "--tag-display-limit", "0", *made], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT).stdout.decode()
    assert not [l for l in report.splitlines() if l.startswith("E:")], report

    control = {name: run(["dpkg-deb", "-f", deb]) for name, deb in debs.items()}
    assert f"Depends: libvesk0 (= {version}-1)" in control["libvesk-dev"]
    assert re.search(r"^Depends: libc6 \(>= 2\.\d+\)$", control["libvesk0"], re.M), control["libvesk0"]
    assert "libvesk0 (>=" in control["vesk"] and "libvesk0 (>=" in control["python3-vesk"]

    root = tmp_path / "root"
    for deb in made:
        run(["dpkg-deb", "-x", deb, root])
    libdir = next(root.glob("usr/lib*/libvesk.so.0")).parent
    # Nothing of the build machine: no search path in the tool, the library only once.
    assert "RUNPATH" not in run(["readelf", "-d", root / "usr/bin/vesk"])
    assert "RPATH" not in run(["readelf", "-d", root / "usr/bin/vesk"])
    assert not list((root / "usr/lib/python3/dist-packages/vesk").glob("libvesk*"))
    env = clean_env(LD_LIBRARY_PATH=str(libdir))

    tool = root / "usr/bin/vesk"
    assert version in run([tool, "--version"], env=env)
    folder = encrypted["folder"]
    run([tool, "encrypt", "-r", folder / "alice.pub", "-o", folder / "again.vesk", encrypted["plain"]],
        cwd=folder, env=env)
    for sealed, opened in ((folder / "again.vesk", "again.txt"), (encrypted["sealed"], "opened.txt")):
        run([tool, "decrypt", "-k", encrypted["key"], "--passphrase-file", encrypted["passphrase"], "-o",
             folder / opened, sealed], cwd=folder, env=env)
        assert (folder / opened).read_bytes() == encrypted["plain"].read_bytes()

    # A C host built through the packaged pkg-config file, against the packaged header and library.
    pc_env = clean_env(PKG_CONFIG_LIBDIR=str(libdir / "pkgconfig"), PKG_CONFIG_SYSROOT_DIR=str(root))
    flags = run(["pkg-config", "--cflags", "--libs", "vesk"], env=pc_env).split()
    assert f"-I{root}/usr/include" in flags
    (tmp_path / "host.c").write_text(C_HOST)
    run(["cc", tmp_path / "host.c", *flags, "-o", tmp_path / "host"])
    assert run([tmp_path / "host"], env=env).split() == ["ok", version]

    # The Python package, on the packaged library.
    py_env = clean_env(LD_LIBRARY_PATH=str(libdir), PYTHONPATH=str(root / "usr/lib/python3/dist-packages"))
    loaded = run(["python3", "-c", DECRYPT_WITH_PYTHON, encrypted["key"], encrypted["passphrase"],
                  encrypted["sealed"], encrypted["plain"]], cwd=folder, env=py_env).strip()
    assert loaded == "libvesk.so.0", "found by the system's loader, not a copy of its own"
