"""Every refusal: the documented exit code, one line on standard error that says what was wrong
(with the system's reason for file errors, and both meanings where a status has two), and no
file left behind."""

import pytest

import struct

from conftest import PASSPHRASE, assert_refused, run_vesk

PASS = ["--passphrase-file", "pass.txt"]


def encrypted(work, name="x.vesk", change=None):
    assert run_vesk(work, "encrypt", "-r", "alice.pub", "-o", name, "msg.txt").code == 0
    data = bytearray((work / name).read_bytes())
    if change:
        data = change(data)
    (work / name).write_bytes(bytes(data))


def flip(offset):
    def change(data):
        data[offset] ^= 1
        return data
    return change


SETUPS = {
    "none": lambda w: None,
    "folder": lambda w: (w / "inbox").mkdir(),
    "encrypted": encrypted,
    # Inside the first recipient entry of the header.
    "header bit flipped": lambda w: encrypted(w, change=flip(200)),
    "chunk bit flipped": lambda w: encrypted(w, change=flip(-100)),
    "truncated": lambda w: encrypted(w, change=lambda d: d[:-7]),
    "signed": lambda w: run_vesk(w, "sign", "-i", "me.id", *PASS, "--context", "c", "msg.txt"),
    "existing output": lambda w: (w / "taken.vesk").write_bytes(b"mine"),
    "bad recipients file": lambda w: (w / "team.txt").write_text(
        "# team\n" + (w / "alice.pub").read_text() + "\nvesk-public-key:\nnot*base64\n"),
    "comments only": lambda w: (w / "team.txt").write_text("# nobody yet\n\n"),
    "verifying key in recipients file": lambda w: (w / "team.txt").write_text((w / "me.pub").read_text()),
    "wrong passphrase": lambda w: (w / "wrong.txt").write_text("not the passphrase\n"),
    # What comes before the NUL is the right passphrase.
    "NUL in passphrase": lambda w: (w / "nul.txt").write_bytes(PASSPHRASE.encode() + b"\0 and the rest\n"),
    "encrypted, NUL in passphrase": lambda w: (encrypted(w), SETUPS["NUL in passphrase"](w)),
    "short passphrase": lambda w: (w / "short.txt").write_text("short\n"),
    # Long enough, but in Latin-1.
    "passphrase not UTF-8": lambda w: (w / "latin1.txt").write_bytes("mot de passe \u00e9t\u00e9\n".encode("latin-1")),
}

