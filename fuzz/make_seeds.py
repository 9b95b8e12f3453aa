"""Writes a seed corpus for the fuzz target from the test fixtures: each case's
Markdown, prefixed with two option bytes (varied per case)."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "python"))
from cases import all_cases  # noqa: E402


def main() -> None:
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for i, case in enumerate(all_cases()):
        prefix = bytes([(i * 37) & 0x3F, 0x80 | ((i * 11) & 0x3F) if i % 3 == 0 else 0])
        (out / f"case{i:04d}").write_bytes(prefix + case.markdown.encode("utf-8"))
    for extra in sorted((Path(__file__).resolve().parent / "regressions").glob("[!.]*")):
        (out / f"reg-{extra.name}").write_bytes(extra.read_bytes())


if __name__ == "__main__":
    main()
