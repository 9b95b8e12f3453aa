"""blocks() and edit_nodes(): spans, offsets, and rewriting images in place."""

import re
import unittest

import quenlor

DOC = """# Intro \\[a\\] and ünïcode

Text ![one](1.png) more, `![code](x.png)` and [a link](u) $$m$$.

> quoted ![two](<2 two.png> "Two")

- item ![three](3.png)
  - nested ![](4.png)

| col | $$t$$ |
|-----|-------|
| ![five](5.png) | x |

    ![indented](no.png)

```
![fenced](no.png)
```

<div>
![html](no.png)
</div>

[outer ![inner](6.png)](http://x)
"""


def byte_slice(text: str, start: int, end: int) -> str:
    """Offsets count UTF-8 bytes: slice the encoded text."""
    return text.encode("utf-8")[start:end].decode("utf-8")


def byte_replace(text: str, start: int, end: int, new: str) -> str:
    raw = text.encode("utf-8")
    return (raw[:start] + new.encode("utf-8") + raw[end:]).decode("utf-8")


class Blocks(unittest.TestCase):
    def test_paragraph_and_fenced_code(self):
        self.assertEqual(quenlor.blocks("Intro\n\n```python\nprint(1)\n```"), [
            {"type": "paragraph", "start": 0, "end": 1},
            {"type": "code_block", "start": 2, "end": 5, "info": "python", "lang": "python",
             "text": "print(1)\n"},
        ])

    def test_optional_keys_absent(self):
        self.assertEqual(quenlor.blocks("```\nx\n```\n\n    code\n"), [
            {"type": "code_block", "start": 0, "end": 3, "info": "", "text": "x\n"},
            {"type": "code_block", "start": 4, "end": 5, "text": "code\n"},
        ])

    def test_kinds_of_a_realistic_document(self):
        kinds = [b["type"] for b in quenlor.blocks(DOC)]
        self.assertEqual(kinds, ["heading", "paragraph", "block_quote", "list", "table", "code_block",
                                 "code_block", "html_block", "paragraph"])

    def test_line_ends(self):
        expected = [{"type": "heading", "start": 0, "end": 1}, {"type": "paragraph", "start": 2, "end": 4}]
        self.assertEqual(quenlor.blocks("# A\r\n\r\nB\rC\r\n"), expected)
        self.assertEqual(quenlor.blocks("# A\n\nB\nC\n"), expected)


class EditNodes(unittest.TestCase):
    def test_realistic_document(self):
        nodes = quenlor.edit_nodes(DOC)
        summary = [(n["type"], n.get("alt", n.get("tex"))) for n in nodes]
        self.assertEqual(summary, [
            ("math_inline", "a"), ("image", "one"), ("math_inline", "m"), ("image", "two"),
            ("image", "three"), ("image", ""), ("math_inline", "t"), ("image", "five"), ("image", "inner"),
        ])
        starts = [n["start"] for n in nodes]
        self.assertEqual(starts, sorted(starts))
        for n in nodes:
            self.assertEqual(byte_slice(DOC, n["start"], n["end"]), n["source"])
        two = nodes[3]
        self.assertEqual((two["url"], two["title"]), ("2 two.png", "Two"))
        self.assertEqual(byte_slice(DOC, two["_url_start"], two["_url_end"]), "2 two.png")

    def test_keys_in_order(self):
        [img] = quenlor.edit_nodes("p\n\n> ![i](u)")
        self.assertEqual(img, {"type": "image", "form": "inline", "source": "![i](u)", "start": 5, "end": 12,
                               "alt": "i", "url": "u", "title": None, "_url_start": 10, "_url_end": 11})
        [m] = quenlor.edit_nodes("x \\(a\\)")
        self.assertEqual(m, {"type": "math_inline", "source": "\\(a\\)", "start": 2, "end": 7,
                             "delimiter": "\\(", "display": False, "tex": "a"})

    def test_math_modes(self):
        text = "$x$ and $$ y $$ and \\(z\\)"
        self.assertEqual([n["tex"] for n in quenlor.edit_nodes(text)], ["y", "z"])
        self.assertEqual([n["tex"] for n in quenlor.edit_nodes(text, math="dollars")], ["x", "y", "z"])
        self.assertEqual(quenlor.edit_nodes(text, math="on"), [])
        self.assertEqual(quenlor.edit_nodes(text, math="off"), [])

    def test_rewriting_each_url_changes_exactly_that_image(self):
        before = quenlor.to_xhtml(DOC)
        for node in quenlor.edit_nodes(DOC):
            if node["type"] != "image":
                continue
            with self.subTest(alt=node["alt"]):
                edited = byte_replace(DOC, node["_url_start"], node["_url_end"], "NEW.png")
                after = quenlor.to_xhtml(edited)
                self.assertEqual(after.count('src="NEW.png"'), 1)
                old_src = re.escape('src="' + node["url"].replace(" ", "%20") + '"')
                self.assertEqual(re.sub(old_src, 'src="NEW.png"', before, count=1), after)

    def test_carriage_returns_map_to_the_callers_text(self):
        text = "é\r\n\r\nsee ![a](b.png)\rand $$x$$\r\n"
        nodes = quenlor.edit_nodes(text)
        self.assertEqual([n["source"] for n in nodes], ["![a](b.png)", "$$x$$"])
        for n in nodes:
            self.assertEqual(byte_slice(text, n["start"], n["end"]), n["source"])
        self.assertEqual(byte_slice(text, nodes[0]["_url_start"], nodes[0]["_url_end"]), "b.png")


if __name__ == "__main__":
    unittest.main()
