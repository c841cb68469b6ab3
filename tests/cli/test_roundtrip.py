"""What goes in comes back out: encryption to each recipient, stored names, and signatures, in
both the binary and the text forms, through files and standard streams."""

import pytest

from conftest import run_vesk

TEAM = "# release team\n\n{bob}\n# alice again, under another heading\n{alice}\n"


def make_team(work, text=TEAM):
    keys = {who: (work / f"{who}.pub").read_text() for who in ("alice", "bob")}
    (work / "team.txt").write_text(text.format(**keys))


# (case, encrypt arguments, stdin for encrypt, who decrypts, note expected on stderr)
ENCRYPTIONS = [
    ("one recipient", ["-r", "alice.pub", "-o", "x.vesk", "msg.txt"], None, ["alice"], None),
    ("text form", ["-a", "-r", "alice.pub", "-o", "x.vesk", "msg.txt"], None, ["alice"], None),
    ("two recipients", ["-r", "alice.pub", "-r", "bob.pub", "-o", "x.vesk", "msg.txt"], None, ["alice", "bob"], None),
    ("recipients file", ["-R", "team.txt", "-o", "x.vesk", "msg.txt"], None, ["alice", "bob"], None),
    ("file and key overlap", ["-r", "alice.pub", "-R", "team.txt", "-o", "x.vesk", "msg.txt"], None, ["alice", "bob"],
     "team.txt line 32 is the same recipient as alice.pub"),
    ("same key twice", ["-r", "bob.pub", "-r", "bob.pub", "-o", "x.vesk", "msg.txt"], None, ["bob"], "more than once"),
    ("standard streams", ["-r", "alice.pub", "-o", "-", "-"], "msg.txt", ["alice"], None),
    ("text form to stdout", ["-a", "-r", "alice.pub", "-"], "msg.txt", ["alice"], None),
    ("key given as text", ["-r", "@alice.pub", "-o", "x.vesk", "msg.txt"], None, ["alice"], None),
    ("empty file", ["-r", "alice.pub", "-o", "x.vesk", "empty.txt"], None, ["alice"], None),
    # As cat writes it: keys one after another, a comment between them, no blank line.
    ("recipients file from cat", ["-R", "cat.txt", "-o", "x.vesk", "msg.txt"], None, ["alice", "bob"], None),
    ("short options together", ["-ar", "alice.pub", "-ox.vesk", "msg.txt"], None, ["alice"], None),
]


@pytest.mark.parametrize("case,args,stdin,readers,note", ENCRYPTIONS, ids=[c[0] for c in ENCRYPTIONS])
def test_encrypt_then_decrypt(work, case, args, stdin, readers, note):
    make_team(work)
    (work / "cat.txt").write_text("  # alice\n" + (work / "alice.pub").read_text() + "# bob\n" +
                                  (work / "bob.pub").read_text())
    (work / "empty.txt").write_bytes(b"")
    args = [(work / a[1:]).read_text() if a.startswith("@") else a for a in args]
    r = run_vesk(work, "encrypt", *args, stdin=(work / stdin).read_bytes() if stdin else b"")
    assert r.code == 0, r.err
    if note:
        assert note in r.err
    else:
        assert "note:" not in r.err
    if ("-o" not in args and "-ox.vesk" not in args) or ("-o" in args and args[args.index("-o") + 1] == "-"):
        (work / "x.vesk").write_bytes(r.out)
    text_form = "-a" in args or "-ar" in args
    assert (work / "x.vesk").read_bytes().startswith(b"-----BEGIN VESK ENCRYPTED FILE-----\n") == text_form
    plain = work / args[-1] if args[-1] != "-" else work / stdin
    for who in readers:
        r = run_vesk(work, "decrypt", "-k", f"{who}.key", "--passphrase-file", "pass.txt", "-o", f"{who}.out", "x.vesk")
        assert r.code == 0, r.err
        assert (work / f"{who}.out").read_bytes() == plain.read_bytes()
    r = run_vesk(work, "decrypt", "-k", "carol.key", "--passphrase-file", "pass.txt", "-o", "carol.out", "x.vesk")
    assert r.code == 3 and not (work / "carol.out").exists()


