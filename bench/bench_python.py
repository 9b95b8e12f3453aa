"""Measures quenlor.to_xhtml called from Python over the bench corpus (MB/s,
median of repetitions), so the binding's overhead is visible beside the core's,
and the cost of one call on a short paragraph."""

import statistics
import sys
import time
from pathlib import Path

import quenlor


def main() -> None:
    path = Path(sys.argv[1])
    reps = int(sys.argv[2]) if len(sys.argv) > 2 and sys.argv[2].isdigit() else 9
    files = sorted(path.glob("*.md")) if path.is_dir() else [path]
    docs = [f.read_text(encoding="utf-8") for f in files]
    size = sum(len(d.encode("utf-8")) for d in docs)
    for d in docs:
        quenlor.to_xhtml(d)
    rates = []
    for _ in range(reps):
        # processor time: on a shared machine wall time mostly measures the neighbours
        t0 = time.thread_time()
        for d in docs:
            quenlor.to_xhtml(d)
        rates.append(size / 1e6 / (time.thread_time() - t0))
    print(f"python to_xhtml {statistics.median(rates):9.1f} MB/s", flush=True)
    small = "A short *paragraph* of thirty b."
    n = 200_000
    t0 = time.thread_time()
    for _ in range(n):
        quenlor.to_xhtml(small)
    print(f"python to_xhtml, {len(small)}-byte paragraph: {(time.thread_time() - t0) / n * 1e6:.2f} us/call")


if __name__ == "__main__":
    main()
