"""Batch conversion (`python -m quenlor convert`), run as a subprocess."""

import os
import random
import re
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET
from pathlib import Path

import quenlor

PIECES = [
    "# Heading {n}\n",
    "Some *emphasis*, **strong** and `code` in file {n}.\n",
    "- item\n- [x] done\n  - nested ~~gone~~\n",
    "| a | b |\n|---|:-:|\n| {n} | ü |\n",
    "```python\nprint({n})\n```\n",
    "Math \\(x^{n}\\) and $$y$$, a note[^n].\n\n[^n]: The note.\n",
    "> quoted <span>html</span>\n> \"quotes\" -- dashes...\n",
    "Term\n: Definition {n}\n",
    "::: warning\nDivided.\n:::\n",
    "Ünïcödé ✓ text, www.example.com and <https://example.org>.\n",
]


def run_convert(*args, stderr=subprocess.PIPE):
    return subprocess.run([sys.executable, "-m", "quenlor", "convert", *args],
                          stdout=subprocess.PIPE, stderr=stderr, env=os.environ.copy())


def make_tree(root: Path, count: int) -> tuple[dict[str, str], set[str]]:
    """Writes `count` .md files (a few bad) under root; returns the good texts by
    relative path and the relative paths of the bad ones."""
    rng = random.Random(13)
    good: dict[str, str] = {}
    bad: set[str] = set()
    for n in range(count - 1):
        rel = Path(f"part{n % 7}") / (f"sub{n % 3}" if n % 2 else "") / f"doc{n}.md"
        path = root / rel
        path.parent.mkdir(parents=True, exist_ok=True)
        if n % 97 == 5:
            path.write_bytes(b"# Broken\n\nLatin-1 \xe9t\xe9\n")
            bad.add(str(rel))
            continue
        text = "\n".join(p.format(n=n) for p in rng.sample(PIECES, rng.randint(1, 5)))
        if n % 50 == 7:
            text = text.replace("\n", "\r\n")
        path.write_bytes(text.encode("utf-8"))
        good[str(rel)] = text
    # A dangling symlink cannot be read even by root.
    (root / "part0" / "x.md").symlink_to(root / "nowhere.md")
    bad.add(str(Path("part0") / "x.md"))
    (root / "part1" / "notes.txt").write_text("# not Markdown\n")
    return good, bad