def test_decrypt_reads_standard_input_and_writes_standard_output(work):
    assert run_vesk(work, "encrypt", "-a", "-r", "alice.pub", "-o", "x.vesk", "msg.txt").code == 0
    r = run_vesk(work, "decrypt", "-k", "alice.key", "--passphrase-file", "pass.txt", "-",
                 stdin=(work / "x.vesk").read_bytes())
    assert r.code == 0, r.err
    assert r.out == (work / "msg.txt").read_bytes()


# (case, how the file is encrypted, the name decrypt --use-stored-name writes, or the message)
STORED_NAMES = [
    ("base name by default", ["sub/report.txt"], "report.txt"),
    ("chosen name", ["--name", "other.txt", "sub/report.txt"], "other.txt"),
    ("no name asked for", ["--no-name", "sub/report.txt"], "stores no file name"),
    ("standard input", ["-"], "stores no file name"),
    ("name not portable", ["sub/con.txt"], "stores no file name"),
    ("letters beyond ASCII", ["--name", "r\u00e9sum\u00e9 \u0645\u0644\u0641.txt", "sub/report.txt"],
     "r\u00e9sum\u00e9 \u0645\u0644\u0641.txt"),
]


@pytest.mark.parametrize("case,args,expected", STORED_NAMES, ids=[c[0] for c in STORED_NAMES])
def test_stored_names(work, case, args, expected):
    (work / "sub").mkdir()
    for name in ("report.txt", "con.txt"):
        (work / "sub" / name).write_bytes(b"quarterly figures\n")
    r = run_vesk(work, "encrypt", "-r", "alice.pub", "-o", "x.vesk", *args, stdin=b"quarterly figures\n")
    assert r.code == 0, r.err
    assert ("no name is stored" in r.err) == (case == "name not portable")
    (work / "inbox").mkdir()
    r = run_vesk(work / "inbox", "decrypt", "-k", "../alice.key", "--passphrase-file", "../pass.txt",
                 "--use-stored-name", "../x.vesk")
    if expected.endswith(".txt"):
        assert r.code == 0, r.err
        assert (work / "inbox" / expected).read_bytes() == b"quarterly figures\n"
    else:
        assert r.code == 2 and expected in r.err
        assert list((work / "inbox").iterdir()) == []


# (case, sign arguments, stdin, verify's FILE and SIG)
SIGNATURES = [
    ("default name", ["msg.txt"], None, ["msg.txt", "msg.txt.sig"]),
    ("text form", ["-a", "-o", "msg.asc", "msg.txt"], None, ["msg.txt", "msg.asc"]),
    ("message from stdin", ["-o", "s.sig", "-"], "msg.txt", ["msg.txt", "s.sig"]),
    ("signature from stdin", ["-a", "-o", "s.asc", "msg.txt"], None, ["msg.txt", "-"]),
    ("message to verify from stdin", ["-o", "s.sig", "msg.txt"], None, ["-", "s.sig"]),
]


@pytest.mark.parametrize("case,args,stdin,checked", SIGNATURES, ids=[c[0] for c in SIGNATURES])
def test_sign_then_verify(work, case, args, stdin, checked):
    r = run_vesk(work, "sign", "-i", "me.id", "--passphrase-file", "pass.txt", "--context", "notes v1", *args,
                 stdin=(work / stdin).read_bytes() if stdin else b"")
    assert r.code == 0, r.err
    sig = work / args[args.index("-o") + 1] if "-o" in args else work / "msg.txt.sig"
    assert sig.read_bytes().startswith(b"-----BEGIN VESK SIGNATURE-----\n") == ("-a" in args)
    piped = sig.read_bytes() if checked[1] == "-" else (work / "msg.txt").read_bytes() if checked[0] == "-" else b""
    for context, code, says in (("notes v1", 0, "signature valid"), ("notes v2", 4, "")):
        r = run_vesk(work, "verify", "-k", "me.pub", "--context", context, *checked, stdin=piped)
        assert r.code == code, r.err
        assert says in r.text