# (case, setup, arguments, exit code, what the message says)
REFUSALS = [
    ("input is a folder", "folder", ["encrypt", "-r", "alice.pub", "-o", "o.vesk", "inbox"], 2,
     "cannot read inbox: Is a directory"),
    ("input missing", "none", ["encrypt", "-r", "alice.pub", "-o", "o.vesk", "nosuch.txt"], 2,
     "cannot read nosuch.txt: No such file or directory"),
    ("output folder missing", "none", ["encrypt", "-r", "alice.pub", "-o", "nodir/x.vesk", "msg.txt"], 2,
     "cannot write nodir/x.vesk: No such file or directory"),
    ("output exists", "existing output", ["encrypt", "-r", "alice.pub", "-o", "taken.vesk", "msg.txt"], 2,
     "refusing to overwrite taken.vesk"),
    ("signature exists", "signed", ["sign", "-i", "me.id", *PASS, "--context", "c", "msg.txt"], 2,
     "refusing to overwrite msg.txt.sig"),
    ("stored name taken", "encrypted", ["decrypt", "-k", "alice.key", *PASS, "--use-stored-name", "x.vesk"], 2,
     "refusing to overwrite msg.txt"),
    ("recipient text garbage", "none", ["encrypt", "-r", "hello world", "-o", "o.vesk", "msg.txt"], 2,
     'recipient "hello world" is neither a readable file nor an armored public key'),
    ("secret key as recipient", "none", ["encrypt", "-r", "alice.key", "-o", "o.vesk", "msg.txt"], 3,
     "alice.key is a recipient secret key file, not a recipient public key; give its public key: vesk pubkey alice.key"),
    ("verifying key as recipient", "none", ["encrypt", "-r", "me.pub", "-o", "o.vesk", "msg.txt"], 3,
     "me.pub is a verifying key, not a recipient public key"),
    ("damaged key in recipients file", "bad recipients file", ["encrypt", "-R", "team.txt", "-o", "o.vesk", "msg.txt"],
     3, "team.txt line 30: not an armored public key (its Base64 is damaged)"),
    ("recipients file of comments", "comments only", ["encrypt", "-R", "team.txt", "-o", "o.vesk", "msg.txt"], 3,
     "team.txt holds no recipient keys"),
    ("verifying key in recipients file", "verifying key in recipients file",
     ["encrypt", "-R", "team.txt", "-o", "o.vesk", "msg.txt"], 3, "team.txt is a verifying key, not a recipients file"),
    ("no recipient", "none", ["encrypt", "-o", "o.vesk", "msg.txt"], 1,
     "vesk encrypt: needs a recipient: -r KEY or -R FILE (see vesk encrypt --help)"),
    ("keygen without its file", "none", ["keygen", "--passphrase-file", "pass.txt"], 1,
     "vesk keygen: needs -o KEYFILE (a file, not standard output)"),
    ("name with a slash", "none", ["encrypt", "-r", "alice.pub", "--name", "a/b", "-o", "o.vesk", "msg.txt"], 3,
     '--name "a/b" cannot be stored'),
    ("content type not ASCII", "none",
     ["encrypt", "-r", "alice.pub", "--content-type", "text/\u00e9", "-o", "o.vesk", "msg.txt"], 3,
     "cannot be stored: it must be 1 to 255 printable ASCII characters"),
    ("recipient key file to sign", "none", ["sign", "-i", "alice.key", *PASS, "--context", "c", "-o", "s", "msg.txt"],
     3, "alice.key is a recipient secret key file, not a signing identity"),
    ("public key to decrypt", "encrypted", ["decrypt", "-k", "alice.pub", "-o", "out", "x.vesk"], 3,
     "alice.pub is a recipient public key, not a secret key"),
    ("public key to verify", "signed", ["verify", "-k", "alice.pub", "--context", "c", "msg.txt", "msg.txt.sig"], 3,
     "alice.pub is a recipient public key, not a verifying key"),
    ("encrypted file as signature", "encrypted", ["verify", "-k", "me.pub", "--context", "c", "msg.txt", "x.vesk"], 3,
     "x.vesk is an encrypted file, not a signature"),
    ("signature as encrypted file", "signed", ["decrypt", "-k", "alice.key", *PASS, "-o", "out", "msg.txt.sig"], 3,
     "decrypting msg.txt.sig: not a well-formed encrypted file"),
    ("other recipient", "encrypted", ["decrypt", "-k", "bob.key", *PASS, "-o", "out", "x.vesk"], 3,
     "no recipient entry opens with this key: the file was encrypted to other keys, or its header is damaged"),
    ("header damaged", "header bit flipped", ["decrypt", "-k", "alice.key", *PASS, "-o", "out", "x.vesk"], 3,
     "no recipient entry opens with this key: the file was encrypted to other keys, or its header is damaged"),
    ("chunk altered", "chunk bit flipped", ["decrypt", "-k", "alice.key", *PASS, "-o", "out", "x.vesk"], 4,
     "the file was altered or damaged after it was encrypted"),
    ("truncated", "truncated", ["decrypt", "-k", "alice.key", *PASS, "-o", "out", "x.vesk"], 3,
     "not a well-formed encrypted file (damaged, truncated or extended)"),
    ("wrong passphrase", "encrypted",
     ["decrypt", "-k", "alice.key", "--passphrase-file", "wrong.txt", "-o", "out", "x.vesk"], 3,
     "incorrect passphrase, or the key file was modified"),
    ("wrong context", "signed", ["verify", "-k", "me.pub", "--context", "d", "msg.txt", "msg.txt.sig"], 4,
     "the signature does not match this file, verifying key and context"),
    ("short new passphrase", "short passphrase", ["keygen", "-o", "new.key", "--passphrase-file", "short.txt"], 3,
     "the passphrase is shorter than 8 characters (short.txt)"),
    ("new passphrase not UTF-8", "passphrase not UTF-8",
     ["keygen", "-o", "new.key", "--passphrase-file", "latin1.txt"], 3,
     "the passphrase is not valid UTF-8 text (latin1.txt)"),
    ("NUL in passphrase file", "encrypted, NUL in passphrase",
     ["decrypt", "-k", "alice.key", "--passphrase-file", "nul.txt", "-o", "out", "x.vesk"], 3,
     "the first line of nul.txt contains a NUL byte, which a passphrase cannot hold"),
    ("NUL in passphrase to sign", "NUL in passphrase",
     ["sign", "-i", "me.id", "--passphrase-file", "nul.txt", "--context", "c", "msg.txt"], 3,
     "the first line of nul.txt contains a NUL byte"),
    ("NUL in new passphrase", "NUL in passphrase", ["keygen", "-o", "new.key", "--passphrase-file", "nul.txt"], 3,
     "the first line of nul.txt contains a NUL byte"),
    ("max-work not a number", "encrypted", ["decrypt", "-k", "alice.key", "--max-work", "lots", "-o", "out", "x.vesk"],
     1, '--max-work takes MIB or MIB,PASSES (whole numbers from 1), not "lots" (see vesk decrypt --help)'),
    ("max-work of no memory", "none", ["pubkey", "alice.key", "--max-work", "0"], 1, '--max-work takes MIB or MIB,PASSES'),
    ("max-work of no passes", "none", ["sign", "-i", "me.id", "--max-work=64,0", "--context", "c", "msg.txt"], 1,
     '--max-work takes MIB or MIB,PASSES'),
    ("max-work without passes after the comma", "none", ["pubkey", "alice.key", "--max-work", "64,"], 1,
     '--max-work takes MIB or MIB,PASSES'),
    ("max-work negative", "none", ["pubkey", "alice.key", "--max-work=-64"], 1, '--max-work takes MIB or MIB,PASSES'),
    ("reserved context", "none", ["sign", "-i", "me.id", *PASS, "--context", "VESK/x", "msg.txt"], 1,
     "contexts beginning with VESK/ are reserved"),
    ("both from stdin", "none", ["verify", "-k", "me.pub", "--context", "c", "-", "-"], 1,
     "FILE and SIG cannot both be standard input"),
    ("key file and input from stdin", "none", ["decrypt", "-k", "-", "-o", "out", "-"], 1,
     "FILE and KEYFILE cannot both be standard input"),
    ("recipients and input from stdin", "none", ["encrypt", "-R", "-", "-o", "out", "-"], 1,
     "FILE and a recipients file cannot both be standard input"),
    ("unknown option", "none", ["encrypt", "--recipeint", "alice.pub", "msg.txt"], 1,
     "unknown option --recipeint (see vesk encrypt --help)"),
    ("unknown command", "none", ["encrpyt"], 1, "unknown command 'encrpyt'"),
    ("not a vesk file", "none", ["inspect", "msg.txt"], 3, "msg.txt: not a vesk file"),
]


