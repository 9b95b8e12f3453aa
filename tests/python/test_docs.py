"""The dialect reference (docs/dialect.md) renders with every construct
section present, each example's result matching its source, and well-formed,
balanced output."""

import argparse
import os
import re
import shlex
import unittest
import xml.etree.ElementTree as ET
from html.parser import HTMLParser
from pathlib import Path

import quenlor
from quenlor.__main__ import add_conversion_options, conversion_kwargs
from quenlor.batch import standalone_document

ROOT = Path(os.environ.get("QUENLOR_SOURCE_DIR") or Path(__file__).resolve().parents[2])

SECTIONS = [
    "basics", "paragraphs", "headings", "emphasis", "block-quotes", "lists", "code", "links",
    "escapes", "thematic-breaks", "attributes", "attribute-definitions", "spans", "fenced-divs",
    "pipe-tables", "grid-tables", "table-captions", "footnotes", "inline-notes", "citations",
    "definition-lists", "task-lists", "abbreviations", "strikethrough", "highlight",
    "superscript-subscript", "math", "raw-blocks", "raw-inlines", "html-blocks",
    "markdown-containers", "autolinks", "figures", "automatic-ids", "smart-punctuation",
    "tag-filter", "balancing",
]
VOID = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param",
        "source", "track", "wbr"}


def docs_options() -> dict:
    """The conversion options `make docs` uses, read from the Makefile."""
    m = re.search(r"^DOCS_OPTIONS\s*:?=\s*(.*)$", (ROOT / "Makefile").read_text(), re.M)
    parser = argparse.ArgumentParser()
    add_conversion_options(parser)
    parser.add_argument("--standalone", action="store_true")
    parser.add_argument("--css")
    return conversion_kwargs(parser.parse_args(shlex.split(m.group(1))))


class Elements(HTMLParser):
    """Records the id of every element, and nesting faults."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.stack: list[str] = []
        self.ids: dict[str, str] = {}
        self.faults: list[str] = []

    def handle_starttag(self, tag, attrs):
        if dict(attrs).get("id") is not None:
            self.ids[dict(attrs)["id"]] = tag
        if tag not in VOID:
            self.stack.append(tag)

    def handle_startendtag(self, tag, attrs):
        if dict(attrs).get("id") is not None:
            self.ids[dict(attrs)["id"]] = tag

    def handle_endtag(self, tag):
        if not self.stack or self.stack[-1] != tag:
            self.faults.append(f"</{tag}> closes {self.stack[-1:] or 'nothing'} at {self.getpos()}")
        else:
            self.stack.pop()


def examples(markdown: str):
    """Yields (source, shown) for every ```markdown example: shown is the body
    of the result div that follows, or, for examples that only work at the top
    level, as many lines right after the code block."""
    lines = markdown.split("\n")
    i = 0
    while i < len(lines):
        m = re.match(r"^(`{3,})markdown$", lines[i])
        if not m:
            i += 1
            continue
        end = lines.index(m.group(1), i + 1)
        source = lines[i + 1:end]
        j = end + 1
        while lines[j] == "":
            j += 1
        if lines[j] == ":::::: result":
            close = lines.index("::::::", j + 1)
            yield source, lines[j + 1:close]
        else:
            yield source, lines[j:j + len(source)]
        i = end + 1


class DialectReference(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.markdown = (ROOT / "docs" / "dialect.md").read_text(encoding="utf-8")
        cls.options = docs_options()
        cls.html = quenlor.to_xhtml(cls.markdown, **cls.options)

    def test_options(self):
        self.assertEqual(self.options["math"], "dollars")
        self.assertTrue(self.options["smart"] and self.options["tagfilter"])

    def test_every_section_present(self):
        elements = Elements()
        elements.feed(self.html)
        for name in SECTIONS:
            self.assertIn(elements.ids.get(name), ("h2", "h3"), name)
        # Every section is listed in the table of contents.
        contents = self.html[self.html.index('<ul id="contents"'):]
        contents = contents[:contents.index("</ul>")]
        self.assertEqual(set(re.findall(r'href="#([^"]+)"', contents)), set(SECTIONS))

    def test_results_match_sources(self):
        found = list(examples(self.markdown))
        self.assertGreaterEqual(len(found), 30)
        for source, shown in found:
            self.assertEqual(shown, source, source[0])

    def test_output_balanced_and_well_formed(self):
        self.assertEqual(quenlor.to_xhtml(self.markdown, **{**self.options, "balance": True}), self.html)
        elements = Elements()
        elements.feed(self.html)
        elements.close()
        self.assertEqual((elements.faults, elements.stack), ([], []))
        doc = ET.fromstring(standalone_document(self.html, "dialect").encode("utf-8"))
        self.assertEqual(doc.find("{http://www.w3.org/1999/xhtml}head/{http://www.w3.org/1999/xhtml}title").text,
                         "The quenlor Markdown dialect")

    def test_constructs_render(self):
        # A few results that would silently degrade to text if the page broke.
        for fragment in ('<table id="fruit">', '<td align="right" rowspan="2">', 'colspan="2"',
                         "<tfoot>", '<ul class="task-list">', '<span class="math inline">',
                         '<div class="math display">', '<figure id="fig-example" class="framed">',
                         '<section class="box">', '<abbr title="World Wide Web Consortium">W3C</abbr>',
                         '<span class="refs">', '<p id="defined" class="result" data-origin="definition">',
                         '<section class="footnotes"', "&lt;script>", "<mark>", "<del>", "<sub>2</sub>"):
            self.assertIn(fragment, self.html)


if __name__ == "__main__":
    unittest.main()
