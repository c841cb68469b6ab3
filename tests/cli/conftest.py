"""Runs the vesk tool as a process: plain, or on a pseudo-terminal for the cases a terminal changes."""

import dataclasses
import fcntl
import os
import pathlib
import select
import shutil
import subprocess
import termios
import threading
import time

import pytest

VESK = os.environ.get("VESK_BIN", "")
SOURCE_DIR = pathlib.Path(os.environ.get("VESK_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))
PASSPHRASE = "correct horse battery staple"


@dataclasses.dataclass
class Result:
    code: int
    out: bytes
    err: str

    @property
    def text(self) -> str:
        return self.out.decode(errors="replace")


def run_vesk(cwd, *args, stdin: bytes = b"") -> Result:
    p = subprocess.run([VESK, *map(str, args)], cwd=cwd, input=stdin, capture_output=True, timeout=300)
    return Result(p.returncode, p.stdout, p.stderr.decode(errors="replace"))


def assert_refused(r: Result, code: int, says: str) -> None:
    """A refusal as the tool makes one: exit code `code` and a single line on standard error that
    holds `says`."""
    assert r.code == code, r.err
    assert says in r.err, r.err
    assert len(r.err.splitlines()) == 1, r.err


class Terminal:
    """vesk on a pseudo-terminal that is its controlling terminal and its standard input and error;
    standard output goes to the terminal too, or to a pipe."""

    def __init__(self, cwd, *args, stdout_on_terminal=True):
        self.master, slave = os.openpty()

        def take_terminal():
            fcntl.ioctl(0, termios.TIOCSCTTY, 0)

        self.proc = subprocess.Popen(
            [VESK, *map(str, args)], cwd=cwd, stdin=slave, stderr=slave,
            stdout=slave if stdout_on_terminal else subprocess.PIPE,
            start_new_session=True, preexec_fn=take_terminal)
        os.close(slave)
        self.screen = ""

    def _read(self, timeout):
        ready, _, _ = select.select([self.master], [], [], timeout)
        if not ready:
            return False
        try:
            data = os.read(self.master, 65536)
        except OSError:  # the terminal's other side is closed once vesk is gone
            return False
        self.screen += data.decode(errors="replace")
        return bool(data)

    def expect(self, text, timeout=30):
        """Waits until `text` appears on the screen after what was already matched."""
        deadline = time.monotonic() + timeout
        while text not in self.screen:
            if time.monotonic() > deadline or (not self._read(0.2) and self.proc.poll() is not None):
                raise AssertionError(f"{text!r} never appeared; the screen shows:\n{self.screen}")
        at = self.screen.index(text) + len(text)
        seen, self.screen = self.screen[:at], self.screen[at:]
        return seen

    def type(self, line):
        os.write(self.master, line.encode() + b"\n")

    def finish(self, timeout=60):
        """Waits for vesk to exit, reading the screen meanwhile so that a full terminal never stops
        it; returns its exit code, the rest of the screen and what went to the stdout pipe."""
        out = []
        reader = None
        if self.proc.stdout is not None:
            reader = threading.Thread(target=lambda: out.append(self.proc.stdout.read()))
            reader.start()
        deadline = time.monotonic() + timeout
        while self.proc.poll() is None:
            if time.monotonic() > deadline:
                self.proc.kill()
                raise AssertionError(f"vesk did not finish; the screen shows:\n{self.screen}")
            self._read(0.1)
        while self._read(0.1):
            pass
        if reader:
            reader.join()
        os.close(self.master)
        return self.proc.returncode, self.screen, b"".join(out)


@pytest.fixture(scope="session")
def keys(tmp_path_factory):
    """Keys made once: recipients alice, bob and carol, and the signing identity me."""
    if not VESK or not os.access(VESK, os.X_OK):
        pytest.fail("VESK_BIN must name the vesk executable (ctest sets it)")
    d = tmp_path_factory.mktemp("keys")
    (d / "pass.txt").write_text(PASSPHRASE + "\n")
    for who in ("alice", "bob", "carol"):
        r = run_vesk(d, "keygen", "-o", f"{who}.key", "--passphrase-file", "pass.txt", "--public-out", f"{who}.pub")
        assert r.code == 0, r.err
    r = run_vesk(d, "identity", "new", "-o", "me.id", "--passphrase-file", "pass.txt")
    assert r.code == 0, r.err
    (d / "me.pub").write_bytes(r.out)
    return d


@pytest.fixture
def work(tmp_path, keys):
    """A fresh folder with copies of the keys and a message to work on."""
    for f in keys.iterdir():
        shutil.copy(f, tmp_path / f.name)
    (tmp_path / "msg.txt").write_bytes(b"the numbers you asked for:\n" + b"\n".join(b"%d" % i for i in range(30000)))
    return tmp_path
