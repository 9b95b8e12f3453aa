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



CONTAINERS = """{: .lead}
Intro text

[ref]: /url
*[HTML]: Hyper Text
{:note: .note}

> quote
lazy

- item

  more


Term
: def

[^f]: note
    continued

::: box
inside
:::
{: #after}

<div markdown="1">
*md*
</div>

{: .orphan}
"""


class BlockSpansOfContainers(unittest.TestCase):
    def spans(self, text):
        return [(b["type"], b["start"], b["end"]) for b in quenlor.blocks(text)]

    def test_containers_definitions_and_attribute_lines(self):
        self.assertEqual(self.spans(CONTAINERS), [
            ("paragraph", 0, 2), ("link_ref", 3, 4), ("abbr_def", 4, 5), ("attr_def", 5, 6),
            ("block_quote", 7, 9), ("list", 10, 13), ("definition_list", 15, 17), ("footnote_def", 18, 20),
            ("div", 21, 25), ("html_container", 26, 29), ("paragraph", 30, 31),
        ])

    def test_pending_attributes_and_runs(self):
        cases = {
            # an attribute definition flushes the pending start into a span of its own
            "{: .a}\n{:d: .x}\npara": [("attr_def", 0, 1), ("attr_def", 1, 2), ("paragraph", 2, 3)],
            # pending lines before an HTML block become a paragraph of their own
            "{: .a}\n<div>\nx\n</div>": [("paragraph", 0, 1), ("html_block", 1, 4)],
            # a paragraph and a heading directly under it come from one run, two spans
            "text\n# head\n{: .h}\n\n\n": [("paragraph", 0, 1), ("heading", 1, 3)],
            # a multi-line link reference definition, then a definition list after a blank line
            "[a]:\n  /u\n  'title'\nTerm\n\n: def": [("link_ref", 0, 3), ("definition_list", 3, 6)],
            # a lone border line takes the rest of its container
            "+---+\n| a\n\nb": [("table", 0, 4)],
        }
        for text, expected in cases.items():
            with self.subTest(text):
                self.assertEqual(self.spans(text), expected)

    def test_line_ends_do_not_change_spans_or_output(self):
        text = CONTAINERS + "\n| a | b |\n|---|---|\n| 1 | 2 |\n\n    code\n\n```\nx\n```\nend  \nline\n"
        lines = text.split("\n")
        for sep in ("\r\n", "\r"):
            with self.subTest(sep=sep):
                other = sep.join(lines)
                self.assertEqual(quenlor.blocks(other), quenlor.blocks(text))
                self.assertEqual(quenlor.to_xhtml(other), quenlor.to_xhtml(text))
        # a lone CR never comes right before the LF of an empty line (that would be one CR LF)
        mixed = "".join(line + ("\r\n", "\n", "\r")[i % 3] for i, line in enumerate(lines[:-1]))
        self.assertEqual(quenlor.to_xhtml(mixed), quenlor.to_xhtml(text))


MORE = """日本語 ![猫](ねこ.png) and 😀$$x$$

# Title \\(t\\)

Term
: def ![d](d.png)

Ref[^n].

[^n]: note ![f](f.png)

![ref][r] and ![r] and [![in link](l.png)](u)

[r]: /r.png

+-------------+
| ![g](g.png) |
+-------------+

> 1. ![q](<q q.png> "Q")
>    - ![](e.png) ![e]( ) `![c](c.png)` \\![x](x.png)
"""


class MoreEditNodes(unittest.TestCase):
    def test_what_is_reported(self):
        nodes = quenlor.edit_nodes(MORE)
        self.assertEqual([(n["type"], n.get("alt", n.get("tex"))) for n in nodes], [
            ("image", "猫"), ("math_inline", "x"), ("math_inline", "t"), ("image", "d"), ("image", "f"),
            ("image", "in link"), ("image", "q"), ("image", ""), ("image", "e"),
        ])
        for n in nodes:
            self.assertEqual(byte_slice(MORE, n["start"], n["end"]), n["source"])
        cat = nodes[0]
        self.assertEqual((cat["source"], cat["url"]), ("![猫](ねこ.png)", "ねこ.png"))
        self.assertEqual(byte_slice(MORE, cat["_url_start"], cat["_url_end"]), "ねこ.png")
        self.assertEqual(cat["start"], len("日本語 ".encode()))
        q = nodes[6]
        self.assertEqual((q["url"], q["title"], byte_slice(MORE, q["_url_start"], q["_url_end"])),
                         ("q q.png", "Q", "q q.png"))
        empty = nodes[8]
        self.assertEqual((empty["url"], empty["_url_start"]), ("", empty["_url_end"]))
        self.assertEqual(byte_slice(MORE, empty["_url_start"], empty["end"]), ")")

    def test_round_trip_for_every_image(self):
        before = quenlor.to_xhtml(MORE)
        for node in quenlor.edit_nodes(MORE):
            if node["type"] != "image":
                continue
            with self.subTest(alt=node["alt"]):
                after = quenlor.to_xhtml(byte_replace(MORE, node["_url_start"], node["_url_end"], "NEW.png"))
                self.assertEqual(after.count('src="NEW.png"'), 1)
                old = 'src="' + re.sub(r"[^\x21-\x7e]", lambda m: "".join(
                    f"%{b:02X}" for b in m.group().encode()), node["url"]) + '"'
                self.assertEqual(before.replace(old, 'src="NEW.png"', 1) if node["url"] else
                                 before.replace('src=""', 'src="NEW.png"', 1), after)

    def test_dollar_math_in_headings_and_tables(self):
        text = "# Sum $a+b$\n\n| $c$ | d |\n|---|---|\n| e | $f$ |\n"
        self.assertEqual([n["tex"] for n in quenlor.edit_nodes(text, math="dollars")], ["a+b", "c", "f"])
        self.assertEqual(quenlor.edit_nodes(text), [])


if __name__ == "__main__":
    unittest.main()