class BatchConversion(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.path = Path(self.dir.name)
        self.src = self.path / "src"
        self.out = self.path / "out"

    def tearDown(self):
        self.dir.cleanup()

    def test_tree_with_bad_files(self):
        good, bad = make_tree(self.src, 500)
        self.assertEqual(len(good) + len(bad), 500)
        r = run_convert(str(self.src), "-o", str(self.out), "-j", "2")
        stderr = r.stderr.decode()
        self.assertEqual(r.returncode, 1, stderr)
        self.assertEqual(r.stdout, b"")
        self.assertNotIn("\r", stderr)
        for rel in bad:
            self.assertIn(str(self.src / rel), stderr)
        self.assertRegex(stderr, rf"converted {len(good)} of 500 files .*, {len(bad)} failed")

        made = {str(p.relative_to(self.out)) for p in self.out.rglob("*") if p.is_file()}
        self.assertEqual(made, {str(Path(rel).with_suffix(".html")) for rel in good})
        for rel, text in good.items():
            html = (self.out / rel).with_suffix(".html").read_bytes()
            self.assertEqual(html, quenlor.to_xhtml(text).encode("utf-8"), rel)

        # The single-file form gives the same bytes.
        rel = sorted(good)[3]
        single = subprocess.run([sys.executable, "-m", "quenlor", str(self.src / rel)],
                                capture_output=True, env=os.environ.copy())
        self.assertEqual(single.stdout, (self.out / rel).with_suffix(".html").read_bytes())

    def test_standalone_and_options(self):
        self.src.mkdir()
        (self.src / "titled.md").write_text('Intro "q".\n\n## The *Real* Title[^a]\n\n# Later\n\n[^a]: x\n',
                                            encoding="utf-8")
        (self.src / "untitled & plain.md").write_text("No heading <b>here</b>.\n", encoding="utf-8")
        css = self.path / "style.css"
        css.write_text("body { margin: 0; }\n", encoding="utf-8")
        r = run_convert(str(self.src), "-o", str(self.out), "--standalone", "--css", str(css),
                        "--smart", "-j", "2")
        self.assertEqual(r.returncode, 0, r.stderr.decode())

        titled = (self.out / "titled.html").read_text(encoding="utf-8")
        plain = (self.out / "untitled & plain.html").read_text(encoding="utf-8")
        ns = "{http://www.w3.org/1999/xhtml}"
        for doc in (titled, plain):
            root = ET.fromstring(doc.encode("utf-8"))
            meta = root.find(f"{ns}head/{ns}meta")
            self.assertEqual(meta.get("charset"), "UTF-8")
            self.assertEqual(root.find(f"{ns}head/{ns}style").text, "\nbody { margin: 0; }\n")
        self.assertEqual(ET.fromstring(titled).find(f"{ns}head/{ns}title").text, "The Real Title")
        self.assertEqual(ET.fromstring(plain).find(f"{ns}head/{ns}title").text, "untitled & plain")
        fragment = quenlor.to_xhtml((self.src / "titled.md").read_text(encoding="utf-8"), smart=True)
        self.assertIn("<body>\n" + fragment + "</body>\n", titled)
        self.assertIn("\u201cq\u201d", fragment)

    def test_colliding_outputs(self):
        for d in ("a", "b"):
            (self.path / d).mkdir()
            (self.path / d / "x.md").write_text(f"# {d}\n", encoding="utf-8")
        a, b = str(self.path / "a" / "x.md"), str(self.path / "b" / "x.md")
        # The same file twice is converted once; a second file with the same
        # output name is refused, never written over the first.
        r = run_convert(a, a, b, "-o", str(self.out))
        self.assertEqual(r.returncode, 1)
        self.assertIn(f"quenlor: {b}: ", r.stderr.decode())
        self.assertIn("converted 1 of 2 files", r.stderr.decode())
        self.assertEqual((self.out / "x.html").read_text(encoding="utf-8"), '<h1 id="a">a</h1>\n')


class ProgressBar(unittest.TestCase):
    def test_only_on_a_terminal(self):
        with tempfile.TemporaryDirectory() as d:
            src = Path(d) / "src"
            src.mkdir()
            for n in range(20):
                (src / f"f{n}.md").write_text(f"# {n}\n\ntext\n", encoding="utf-8")

            master, slave = os.openpty()
            try:
                r = run_convert(str(src), "-o", str(Path(d) / "tty"), "-j", "2", stderr=slave)
            finally:
                os.close(slave)
            chunks = []
            while True:
                try:
                    chunk = os.read(master, 4096)
                except OSError:  # EIO once the terminal has no writer left
                    break
                if not chunk:
                    break
                chunks.append(chunk)
            os.close(master)
            tty = b"".join(chunks).decode()
            self.assertEqual(r.returncode, 0, tty)
            self.assertRegex(tty, r"\r\[#{30}\] 20/20 files +[0-9.]+ MB/s +ETA +0s")
            self.assertIn("converted 20 of 20 files", tty)

            piped = run_convert(str(src), "-o", str(Path(d) / "pipe"), "-j", "2")
            self.assertEqual(piped.returncode, 0)
            err = piped.stderr.decode()
            self.assertNotIn("\r", err)
            self.assertNotIn("[#", err)
            self.assertEqual(len(err.splitlines()), 1)
            self.assertTrue(re.match(r"quenlor: converted 20 of 20 files", err), err)


if __name__ == "__main__":
    unittest.main()
