"""The command-line tool, run as a subprocess."""

import json
import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path


def run(*args, stdin=None):
    return subprocess.run([sys.executable, "-m", "quenlor", *args], input=stdin, capture_output=True,
                          env=os.environ.copy())


class CommandLine(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.path = Path(self.dir.name)

    def tearDown(self):
        self.dir.cleanup()

    def test_file_stdin_and_output(self):
        (self.path / "a.md").write_text('# T\n\n"q"\n', encoding="utf-8")
        r = run(str(self.path / "a.md"))
        self.assertEqual((r.returncode, r.stdout.decode()), (0, '<h1 id="t">T</h1>\n<p>"q"</p>\n'))
        r = run("-", "--smart", "--no-auto-ids", stdin="# T\n\n\"q\"\n".encode())
        self.assertEqual(r.stdout.decode(), "<h1>T</h1>\n<p>\u201cq\u201d</p>\n")
        out = self.path / "a.html"
        r = run(str(self.path / "a.md"), "-o", str(out))
        self.assertEqual((r.returncode, r.stdout), (0, b""))
        self.assertEqual(out.read_text(encoding="utf-8"), '<h1 id="t">T</h1>\n<p>"q"</p>\n')

    def test_json_modes(self):
        r = run("-", "--blocks", stdin=b"a\n\nb\n")
        self.assertEqual(json.loads(r.stdout), [{"type": "paragraph", "start": 0, "end": 1},
                                                {"type": "paragraph", "start": 2, "end": 3}])
        r = run("-", "--edit-nodes", "--math", "dollars", stdin=b"$x$")
        self.assertEqual([n["tex"] for n in json.loads(r.stdout)], ["x"])

    def test_errors(self):
        r = run(str(self.path / "missing.md"))
        self.assertEqual(r.returncode, 1)
        self.assertEqual(len(r.stderr.decode().strip().splitlines()), 1)
        (self.path / "bad.md").write_bytes(b"\xff\xfe")
        r = run(str(self.path / "bad.md"))
        self.assertEqual(r.returncode, 1)
        self.assertIn("bad.md", r.stderr.decode())
        self.assertEqual(run("--blocks", "--edit-nodes").returncode, 2)


if __name__ == "__main__":
    unittest.main()
