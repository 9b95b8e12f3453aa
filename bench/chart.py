"""Draws the benchmark results as a horizontal bar chart in plain SVG.

    bench/quenlor_bench bench/corpus | python bench/chart.py [-o bench/results.svg]
    python bench/chart.py bench-output.txt -o results.svg

Reads the output of the benchmark programs (lines such as
"quenlor      123.4 MB/s" or "python to_xhtml   98.7 MB/s") from the named
file or standard input and draws one bar per measured converter, fastest on
top. A name measured twice keeps its last value.
"""

from __future__ import annotations

import argparse
import math
import re
import sys
from xml.sax.saxutils import escape, quoteattr

RESULT = re.compile(r"^\s*(?P<name>\S.*?)\s+(?P<rate>\d+(?:\.\d+)?)\s*MB/s\s*$")
CORPUS = re.compile(r"^corpus:\s*(?P<text>.+?)\s*$")

WIDTH = 760
BAR_HEIGHT = 26
BAR_GAP = 12
TOP = 78
CHAR_WIDTH = 7.6  # average advance of the 13px sans-serif labels
OURS = "#2f5d8a"
PEER = "#9aa5b1"


def parse_results(text: str) -> tuple[list[tuple[str, float]], str | None]:
    """Returns the (name, MB/s) entries in order of first appearance, and the
    corpus description when the output has one."""
    rates: dict[str, float] = {}
    corpus = None
    for line in text.splitlines():
        if m := RESULT.match(line):
            rates[m.group("name")] = float(m.group("rate"))
        elif m := CORPUS.match(line):
            corpus = m.group("text")
    return list(rates.items()), corpus


def nice_step(top: float, ticks: int = 5) -> float:
    """A step of 1, 2 or 5 times a power of ten giving about `ticks` intervals up to `top`."""
    if top <= 0:
        return 1.0
    raw = top / ticks
    power = 10 ** math.floor(math.log10(raw))
    for factor in (1, 2, 5, 10):
        if factor * power >= raw:
            return factor * power
    return 10 * power


def fmt(value: float) -> str:
    return f"{value:g}" if value >= 10 or value == int(value) else f"{value:.1f}"


def render_svg(entries: list[tuple[str, float]], corpus: str | None = None) -> str:
    entries = sorted(entries, key=lambda e: -e[1])
    label_width = max(len(name) for name, _ in entries) * CHAR_WIDTH + 16
    left = 24 + label_width
    right = WIDTH - 96  # room for the value after the longest bar
    fastest = max(rate for _, rate in entries)
    # The fastest bar fills the plot; grid lines stop below it.
    step = nice_step(fastest)
    scale = (right - left) / fastest if fastest > 0 else 0.0
    bottom = TOP + len(entries) * (BAR_HEIGHT + BAR_GAP) - BAR_GAP
    height = bottom + 44

    out: list[str] = [
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{WIDTH}" height="{height}" '
        f'viewBox="0 0 {WIDTH} {height}" font-family="DejaVu Sans, Helvetica, Arial, sans-serif">',
        f'<rect width="{WIDTH}" height="{height}" fill="#ffffff"/>',
        '<text x="24" y="32" font-size="18" font-weight="600" fill="#1f2328">'
        "Markdown to HTML throughput</text>",
        '<text x="24" y="54" font-size="13" fill="#59636e">'
        + escape(f"MB/s, higher is better{' · ' + corpus if corpus else ''}") + "</text>",
    ]
    for k in range(int(fastest / step + 1e-9) + 1 if fastest > 0 else 1):
        tick = k * step
        x = left + tick * scale
        out.append(f'<line x1="{x:.1f}" y1="{TOP - 8}" x2="{x:.1f}" y2="{bottom + 6}" '
                   f'stroke="{"#8c959f" if tick == 0 else "#e4e7eb"}" stroke-width="1"/>')
        out.append(f'<text x="{x:.1f}" y="{bottom + 24}" font-size="12" fill="#59636e" '
                   f'text-anchor="middle">{fmt(tick)}</text>')
    for i, (name, rate) in enumerate(entries):
        y = TOP + i * (BAR_HEIGHT + BAR_GAP)
        width = rate * scale
        colour = OURS if name.startswith(("quenlor", "python")) else PEER
        middle = y + BAR_HEIGHT / 2 + 4.5
        out.append(f'<text x="{left - 12}" y="{middle:.1f}" font-size="13" fill="#1f2328" '
                   f'text-anchor="end">{escape(name)}</text>')
        out.append(f'<rect class="bar" x="{left}" y="{y}" width="{width:.2f}" height="{BAR_HEIGHT}" '
                   f'rx="3" fill="{colour}" data-name={quoteattr(name)} data-rate="{rate:g}"/>')
        out.append(f'<text x="{left + width + 8:.1f}" y="{middle:.1f}" font-size="13" '
                   f'font-weight="600" fill="#1f2328">{fmt(rate)}</text>')
    out.append("</svg>")
    return "\n".join(out) + "\n"


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description="Draw benchmark results as an SVG bar chart.")
    parser.add_argument("input", nargs="?", help="benchmark output (default: standard input)")
    parser.add_argument("-o", "--output", default="bench/results.svg", help="SVG file to write")
    args = parser.parse_args(argv)
    try:
        if args.input and args.input != "-":
            with open(args.input, encoding="utf-8") as f:
                text = f.read()
        else:
            text = sys.stdin.read()
    except OSError as e:
        print(f"chart: cannot read {args.input}: {e.strerror or e}", file=sys.stderr)
        return 1
    entries, corpus = parse_results(text)
    if not entries:
        print("chart: no 'NAME  N MB/s' lines in the input; nothing drawn", file=sys.stderr)
        return 1
    try:
        with open(args.output, "w", encoding="utf-8") as f:
            f.write(render_svg(entries, corpus))
    except OSError as e:
        print(f"chart: cannot write {args.output}: {e.strerror or e}", file=sys.stderr)
        return 1
    print(f"chart: {len(entries)} results drawn in {args.output}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
