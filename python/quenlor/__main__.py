"""Command-line tool: ``python -m quenlor [FILE] [options]`` prints the XHTML of FILE
(or of standard input)."""

from __future__ import annotations

import argparse
import sys

from . import __version__, to_xhtml


def add_conversion_options(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("--math", choices=["off", "on", "brackets", "dollars"], default="brackets",
                        help="which math delimiters are recognised (default: brackets)")
    parser.add_argument("--tagfilter", action="store_true", help="neutralise script-like raw HTML tags")
    parser.add_argument("--balance", action="store_true", help="repair the nesting of tags in the output")
    parser.add_argument("--no-auto-ids", dest="auto_ids", action="store_false",
                        help="do not give headings automatic identifiers")
    parser.add_argument("--smart", action="store_true", help="apply smart punctuation")


def conversion_kwargs(args: argparse.Namespace) -> dict:
    return {"math": args.math, "tagfilter": args.tagfilter, "balance": args.balance,
            "auto_ids": args.auto_ids, "smart": args.smart}


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m quenlor", description="Convert Markdown to XHTML.")
    parser.add_argument("file", nargs="?", help="Markdown file to convert (default: standard input)")
    parser.add_argument("--version", action="version", version=__version__)
    add_conversion_options(parser)
    args = parser.parse_args(argv)
    try:
        if args.file and args.file != "-":
            with open(args.file, encoding="utf-8") as f:
                text = f.read()
        else:
            text = sys.stdin.read()
    except (OSError, UnicodeDecodeError) as e:
        print(f"quenlor: cannot read {args.file or 'standard input'}: {e}", file=sys.stderr)
        return 1
    sys.stdout.write(to_xhtml(text, **conversion_kwargs(args)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
