"""With tagfilter=True no raw HTML from the input opens or closes a filtered element."""

import re
import unittest

import quenlor

NAMES = ["title", "textarea", "style", "xmp", "iframe", "noembed", "noframes", "script", "plaintext"]

# The renderer's own wrappers of raw blocks and raw inlines; their content is escaped.
WRAPPER = re.compile(r'<script type="text/x-[^"<>]*">[^<]*</script>')
FILTERED_TAG = re.compile(r"</?(" + "|".join(NAMES) + r")(?=[\s/>])", re.IGNORECASE)


def mixed_case(name, k):
    return "".join(c.upper() if (i + k) % 2 else c for i, c in enumerate(name))


def document(name):
    a, b, c = mixed_case(name, 0), mixed_case(name, 1), name.upper()
    return "\n".join([
        f"<{a}>",                                   # block start, alone on its line
        f"<{b} class=\"x\">body</{c}>",
        "",
        f"  </{a}>",                                 # indented closing tag as a block
        "",
        "<div>",                                     # an HTML block that holds the tags
        f"<{b}>inside a div</{b}>",
        "</div>",
        "",
        f'<{c} markdown="1">',                       # never an HTML container
        "- item",
        f"</{c}>",
        "",
        f"Inline <{a}\tsrc=x>, <{b}/> and <{c}\n\tdata-x=1>split</{a}\n\t> tags, *<{b}>em</{b}>*,",
        f"[link <{a}>](u) `<{a}>` and `<{a}>`{{=html}}.",
        "",
        f"# Heading <{b}>",
        "",
        f"| <{a}> | x |",
        "|---|---|",
        f"| </{b}> | y |",
        "",
        f"> <{c}>quoted",
        "",
        "```{=html}",
        f"<{a}>raw block</{a}>",
        "```",
        "",
        f"<{a}",                                      # no ">" on the line: text
        "",
    ])


class TagFilter(unittest.TestCase):
    def test_no_filtered_element_survives_in_any_position(self):
        for name in NAMES:
            text = document(name)
            for balance in (False, True):
                with self.subTest(name, balance=balance):
                    out = quenlor.to_xhtml(text, tagfilter=True, balance=balance)
                    self.assertEqual(FILTERED_TAG.findall(WRAPPER.sub("", out)), [])
                    # neutralised, not removed
                    self.assertIn("&lt;" + mixed_case(name, 1), out)
                    self.assertIn("<li>item", out)
            with self.subTest(name, tagfilter=False):
                # the same document without the filter does carry the raw tags
                self.assertNotEqual(FILTERED_TAG.findall(WRAPPER.sub("", quenlor.to_xhtml(text))), [])

    def test_names_that_only_begin_like_filtered_ones_pass(self):
        out = quenlor.to_xhtml("<scripts> <titled> <style-x> <xmp2> <iframe>", tagfilter=True)
        self.assertEqual(out, "<p><scripts> <titled> <style-x> <xmp2> &lt;iframe></p>\n")

    def test_filtered_container_line_is_text(self):
        self.assertEqual(quenlor.to_xhtml('<Script markdown="1">\nalert(1)\n</Script>', tagfilter=True),
                         '<p>&lt;Script markdown="1">\nalert(1)\n&lt;/Script></p>\n')

    def test_html_block_text_is_filtered_when_finished(self):
        self.assertEqual(quenlor.to_xhtml("<div>\n<STYLE>p{}</STYLE>\n</div>", tagfilter=True),
                         "<div>\n&lt;STYLE>p{}&lt;/STYLE>\n</div>\n")

    def test_balancing_joins_no_text_into_a_filtered_tag(self):
        # Dropping a stray end tag between a literal "<" and a name once made a live tag.
        for name in NAMES:
            for text in (f"<div>\n<</x>{name}>alert(1)\n</div>", f"<p><</x>{name} src=x></p>\n\na <</x>{name}>"):
                with self.subTest(text):
                    out = quenlor.to_xhtml(text, tagfilter=True, balance=True)
                    self.assertEqual(FILTERED_TAG.findall(WRAPPER.sub("", out)), [])
                    self.assertIn("&lt;" + name, out)


if __name__ == "__main__":
    unittest.main()
