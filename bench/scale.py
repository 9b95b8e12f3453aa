"""Time and peak memory of one conversion of 1 MB, 10 MB and 100 MB inputs
made by repeating the bench corpus; checks that time grows linearly and that
the peak resident size stays a small multiple of the input.

    python3 bench/scale.py BENCH_BINARY CORPUS_DIR [WORKDIR]
"""

from __future__ import annotations

import re
import subprocess
import sys
from pathlib import Path

SIZES_MB = (1, 10, 100)


def make_input(corpus: Path, path: Path, size: int) -> None:
    docs = [p.read_bytes() for p in sorted(corpus.glob("*.md"))]
    with path.open("wb") as out:
        written = 0
        while written < size:
            for d in docs:
                chunk = d[: size - written] if written + len(d) > size else d
                out.write(chunk)
                out.write(b"\n\n")
                written += len(chunk) + 2
                if written >= size:
                    break


def run_once(binary: str, path: Path) -> tuple[float, int]:
    proc = subprocess.run(["/usr/bin/time", "-v", binary, "--once", str(path)],
                          capture_output=True, text=True, check=True)
    # processor time of the conversion: wall time on a shared machine is noise
    secs = float(re.search(r"cpu ([0-9.]+) s", proc.stdout).group(1))
    rss_kb = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", proc.stderr).group(1))
    return secs, rss_kb * 1024


def main() -> None:
    binary, corpus = sys.argv[1], Path(sys.argv[2])
    work = Path(sys.argv[3]) if len(sys.argv) > 3 else Path("build/scale")
    work.mkdir(parents=True, exist_ok=True)
    base = None
    for mb in SIZES_MB:
        path = work / f"input_{mb}mb.md"
        size = mb * 1_000_000
        if not path.exists() or path.stat().st_size < size:
            make_input(corpus, path, size)
        # Best of seven runs at every size: the same rule for every point, as
        # a shared machine slows single runs by tens of percent at times (the
        # 1 MB run, some ten milliseconds, most; with three runs its time, the
        # base of the ratios, varied by a tenth).
        runs = [run_once(binary, path) for _ in range(7)]
        secs = min(r[0] for r in runs)
        rss = max(r[1] for r in runs)
        nbytes = path.stat().st_size
        if base is None:
            base = secs / nbytes
        print(f"{mb:4d} MB: {secs:8.4f} s  {nbytes / secs / 1e6:7.1f} MB/s  "
              f"time / (linear from 1 MB) {secs / (base * nbytes):5.2f}  "
              f"peak RSS {rss / 1e6:8.1f} MB = {rss / nbytes:4.2f} x input")


if __name__ == "__main__":
    main()
