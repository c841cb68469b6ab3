"""The records the library verifies, through the tool: identity logs pinned or not, identity keys,
epoch keys checked on their own or bound to a pinned identity, checkpoints, and what inspect says
of each without a key."""

import os
import subprocess

import pytest

from conftest import run_vesk

PASS = ["--passphrase-file", "pass.txt"]


@pytest.fixture
def records(work):
    """The development generators' public demo records, beside the keys in the work folder."""
    for tool, args in (("VESK_DEVGEN_IDENTITY", [work]), ("VESK_DEVGEN", [work])):
        path = os.environ.get(tool)
        if not path:
            pytest.fail(f"{tool} must name the generator (ctest sets it)")
        subprocess.run([path, *map(str, args)], check=True, capture_output=True)
    (work / "pin").write_text((work / "identity.pin").read_text().strip())
    text = (work / "checkpoint").read_text()
    (work / "checkpoint.crlf").write_bytes(text.replace("\n", "\r\n").encode())
    (work / "checkpoint.blank").write_text(text + "\n")
    return work


PIN = "@pin"  # the identity id devgen-identity wrote
OTHER_PIN = "00" * 32
BOUND = ["--log", "identity.log", "--recovery-binding", "recovery.binding", "--pin", PIN, "--binding",
         "epochs.binding"]

# (case, arguments, exit code, on standard output, on standard error)
RUNS = [
    ("unpinned log says it is tied to no one", ["identity", "verify", "identity.log", "--recovery-key", "recovery.key"],
     0, "(not pinned: the log is sound under the recovery key given, but nothing ties it to the identity you expect; "
        "to tie it, verify with --binding RECOVERY_BINDING --pin ID", ""),
    ("pinned log", ["identity", "verify", "identity.log", "--binding", "recovery.binding", "--pin", PIN], 0,
     "(matches the pin)", ""),
    ("a pin the binding does not name", ["identity", "verify", "identity.log", "--binding", "recovery.binding",
                                         "--pin", OTHER_PIN], 4, "",
     "recovery.binding is the recovery binding of identity "),
    ("a log the pin does not name", ["identity", "verify", "other.log", "--binding", "recovery.binding", "--pin", PIN],
     4, "", "identity log other.log: the log's identity is not the pinned one (it is "),
    ("epoch key on its own notes it", ["epoch", "key", "epochs.chain", "1"], 0, "vesk-public-key:",
     "note: the chain is checked on its own: nothing ties it to an identity"),
    ("epoch key bound", ["epoch", "key", "epochs.chain", "1", *BOUND], 0, "vesk-public-key:", ""),
    ("epoch key bound to a log the pin does not name",
     ["epoch", "key", "epochs.chain", "1", "--log", "other.log", "--recovery-binding", "recovery.binding", "--pin", PIN,
      "--binding", "epochs.binding"], 4, "", "the log's identity is not the pinned one"),
    ("a log given as the chain", ["epoch", "key", "other.log", "0", *BOUND], 3, "",
     "epoch chain other.log bound by epochs.binding: malformed or corrupt input"),
    ("epoch key bound, half the arguments", ["epoch", "key", "epochs.chain", "1", "--log", "identity.log"], 1, "",
     "the bound check needs all of --log, --recovery-binding, --pin and --binding"),
    ("epoch past the chain", ["epoch", "key", "epochs.chain", "3", *BOUND], 3, "",
     "epochs.chain has 3 epochs; there is no epoch 3"),
    ("checkpoint", ["checkpoint", "verify", "checkpoint", "--origin", "example.com/test-log", "--key", "log.pub"], 0,
     "checkpoint verified: example.com/test-log", ""),
    ("checkpoint with CR LF line ends",
     ["checkpoint", "verify", "checkpoint.crlf", "--origin", "example.com/test-log", "--key", "log.pub"], 3, "",
     "checkpoint checkpoint.crlf: it has CR LF line ends; a checkpoint's lines end in LF alone"),
    ("checkpoint ending in a blank line",
     ["checkpoint", "verify", "checkpoint.blank", "--origin", "example.com/test-log", "--key", "log.pub"], 3, "",
     "checkpoint checkpoint.blank: it ends in a blank line; nothing may follow the last signature line"),
]


@pytest.mark.parametrize("case,args,code,out,err", RUNS, ids=[r[0] for r in RUNS])
def test_record_commands(records, case, args, code, out, err):
    args = [(records / a[1:]).read_text() if a.startswith("@") else a for a in args]
    r = run_vesk(records, *args)
    assert r.code == code, r.err
    assert out in r.text and err in r.err
    if code != 0:
        assert len(r.err.splitlines()) == 1, r.err


def test_the_bound_epoch_key_is_the_chains(records):
    bound = run_vesk(records, "epoch", "key", "epochs.chain", "2", *[(records / "pin").read_text() if a == PIN else a
                                                                      for a in BOUND])
    alone = run_vesk(records, "epoch", "key", "epochs.chain", "2")
    assert bound.code == 0 and bound.out == alone.out and bound.out.startswith(b"vesk-public-key:\n")


def test_identity_key_gives_back_the_verifying_key(work):
    """The key identity new printed, from the key file (or a bare seed), to standard output or a file."""
    r = run_vesk(work, "identity", "key", "me.id", *PASS)
    assert r.code == 0, r.err
    assert r.out == (work / "me.pub").read_bytes()
    assert run_vesk(work, "identity", "key", "me.id", *PASS, "-o", "again.pub").code == 0
    assert (work / "again.pub").read_bytes() == (work / "me.pub").read_bytes()
    (work / "seed").write_bytes(bytes(range(32)))
    r = run_vesk(work, "identity", "key", "seed")
    assert r.code == 0 and len(r.out.strip()) == 2648, r.err  # Base64 of 1984 bytes
    r = run_vesk(work, "identity", "key", "alice.key", *PASS)
    assert r.code == 3 and "alice.key is a recipient secret key file, not a signing identity" in r.err


# (file, what inspect says of it)
INSPECTED = [
    ("identity.log", "identity.log: an identity log of 4 entries, identity id {pin}, head "),
    ("other.log", "other.log: an identity log of 1 entry, identity id "),
    ("recovery.binding", "recovery.binding: a recovery binding for identity {pin} (as it states; nothing is verified"),
    ("epochs.chain", "epochs.chain: an epoch chain of 3 epochs, head "),
    ("epochs.binding", "epochs.binding: an epoch binding of identity {pin} to 3 epochs with chain head "),
    ("checkpoint", "checkpoint: a checkpoint of example.com/test-log, tree size 11, with signature lines by "
                   "example.com/test-log"),
]


@pytest.mark.parametrize("name,says", INSPECTED, ids=[i[0] for i in INSPECTED])
def test_inspect_names_the_records(records, name, says):
    r = run_vesk(records, "inspect", name)
    assert r.code == 0, r.err
    assert says.format(pin=(records / "pin").read_text()) in r.text
    assert "checks it" in r.text


def test_inspect_tells_a_chain_head_from_a_log_head(records):
    """What inspect reads as the heads is what the verifying commands report."""
    log = run_vesk(records, "identity", "verify", "identity.log", "--recovery-key", "recovery.key").text
    head = [l.split()[1] for l in log.splitlines() if l.startswith("head: ")][0]
    assert f"head {head}" in run_vesk(records, "inspect", "identity.log").text
