"""Help for every command, and the manual page and the README agreeing with it."""

import os
import pathlib
import re
import subprocess

import pytest

from conftest import SOURCE_DIR, VESK

# The manual page as the build writes it (docs/vesk.1.in with the version filled in).
MAN_PAGE = pathlib.Path(os.environ.get("VESK_BUILD_DIR", "build/release")) / "docs" / "vesk.1"
SECTIONS = ["NAME", "SYNOPSIS", "DESCRIPTION", "COMMANDS", "OPTIONS", "TEXT FORMS", "EXIT STATUS", "FILES", "EXAMPLES"]


def vesk(*args):
    return subprocess.run([VESK, *args], capture_output=True, text=True, timeout=60)


def usages():
    """Each command's usage as `vesk --help` lists it: the name and its arguments."""
    if not VESK:
        return []
    listing = vesk("--help").stdout.split("commands:\n", 1)[1].split("\n\n", 1)[0]
    return [re.split(r"\s{2,}", line.strip())[0] for line in listing.splitlines() if not line.startswith(" " * 4)]


def command_of(usage):
    words = usage.split()
    return words[:2] if vesk("help", *words[:2]).returncode == 0 else words[:1]


def normalised(text):
    return " ".join(text.split())


def man_text():
    p = subprocess.run(["groff", "-man", "-Tascii", "-P-cbou", str(MAN_PAGE)], capture_output=True, text=True)
    assert p.returncode == 0, p.stderr
    return p.stdout


def man_section(name):
    text = man_text()
    start = text.index("\n" + name + "\n")
    following = [text.find("\n" + s + "\n", start + 1) for s in SECTIONS]
    end = min([i for i in following if i > start] or [len(text)])
    return text[start:end]


def test_overview():
    r = vesk("--help")
    assert r.returncode == 0 and r.stderr == ""
    for needed in ("A FILE of - is standard input; -o - is standard output.", "vesk help COMMAND", "exit codes:"):
        assert needed in r.stdout
    assert [int(n) for n in re.findall(r"^  (\d)  ", r.stdout, re.M)] == [0, 1, 2, 3, 4]
    bare = vesk()
    assert bare.returncode == 1 and bare.stderr == r.stdout


@pytest.mark.parametrize("usage", usages())
def test_command_help(usage):
    command = command_of(usage)
    name = " ".join(command)
    pages = [vesk(*command, "--help"), vesk(*command, "-h"), vesk("help", *command)]
    for page in pages:
        assert page.returncode == 0 and page.stderr == ""
        assert page.stdout == pages[0].stdout
    text = pages[0].stdout
    assert text.startswith(f"usage: vesk {usage}\n")
    assert f"\nexample:\n  vesk {name} " in text
    # Every option the command takes is in the manual page's OPTIONS.
    options = man_section("OPTIONS")
    for option in set(re.findall(r"^\s+((?:-\w, )?--[\w-]+)", text, re.M)):
        for spelling in option.split(", "):
            assert spelling in options, f"{spelling} of vesk {name} is not in the manual page"
    assert normalised(f"vesk {usage}") in normalised(man_section("SYNOPSIS"))
    assert re.search(rf"^ {{7}}(.*, )?{re.escape(name)}(\s|,)", man_section("COMMANDS"), re.M), name


@pytest.mark.parametrize("group", ["identity", "epoch", "checkpoint", "proof"])
def test_help_for_a_group_lists_its_commands(group):
    listed = [u for u in usages() if u.split()[0] == group]
    for asked in (vesk("help", group), vesk(group, "--help"), vesk(group, "-h")):
        assert asked.returncode == 0 and asked.stderr == ""
        for usage in listed:
            assert usage in asked.stdout
    bare = vesk(group)
    assert bare.returncode == 1 and f"vesk: {group} needs a second word:" in bare.stderr


