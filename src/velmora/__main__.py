"""The velmora command line: `python -m velmora COMMAND FILE ...`."""

import argparse
import sys

import velmora


def list_parts(path):
    package = velmora.Package(path)
    print(f"{path}: {len(package.parts())} parts")
    for part in package.parts():
        print(f"  {part.name}  {part.size} bytes  {part.content_type or '(no content type)'}")


COMMANDS = {
    "parts": (list_parts, "list every part of each package with its size and content type"),
}


def main(argv=None):
    parser = argparse.ArgumentParser(prog="velmora", description="Reads, writes and verifies presentation decks.")
    parser.add_argument("--version", action="version", version=f"velmora {velmora.__version__}")
    commands = parser.add_subparsers(dest="command", required=True)
    for name, (_, help_text) in COMMANDS.items():
        command = commands.add_parser(name, help=help_text)
        command.add_argument("files", nargs="+", metavar="FILE")
    args = parser.parse_args(argv)
    run = COMMANDS[args.command][0]
    status = 0
    for path in args.files:
        try:
            run(path)
        except (velmora.PptxError, OSError, ValueError) as error:
            print(f"velmora: {path}: {error}", file=sys.stderr)
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
