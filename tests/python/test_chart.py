"""The benchmark chart script (bench/chart.py) on a sample benchmark output."""

import os
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET
from pathlib import Path

ROOT = Path(os.environ.get("QUENLOR_SOURCE_DIR") or Path(__file__).resolve().parents[2])
CHART = ROOT / "bench" / "chart.py"
SVG = "{http://www.w3.org/2000/svg}"

SAMPLE = """\
corpus: 120 documents, 4.00 MB, median of 5 passes
quenlor        212.7 MB/s
cmark          148.3 MB/s
md4c           301.9 MB/s
quenlor / cmark    1.43x
quenlor / md4c     0.70x
python to_xhtml     187.2 MB/s
python to_xhtml, 120-byte paragraph: 1.84 us/call
"""


def draw(*args, stdin=""):
    return subprocess.run([sys.executable, str(CHART), *args], input=stdin, capture_output=True, text=True)


class Chart(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.out = Path(self.dir.name) / "results.svg"

    def tearDown(self):
        self.dir.cleanup()

    def bars(self):
        root = ET.parse(self.out).getroot()
        self.assertEqual(root.tag, f"{SVG}svg")
        return root, {b.get("data-name"): float(b.get("width"))
                      for b in root.iter(f"{SVG}rect") if b.get("class") == "bar"}

    def test_one_bar_per_result_scaled_by_rate(self):
        r = draw("-o", str(self.out), stdin=SAMPLE)
        self.assertEqual(r.returncode, 0, r.stderr)
        root, bars = self.bars()
        rates = {"quenlor": 212.7, "cmark": 148.3, "md4c": 301.9, "python to_xhtml": 187.2}
        self.assertEqual(set(bars), set(rates))
        self.assertEqual(max(bars, key=bars.get), "md4c")
        for name, rate in rates.items():
            self.assertAlmostEqual(bars[name] / bars["md4c"], rate / 301.9, places=3)
        texts = [t.text for t in root.iter(f"{SVG}text")]
        self.assertIn("python to_xhtml", texts)
        self.assertIn("301.9", texts)
        self.assertTrue(any("120 documents" in t for t in texts))

    def test_file_input_escaping_and_repeats(self):
        sample = Path(self.dir.name) / "bench.txt"
        sample.write_text("a<b&c   5 MB/s\nquenlor 10 MB/s\nquenlor 40 MB/s\n", encoding="utf-8")
        self.assertEqual(draw(str(sample), "-o", str(self.out)).returncode, 0)
        _, bars = self.bars()
        self.assertEqual(set(bars), {"a<b&c", "quenlor"})
        self.assertAlmostEqual(bars["a<b&c"] / bars["quenlor"], 5 / 40, places=3)

    def test_no_results(self):
        r = draw("-o", str(self.out), stdin="corpus: empty\n(no converters)\n")
        self.assertEqual(r.returncode, 1)
        self.assertIn("no ", r.stderr)
        self.assertFalse(self.out.exists())


if __name__ == "__main__":
    unittest.main()
