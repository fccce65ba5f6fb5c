"""The command line: `python -m velmora COMMAND FILE ...`."""

import subprocess
import sys

from conftest import CONTENT_TYPES, make_zip


def run(*args):
    return subprocess.run([sys.executable, "-m", "velmora", *map(str, args)], capture_output=True, text=True)


def test_version():
    out = run("--version")
    assert (out.returncode, out.stdout) == (0, "velmora 2.2.0\n")


def test_parts_lists_every_part(tmp_path):
    deck = tmp_path / "deck.pptx"
    deck.write_bytes(make_zip([("[Content_Types].xml", CONTENT_TYPES), ("ppt/a.xml", b"<a/>"), ("b.bin", b"12")]))
    out = run("parts", deck)
    assert out.returncode == 0
    assert out.stdout.splitlines() == [
        f"{deck}: 2 parts",
        "  /ppt/a.xml  4 bytes  application/xml",
        "  /b.bin  2 bytes  (no content type)",
    ]


def test_failures_are_reported_and_the_rest_still_listed(tmp_path):
    bad = tmp_path / "bad.pptx"
    bad.write_text("not a deck")
    good = tmp_path / "good.pptx"
    good.write_bytes(make_zip([("a.xml", b"")]))
    out = run("parts", bad, good)
    assert out.returncode == 1
    assert out.stderr == f"velmora: {bad}: not a zip archive\n"
    assert out.stdout.splitlines()[0] == f"{good}: 1 parts"


def test_check_prints_findings_and_fails_on_errors(tmp_path):
    clean = tmp_path / "clean.pptx"
    clean.write_bytes(make_zip([("[Content_Types].xml", CONTENT_TYPES), ("a.xml", b"<a/>")]))
    broken = tmp_path / "broken.pptx"
    broken.write_bytes(make_zip([("a.xml", b"<a/>")]))
    out = run("check", clean, broken)
    assert out.returncode == 1
    assert out.stdout.splitlines() == [
        f"{clean}: clean: 0 errors, 0 warnings, 1 parts checked",
        "error OPC004 [Content_Types].xml is missing [Part 2 7.3.7]",
        f"{broken}: not clean: 1 errors, 0 warnings, 0 parts checked",
    ]
    assert run("check", clean).returncode == 0


def test_a_closed_pipe_stops_quietly(tmp_path):
    deck = tmp_path / "deck.pptx"
    deck.write_bytes(make_zip([(f"p{i}.xml", b"") for i in range(20000)]))
    listing = subprocess.Popen([sys.executable, "-m", "velmora", "parts", str(deck)], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
    listing.stdout.readline()
    listing.stdout.close()
    assert listing.wait() == 1
    assert listing.stderr.read() == b""