@pytest.mark.parametrize("case,setup,args,code,says", REFUSALS, ids=[c[0] for c in REFUSALS])
def test_refusal(work, case, setup, args, code, says):
    (work / "wrong.txt").write_text("not the passphrase\n")
    SETUPS[setup](work)
    before = sorted(p.name for p in work.iterdir())
    assert_refused(run_vesk(work, *args), code, says)
    assert sorted(p.name for p in work.iterdir()) == before, "a refusal left a file behind"


def test_more_than_64_recipients(work):
    """Public keys of bare identity seeds are quick to make."""
    for i in range(65):
        (work / f"{i}.seed").write_bytes(bytes([i]) * 32)
        r = run_vesk(work, "pubkey", f"{i}.seed")
        assert r.code == 0, r.err
        (work / f"{i}.pub").write_bytes(r.out)
    args = [a for i in range(65) for a in ("-r", f"{i}.pub")]
    r = run_vesk(work, "encrypt", *args[:128], "-o", "ok.vesk", "msg.txt")
    assert r.code == 0, r.err
    r = run_vesk(work, "encrypt", *args, "-o", "o.vesk", "msg.txt")
    assert r.code == 1 and "more than 64 recipients" in r.err
    assert not (work / "o.vesk").exists()


# (case, the name a sender stored, what the refusal says about it)
MISLEADING_NAMES = [
    ("hidden file", ".bashrc", '".bashrc" begins with a dot and would be a hidden file'),
    ("dot dot prefix", "..x", '"..x" begins with a dot'),
    ("option", "-rf", '"-rf" begins with a dash and would be taken for an option by other commands'),
    ("long option", "--help", '"--help" begins with a dash'),
    ("right-to-left override", "invoice\u202etxt.exe",
     '"invoice<U+202E>txt.exe" contains U+202E, a control or formatting character that can make a name look like '
     "another"),
    ("zero width space", "report\u200b.txt", '"report<U+200B>.txt" contains U+200B'),
    ("first strong isolate", "\u2068notes.txt", '"<U+2068>notes.txt" contains U+2068'),
    ("byte order mark", "a\ufeffb.txt", "contains U+FEFF"),
    ("soft hyphen", "pass\u00adwords.txt", "contains U+00AD"),
    ("tag character", "x\U000e0041.txt", "contains U+E0041"),
]


