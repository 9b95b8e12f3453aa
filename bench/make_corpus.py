"""Writes the benchmark corpus: deterministic, real-world-shaped Markdown
(prose, nested lists, tables, code, links, emphasis, some HTML).

    python3 bench/make_corpus.py OUTDIR [--mb 4]
"""

from __future__ import annotations

import argparse
import random
from pathlib import Path

WORDS = """the a of to and in is it that for on with as by this be are from at or an was which
converter document markdown table list value parser inline block render output input fast
section example function return string number option default error file line column text
user module package build test release version change support feature note warning reference
quickly simply carefully often never always data stream buffer memory thread process queue
""".split()


def sentence(rng: random.Random) -> str:
    words = [rng.choice(WORDS) for _ in range(rng.randint(6, 18))]
    for i in range(len(words)):
        r = rng.random()
        if r < 0.04:
            words[i] = f"*{words[i]}*"
        elif r < 0.06:
            words[i] = f"**{words[i]}**"
        elif r < 0.08:
            words[i] = f"`{words[i]}()`"
        elif r < 0.10:
            words[i] = f"[{words[i]}](https://example.org/{words[i]}/{rng.randint(1, 999)})"
        elif r < 0.105:
            words[i] = f"<kbd>{words[i]}</kbd>"
        elif r < 0.11:
            words[i] = f"{words[i]} &amp;"
        elif r < 0.12:
            words[i] = f"_{words[i]}_"
        elif r < 0.13:
            # reference links; document() appends the definitions
            words[i] = f"[{words[i]}][ref{rng.randint(1, 12)}]"
        elif r < 0.133:
            words[i] = f"![{words[i]}](/img/{words[i]}.png \"{words[i].title()}\")"
        elif r < 0.136:
            words[i] = f"https://example.com/{words[i]}?id={rng.randint(1, 99)}"
        elif r < 0.139:
            words[i] = f"{words[i]}&nbsp;&mdash;"
        elif r < 0.141:
            words[i] = f"<span class=\"{words[i]}\">{words[i]}</span>"
        elif r < 0.146:
            words[i] = f"***{words[i]}***"
        elif r < 0.15:
            words[i] = f"~~{words[i]}~~"
    s = " ".join(words)
    return s[0].upper() + s[1:] + rng.choice([".", ".", ".", "?", "!"])


def paragraph(rng: random.Random) -> str:
    lines, line = [], []
    for _ in range(rng.randint(2, 6)):
        line.append(sentence(rng))
        if len(" ".join(line)) > 70:
            lines.append(" ".join(line))
            line = []
    if line:
        lines.append(" ".join(line))
    return "\n".join(lines) + "\n"


def bullet_list(rng: random.Random, depth: int = 0) -> str:
    out = []
    ordered = rng.random() < 0.3
    loose = rng.random() < 0.15
    for i in range(rng.randint(2, 6)):
        marker = f"{i + 1}." if ordered else "-"
        task = "[x] " if not ordered and rng.random() < 0.05 else ""
        out.append("  " * depth * 2 + f"{marker} {task}{sentence(rng)}")
        if loose:
            out.append("")
        if depth < 2 and rng.random() < 0.25:
            out.append(bullet_list(rng, depth + 1).rstrip("\n"))
    return "\n".join(out) + "\n"


def table(rng: random.Random) -> str:
    cols = rng.randint(2, 5)
    head = "| " + " | ".join(rng.choice(WORDS).title() for _ in range(cols)) + " |"
    delim = "|" + "|".join(rng.choice(["---", ":--", "--:", ":-:"]) for _ in range(cols)) + "|"
    rows = ["| " + " | ".join(f"{rng.choice(WORDS)} {rng.randint(0, 99)}" for _ in range(cols)) + " |"
            for _ in range(rng.randint(2, 8))]
    return "\n".join([head, delim, *rows]) + "\n"


def code_block(rng: random.Random) -> str:
    body = "\n".join(
        f"{'    ' * rng.randint(0, 2)}{rng.choice(WORDS)}_{i} = {rng.choice(WORDS)}({rng.randint(0, 9)})"
        for i in range(rng.randint(3, 12)))
    return f"```{rng.choice(['python', 'c', 'sh', ''])}\n{body}\n```\n"


def document(rng: random.Random, size: int) -> str:
    parts = [f"# {sentence(rng).rstrip('.?!')}\n"]
    total = 0
    while total < size:
        r = rng.random()
        if r < 0.45:
            part = paragraph(rng)
        elif r < 0.6:
            part = bullet_list(rng)
        elif r < 0.68:
            part = table(rng)
        elif r < 0.78:
            part = code_block(rng)
        elif r < 0.83:
            part = "> " + paragraph(rng).replace("\n", "\n> ").rstrip("> ") + "\n"
        elif r < 0.85:
            part = "> " + bullet_list(rng).replace("\n", "\n> ").rstrip("> ") + "\n"
        elif r < 0.92:
            level = rng.choice(["##", "##", "###"])
            part = f"{level} {sentence(rng).rstrip('.?!')}\n"
        elif r < 0.96:
            part = f"<div class=\"note\">\n{sentence(rng)}\n</div>\n"
        else:
            part = "---\n"
        parts.append(part)
        total += len(part)
    parts.append("".join(f"[ref{i}]: https://example.net/docs/{i}.html \"Reference {i}\"\n" for i in range(1, 13)))
    return "\n".join(parts)


def main() -> None:
    ap = argparse.ArgumentParser()
    ap.add_argument("outdir")
    ap.add_argument("--mb", type=float, default=4.0)
    args = ap.parse_args()
    out = Path(args.outdir)
    out.mkdir(parents=True, exist_ok=True)
    rng = random.Random(20261207)
    target = int(args.mb * 1024 * 1024)
    written, n = 0, 0
    while written < target:
        text = document(rng, rng.randint(4_000, 60_000))
        (out / f"doc{n:04d}.md").write_text(text, encoding="utf-8")
        written += len(text.encode("utf-8"))
        n += 1


if __name__ == "__main__":
    main()
