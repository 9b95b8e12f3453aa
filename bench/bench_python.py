"""Measures quenlor.to_xhtml called from Python over the bench corpus (MB/s,
median of repetitions), so the binding's overhead is visible beside the core's.

On glibc, memory freed at the end of a call is handed back to the kernel and
faulted in again by the next one, which is slow on some virtual machines; the
measurement is repeated in a child process whose allocator keeps freed memory
(GLIBC_TUNABLES), to show how much of the difference that is."""

import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

KEEP_MEMORY = "glibc.malloc.trim_threshold=268435456:glibc.malloc.mmap_threshold=268435456"

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
    kept = "--kept-memory" in sys.argv
    label = "python to_xhtml, freed memory kept" if kept else "python to_xhtml"
    print(f"{label} {statistics.median(rates):9.1f} MB/s", flush=True)
    if kept:
        return
    subprocess.run([sys.executable, __file__, str(path), str(reps), "--kept-memory"], check=True,
                   env={**os.environ, "GLIBC_TUNABLES": KEEP_MEMORY})
    small = "A short *paragraph* of thirty b."
    n = 200_000
    t0 = time.thread_time()
    for _ in range(n):
        quenlor.to_xhtml(small)
    print(f"python to_xhtml, {len(small)}-byte paragraph: {(time.thread_time() - t0) / n * 1e6:.2f} us/call")


if __name__ == "__main__":
    main()