@pytest.mark.parametrize("case,name,says", MISLEADING_NAMES, ids=[c[0] for c in MISLEADING_NAMES])
def test_a_stored_name_that_misleads_is_refused(work, case, name, says):
    # The library stores these names; the tool must not write under them.
    r = run_vesk(work, "encrypt", "-r", "alice.pub", f"--name={name}", "-o", "x.vesk", "msg.txt")
    assert r.code == 0, r.err
    (work / "inbox").mkdir()
    r = run_vesk(work / "inbox", "decrypt", "-k", "../alice.key", "--passphrase-file", "../pass.txt",
                 "--use-stored-name", "../x.vesk")
    assert r.code == 2, r.err
    assert r.err.startswith("vesk: refusing the stored file name: ") and says in r.err
    assert r.err.endswith("; give -o OUT to choose the name\n") and len(r.err.splitlines()) == 1
    assert all(ord(c) < 0x7f or c.isalnum() for c in r.err if c != "\n"), "the message shows a hidden character"
    assert list((work / "inbox").iterdir()) == []
    # The way out that the message names works.
    r = run_vesk(work / "inbox", "decrypt", "-k", "../alice.key", "--passphrase-file", "../pass.txt", "-o", "plain.txt",
                 "../x.vesk")
    assert r.code == 0, r.err
    assert (work / "inbox" / "plain.txt").read_bytes() == (work / "msg.txt").read_bytes()


def key_file_asking(source, lanes, memory_kib, passes, version=2):
    """A key file like `source` whose clear header asks for other Argon2id work; the header is
    authenticated, so the library refuses it once it has derived a key."""
    data = bytearray(source.read_bytes())
    data[9:18] = struct.pack(">BII", lanes, memory_kib, passes)
    if version == 1:  # the older layout: the same header without the kind byte at 46
        data[8] = 1
        del data[46]
    return bytes(data)


DECRYPT = ["decrypt", "-k", "KEY", "-o", "out", "x.vesk"]
SIGN = ["sign", "-i", "KEY", "--context", "c", "-o", "out", "msg.txt"]
PUBKEY = ["pubkey", "KEY"]
MIB = 1024
OVER = "asks for more key-derivation work than allowed: Argon2id with"
MODIFIED = "incorrect passphrase, or the key file was modified"