def test_keys_in_every_accepted_form(work):
    """A verifying key as Base64 text, as a Base64 file and as raw bytes; a secret key from an
    identity, which decrypts too."""
    import base64
    b64 = (work / "me.pub").read_text().strip()
    (work / "me.raw").write_bytes(base64.b64decode(b64))
    assert run_vesk(work, "sign", "-i", "me.id", "--passphrase-file", "pass.txt", "--context", "c", "msg.txt").code == 0
    for key in (b64, "me.pub", "me.raw"):
        r = run_vesk(work, "verify", "-k", key, "--context", "c", "msg.txt", "msg.txt.sig")
        assert r.code == 0, r.err
    r = run_vesk(work, "pubkey", "me.id", "--passphrase-file", "pass.txt")
    assert r.code == 0, r.err
    (work / "me-recipient.pub").write_bytes(r.out)
    assert run_vesk(work, "encrypt", "-r", "me-recipient.pub", "-o", "x.vesk", "msg.txt").code == 0
    r = run_vesk(work, "decrypt", "-k", "me.id", "--passphrase-file", "pass.txt", "-o", "out", "x.vesk")
    assert r.code == 0, r.err
    assert (work / "out").read_bytes() == (work / "msg.txt").read_bytes()


def test_outputs_to_devices_and_pipes(work):
    """The no-overwrite rule is for regular files: /dev/null, a FIFO and /dev/fd/N are written to
    directly, and only with a complete, authenticated result."""
    import os
    import threading
    assert run_vesk(work, "encrypt", "-r", "alice.pub", "-o", "x.vesk", "msg.txt").code == 0
    decrypt = ["decrypt", "-k", "alice.key", "--passphrase-file", "pass.txt"]
    r = run_vesk(work, *decrypt, "-o", "/dev/null", "x.vesk")
    assert r.code == 0 and r.err == f"vesk: wrote {(work / 'msg.txt').stat().st_size} bytes to /dev/null\n", r.err

    def through_fifo(args):
        os.mkfifo(work / "fifo")
        got = []
        reader = threading.Thread(target=lambda: got.append((work / "fifo").read_bytes()))
        reader.start()
        r = run_vesk(work, *args)
        reader.join(timeout=60)
        (work / "fifo").unlink()
        return r, got[0]

    r, got = through_fifo([*decrypt, "-o", "fifo", "x.vesk"])
    assert r.code == 0, r.err
    assert got == (work / "msg.txt").read_bytes()
    # A refusal writes nothing into the pipe.
    r, got = through_fifo(["decrypt", "-k", "bob.key", "--passphrase-file", "pass.txt", "-o", "fifo", "x.vesk"])
    assert r.code == 3 and got == b""

    # A descriptor the caller holds, as a shell's 3>file gives it.
    with open(work / "held.out", "wb") as held:
        p = __import__("subprocess").run([__import__("conftest").VESK, *decrypt, "-o", f"/dev/fd/{held.fileno()}",
                                          "x.vesk"], cwd=work, pass_fds=[held.fileno()], capture_output=True)
    assert p.returncode == 0, p.stderr
    assert (work / "held.out").read_bytes() == (work / "msg.txt").read_bytes()
    r = run_vesk(work, *decrypt, "-o", "/dev/fd/99", "x.vesk")
    assert r.code == 2 and "cannot write /dev/fd/99: Bad file descriptor" in r.err
    # A regular file is still never overwritten.
    r = run_vesk(work, *decrypt, "-o", "msg.txt", "x.vesk")
    assert r.code == 2 and "refusing to overwrite msg.txt" in r.err


def test_counts_read_right(work):
    (work / "one.txt").write_bytes(b"x")
    assert run_vesk(work, "encrypt", "-r", "alice.pub", "-o", "x.vesk", "one.txt").code == 0
    r = run_vesk(work, "decrypt", "-k", "alice.key", "--passphrase-file", "pass.txt", "-o", "out", "x.vesk")
    assert r.code == 0 and "wrote 1 byte to out" in r.err, r.err
