"""Size limits are enforced before reading: a file over its cap is refused by its size, with the
limit named, without the tool reading it; a stream is read no further than its cap."""

import subprocess
import sys
import threading

import pytest

from conftest import VESK, run_vesk

GiB = 1 << 30
# The peak memory of a refusal that read nothing stays far below any of the caps.
UNREAD_RSS_KIB = 200 * 1024


def peak_rss_kib(cwd, *args):
    """Runs vesk in a fresh interpreter and returns (exit code, stderr, peak resident KiB)."""
    probe = ("import resource, subprocess, sys\n"
             "r = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)\n"
             "sys.stderr.write(r.stderr.decode())\n"
             "print(r.returncode, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n")
    p = subprocess.run([sys.executable, "-c", probe, VESK, *args], cwd=cwd, capture_output=True, text=True, timeout=120)
    code, rss = p.stdout.split()
    return int(code), p.stderr, int(rss)


# (case, size of a sparse input, arguments with IN for it, what the message says)
OVERSIZED = [
    ("encrypt", GiB + 1, ["encrypt", "-r", "alice.pub", "-o", "o.vesk", "IN"], "is 1073741825 bytes, over the limit of 1 GiB for a file to encrypt"),
    ("sign", GiB + 1, ["sign", "-i", "me.id", "--passphrase-file", "pass.txt", "--context", "c", "-o", "o.sig", "IN"],
     "over the limit of 1 GiB for a file to sign"),
    ("decrypt", 2 * GiB, ["decrypt", "-k", "alice.key", "--passphrase-file", "pass.txt", "-o", "o", "IN"],
     "bytes for an encrypted file"),
    ("key file", 4097, ["decrypt", "-k", "IN", "-o", "o", "msg.txt"], "over the limit of 4 KiB for a key file"),
]


@pytest.mark.parametrize("case,size,args,says", OVERSIZED, ids=[c[0] for c in OVERSIZED])
def test_oversized_file_refused_unread(work, case, size, args, says):
    with open(work / "big", "wb") as f:
        f.truncate(size)
    code, err, rss = peak_rss_kib(work, *["big" if a == "IN" else a for a in args])
    assert code == 3, err
    assert says in err
    assert rss < UNREAD_RSS_KIB, f"peak {rss} KiB: the input was read"
    assert not (work / "o.vesk").exists() and not (work / "o.sig").exists() and not (work / "o").exists()


# (case, arguments with - for the endless stream, the cap the stream runs into)
STREAMS = [
    ("signature", ["verify", "-k", "me.pub", "--context", "c", "msg.txt", "-"], "standard input is over the limit of 64 KiB for a signature"),
    ("key file", ["decrypt", "-k", "-", "-o", "o", "msg.txt"], "over the limit of 4 KiB for a key file"),
    ("recipients file", ["encrypt", "-R", "-", "-o", "o", "msg.txt"], "over the limit of 1 MiB for a recipients file"),
]


@pytest.mark.parametrize("case,args,says", STREAMS, ids=[c[0] for c in STREAMS])
def test_endless_stream_stops_at_the_cap(work, case, args, says):
    p = subprocess.Popen([VESK, *args], cwd=work, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE)
    written = 0
    chunk = b"-----BEGIN VESK SIGNATURE-----\n" + b"A" * 65505

    def feed():
        nonlocal written
        try:
            while written < 256 << 20:
                p.stdin.write(chunk)
                written += len(chunk)
        except BrokenPipeError:
            pass

    feeder = threading.Thread(target=feed)
    feeder.start()
    err = p.stderr.read().decode()
    code = p.wait(60)
    feeder.join(60)
    assert code == 3, err
    assert says in err
    # What the tool read, plus what the pipe held when it stopped.
    assert written < 4 << 20, f"{written} bytes went in before the tool stopped reading"
