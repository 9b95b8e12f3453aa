"""Reader for the Markdown -> XHTML fixture files in tests/cases."""

from __future__ import annotations

import json
from dataclasses import dataclass, field
from pathlib import Path

CASES_DIR = Path(__file__).resolve().parent.parent / "cases"


@dataclass
class Case:
    file: str
    line: int
    name: str
    markdown: str
    expect: str
    options: dict = field(default_factory=dict)


def _joined(lines: list[str]) -> str:
    return "".join(line + "\n" for line in lines)


def read_cases(path: Path) -> list[Case]:
    cases: list[Case] = []
    lines = path.read_text(encoding="utf-8").split("\n")
    i = 0
    while i < len(lines):
        line = lines[i]
        if not line.startswith("%%% case:"):
            i += 1
            continue
        start = i + 1
        name = line[len("%%% case:"):].strip()
        i += 1
        options = {}
        if i < len(lines) and lines[i].startswith("%%% options:"):
            options = json.loads(lines[i][len("%%% options:"):])
            i += 1
        md: list[str] = []
        while i < len(lines) and lines[i] != "%%% expect":
            md.append(lines[i])
            i += 1
        i += 1
        out: list[str] = []
        while i < len(lines) and lines[i] != "%%% end":
            out.append(lines[i])
            i += 1
        i += 1
        cases.append(Case(path.name, start, name, _joined(md), _joined(out), options))
    return cases


def all_cases() -> list[Case]:
    result: list[Case] = []
    for path in sorted(CASES_DIR.glob("*.txt")):
        result.extend(read_cases(path))
    return result
