"""What changes on a terminal (a pseudo-terminal here): binary output is refused unless asked for
(a decrypted text is shown), and passphrases are asked for without echo, with prompts that name
the file and up to three tries, and Ctrl-D cancels."""

import pytest

from conftest import PASSPHRASE, Terminal, run_vesk

PASS = ["--passphrase-file", "pass.txt"]

# (case, arguments, exit code, on the screen, not on the screen)
OUTPUTS = [
    ("container refused", ["encrypt", "-r", "alice.pub", "msg.txt"], 1,
     "refusing to write binary data to a terminal; give -a for the text form, -o FILE, or -o - to write it anyway",
     "VESK"),
    ("text plaintext shown", ["decrypt", "-k", "alice.key", *PASS, "x.vesk"], 0, "the numbers you asked for:",
     "refusing"),
    ("binary plaintext refused", ["decrypt", "-k", "alice.key", *PASS, "bin.vesk"], 1,
     "refusing to write binary data to a terminal; give -o FILE, or -o - to write it anyway (the plaintext is not "
     "text)", "PK"),
    # Text up to its last byte, where an escape sequence would reach the terminal.
    ("text ending in an escape refused", ["decrypt", "-k", "alice.key", *PASS, "esc.vesk"], 1,
     "(the plaintext is not text)", "cleared"),
    ("signature refused", ["sign", "-i", "me.id", *PASS, "--context", "c", "-"], 1,
     "give -a for the text form, -o FILE, or -o -", "Passphrase"),
    ("text form allowed", ["encrypt", "-a", "-r", "alice.pub", "msg.txt"], 0, "-----END VESK ENCRYPTED FILE-----",
     "refusing"),
    ("asked for with -o -", ["decrypt", "-k", "alice.key", *PASS, "-o", "-", "x.vesk"], 0, "the numbers you asked for",
     "refusing"),
    ("overwrite refused before prompting", ["keygen", "-o", "alice.key"], 2, "refusing to overwrite alice.key",
     "passphrase for"),
]


@pytest.mark.parametrize("case,args,code,shown,hidden", OUTPUTS, ids=[c[0] for c in OUTPUTS])
def test_output_on_a_terminal(work, case, args, code, shown, hidden):
    (work / "bin.dat").write_bytes(b"PK\x03\x04" + bytes(range(256)))
    (work / "esc.txt").write_bytes(b"looks like text" * 1000 + b" cleared\x1b[2J")
    for plain, sealed in (("msg.txt", "x.vesk"), ("bin.dat", "bin.vesk"), ("esc.txt", "esc.vesk")):
        assert run_vesk(work, "encrypt", "-r", "alice.pub", "-o", sealed, plain).code == 0
    got, screen, _ = Terminal(work, *args).finish()
    assert got == code, screen
    assert shown in screen and hidden not in screen


W, SHORT, OTHER = "wrong passphrase!", "abc1234", "another long passphrase"

