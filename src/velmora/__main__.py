"""The velmora command line: `python -m velmora [FILE ...]`."""

import argparse
import os
import sys

import velmora


def main(argv=None):
    parser = argparse.ArgumentParser(prog="velmora", description="Reads, writes and verifies presentation decks.")
    parser.add_argument("--version", action="version", version=f"velmora {velmora.__version__}")
    parser.add_argument("files", nargs="*", help="decks to look at")
    args = parser.parse_args(argv)
    print(f"velmora {velmora.__version__}")
    status = 0
    for name in args.files:
        try:
            print(f"{name}: {os.path.getsize(name)} bytes")
        except OSError as error:
            print(f"{name}: {error.strerror}", file=sys.stderr)
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
