"""The text forms of encrypted files and signatures: what is accepted, and every way a hostile or
damaged text is refused, by decrypt, verify and inspect alike."""

import os

import pytest

from conftest import run_vesk

ALPHABET = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"


def lines_of(text):
    return text.split("\n")[:-1]  # the text ends with a line end


def non_canonical(text):
    """Sets an unused bit of the last Base64 character that carries data."""
    lines = lines_of(text)
    last = lines[-2]
    at = len(last) - last.count("=") - 1
    lines[-2] = last[:at] + ALPHABET[ALPHABET.index(last[at]) ^ 1] + last[at + 1:]
    return "\n".join(lines) + "\n"


def insert_line(at, line):
    def change(text):
        lines = lines_of(text)
        lines.insert(at, line)
        return "\n".join(lines) + "\n"
    return change


def shorten_line(at):
    def change(text):
        lines = lines_of(text)
        lines[at] = lines[at][:60]
        return "\n".join(lines) + "\n"
    return change


# (case, change to the text, exit code, what the message says); {label} is the form's own label.
CHANGES = [
    ("as written", lambda t: t, 0, ""),
    ("CR LF line ends", lambda t: t.replace("\n", "\r\n"), 0, ""),
    ("no final line end", lambda t: t[:-1], 0, ""),
    # As editors and mail leave a text: blank lines and spaces around it.
    ("blank lines around", lambda t: "\n \n\t\n" + t + "\n\n  \n", 0, ""),
    ("CR LF and blank lines around", lambda t: "\r\n\r\n" + t.replace("\n", "\r\n") + "\r\n", 0, ""),
    ("non-canonical Base64", non_canonical, 3, "is not canonical Base64"),
    ("text before BEGIN", lambda t: "Here it is:\n" + t, 3,
     "a damaged text form: text stands before its BEGIN line (on line 2)"),
    ("text before BEGIN on its line", lambda t: "\n> " + t, 3, "a damaged text form: it is quoted"),
    ("quoted mail", lambda t: "".join("> " + line + "\n" for line in lines_of(t)), 3,
     "a damaged text form: it is quoted (\"> \" before its lines, as mail quotes them)"),
    ("quoted body", lambda t: "\n".join(lines_of(t)[:1] + ["> " + l for l in lines_of(t)[1:]]) + "\n", 3,
     "a damaged text form: line 2 begins with > (quoted mail?)"),
    ("text after END", lambda t: t + "regards\n", 3, "a damaged text form: text after the END line"),
    ("unknown label", lambda t: t.replace("BEGIN VESK", "BEGIN VESC", 1), 3, "does not begin with"),
    ("missing END", lambda t: "\n".join(lines_of(t)[:-1]) + "\n", 3, "a BEGIN line but no END line"),
    ("two BEGIN lines", lambda t: t.split("\n", 1)[0] + "\n" + t, 3, "line 2 is a second BEGIN line"),
    ("huge line", insert_line(1, "A" * 5_000_000), 3, "line 2 is longer than 64 characters"),
    ("binary garbage", lambda t: t.split("\n", 1)[0] + "\n" + os.urandom(200_000).decode("latin-1"), 3, "line 2 is"),
    ("space in a line", insert_line(2, "QUJD REVG"), 3, "line 3 is not canonical Base64"),
    ("short line inside", shorten_line(2), 3, "line 4 follows the last line of Base64"),
    ("END of the other kind", insert_line(3, "-----END VESK OTHER-----"), 3, "line 4 is an END line of another kind"),
]

FORMS = {
    "encrypted file": (["encrypt", "-a", "-r", "alice.pub", "-o", "t.asc", "msg.txt"],
                       ["decrypt", "-k", "alice.key", "--passphrase-file", "pass.txt", "-o", "out", "t.asc"]),
    "signature": (["sign", "-a", "-i", "me.id", "--passphrase-file", "pass.txt", "--context", "c", "-o", "t.asc",
                   "msg.txt"],
                  ["verify", "-k", "me.pub", "--context", "c", "msg.txt", "t.asc"]),
}


@pytest.mark.parametrize("form", FORMS)
@pytest.mark.parametrize("case,change,code,says", CHANGES, ids=[c[0] for c in CHANGES])
def test_text_form(work, form, case, change, code, says):
    make, use = FORMS[form]
    for _ in range(3):
        # Padding is needed to change an unused bit; the size of the message decides whether there is any.
        assert run_vesk(work, *make).code == 0
        text = (work / "t.asc").read_bytes().decode("latin-1")
        if lines_of(text)[-2].endswith("="):
            break
        (work / "t.asc").unlink()
        with open(work / "msg.txt", "ab") as f:
            f.write(b"!")
    assert text.startswith("-----BEGIN VESK ") and all(len(line) <= 64 for line in lines_of(text))
    (work / "t.asc").write_bytes(change(text).encode("latin-1"))
    for args in (use, ["inspect", "t.asc"]):
        r = run_vesk(work, *args)
        assert r.code == code, r.err
        assert says in r.err
    if code == 0 and form == "encrypted file":
        assert (work / "out").read_bytes() == (work / "msg.txt").read_bytes()
    if code != 0:
        assert not (work / "out").exists()


@pytest.mark.parametrize("form", FORMS)
def test_form_given_for_the_other(work, form):
    make, _ = FORMS[form]
    other = FORMS["signature" if form == "encrypted file" else "encrypted file"][1]
    assert run_vesk(work, *make).code == 0
    r = run_vesk(work, *other)
    assert r.code == 3
    assert f"t.asc: a {form}" in r.err or f"t.asc: an {form}" in r.err