@pytest.mark.parametrize("tool", ["VESK_DEVGEN", "VESK_DEVGEN_IDENTITY"])
def test_development_generators_take_help_and_make_their_folder(tool, tmp_path):
    path = os.environ.get(tool)
    if not path:
        pytest.fail(f"{tool} must name the generator (ctest sets it)")
    for asked in ("--help", "-h"):
        p = subprocess.run([path, asked], capture_output=True, text=True, cwd=tmp_path)
        assert p.returncode == 0 and "usage:" in p.stdout, p.stderr
    assert list(tmp_path.iterdir()) == [], "--help made a folder"
    p = subprocess.run([path, "--bogus"], capture_output=True, text=True, cwd=tmp_path)
    assert p.returncode == 1 and list(tmp_path.iterdir()) == []
    p = subprocess.run([path, str(tmp_path / "new" / "deeper")], capture_output=True, text=True)
    assert p.returncode == 0, p.stderr
    assert any((tmp_path / "new" / "deeper").iterdir())


def test_help_for_unknown_command():
    r = vesk("help", "encrpyt")
    assert r.returncode == 1 and "unknown command 'encrpyt'" in r.stderr


def test_man_page_sections_and_exit_status():
    text = man_text()
    assert vesk("--version").stdout.strip() in text.splitlines()[-1], "the manual page names another version"
    for section in SECTIONS:
        assert f"\n{section}\n" in text, section
    assert re.findall(r"^ {7}(\d)\s", man_section("EXIT STATUS"), re.M) == ["0", "1", "2", "3", "4"]
    for form in ("-----BEGIN VESK ENCRYPTED FILE-----", "VESK SIGNATURE", "vesk-public-key:"):
        # Adjusted lines may widen the space inside a label.
        assert form in normalised(man_section("TEXT FORMS"))


@pytest.mark.parametrize("checker", [
    ["man", "--warnings", "-l", str(MAN_PAGE)],
    ["groff", "-ww", "-man", "-z", str(MAN_PAGE)],
], ids=["man", "groff"])
def test_man_page_has_no_warnings(checker):
    env = dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80", MAN_KEEP_FORMATTING="0")
    p = subprocess.run(checker, capture_output=True, text=True, env=env)
    assert p.returncode == 0 and p.stderr == "", p.stderr


def test_the_key_file_work_cap_reads_alike_everywhere():
    """The default cap each key-opening command's help gives is the one the manual page and the
    README state (test_refusals checks that it is the one enforced)."""
    found = {tuple(re.findall(r"--max-work MIB\[,PASSES\].*?\(default (\d+),(\d+)\)", vesk(c, "--help").stdout, re.S))
             for c in ("pubkey", "decrypt", "sign")}
    assert len(found) == 1 and len(next(iter(found))) == 1, found
    mib, passes = next(iter(found))[0]
    assert normalised(f"at most {mib} MiB of memory and {passes} passes") in normalised(man_section("OPTIONS"))
    assert normalised(f"more than {mib} MiB or {passes} passes") in normalised((SOURCE_DIR / "README.md").read_text())


def test_readme_shows_the_help():
    readme = (SOURCE_DIR / "README.md").read_text()
    shown = readme.split("`vesk --help`:\n\n```text\n", 1)[1].split("```", 1)[0]
    assert shown == vesk("--help").stdout


def test_install_puts_the_man_page_in_place(tmp_path):
    build, cmake = os.environ.get("VESK_BUILD_DIR"), os.environ.get("CMAKE_COMMAND", "cmake")
    if not build:
        pytest.fail("VESK_BUILD_DIR must name the build folder (ctest sets it)")
    p = subprocess.run([cmake, "--install", build, "--prefix", str(tmp_path)], capture_output=True, text=True)
    assert p.returncode == 0, p.stderr
    assert (tmp_path / "share/man/man1/vesk.1").read_bytes() == MAN_PAGE.read_bytes()
    assert os.access(tmp_path / "bin/vesk", os.X_OK)
