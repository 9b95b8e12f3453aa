#!/usr/bin/env python3
"""Writes src/unicode_tables.cpp from the Unicode Character Database.

Usage: python3 tools/gen_unicode.py [UCD directory] [output file]
The UCD directory defaults to /usr/share/unicode (Debian's unicode-data package).
"""

import os
import sys

UCD = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/unicode"
OUT = sys.argv[2] if len(sys.argv) > 2 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "src", "unicode_tables.cpp")


def data_lines(name):
    with open(os.path.join(UCD, name), encoding="utf-8") as f:
        for raw in f:
            line = raw.split("#", 1)[0].strip()
            if line:
                yield [field.strip() for field in line.split(";")]


def cp_range(text):
    if ".." in text:
        lo, hi = text.split("..")
        return int(lo, 16), int(hi, 16)
    return int(text, 16), int(text, 16)


def general_categories():
    """Code point -> general category, with the First/Last ranges expanded."""
    cats = {}
    simple_lower = {}
    first = None
    for fields in data_lines("UnicodeData.txt"):
        cp = int(fields[0], 16)
        name, gc = fields[1], fields[2]
        if name.endswith(", First>"):
            first = cp
            continue
        if name.endswith(", Last>"):
            for c in range(first, cp + 1):
                cats[c] = gc
            first = None
            continue
        cats[cp] = gc
        if fields[13]:
            simple_lower[cp] = int(fields[13], 16)
    return cats, simple_lower


def property_set(filename, prop):
    s = set()
    for fields in data_lines(filename):
        if len(fields) >= 2 and fields[1] == prop:
            lo, hi = cp_range(fields[0])
            s.update(range(lo, hi + 1))
    return s


def to_ranges(cps):
    out = []
    for c in sorted(cps):
        if out and out[-1][1] + 1 == c:
            out[-1][1] = c
        else:
            out.append([c, c])
    return out


def east_asian_widths():
    eaw = {}
    with open(os.path.join(UCD, "EastAsianWidth.txt"), encoding="utf-8") as f:
        for raw in f:
            if raw.startswith("# @missing:"):
                rng, val = raw[len("# @missing:"):].split(";")
                lo, hi = cp_range(rng.strip())
                val = val.strip()
                for c in range(lo, hi + 1):
                    eaw[c] = val
    for fields in data_lines("EastAsianWidth.txt"):
        lo, hi = cp_range(fields[0])
        for c in range(lo, hi + 1):
            eaw[c] = fields[1]
    return eaw


def lower_mappings(simple_lower):
    """Code point -> tuple of code points for every code point whose full lower case differs."""
    full = {cp: (lo,) for cp, lo in simple_lower.items() if lo != cp}
    for fields in data_lines("SpecialCasing.txt"):
        # fields: code; lower; title; upper; [condition list]
        if len(fields) > 4 and fields[4]:
            continue  # language or context dependent
        cp = int(fields[0], 16)
        lower = tuple(int(x, 16) for x in fields[1].split())
        if lower == (cp,):
            full.pop(cp, None)
        else:
            full[cp] = lower
    return full


def delta_runs(single):
    """Groups single-code-point mappings into runs (start, end, step, delta)."""
    runs = []
    for cp in sorted(single):
        delta = single[cp] - cp
        if runs:
            start, end, step, d = runs[-1]
            if d == delta:
                if step == 0 and cp - end in (1, 2):
                    runs[-1] = [start, cp, cp - end, d]
                    continue
                if step and cp - end == step:
                    runs[-1][1] = cp
                    continue
        runs.append([cp, cp, 0, delta])
    for r in runs:
        if r[2] == 0:
            r[2] = 1
    return runs


def emit_ranges(out, name, ranges):
    out.append(f"extern const CodeRange {name}[] = {{")
    line = "   "
    for lo, hi in ranges:
        item = f" {{0x{lo:X}, 0x{hi:X}}},"
        if len(line) + len(item) > 100:
            out.append(line)
            line = "   "
        line += item
    out.append(line)
    out.append("};")
    out.append(f"extern const std::size_t {name}_size = {len(ranges)};")
    out.append("")


def main():
    cats, simple_lower = general_categories()
    white = property_set("PropList.txt", "White_Space")
    alpha = property_set("DerivedCoreProperties.txt", "Alphabetic")
    cased = property_set("DerivedCoreProperties.txt", "Cased")
    ignorable = property_set("DerivedCoreProperties.txt", "Case_Ignorable")
    numeric = {c for c, gc in cats.items() if gc in ("Nd", "Nl", "No")}
    punct = {c for c, gc in cats.items() if gc.startswith("P")}

    # Display widths: zero for combining, enclosing and format characters (the
    # soft hyphen excepted, which shows as a hyphen) and for the Hangul medial
    # vowels and final consonants that join a preceding syllable; two for East
    # Asian Wide and Fullwidth.
    eaw = east_asian_widths()
    zero = {c for c, gc in cats.items() if gc in ("Mn", "Me", "Cf")}
    zero.discard(0xAD)
    zero.update(range(0x1160, 0x1200))
    zero.update(range(0xD7B0, 0xD800))
    zero.add(0x200B)
    wide = {c for c, w in eaw.items() if w in ("W", "F")} - zero
    widths = [(lo, hi, 0) for lo, hi in to_ranges(zero)] + [(lo, hi, 2) for lo, hi in to_ranges(wide)]
    widths.sort()

    full = lower_mappings(simple_lower)
    single = {cp: m[0] for cp, m in full.items() if len(m) == 1}
    multi = {cp: m for cp, m in full.items() if len(m) > 1}
    runs = delta_runs(single)

    out = [
        "// generated by tools/gen_unicode.py; do not edit",
        "// Source: Unicode Character Database (UnicodeData.txt, PropList.txt,",
        "// DerivedCoreProperties.txt, SpecialCasing.txt, EastAsianWidth.txt).",
        "#include \"unicode_tables.hpp\"",
        "",
        "namespace quenlor::unicode_tables {",
        "",
    ]
    emit_ranges(out, "white_space", to_ranges(white))
    emit_ranges(out, "alphabetic", to_ranges(alpha))
    emit_ranges(out, "numeric", to_ranges(numeric))
    emit_ranges(out, "punctuation", to_ranges(punct))
    emit_ranges(out, "cased", to_ranges(cased))
    emit_ranges(out, "case_ignorable", to_ranges(ignorable))

    out.append("extern const WidthRange widths[] = {")
    for lo, hi, w in widths:
        out.append(f"    {{0x{lo:X}, 0x{hi:X}, {w}}},")
    out.append("};")
    out.append(f"extern const std::size_t widths_size = {len(widths)};")
    out.append("")

    out.append("extern const LowerRun lower_runs[] = {")
    for start, end, step, delta in runs:
        out.append(f"    {{0x{start:X}, 0x{end:X}, {step}, {delta}}},")
    out.append("};")
    out.append(f"extern const std::size_t lower_runs_size = {len(runs)};")
    out.append("")

    out.append("extern const LowerMulti lower_multi[] = {")
    for cp in sorted(multi):
        text = "".join(chr(c) for c in multi[cp]).encode("utf-8")
        esc = "".join(f"\\x{b:02X}" for b in text)
        out.append(f"    {{0x{cp:X}, \"{esc}\"}},")
    out.append("};")
    out.append(f"extern const std::size_t lower_multi_size = {len(multi)};")
    out.append("")
    out.append("}  // namespace quenlor::unicode_tables")
    out.append("")

    with open(OUT, "w", encoding="utf-8") as f:
        f.write("\n".join(out))


if __name__ == "__main__":
    main()
