"""Time bounds: deep nesting, long runs of unclosed openers, large tables.

CPU time is measured (the machine is shared), with bounds far below what a
quadratic algorithm needs on these sizes but well above the linear figures.
"""

import os
import time
import unittest

import quenlor

MB = 1 << 20
ZERO = {"max_block_depth": 0, "max_inline_depth": 0, "max_link_paren_depth": 0}


# Instrumented builds (make test-sanitize) run several times slower.
TIME_SCALE = float(os.environ.get("QUENLOR_TIME_SCALE", "1"))


def cpu(fn, *args, **kwargs):
    start = time.process_time()
    result = fn(*args, **kwargs)
    return (time.process_time() - start) / TIME_SCALE, result


class DeepNesting(unittest.TestCase):
    INPUTS = {
        "quote markers": ">" * MB,
        "spaced quote markers": "> " * (MB // 2),
        "ordered markers": "1. " * (MB // 3),
        "bullet and quote markers": "* > " * (MB // 4),
        "quote staircase": "".join(">" * (i % 200) + " x\n" for i in range(MB // 100)),
        "list staircase": "".join("  " * (i % 64) + "- x\n" for i in range(MB // 70)),
        "div fences": "::: d\n" * (MB // 6),
        "footnote definitions": "x[^a]\n\n" + "[^a]: " * (MB // 6),
        "definition markers": "t\n" + ": " * (MB // 2),
        "html containers": '<div markdown="1">\n' * (MB // 19),
    }

    def test_one_megabyte_completes_with_default_and_zero_limits(self):
        for name, text in self.INPUTS.items():
            for label, limits in (("default", {}), ("zero", ZERO)):
                with self.subTest(name, limits=label):
                    took, out = cpu(quenlor.to_xhtml, text, **limits)
                    self.assertTrue(out)
                    self.assertLess(took, 5.0)
            with self.subTest(name, call="blocks and edit_nodes"):
                took, spans = cpu(quenlor.blocks, text)
                self.assertTrue(spans)
                self.assertLess(took, 5.0)
                took, _ = cpu(quenlor.edit_nodes, text)
                self.assertLess(took, 5.0)

    def test_zero_limits_still_convert(self):
        # No containers, literal note and highlight content, no parentheses in destinations.
        out = quenlor.to_xhtml("> *a* ==*b*== ^[*c*] [d](e(f))", **ZERO)
        self.assertEqual(out.split("\n")[0], '<p>&gt; <em>a</em> <mark>*b*</mark> <sup id="fnref-__note1">'
                         '<a href="#fn-__note1" class="footnote-ref" role="doc-noteref">1</a></sup> [d](e(f))</p>')
        self.assertIn("<p>*c*</p>", out)


class LongRuns(unittest.TestCase):
    N = 100_000
    PATTERNS = ["[", "![", "*a", "_a", "~~a", "==a", "`", "\\(", "$$", "$a", "<", "^[", "@", "www.",
                "[a](", "[]", "[^", "~a", "^a", "`a", "<!--", "<a b='", "a@b.", "http://x.y/(",
                "[x]{", "[x]{a", "`c`{", "`c`{a", "[a](u){", "*a*{", "\\[", "$"]
    NESTED = {
        "brackets": lambda n: "[" * n + "a" + "]" * n,
        "citation brackets": lambda n: "[" * n + "@a;" + "]" * n,
        "links": lambda n: "[" * n + "a" + "](u)" * n,
        "images": lambda n: "![" * n + "a" + "](u)" * n,
        "spans": lambda n: "[" * n + "a" + "]{" * n,
        "inline notes": lambda n: "^[" * n + "]" * n,
        "highlights": lambda n: "==" * n + "a",
    }

    def assert_fast(self, text, **options):
        took, _ = cpu(quenlor.to_xhtml, text, **options)
        self.assertLess(took, 1.5)

    def test_repeated_openers(self):
        for pattern in self.PATTERNS:
            for math in ("brackets", "dollars"):
                with self.subTest(pattern=pattern, math=math):
                    self.assert_fast(pattern * self.N, math=math)

    def test_nested_brackets(self):
        for name, make in self.NESTED.items():
            with self.subTest(name):
                self.assert_fast(make(self.N))

    def test_attribute_blocks_that_never_close_keep_their_text(self):
        # The shortcut that refuses unclosable blocks must not change the output.
        cases = {
            "[x]{" * 1500: "[x]{" * 1500,
            "[x]{a" * 1000 + "}": "[x]{a" * 1000 + "}",
            "`c`{" * 1000: "<code>c</code>{" * 1000,
            "[x]{" * 1000 + "[y]{.k}": "[x]{" * 1000 + '<span class="k">y</span>',
            "`c`{\"" * 1000 + "}": "<code>c</code>{\"" * 1000 + "}",
            "[x]{ #i}" + " [x]{a" * 600 + "{:}": '<span id="i">x</span>' + " [x]{a" * 600 + "{:}",
        }
        for text, inner in cases.items():
            with self.subTest(text[:12]):
                self.assertEqual(quenlor.to_xhtml(text), "<p>" + inner + "</p>\n")


class Tables(unittest.TestCase):
    @staticmethod
    def grid(cols, rows):
        border = "+" + "+".join(["---"] * cols) + "+\n"
        out = [border]
        for r in range(rows):
            out.append("|" + "|".join(f"{(r * cols + c) % 1000:3d}" for c in range(cols)) + "|\n")
            out.append(border)
        return "".join(out)

    def test_large_grid_table_is_linear(self):
        small, _ = cpu(quenlor.to_xhtml, self.grid(200, 500))
        took, out = cpu(quenlor.to_xhtml, self.grid(200, 2000))
        self.assertEqual(out.count("<td>"), 400_000)
        self.assertLess(took, 15.0)
        self.assertLess(took, 8 * small + 1.5)  # four times the rows: about four times the time (slack for a busy machine)


if __name__ == "__main__":
    unittest.main()
