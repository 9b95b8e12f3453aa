"""Batch conversion: every .md file under the given paths into .html files
under an output directory, in worker processes, with a progress bar."""

from __future__ import annotations

import html
import os
import re
import sys
import time
from concurrent.futures import ProcessPoolExecutor
from dataclasses import dataclass
from pathlib import Path

from . import to_xhtml

_HEADING = re.compile(r"<h[1-6][^>]*>(.*?)</h[1-6]>", re.S)
_TAG = re.compile(r"<[^>]*>")
_NOTE_REF = re.compile(r'<sup id="fnref-[^"]*">.*?</sup>', re.S)


def standalone_document(fragment: str, fallback_title: str, css: str | None = None) -> str:
    """Wraps a fragment in a minimal XHTML document; the title is the text of
    the first heading, else `fallback_title`."""
    m = _HEADING.search(fragment)
    # Footnote markers are not part of a heading's wording; line breaks inside
    # a heading would otherwise end up in the title.
    title = " ".join(_TAG.sub("", _NOTE_REF.sub("", m.group(1))).split()) if m else ""
    if not title:
        title = html.escape(fallback_title, quote=False)
    style = f"<style>\n{css}</style>\n" if css else ""
    return (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        "<!DOCTYPE html>\n"
        '<html xmlns="http://www.w3.org/1999/xhtml">\n'
        "<head>\n"
        '<meta charset="UTF-8" />\n'
        f"<title>{title}</title>\n"
        f"{style}"
        "</head>\n"
        "<body>\n"
        f"{fragment}"
        "</body>\n"
        "</html>\n"
    )


@dataclass
class Job:
    source: str
    target: str
    kwargs: dict
    standalone: bool
    css: str | None


def collect_jobs(sources: list[str], outdir: str, kwargs: dict, standalone: bool,
                 css: str | None) -> tuple[list[Job], list[tuple[str, str]]]:
    """Returns the jobs and the sources refused because another source already
    claims the same output file (one silently overwriting the other would lose
    a conversion). A file reached twice is converted once."""
    jobs: list[Job] = []
    refused: list[tuple[str, str]] = []
    claimed: dict[Path, tuple[str, str]] = {}  # target -> (real source path, source as named)
    out = Path(outdir)

    def add(source: Path, target: Path) -> None:
        real = os.path.realpath(source)
        key = Path(os.path.abspath(target))
        if key in claimed:
            if claimed[key][0] != real:
                refused.append((str(source), f"{target} is already the output of {claimed[key][1]}"))
            return
        claimed[key] = (real, str(source))
        jobs.append(Job(str(source), str(target), kwargs, standalone, css))

    for src in sources:
        p = Path(src)
        if p.is_dir():
            for f in sorted(p.rglob("*.md")):
                if f.is_file() or f.is_symlink():
                    add(f, out / f.relative_to(p).with_suffix(".html"))
        else:
            add(p, out / p.with_suffix(".html").name)
    return jobs, refused


def convert_one(job: Job) -> tuple[str, int, str | None]:
    """Returns (source, bytes read, error message or None)."""
    try:
        with open(job.source, "rb") as f:
            data = f.read()
    except OSError as e:
        return job.source, 0, f"cannot read: {e.strerror or e}"
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as e:
        return job.source, len(data), f"not valid UTF-8 (byte {e.start})"
    try:
        result = to_xhtml(text, **job.kwargs)
        if job.standalone:
            result = standalone_document(result, Path(job.source).stem, job.css)
    except Exception as e:  # reported like any other failure; the batch goes on
        return job.source, len(data), f"conversion failed: {e}"
    try:
        target = Path(job.target)
        target.parent.mkdir(parents=True, exist_ok=True)
        with open(target, "w", encoding="utf-8", newline="") as f:
            f.write(result)
    except OSError as e:
        return job.source, len(data), f"cannot write {job.target}: {e.strerror or e}"
    return job.source, len(data), None


class Progress:
    """A one-line progress bar on stderr, drawn only when stderr is a terminal."""

    def __init__(self, total: int, stream=None):
        self.stream = stream or sys.stderr
        self.enabled = hasattr(self.stream, "isatty") and self.stream.isatty()
        self.total = total
        self.done = 0
        self.bytes = 0
        self.start = time.monotonic()
        self.last_draw = 0.0

    def update(self, nbytes: int) -> None:
        self.done += 1
        self.bytes += nbytes
        now = time.monotonic()
        if self.enabled and (now - self.last_draw > 0.1 or self.done == self.total):
            self.last_draw = now
            self.draw(now)

    def draw(self, now: float) -> None:
        elapsed = max(now - self.start, 1e-9)
        frac = self.done / self.total if self.total else 1.0
        width = 30
        filled = int(frac * width)
        rate = self.bytes / 1e6 / elapsed
        eta = elapsed * (1 - frac) / frac if frac > 0 else 0.0
        bar = "#" * filled + "." * (width - filled)
        self.stream.write(f"\r[{bar}] {self.done}/{self.total} files  {rate:6.1f} MB/s  ETA {eta:4.0f}s")
        self.stream.flush()

    def finish(self) -> None:
        if self.enabled:
            self.stream.write("\n")
            self.stream.flush()


def run_batch(sources: list[str], outdir: str, jobs_count: int | None, kwargs: dict,
              standalone: bool = False, css: str | None = None) -> int:
    jobs, failures = collect_jobs(sources, outdir, kwargs, standalone, css)
    total = len(jobs) + len(failures)
    workers = min(jobs_count or os.process_cpu_count() or 1, max(len(jobs), 1))
    progress = Progress(len(jobs))
    start = time.monotonic()
    if workers <= 1 or len(jobs) <= 1:
        results = map(convert_one, jobs)
        for source, nbytes, error in results:
            progress.update(nbytes)
            if error:
                failures.append((source, error))
    else:
        with ProcessPoolExecutor(max_workers=workers) as pool:
            chunk = max(1, min(64, len(jobs) // (workers * 8) or 1))
            for source, nbytes, error in pool.map(convert_one, jobs, chunksize=chunk):
                progress.update(nbytes)
                if error:
                    failures.append((source, error))
    progress.finish()
    for source, error in failures:
        print(f"quenlor: {source}: {error}", file=sys.stderr)
    elapsed = time.monotonic() - start
    ok = total - len(failures)
    mb = progress.bytes / 1e6
    print(f"quenlor: converted {ok} of {total} files ({mb:.1f} MB) in {elapsed:.2f} s"
          f" ({mb / max(elapsed, 1e-9):.1f} MB/s), {len(failures)} failed", file=sys.stderr)
    return 1 if failures else 0
