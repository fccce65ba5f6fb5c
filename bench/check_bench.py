"""Decks checked per second over the corpus, with and without the CRC pass.

    python bench/check_bench.py [corpus-dir] [seconds]
"""

import pathlib
import sys
import time

import velmora

CORPUS = pathlib.Path(__file__).resolve().parents[2] / "shared" / "corpus"


def openable(paths):
    decks = []
    for path in paths:
        try:
            velmora.check_report(path, max_findings=0)
            decks.append(path)
        except velmora.PptxError:
            pass
    return decks


def decks_per_second(decks, seconds, **options):
    checked, start = 0, time.perf_counter()
    while (elapsed := time.perf_counter() - start) < seconds:
        for deck in decks:
            velmora.check_report(deck, **options)
        checked += len(decks)
    return checked / elapsed


def main():
    root = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else CORPUS
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 3.0
    decks = openable(sorted(p for p in root.rglob("*") if p.is_file()))
    size = sum(d.stat().st_size for d in decks) / 1e6
    print(f"{len(decks)} packages, {size:.1f} MB")
    for options in ({"verify_crc": True}, {"verify_crc": False}):
        rate = decks_per_second(decks, seconds, **options)
        print(f"verify_crc={options['verify_crc']!s:5}  {rate:8.1f} decks/s  {rate * size / len(decks):8.1f} MB/s")


if __name__ == "__main__":
    main()