# (case, command, key file, (lanes, memory KiB, passes) or None for as it is, more arguments, what is said)
KEY_FILE_WORK = [
    ("memory over the default cap", DECRYPT, "alice.key", (1, 64 * MIB + 1, 2), [],
     "KEY " + OVER + " 65537 KiB of memory, 2 passes and 1 lane, over the cap of 64 MiB and 4 passes; "
     "if you trust this file, allow it with --max-work 65"),
    ("passes over the default cap", SIGN, "me.id", (1, 8 * MIB, 5), [],
     "KEY " + OVER + " 8 MiB of memory, 5 passes and 1 lane, over the cap of 64 MiB and 4 passes; "
     "if you trust this file, allow it with --max-work 64,5"),
    ("the most the format allows", PUBKEY, "alice.key", (4, 256 * MIB, 64), [],
     OVER + " 256 MiB of memory, 64 passes and 4 lanes, over the cap of 64 MiB and 4 passes; "
     "if you trust this file, allow it with --max-work 256,64"),
    ("older layout", DECRYPT, "alice.key", (2, 128 * MIB, 1, 1), [], OVER + " 128 MiB of memory, 1 pass and 2 lanes"),
    ("a cap lowered below vesk's own", DECRYPT, "alice.key", None, ["--max-work", "16,1"],
     OVER + " 19 MiB of memory, 2 passes and 1 lane, over the cap of 16 MiB and 1 pass; "
     "if you trust this file, allow it with --max-work 19,2"),
    # Let through, the library derives and finds the changed header.
    ("at the default cap", DECRYPT, "alice.key", (4, 64 * MIB, 4), [], MODIFIED),
    ("memory allowed", DECRYPT, "alice.key", (1, 64 * MIB + 1, 2), ["--max-work", "65"], MODIFIED),
    ("passes allowed", SIGN, "me.id", (1, 8 * MIB, 5), ["--max-work=64,5"], MODIFIED),
    ("vesk's own under a raised cap", PUBKEY, "alice.key", None, ["--max-work", "300,70"], "vesk-public-key:"),
]


@pytest.mark.parametrize("case,command,key,asks,more,says", KEY_FILE_WORK, ids=[c[0] for c in KEY_FILE_WORK])
def test_key_file_work_is_capped(work, case, command, key, asks, more, says):
    if asks:
        (work / "KEY").write_bytes(key_file_asking(work / key, *asks))
    else:
        (work / "KEY").write_bytes((work / key).read_bytes())
    assert run_vesk(work, "encrypt", "-r", "alice.pub", "-o", "x.vesk", "msg.txt").code == 0
    refused = OVER in says
    # A refusal comes before the passphrase is wanted: without a terminal, asking would fail.
    passphrase = [] if refused else ["--passphrase-file", "pass.txt"]
    r = run_vesk(work, *command, *passphrase, *more)
    if says == "vesk-public-key:":
        assert r.code == 0 and r.text.startswith(says), r.err
        return
    assert_refused(r, 3, says)
    assert not (work / "out").exists()


def test_the_cap_leaves_other_keys_to_the_library(work):
    """Only key files have work to cap: a bare identity seed opens under the smallest cap, and a
    key file of an unknown version goes to the library as before."""
    (work / "seed").write_bytes(bytes(range(32)))
    r = run_vesk(work, "pubkey", "seed", "--max-work", "1,1")
    assert r.code == 0 and r.text.startswith("vesk-public-key:"), r.err
    data = bytearray((work / "alice.key").read_bytes())
    data[8] = 9
    (work / "future.key").write_bytes(bytes(data))
    r = run_vesk(work, "pubkey", "future.key", "--max-work", "1,1", *PASS)
    assert r.code == 3 and "a key file of a version this vesk does not read" in r.err, r.err
