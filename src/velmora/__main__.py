"""The velmora command line: `python -m velmora COMMAND FILE ...`."""

import argparse
import os
import sys

import velmora


def list_parts(path):
    package = velmora.Package(path)
    print(f"{path}: {len(package.parts())} parts")
    for part in package.parts():
        print(f"  {part.name}  {part.size} bytes  {part.content_type or '(no content type)'}")


def check_package(path):
    report = velmora.check_report(path)
    for finding in report.findings:
        print(finding)
    state = "clean" if report.is_clean else "not clean"
    print(f"{path}: {state}: {report.errors} errors, {report.warnings} warnings, {report.parts_checked} parts checked")
    return report.is_clean


COMMANDS = {
    "parts": (list_parts, "list every part of each package with its size and content type"),
    "check": (check_package, "verify each package against ECMA-376; fails when an error is found"),
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
    try:
        for path in args.files:
            try:
                if run(path) is False:
                    status = 1
            except BrokenPipeError:
                raise
            except (velmora.PptxError, OSError, ValueError) as error:
                print(f"velmora: {path}: {error}", file=sys.stderr)
                status = 1
    except BrokenPipeError:
        # The reader went away (`velmora parts deck.pptx | head`): stop quietly.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    return status


if __name__ == "__main__":
    sys.exit(main())