# (case, command, the prompts and what is typed at each, exit code, messages shown between tries)
DIALOGS = [
    ("new key, first try", ["keygen", "-o", "new.key"],
     [("New passphrase for new.key: ", PASSPHRASE), ("Repeat the passphrase for new.key: ", PASSPHRASE)], 0, []),
    ("new key after a short and a mismatched one", ["keygen", "-o", "new.key"],
     [("New passphrase for new.key: ", SHORT),
      ("New passphrase for new.key: ", OTHER), ("Repeat the passphrase for new.key: ", PASSPHRASE),
      ("New passphrase for new.key: ", PASSPHRASE), ("Repeat the passphrase for new.key: ", PASSPHRASE)], 0,
     ["the passphrase is shorter than 8 characters; try again (2 tries left)",
      "the passphrases differ; try again (1 try left)"]),
    ("new identity, three mismatches", ["identity", "new", "-o", "new.key"],
     [("New passphrase for new.key: ", OTHER), ("Repeat the passphrase for new.key: ", PASSPHRASE)] * 3, 1,
     ["the passphrases differ (3 tries)"]),
    ("new key, three short", ["keygen", "-o", "new.key"], [("New passphrase for new.key: ", SHORT)] * 3, 3,
     ["the passphrase is shorter than 8 characters (3 tries)"]),
    ("opening after a wrong one", ["decrypt", "-k", "alice.key", "-o", "new.key", "x.vesk"],
     [("Passphrase for alice.key: ", W), ("Passphrase for alice.key: ", PASSPHRASE)], 0,
     ["incorrect passphrase; try again (2 tries left)"]),
    ("opening, three wrong", ["sign", "-i", "me.id", "--context", "c", "-o", "new.key", "msg.txt"],
     [("Passphrase for me.id: ", W)] * 3, 3, ["incorrect passphrase, or the key file was modified"]),
    # The part before the NUL is the right passphrase: it must not open the key.
    ("opening, a NUL typed", ["decrypt", "-k", "alice.key", "-o", "new.key", "x.vesk"],
     [("Passphrase for alice.key: ", PASSPHRASE + "\0and more")], 3,
     ["the passphrase typed contains a NUL byte, which a passphrase cannot hold"]),
    ("new key, a NUL typed", ["keygen", "-o", "new.key"], [("New passphrase for new.key: ", PASSPHRASE + "\0x")], 3,
     ["the passphrase typed contains a NUL byte, which a passphrase cannot hold"]),
]


@pytest.mark.parametrize("case,args,dialog,code,messages", DIALOGS, ids=[c[0] for c in DIALOGS])
def test_passphrase_dialog(work, case, args, dialog, code, messages):
    assert run_vesk(work, "encrypt", "-r", "alice.pub", "-o", "x.vesk", "msg.txt").code == 0
    t = Terminal(work, *args, stdout_on_terminal=False)
    screen = ""
    for prompt, answer in dialog:
        screen += t.expect(prompt)
        t.type(answer)
    got, rest, _ = t.finish()
    screen += rest
    assert got == code, screen
    for m in messages:
        assert m in screen
    for _, answer in dialog:
        assert answer not in screen, "a passphrase was echoed"
    assert (work / "new.key").exists() == (code == 0)
    if code == 0 and args[0] in ("keygen", "identity"):
        # The key file holds the passphrase that was confirmed last.
        assert run_vesk(work, "inspect", "new.key").code == 0
        r = run_vesk(work, "pubkey", "new.key", *PASS)
        assert r.code == 0, r.err


# (case, command, the prompt at which Ctrl-D is typed)
CANCELLED = [
    ("opening a key", ["decrypt", "-k", "alice.key", "-o", "new.key", "x.vesk"], "Passphrase for alice.key: "),
    ("a new key", ["keygen", "-o", "new.key"], "New passphrase for new.key: "),
    ("confirming a new key", ["identity", "new", "-o", "new.key"], "Repeat the passphrase for new.key: "),
]


@pytest.mark.parametrize("case,args,prompt", CANCELLED, ids=[c[0] for c in CANCELLED])
def test_ctrl_d_at_a_prompt_cancels(work, case, args, prompt):
    """End of input at a prompt is not a wrong passphrase tried: the command stops, writing nothing."""
    assert run_vesk(work, "encrypt", "-r", "alice.pub", "-o", "x.vesk", "msg.txt").code == 0
    t = Terminal(work, *args, stdout_on_terminal=False)
    if prompt.startswith("Repeat"):
        t.expect("New passphrase for new.key: ")
        t.type(PASSPHRASE)
    t.expect(prompt)
    import os
    os.write(t.master, b"\x04")  # Ctrl-D at the start of a line
    got, screen, _ = t.finish()
    assert got == 1, screen
    assert "cancelled" in screen and "try again" not in screen and "incorrect" not in screen
    assert not (work / "new.key").exists()
