#!/usr/bin/env python3
"""The vesk tool against a plain copy: encrypt, decrypt, sign and verify a large file (256 MiB by
default), each timed as a whole process next to `cp` of the same file in the same run, with the
tool's peak anonymous memory.

    python3 bench/tool_bench.py [--vesk build/release/tools/vesk/vesk] [--mib 256] [--runs 5]

Each command runs --runs times, alternating with cp, each run after `sync` so that none pays for
another's writeback; its median wall time is reported with its ratio to the median of the cp runs
it alternated with. Peak anonymous memory
is RssAnon from /proc/PID/status, sampled every half millisecond while the command runs: the
largest buffer (the output) lives for the whole write, far longer than one sampling interval.
Mapped input files are file-backed and do not count as anonymous memory. decrypt and sign include
opening the key file (Argon2id, about 50 ms), as a person runs them; "decrypt (seed)" opens a bare
identity seed instead, which shows the file work alone.
"""

import argparse
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

PASSPHRASE = "benchmark passphrase\n"
MIB = 1 << 20


def rss_anon_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("RssAnon:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def measure(argv, cwd):
    """Runs argv once; returns (seconds, peak RssAnon in KiB)."""
    os.sync()
    start = time.perf_counter()
    p = subprocess.Popen(argv, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    peak = 0
    while p.poll() is None:
        peak = max(peak, rss_anon_kib(p.pid))
        time.sleep(0.0005)
    seconds = time.perf_counter() - start
    if p.returncode != 0:
        sys.exit(f"{' '.join(map(str, argv))} failed: {p.stderr.read().decode()}")
    return seconds, peak


def main():
    here = pathlib.Path(__file__).resolve().parent
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--vesk", default=str(here.parent / "build/release/tools/vesk/vesk"))
    ap.add_argument("--mib", type=int, default=256)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--dir", default=None, help="where the files go (default: a temporary folder)")
    args = ap.parse_args()
    vesk = os.path.abspath(args.vesk)

    work = pathlib.Path(tempfile.mkdtemp(prefix="vesk-tool-bench-", dir=args.dir))
    try:
        (work / "pass.txt").write_text(PASSPHRASE)
        with open(work / "data.bin", "wb") as f:
            for _ in range(args.mib):
                f.write(os.urandom(MIB))
        pw = ["--passphrase-file", "pass.txt"]
        subprocess.run([vesk, "keygen", "-o", "bench.key", *pw, "--public-out", "bench.pub"], cwd=work, check=True,
                       capture_output=True)
        me = subprocess.run([vesk, "identity", "new", "-o", "me.id", *pw], cwd=work, check=True, capture_output=True)
        (work / "me.pub").write_bytes(me.stdout)
        (work / "bench.seed").write_bytes(os.urandom(32))
        seed_pub = subprocess.run([vesk, "pubkey", "bench.seed"], cwd=work, check=True, capture_output=True)
        (work / "seed.pub").write_bytes(seed_pub.stdout)
        subprocess.run([vesk, "encrypt", "-r", "bench.pub", "-r", "seed.pub", "-o", "data.vesk", "data.bin"], cwd=work,
                       check=True)
        subprocess.run([vesk, "sign", "-i", "me.id", *pw, "--context", "bench", "-o", "data.sig", "data.bin"],
                       cwd=work, check=True, capture_output=True)

        # (name, command, file it writes)
        commands = [
            ("cp", ["cp", "data.bin", "out"], "out"),
            ("encrypt", [vesk, "encrypt", "-r", "bench.pub", "-o", "out", "data.bin"], "out"),
            ("decrypt", [vesk, "decrypt", "-k", "bench.key", *pw, "-o", "out", "data.vesk"], "out"),
            ("decrypt (seed)", [vesk, "decrypt", "-k", "bench.seed", "-o", "out", "data.vesk"], "out"),
            ("sign", [vesk, "sign", "-i", "me.id", *pw, "--context", "bench", "-o", "out", "data.bin"], "out"),
            ("verify", [vesk, "verify", "-k", "me.pub", "--context", "bench", "data.bin", "data.sig"], None),
        ]
        # Each command alternates with cp, so that both meet the same state of the page cache and
        # of memory just released by the command before (in a virtual machine, freshly released
        # memory can be slow to touch again); its ratio is to the cp runs of its own pairs.
        copy = commands[0]
        results = {}
        for name, argv, out in commands[1:]:
            pair = {"cp": [], name: []}
            peak_kib = 0
            for run in range(args.runs + 1):  # the first pair warms the caches and is not counted
                for n, a, o in (copy, (name, argv, out)):
                    if o:
                        (work / o).unlink(missing_ok=True)
                    seconds, peak = measure(a, work)
                    if run > 0:
                        pair[n].append(seconds)
                        if n == name:
                            peak_kib = max(peak_kib, peak)
            results[name] = (statistics.median(pair[name]), statistics.median(pair["cp"]), peak_kib)

        print(f"{args.mib} MiB file, {args.runs} runs each alternating with cp; median wall times; "
              f"peak RssAnon over all runs")
        print(f"{'command':<16}{'seconds':>10}{'cp seconds':>12}{'x cp':>8}{'peak anon MiB':>16}")
        for name, (t, cp, peak_kib) in results.items():
            print(f"{name:<16}{t:>10.3f}{cp:>12.3f}{t / cp:>8.2f}{peak_kib / 1024:>16.1f}")
        print(f"goals: encrypt and decrypt within 2x of cp; peak anonymous memory at most {args.mib + 64} MiB "
              f"for encrypt and decrypt, a few MiB for sign and verify")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
