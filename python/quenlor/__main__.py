"""Command-line tool.

    python -m quenlor [FILE|-] [-o OUT] [--math MODE] [--smart] [--tagfilter]
                      [--balance] [--no-auto-ids] [--blocks | --edit-nodes]
    python -m quenlor convert SRC... -o OUTDIR [-j N] [--standalone] [--css FILE] [options]

The first form prints the XHTML of FILE (standard input when FILE is "-" or
absent), or with --blocks / --edit-nodes the result of blocks() / edit_nodes()
as JSON. The second converts every .md file under the SRC files and directories
into .html files under OUTDIR, keeping the relative layout.
"""

from __future__ import annotations

import argparse
import json
import sys

from . import __version__, blocks, edit_nodes, to_xhtml


def add_conversion_options(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("--math", choices=["off", "on", "brackets", "dollars"], default="brackets",
                        help="which math delimiters are recognised (default: brackets)")
    parser.add_argument("--smart", action="store_true", help="apply smart punctuation")
    parser.add_argument("--tagfilter", action="store_true", help="neutralise script-like raw HTML tags")
    parser.add_argument("--balance", action="store_true", help="repair the nesting of tags in the output")
    parser.add_argument("--no-auto-ids", dest="auto_ids", action="store_false",
                        help="do not give headings automatic identifiers")


def conversion_kwargs(args: argparse.Namespace) -> dict:
    return {"math": args.math, "tagfilter": args.tagfilter, "balance": args.balance,
            "auto_ids": args.auto_ids, "smart": args.smart}


def read_source(name: str | None) -> str:
    if not name or name == "-":
        data = sys.stdin.buffer.read()
    else:
        with open(name, "rb") as f:
            data = f.read()
    return data.decode("utf-8")


def convert_main(argv: list[str]) -> int:
    from .batch import run_batch

    parser = argparse.ArgumentParser(prog="python -m quenlor convert",
                                     description="Convert every .md file under SRC into .html files under OUTDIR.")
    parser.add_argument("sources", nargs="+", metavar="SRC", help="Markdown files or directories")
    parser.add_argument("-o", "--output", metavar="OUTDIR", required=True, help="output directory")
    parser.add_argument("-j", "--jobs", type=int, default=None, metavar="N",
                        help="worker processes (default: the number of CPUs)")
    parser.add_argument("--standalone", action="store_true",
                        help="wrap each fragment in a minimal XHTML document")
    parser.add_argument("--css", metavar="FILE", help="with --standalone: embed this stylesheet")
    add_conversion_options(parser)
    args = parser.parse_args(argv)
    if args.jobs is not None and args.jobs < 1:
        parser.error("-j must be at least 1")
    css = None
    if args.css:
        try:
            with open(args.css, encoding="utf-8") as f:
                css = f.read()
        except (OSError, UnicodeDecodeError) as e:
            print(f"quenlor: cannot read {args.css}: {e}", file=sys.stderr)
            return 1
    return run_batch(args.sources, args.output, args.jobs, conversion_kwargs(args), args.standalone, css)


def main(argv: list[str] | None = None) -> int:
    if argv is None:
        argv = sys.argv[1:]
    if argv and argv[0] == "convert":
        return convert_main(argv[1:])
    parser = argparse.ArgumentParser(prog="python -m quenlor", description="Convert Markdown to XHTML.")
    parser.add_argument("file", nargs="?", metavar="FILE", help="Markdown file (default or '-': standard input)")
    parser.add_argument("-o", "--output", metavar="OUT", help="write the result to OUT instead of standard output")
    parser.add_argument("--version", action="version", version=__version__)
    add_conversion_options(parser)
    what = parser.add_mutually_exclusive_group()
    what.add_argument("--blocks", action="store_true", help="print the top-level block spans as JSON")
    what.add_argument("--edit-nodes", action="store_true", help="print the inline images and math as JSON")
    args = parser.parse_args(argv)

    try:
        text = read_source(args.file)
    except (OSError, UnicodeDecodeError) as e:
        print(f"quenlor: cannot read {args.file or 'standard input'}: {e}", file=sys.stderr)
        return 1
    if args.blocks:
        result = json.dumps(blocks(text, math=args.math), ensure_ascii=False, indent=1) + "\n"
    elif args.edit_nodes:
        result = json.dumps(edit_nodes(text, math=args.math), ensure_ascii=False, indent=1) + "\n"
    else:
        result = to_xhtml(text, **conversion_kwargs(args))
    try:
        if args.output:
            with open(args.output, "w", encoding="utf-8", newline="") as f:
                f.write(result)
        else:
            sys.stdout.write(result)
    except OSError as e:
        print(f"quenlor: cannot write {args.output}: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
